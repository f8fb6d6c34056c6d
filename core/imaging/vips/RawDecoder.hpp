#pragma once

// Camera RAW files (DNG, CR2/CR3, NEF, ARW, RAF, ORF, RW2 and the rest LibRaw knows), decoded
// the way a photographer's converter does by default: the camera's white balance as shot, the
// camera's colour matrix into sRGB, sRGB-encoded 16-bit samples, exposure as shot (no automatic
// brightening), turned upright as the file says. Only this file's .cpp includes LibRaw; the
// image loader hands the result to libvips.

#include "imaging/PackedImage.hpp"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>

namespace lumivert::RawDecoder {

// Lower-case extensions (without the dot) of the RAW formats that are offered to LibRaw.
std::span<const std::string_view> extensions();
// Whether the file's extension (any case) is one of extensions().
bool hasRawExtension(const std::filesystem::path& location);

// Whether LibRaw recognises the file's content as a RAW file (reads its header only).
bool identifies(const std::filesystem::path& location);

struct Request {
    // Sensors with more pixels than this are refused before any pixel is decoded.
    std::int64_t maxPixels = 0;
    // The longer side the caller will shrink the result to. At most half the sensor's longer
    // side, the mosaic is decoded at half size (each 2 × 2 cell one pixel), which is several
    // times faster and sharper than needed for that target anyway.
    std::int64_t targetPixelSize = 0;
};

struct Decoded {
    Image16 image;  // upright, sRGB-encoded RGB
    // The full output size before turning upright, as LoadedImage reports a file's size.
    std::int64_t storedWidth = 0;
    std::int64_t storedHeight = 0;
    bool halfSize = false;
};

// nullopt when LibRaw does not recognise the content as a RAW file. A recognised file that is
// too large, truncated or corrupt throws ImageLoaderError::unreadable.
std::optional<Decoded> decode(const std::filesystem::path& location, const Request& request);

}  // namespace lumivert::RawDecoder
