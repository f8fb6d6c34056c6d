#pragma once

// Opening and decoding: only the trusted libvips loaders (and LibRaw, for camera RAW files) are
// offered a file, its stored size is checked before any pixel is decoded, and decoding shrinks
// on load where the format can and turns the image upright.

#include "imaging/ImageLoader.hpp"
#include "imaging/PackedImage.hpp"

#include <vips/vips8>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace lumivert::VipsDecoder {

// The loader names OpenedImage::loader has for TIFF and OpenEXR files.
inline constexpr std::string_view tiffLoader = "VipsForeignLoadTiffSource";
inline constexpr std::string_view exrLoader = "VipsForeignLoadOpenexr";

struct OpenedImage {
    vips::VSource source;
    vips::VImage image;  // the first image, header read, pixels decoded on demand in row order
    std::string loader;
    std::int64_t storedWidth;  // the file's size as stored, before scaling and orientation
    std::int64_t storedHeight;
    std::optional<Image16> rawPixels;  // a camera RAW file's decoded pixels, which image wraps
};

// The first image of the source again, for sequential reading, with any extra load options.
vips::VImage openFirstImage(const vips::VSource& source, vips::VOption* extraOptions = nullptr);

// Opens a trusted image file and refuses stored sizes above maxPixels (or that the shape check
// refuses) before decoding a pixel. Throws ImageLoaderError::unreadable or vips::VError.
OpenedImage open(const std::filesystem::path& location, std::int64_t maxPixels,
                 const ImageLoader::ShapeCheck& checkShape = {});
// open, or LibRaw's decoding of a camera RAW file, at half size when the target allows.
OpenedImage openAny(const std::filesystem::path& location, std::int64_t maxPixels,
                    std::int64_t targetPixelSize);

// Refuses an image whose whole decoding, `extraBytesPerPixel` per pixel besides its stored
// samples, would hold more than ImageLoader::maxHeldBytes.
void refuseAboveHeldBytes(const OpenedImage& opened, const std::filesystem::path& location,
                          std::int64_t extraBytesPerPixel);

// Decoded at most maxPixelSize on the longer side, shrinking while decoding where the format
// can, then turned upright as its orientation tag says.
vips::VImage decodeBounded(const OpenedImage& opened, std::int64_t maxPixelSize);

}  // namespace lumivert::VipsDecoder
