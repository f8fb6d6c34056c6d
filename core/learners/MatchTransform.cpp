#include "learners/MatchTransform.hpp"

#include "color/ColorMath.hpp"
#include "color/Precondition.hpp"
#include "learners/Bands.hpp"

namespace lumivert {

namespace {

constexpr std::int64_t toneEntries = 1024;

Curve1D blendedTone(const Curve1D& toneMap, float strength)
{
    return Curve1D(toneEntries,
                   [&toneMap, strength](float x) { return x + strength * (toneMap(x) - x); });
}

Chroma mix(const Chroma& x, const Chroma& y, float f) { return x + (y - x) * f; }
float mix(float x, float y, float f) { return x + (y - x) * f; }

// Every field of the two neighbouring bands, interpolated separately.
BandTransfer mix(const BandTransfer& x, const BandTransfer& y, float f)
{
    return {mix(x.sourceMean, y.sourceMean, f),
            mix(x.referenceMean, y.referenceMean, f),
            {mix(x.matrix.m00, y.matrix.m00, f), mix(x.matrix.m01, y.matrix.m01, f),
             mix(x.matrix.m11, y.matrix.m11, f)}};
}

}  // namespace

MatchTransform::MatchTransform(MatchAnalysis analysis, MatchSettings settings, GamutMapping gamut)
    : analysis_(std::move(analysis)), settings_(settings), gamut_(gamut),
      tone_(blendedTone(analysis_.toneMap, settings_.tone))
{
    LUMIVERT_PRECONDITION(!analysis_.bands.empty(), "a match needs at least one band");
}

RGB MatchTransform::apply(const RGB& colour) const { return fromLinear(ColorMath::decode(colour)); }

void MatchTransform::applyDecodedRun(std::span<const RGB>, std::span<const RGB> linear,
                                     std::span<RGB> out) const
{
    for (std::size_t i = 0; i < linear.size(); ++i)
        out[i] = fromLinear(linear[i]);
}

RGB MatchTransform::fromLinear(const RGB& linear) const
{
    Lab lab = ColorMath::linearToOklab(linear);
    const float lightness = tone_(lab.L);
    if (settings_.colour != 0.0f) {
        // The band of the input lightness: chroma follows the source band it came from.
        const BandSplit split =
            bandSplit(analysis_.sourceRank(lab.L), static_cast<int>(analysis_.bands.size()));
        const auto first = static_cast<std::size_t>(split.first);
        const BandTransfer band =
            split.fraction == 0.0f
                ? analysis_.bands[first]
                : mix(analysis_.bands[first], analysis_.bands[first + 1], split.fraction);
        const Chroma d = Chroma{lab.a, lab.b} - band.sourceMean;
        const Chroma t = {band.referenceMean.a + band.matrix.m00 * d.a + band.matrix.m01 * d.b,
                          band.referenceMean.b + band.matrix.m01 * d.a + band.matrix.m11 * d.b};
        lab.a += (t.a - lab.a) * settings_.colour;
        lab.b += (t.b - lab.b) * settings_.colour;
    }
    lab.L = lightness;
    return ColorMath::oklabToSRGB(lab, gamut_);
}

}  // namespace lumivert
