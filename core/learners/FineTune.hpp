#pragma once

// The four manual corrections applied after every grade: white balance as linear-light channel
// gains that keep a neutral grey's luminance, then contrast about the Oklab lightness of 18 %
// grey and a chroma scale. Every field is neutral at 0; any value is accepted.

#include "color/ColorMath.hpp"
#include "color/Triples.hpp"

namespace lumivert {

struct FineTune {
    float temperature = 0;  // positive warms (more red, less blue)
    float tint = 0;         // positive lowers green (towards magenta)
    float contrast = 0;     // positive steepens lightness about mid grey
    float saturation = 0;   // chroma scaled by max(1 + saturation, 0)

    // True when all four fields are exactly 0.
    bool isNeutral() const;
    // sRGB-encoded in, sRGB-encoded in [0, 1] out; a neutral record returns the input as is.
    RGB apply(const RGB& colour) const;

    // The per-control constants, worked out once so a pipeline does not redo them per colour;
    // Prepared::apply gives exactly FineTune::apply. A saturation boost that leaves sRGB comes
    // back through `gamut`, as the grade before it does.
    class Prepared {
    public:
        explicit Prepared(const FineTune& fineTune, GamutMapping gamut = defaultGamutMapping);
        RGB apply(const RGB& colour) const;

    private:
        bool neutral_;
        bool whiteBalance_;
        float redGain_;
        float greenGain_;
        float blueGain_;
        float luminance_;  // Rec. 709 luminance of the gains, the white-balance normaliser
        bool contrast_;
        float contrastAmount_;
        float saturationScale_;
        GamutMapping gamut_;
    };

    friend bool operator==(const FineTune&, const FineTune&) = default;
};

}  // namespace lumivert
