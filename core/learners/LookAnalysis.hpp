#pragma once

// What the look analysis measures on a reference photo, and the user's four strengths for
// re-creating it. Plain values compared field by field; all colours are Oklab.

#include "color/Triples.hpp"

#include <array>
#include <vector>

namespace lumivert {

// One dominant colour of the reference.
struct PaletteColor {
    int id = 0;         // position in the palette, 0 for the largest colour
    Lab lab;            // the colour, with its band's cast added back
    float weight = 0;   // share of the colourful samples, in [0.04, 1]
    float pullHue = 0;  // hue in [−π, π] measured from the neutral axis at its lightness

    // The swatch colour: lab gamut-mapped into sRGB-encoded RGB.
    RGB srgb() const;

    friend bool operator==(const PaletteColor&, const PaletteColor&) = default;
};

struct LookAnalysis {
    static constexpr int bandCount = 12;  // lightness bands, band k centred on (k + 0.5) / 12

    float blackLevel = 0;  // lightness black is lifted to, in [0, 0.4]
    float whiteLevel = 1;  // lightness white rolls off to, in [0.6, 1], ≥ blackLevel + 0.3
    float contrast = 1;    // mid-grey contrast exponent in [0.9, 1.15]; 1 is no change
    std::array<Chroma, bandCount> tints{};  // where grey lies in each band; each ≤ 0.06 long
    float saturation = 1;                   // colourfulness in [0, 1]
    std::vector<PaletteColor> palette;      // 0 to 6 colours, largest first

    // No lift, no roll-off, no contrast, no cast, full colour, no palette. Made once.
    static const LookAnalysis& neutral();

    // The band cast at lightness L, interpolated between band centres and held flat beyond the
    // end centres; L is clamped into [0, 1].
    Chroma tint(float lightness) const;

    friend bool operator==(const LookAnalysis&, const LookAnalysis&) = default;
};

// Multipliers on each aspect of a look; 0 switches the aspect off. The defaults are the
// application's starting strengths.
struct LookSettings {
    float tone = 0.8f;        // black lift, roll-off and contrast
    float colourCast = 1.0f;  // the band tints
    float saturation = 0.7f;  // colourfulness
    float palette = 0.4f;     // pull towards the palette hues

    friend bool operator==(const LookSettings&, const LookSettings&) = default;
};

}  // namespace lumivert
