#pragma once

// The synthetic preview chart: a hue band, a neutral ramp and 24 reference patches.

#include "color/PixelBuffer.hpp"

#include <array>
#include <cstdint>

namespace lumivert::TestChart {

// The 24 reference colours (8-bit sRGB / 255), row-major, six per row; 18 … 23 are neutral.
const std::array<RGB, 24>& patches();

// The chart at width × height; sizes too small for its bands stop the program.
PixelBuffer make(std::int64_t width, std::int64_t height);

}  // namespace lumivert::TestChart
