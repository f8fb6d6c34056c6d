#pragma once

// Turns a table into the text of a .cube or .3dl file, and writes any of the three formats.
// .cube: TITLE, a comment, LUT_3D_SIZE, DOMAIN_MIN/MAX (the table's domain), then N³ lines
// "r g b" with six decimals, red fastest; values beyond 0 … 1 are kept. 1D curves and shaper
// layouts as LUTReader reads them. .3dl: the comment, a shaper line of N 10-bit inputs, then N³
// lines of 12-bit integers, blue fastest, clamped into [0, 1]; a table over another domain is
// resampled onto 0 … 1 first, as for HALD images. Lines end with a line feed.
// Every entry must be finite (else stops): a NaN would be written as a plausible number.

#include "color/LUT3D.hpp"
#include "color/LUTStack.hpp"
#include "lut/LUTFormat.hpp"

#include <filesystem>
#include <string>
#include <string_view>

namespace lumivert::LUTWriter {

inline constexpr std::string_view generator = "Lumivert";

// The comment line, line feed included, that starts every .3dl and follows the TITLE of every
// .cube; the .3dl reader takes it as our declaration of 12-bit output.
std::string commentLine();

// The title as written in the TITLE line: diacritics stripped, printable ASCII without double
// quotes, trimmed of spaces, at most 120 characters, "Untitled" when nothing is left.
std::string cleanedTitle(std::string_view title);

std::string cube(const LUT3D& lut, std::string_view title);
// A plain table as above; 1D curves with LUT_1D_SIZE and DOMAIN_MIN/MAX; a shaper and a table
// with LUT_1D_SIZE, LUT_1D_INPUT_RANGE, LUT_3D_SIZE, LUT_3D_INPUT_RANGE, then both entry lists.
std::string cube(const LUTStack& stack, std::string_view title);
std::string threeDL(const LUT3D& lut);
// The PNG bytes writeHald writes, for writing together with other files; the destination is
// named in errors (ImageLoaderError).
std::string hald(const LUT3D& lut, const std::filesystem::path& destination);

// Writes the format to the destination atomically, replacing an existing file, through the
// format's writer. The title is used by .cube only. Throws FileError for text formats and
// ImageLoaderError for HALD; on failure an existing file is left untouched.
void write(const LUT3D& lut, LUTFormat format, std::string_view title,
           const std::filesystem::path& destination);

// One format each, whatever the destination's extension. HALD is always a 16-bit 512 × 512 PNG
// (level 8).
void writeCube(const LUT3D& lut, std::string_view title, const std::filesystem::path& destination);
void writeCube(const LUTStack& stack, std::string_view title,
               const std::filesystem::path& destination);
void writeThreeDL(const LUT3D& lut, const std::filesystem::path& destination);
void writeHald(const LUT3D& lut, const std::filesystem::path& destination);

}  // namespace lumivert::LUTWriter
