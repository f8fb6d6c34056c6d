#include "color/ColorTransform.hpp"

#include "color/Precondition.hpp"

namespace lumivert {

ColorTransform::~ColorTransform() = default;

void ColorTransform::applyDecoded(std::span<const RGB> colours, std::span<const RGB> linear,
                                  std::span<RGB> out) const
{
    LUMIVERT_PRECONDITION(linear.size() == colours.size() && out.size() == colours.size(),
                          "colours, their linear values and the outputs need one length");
    applyDecodedRun(colours, linear, out);
}

void ColorTransform::applyDecodedRun(std::span<const RGB> colours, std::span<const RGB>,
                                     std::span<RGB> out) const
{
    for (std::size_t i = 0; i < colours.size(); ++i)
        out[i] = apply(colours[i]);
}

RGB IdentityTransform::apply(const RGB& colour) const { return colour; }

}  // namespace lumivert
