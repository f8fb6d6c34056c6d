#pragma once

// The metadata a graded image carries into its file, in the places each file type keeps it.
// libvips writes EXIF and XMP into every type, but IPTC only into JPEG (and into TIFF cut to a
// quarter of its length), so the IPTC records are moved to where each type's readers look.

#include "imaging/ImageLoader.hpp"

#include <vips/vips8>

#include <filesystem>
#include <string>
#include <string_view>

namespace lumivert::VipsMetadata {

// Moves the image's IPTC records (from a JPEG's, TIFF's or PNG's wrapper) into the wrapper
// libvips writes for `type`: JPEG's APP13 segment, TIFF's Photoshop tag. For PNG, returns the
// text chunk to add once the file is written (appendToPng); else an empty string. WebP has no
// place for IPTC.
std::string placeIptc(vips::VImage& image, ImageFileType type);

// Adds `chunk` before the IEND chunk of the PNG just written to `fd`; false (errno set) when
// the file does not end as a PNG does or the write fails.
bool appendToPng(int fd, std::string_view chunk);

// A TIFF input's EXIF (which libvips does not read) as the image's EXIF block, unless it has one.
void readTiffExif(vips::VImage& image, const std::filesystem::path& input);

// The image's EXIF added to the TIFF just written to `fd` (which libvips leaves without it);
// false (errno set) when a write fails. A file that cannot take it is left as it is.
bool writeTiffExif(const vips::VImage& image, int fd);

}  // namespace lumivert::VipsMetadata
