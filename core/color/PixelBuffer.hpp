#pragma once

// A CPU-side single-precision RGB raster, sRGB-encoded by convention. Row-major: pixel (x, y)
// is pixels()[y × width + x], rows top to bottom. A value type whose storage is shared between
// copies until one of them writes, so handing a buffer to a background job copies nothing.

#include "color/Triples.hpp"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace lumivert {

class ColorTransform;

class PixelBuffer {
public:
    // Width and height must be positive and pixels.size() = width × height (else stops).
    PixelBuffer(std::int64_t width, std::int64_t height, std::vector<RGB> pixels);
    PixelBuffer(std::int64_t width, std::int64_t height, const RGB& fill);

    std::int64_t width() const { return width_; }
    std::int64_t height() const { return height_; }
    const std::vector<RGB>& pixels() const { return *storage_; }
    // Writable view; duplicates shared storage first.
    std::span<RGB> mutablePixels();
    // The pixels themselves, moved out when no copy shares them (a 4096² HALD is 200 MB).
    std::vector<RGB> takePixels() &&;

    // Pixel at column x, row y; an index outside the raster stops the program.
    const RGB& operator()(std::int64_t x, std::int64_t y) const;
    void set(std::int64_t x, std::int64_t y, const RGB& colour);

    // Evenly strided sample of at most maxCount pixels, in raster order.
    std::vector<RGB> samples(std::int64_t maxCount) const;
    // Bilinear, pixel-centre aligned, four nearest source pixels only.
    PixelBuffer resized(std::int64_t width, std::int64_t height) const;
    PixelBuffer applying(const ColorTransform& transform) const;

    // True when both share one storage block (copy-on-write has not yet duplicated it).
    bool sharesStorageWith(const PixelBuffer& other) const { return storage_ == other.storage_; }

    friend bool operator==(const PixelBuffer& x, const PixelBuffer& y);

private:
    std::int64_t index(std::int64_t x, std::int64_t y) const;

    std::int64_t width_;
    std::int64_t height_;
    std::shared_ptr<std::vector<RGB>> storage_;
};

}  // namespace lumivert
