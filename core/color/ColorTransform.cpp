#include "color/ColorTransform.hpp"

namespace lumivert {

ColorTransform::~ColorTransform() = default;

RGB IdentityTransform::apply(const RGB& colour) const { return colour; }

}  // namespace lumivert
