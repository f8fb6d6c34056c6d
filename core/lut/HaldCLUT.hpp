#pragma once

// The HALD layout: a table of N = L² points per axis stored as an L³ × L³ image whose pixels,
// in row-major order, are the table's entries in its own order (red fastest).

#include "color/LUT3D.hpp"
#include "color/PixelBuffer.hpp"

#include <cstdint>
#include <optional>
#include <stdexcept>

namespace lumivert {

class HaldError : public std::runtime_error {
public:
    // The image of this size is not a HALD CLUT.
    static HaldError notHald(std::int64_t width, std::int64_t height);

    std::int64_t width() const { return width_; }
    std::int64_t height() const { return height_; }

private:
    HaldError(std::int64_t width, std::int64_t height);

    std::int64_t width_;
    std::int64_t height_;
};

namespace HaldCLUT {

inline constexpr int defaultLevel = 8;
inline constexpr int minLevel = 2;
inline constexpr int maxLevel = 16;

// A level-L image holds L² points per axis in a square of side L³ pixels.
constexpr std::int64_t pointsPerAxis(int level) { return std::int64_t{level} * level; }
constexpr std::int64_t sideLength(int level) { return pointsPerAxis(level) * level; }

// The level L with L³ = width = height for L in 2 … 16, or nothing.
std::optional<int> level(std::int64_t width, std::int64_t height);
// The same level, or HaldError for any other shape: checks an image's header before decoding.
int requiredLevel(std::int64_t width, std::int64_t height);
// The identity image of a level (2 … 16, else stops).
PixelBuffer identity(int level);
// The table resampled to L² points and laid out as an image of side L³.
PixelBuffer image(const LUT3D& lut, int level);
// The pixels taken unchanged as a table of L² points; throws HaldError for other shapes.
LUT3D lut(const PixelBuffer& image);
// The same, taking the image's storage instead of copying it.
LUT3D lut(PixelBuffer&& image);

}  // namespace HaldCLUT

}  // namespace lumivert
