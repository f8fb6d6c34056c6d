#pragma once

// The colour transform of match mode: lightness through the analysed tone map blended with the
// identity, chroma through the transfer of the rank band the input lightness falls in.

#include "color/ColorMath.hpp"
#include "color/ColorTransform.hpp"
#include "color/Curve1D.hpp"
#include "learners/MatchAnalysis.hpp"

namespace lumivert {

class MatchTransform final : public ColorTransform {
public:
    // The analysis must hold at least one band (the matcher always gives six), else stops.
    MatchTransform(MatchAnalysis analysis, MatchSettings settings,
                   GamutMapping gamut = defaultGamutMapping);

    const MatchAnalysis& analysis() const { return analysis_; }
    const MatchSettings& settings() const { return settings_; }
    GamutMapping gamut() const { return gamut_; }
    // x + tone × (toneMap(x) − x) on 1024 entries, built once.
    const Curve1D& tone() const { return tone_; }

    // sRGB-encoded in, sRGB-encoded and in gamut out.
    RGB apply(const RGB& colour) const override;

protected:
    void applyDecodedRun(std::span<const RGB> colours, std::span<const RGB> linear,
                         std::span<RGB> out) const override;

private:
    RGB fromLinear(const RGB& linear) const;  // apply() after its decode

    MatchAnalysis analysis_;
    MatchSettings settings_;
    GamutMapping gamut_;
    Curve1D tone_;
};

}  // namespace lumivert
