#pragma once

// The record behind every image slot and the test chart: the analysed float pixels and their
// 8-bit display image, with where they came from and the stored size of the file.

#include "color/PixelBuffer.hpp"
#include "imaging/PackedImage.hpp"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace lumivert {

class LoadedImage {
public:
    // All six fields; the display image must have the size of the pixels (else stops).
    LoadedImage(std::optional<std::filesystem::path> url, std::string name, Image8 image,
                PixelBuffer pixels, std::int64_t originalWidth, std::int64_t originalHeight);
    // An image made in memory (the test chart): no url, the display image quantised from the
    // pixels, the original size the buffer's size.
    LoadedImage(std::string name, PixelBuffer pixels);

    const std::optional<std::filesystem::path>& url() const { return url_; }
    // The file name without its extension.
    const std::string& name() const { return name_; }
    const Image8& image() const { return image_; }
    // Upright, size-bounded, sRGB-encoded RGB in 0...1, row 0 at the top.
    const PixelBuffer& pixels() const { return pixels_; }
    // The file's pixel size as stored, before scaling and before orientation.
    std::int64_t originalWidth() const { return originalWidth_; }
    std::int64_t originalHeight() const { return originalHeight_; }

private:
    std::optional<std::filesystem::path> url_;
    std::string name_;
    Image8 image_;
    PixelBuffer pixels_;
    std::int64_t originalWidth_;
    std::int64_t originalHeight_;
};

}  // namespace lumivert
