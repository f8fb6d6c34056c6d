#pragma once

// Pictures of a per-pixel colour difference: each pixel coloured on a perceptual scale
// (viridis: dark violet for no difference through teal to yellow), with a legend strip of
// ticks and numbers beneath for a file a reader sees without the program.

#include "color/PixelBuffer.hpp"
#include "imaging/ImageDifference.hpp"

namespace lumivert::HeatMap {

// The ΔE2000 at the top of the scale; larger differences take its colour ("10+").
inline constexpr double scaleTop = 10;

// The scale's colour for a difference, sRGB-encoded; NaN takes the colour of 0.
RGB colour(double deltaE);
// Every pixel of the difference in its scale colour, at the difference's size.
PixelBuffer picture(const ImageDifferenceResult& difference);
// The picture with a legend strip below it: the scale from 0 to scaleTop across the width,
// a tick at every whole ΔE and the numbers 0, 2, 4, 6, 8 and 10+.
PixelBuffer pictureWithLegend(const ImageDifferenceResult& difference);
// The height of the legend strip under a picture of this width.
std::int64_t legendHeight(std::int64_t width);

}  // namespace lumivert::HeatMap
