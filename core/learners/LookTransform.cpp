#include "learners/LookTransform.hpp"

#include "color/ColorMath.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace lumivert {

namespace {

constexpr std::int64_t toneEntries = 1024;

// Hue pull: each target's influence is a Gaussian of the hue difference (0.5 at half a
// radian), and the damping keeps weak influences from turning a hue all the way.
constexpr float hueSpread = 0.36f;
constexpr float pullGain = 0.75f;
constexpr float pullDamping = 0.15f;
// Below this chroma a colour has no meaningful hue to turn.
constexpr float minPullChroma = 1e-5f;

Curve1D toneCurve(const LookAnalysis& analysis, float strength)
{
    const float exponent = strength * (analysis.contrast - 1.0f) + 1.0f;
    const float lo = strength * analysis.blackLevel;
    const float hi = 1.0f - strength * (1.0f - analysis.whiteLevel);
    return Curve1D(toneEntries, [=](float x) {
        return lo + (hi - lo) * ToneShapes::contrast(x, exponent, ToneShapes::midGrey);
    });
}

std::vector<LookTransform::Target> hueTargets(const std::vector<PaletteColor>& palette)
{
    float largest = palette.empty() ? 1.0f : 0.0f;
    for (const PaletteColor& colour : palette)
        largest = std::max(largest, colour.weight);
    std::vector<LookTransform::Target> targets;
    targets.reserve(palette.size());
    for (const PaletteColor& colour : palette)
        targets.push_back({colour.pullHue, colour.weight / largest});
    return targets;
}

}  // namespace

LookTransform::LookTransform(LookAnalysis analysis, LookSettings settings, GamutMapping gamut)
    : analysis_(std::move(analysis)), settings_(settings), gamut_(gamut),
      tone_(toneCurve(analysis_, settings_.tone)),
      // The analysed saturation is at most 1, so the look can only mute colour; a strength
      // that overshoots below zero removes the colour's own chroma entirely.
      saturation_(std::max(0.0f, settings_.saturation * (analysis_.saturation - 1.0f) + 1.0f)),
      targets_(hueTargets(analysis_.palette))
{
}

Chroma LookTransform::pulled(const Chroma& chroma) const
{
    const float radius = std::sqrt(chroma.a * chroma.a + chroma.b * chroma.b);
    if (radius <= minPullChroma)
        return chroma;
    const float hue = std::atan2(chroma.b, chroma.a);
    float influence = 0.0f;
    float turn = 0.0f;
    for (const Target& target : targets_) {
        const float d = wrapAngle(target.hue - hue);
        const float f = target.weight * std::exp(-d * d / hueSpread);
        influence += f;
        turn += d * f;
    }
    const float turned = hue + turn * (settings_.palette * pullGain) / (influence + pullDamping);
    return {radius * std::cos(turned), radius * std::sin(turned)};
}

RGB LookTransform::apply(const RGB& colour) const { return fromLinear(ColorMath::decode(colour)); }

void LookTransform::applyDecodedRun(std::span<const RGB>, std::span<const RGB> linear,
                                    std::span<RGB> out) const
{
    for (std::size_t i = 0; i < linear.size(); ++i)
        out[i] = fromLinear(linear[i]);
}

RGB LookTransform::fromLinear(const RGB& linear) const
{
    const Lab lab = ColorMath::linearToOklab(linear);
    const float lightness = tone_(lab.L);
    Chroma chroma = Chroma{lab.a, lab.b} * saturation_;
    if (settings_.palette > 0.0f && !targets_.empty())
        chroma = pulled(chroma);
    // The cast belongs to the new lightness: a lifted black takes the reference's shadow tint.
    if (settings_.colourCast != 0.0f)
        chroma += analysis_.tint(lightness) * settings_.colourCast;
    return ColorMath::oklabToSRGB({lightness, chroma.a, chroma.b}, gamut_);
}

}  // namespace lumivert
