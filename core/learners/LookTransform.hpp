#pragma once

// Re-creates a measured look on any colour: a tone curve for lift, roll-off and contrast, a
// chroma factor, a pull towards the palette's hues and the reference's grey-axis cast, each
// scaled by the user's strength. Everything that does not depend on the colour is computed
// once, at creation.

#include "color/ColorMath.hpp"
#include "color/ColorTransform.hpp"
#include "color/Curve1D.hpp"
#include "learners/LookAnalysis.hpp"

#include <vector>

namespace lumivert {

class LookTransform final : public ColorTransform {
public:
    // A palette hue the pull turns towards, with its weight relative to the largest colour.
    struct Target {
        float hue = 0;     // radians, in [−π, π]
        float weight = 0;  // in (0, 1]

        friend bool operator==(const Target&, const Target&) = default;
    };

    LookTransform(LookAnalysis analysis, LookSettings settings,
                  GamutMapping gamut = defaultGamutMapping);

    const LookAnalysis& analysis() const { return analysis_; }
    const LookSettings& settings() const { return settings_; }
    GamutMapping gamut() const { return gamut_; }
    const Curve1D& tone() const { return tone_; }     // Oklab lightness, 1024 entries
    float saturation() const { return saturation_; }  // chroma factor, ≥ 0
    const std::vector<Target>& targets() const { return targets_; }  // in palette order

    // Tone, chroma factor, hue pull, then the cast at the new lightness; gamut-mapped result.
    RGB apply(const RGB& colour) const override;

protected:
    void applyDecodedRun(std::span<const RGB> colours, std::span<const RGB> linear,
                         std::span<RGB> out) const override;

private:
    RGB fromLinear(const RGB& linear) const;  // apply() after its decode
    Chroma pulled(const Chroma& chroma) const;

    LookAnalysis analysis_;
    LookSettings settings_;
    GamutMapping gamut_;
    Curve1D tone_;
    float saturation_;
    std::vector<Target> targets_;
};

}  // namespace lumivert
