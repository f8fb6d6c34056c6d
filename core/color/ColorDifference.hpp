#pragma once

// Perceptual colour difference: sRGB (D65) to CIELAB, and the CIEDE2000 colour difference.
// Double precision throughout, so that published reference values are met to their last digit.

#include "color/Triples.hpp"

namespace lumivert {

// CIELAB under D65: L 0 black to 100 white, a and b the opponent axes (about ±128).
struct CIELab {
    double L = 0;
    double a = 0;
    double b = 0;

    friend bool operator==(const CIELab&, const CIELab&) = default;
};

namespace ColorDifference {

// sRGB-encoded RGB (unclamped) to CIELAB relative to the sRGB white, so greys have a = b = 0.
CIELab srgbToCIELab(const RGB& srgb);
// The same from linear-light sRGB, for callers that decode through a table.
CIELab linearToCIELab(const RGB& linear);
// CIEDE2000 with kL = kC = kH = 1; symmetric, 0 for equal colours.
double deltaE2000(const CIELab& x, const CIELab& y);
// The two steps above for two sRGB-encoded colours.
double deltaE2000(const RGB& x, const RGB& y);

}  // namespace ColorDifference

}  // namespace lumivert
