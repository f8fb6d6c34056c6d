#pragma once

// Conversions between sRGB-encoded RGB and Oklab, gamut mapping, and the scalar helpers
// every learner shares. All single precision, pure, allocation-free.

#include "color/Triples.hpp"

#include <cstdint>

namespace lumivert {

// How a colour outside sRGB comes back into it. Colours inside are never moved by either.
enum class GamutMapping : std::uint8_t {
    // Chroma reduced at constant lightness and hue: exact lightness, but bright saturated colours
    // above the cusp of their hue lose almost all their chroma.
    preserveLightness,
    // At constant hue towards a grey between the colour's own lightness and mid lightness, so
    // chroma falls smoothly; lightness may move, most for the most saturated colours.
    smooth
};
// What a grade uses unless told otherwise.
inline constexpr GamutMapping defaultGamutMapping = GamutMapping::preserveLightness;

// The most saturated colour of a hue: its Oklab lightness and chroma.
struct Cusp {
    float L;
    float C;
};

namespace ColorMath {

float decode(float x);  // sRGB-encoded to linear, odd-symmetric, unclamped
RGB decode(const RGB& c);
float encode(float x);  // linear to sRGB-encoded, odd-symmetric, unclamped
RGB encode(const RGB& c);

Lab linearToOklab(const RGB& linear);
RGB oklabToLinear(const Lab& lab);  // no clamping
Lab srgbToOklab(const RGB& srgb);
// Gamut-mapped inverse: chroma is reduced at constant L and hue until the colour fits,
// then encoded; the result is always in [0, 1].
RGB oklabToSRGB(const Lab& lab);
// The same with a choice of mapping; preserveLightness gives exactly oklabToSRGB(lab).
RGB oklabToSRGB(const Lab& lab, GamutMapping mapping);
// The cusp of the hue whose unit direction in the a–b plane is (a, b).
Cusp cusp(float a, float b);

bool inGamut(const RGB& c);  // every component within [−0.0001, 1.0001]
float luma(const RGB& c);    // Rec. 709 weights
// Hue in turns (wraps), saturation and value in 0...1. A non-finite hue stops the program.
RGB hsv(float hue, float saturation, float value);

}  // namespace ColorMath

// The chroma scale of the gamut bisection in both register widths, whichever one this
// processor runs, so that tests cover the other one too.
namespace ColorMathLanes {
float chromaScaleFourLanes(const Lab& lab);
float chromaScaleEightLanes(const Lab& lab);
}  // namespace ColorMathLanes

namespace ToneShapes {

// Oklab lightness of 18 % grey, the cube root of 0.18.
inline constexpr float midGrey = 0.5646f;

// Power-law contrast around a pivot strictly inside (0, 1); amount 1 is the identity.
float contrast(float x, float amount, float pivot);

}  // namespace ToneShapes

// min(max(x, lower), upper); NaN gives lower. Inline: it sits in every inner loop.
inline float clamp(float x, float lower, float upper)
{
    const float low = x > lower ? x : lower;  // NaN fails the comparison and becomes lower
    return low < upper ? low : upper;
}
// x into [0, 1]; values not above 0 and NaN give 0.
inline float clamp01(float x) { return clamp(x, 0.0f, 1.0f); }
inline RGB clamp01(const RGB& c) { return {clamp01(c.r), clamp01(c.g), clamp01(c.b)}; }
// Into [−π, π] with the single-precision π rounded down (3.1415925) and 2π = 6.283185.
float wrapAngle(float angle);

}  // namespace lumivert
