#pragma once

// EXIF in TIFF files, which libvips neither reads from a TIFF nor writes into one: a TIFF keeps
// its camera's descriptive tags (make, model, copyright…) in its first directory and points from
// there to an EXIF directory (lens, exposure, dates) and a GPS directory. These are read from a
// TIFF input as the EXIF block libvips writes into JPEG, PNG and WebP ("Exif\0\0" and a small
// TIFF of its own), and written into a TIFF output by giving the file a new first directory.
// Classic TIFF only (BigTIFF is left as it is). Pure functions on a reader of the file's bytes.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace lumivert::TiffExif {

// Fills `into` with `size` bytes at `offset` of the file; false when they are not all there.
using Reader = std::function<bool(std::uint64_t offset, std::size_t size, void* into)>;

// The reader of a string's bytes (an EXIF block's TIFF part, say).
Reader readerOf(std::string_view bytes);

// The TIFF's descriptive tags and its EXIF and GPS directories as an EXIF block, little-endian;
// nullopt when it has none or is not a classic TIFF.
std::optional<std::string> exifBlockOf(const Reader& tiff);

// What to do to a TIFF just written, `size` bytes long, so that it holds the block's tags: write
// `appended` at `at` (the end, or one byte after it, keeping directories on word boundaries) and
// the new first directory's offset into the header's bytes 4 … 7.
struct Patch {
    std::uint64_t at = 0;
    std::string appended;
    std::uint32_t firstDirectory = 0;
};
// The block may lack its "Exif\0\0" header, as a PNG's eXIf chunk does. nullopt when the file is
// not a little-endian classic TIFF or the block holds nothing to add.
std::optional<Patch> patchFor(const Reader& tiff, std::uint64_t size, std::string_view exifBlock);

}  // namespace lumivert::TiffExif
