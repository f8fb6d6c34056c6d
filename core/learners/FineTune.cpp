#include "learners/FineTune.hpp"

#include "color/ColorMath.hpp"

#include <algorithm>
#include <cmath>

namespace lumivert {

namespace {

// Gain exponents per unit of control: temperature moves red and blue in opposite directions,
// tint moves green alone.
constexpr float temperatureGain = 0.2f;
constexpr float tintGain = -0.14f;
// Contrast exponent e^(0.55 × contrast): about 1.73 at +1 and 0.58 at −1.
constexpr float contrastGain = 0.55f;

// Rec. 709 luminance weights.
constexpr float lumaRed = 0.2126f;
constexpr float lumaGreen = 0.7152f;
constexpr float lumaBlue = 0.0722f;

}  // namespace

bool FineTune::isNeutral() const
{
    return temperature == 0.0f && tint == 0.0f && contrast == 0.0f && saturation == 0.0f;
}

RGB FineTune::apply(const RGB& colour) const { return Prepared(*this).apply(colour); }

FineTune::Prepared::Prepared(const FineTune& fineTune, GamutMapping gamut)
    : neutral_(fineTune.isNeutral()),
      whiteBalance_(fineTune.temperature != 0.0f || fineTune.tint != 0.0f),
      redGain_(std::exp(temperatureGain * fineTune.temperature)),
      greenGain_(std::exp(tintGain * fineTune.tint)),
      blueGain_(std::exp(-temperatureGain * fineTune.temperature)),
      luminance_(lumaRed * redGain_ + lumaGreen * greenGain_ + lumaBlue * blueGain_),
      contrast_(fineTune.contrast != 0.0f),
      contrastAmount_(std::exp(contrastGain * fineTune.contrast)),
      saturationScale_(fineTune.saturation != 0.0f ? std::max(1.0f + fineTune.saturation, 0.0f)
                                                   : 1.0f),
      gamut_(gamut)
{
}

RGB FineTune::Prepared::apply(const RGB& colour) const
{
    // A neutral tune must not pay for, or be moved by, the colour-space round trip.
    if (neutral_)
        return colour;
    RGB linear = ColorMath::decode(colour);
    if (whiteBalance_)
        linear = {linear.r * redGain_ / luminance_, linear.g * greenGain_ / luminance_,
                  linear.b * blueGain_ / luminance_};
    Lab lab = ColorMath::linearToOklab(linear);
    // The curve clamps L, so even an amount that rounds to 1 runs whenever contrast is set.
    if (contrast_)
        lab.L = ToneShapes::contrast(lab.L, contrastAmount_, ToneShapes::midGrey);
    if (saturationScale_ != 1.0f) {
        lab.a *= saturationScale_;
        lab.b *= saturationScale_;
    }
    return ColorMath::oklabToSRGB(lab, gamut_);
}

}  // namespace lumivert
