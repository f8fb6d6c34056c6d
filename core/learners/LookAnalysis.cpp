#include "learners/LookAnalysis.hpp"

#include "color/ColorMath.hpp"
#include "learners/Bands.hpp"

namespace lumivert {

RGB PaletteColor::srgb() const { return ColorMath::oklabToSRGB(lab); }

const LookAnalysis& LookAnalysis::neutral()
{
    // The member defaults are the neutral look.
    static const LookAnalysis shared;
    return shared;
}

Chroma LookAnalysis::tint(float lightness) const
{
    return bandInterpolate(std::span<const Chroma>(tints), lightness);
}

}  // namespace lumivert
