#pragma once

// Decoded samples as the rest of the program holds them: floats in 0...1 and 8-bit display
// levels.

#include "color/PixelBuffer.hpp"

#include <vips/vips8>

#include <cstdint>
#include <vector>

namespace lumivert::VipsSamples {

// The largest 8-bit and 16-bit levels, which stand for 1.
inline constexpr float k8BitMax = 255.0f;
inline constexpr float k16BitMax = 65535.0f;

// What decoding yields: the float pixels and, when asked for, their 8-bit display samples.
struct Converted {
    std::vector<RGB> pixels;
    std::vector<std::uint8_t> display;  // RGBX, empty unless asked for
};

// Whole, on libvips' threads; or a strip of rows at a time, holding little besides the result.
enum class Decoding { whole, rowByRow };

// The image (RGB, with or without alpha) decoded, its samples
// divided by their format's largest level and clamped into 0...1; where the fourth band is alpha,
// fully transparent pixels become black and the others keep their straight colour. The display
// samples are those floats quantised, as Packing::makeImage8 does. Throws vips::VError.
Converted convert(const vips::VImage& image, bool withDisplay, Decoding decoding = Decoding::whole);

}  // namespace lumivert::VipsSamples
