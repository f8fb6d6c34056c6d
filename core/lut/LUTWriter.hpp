#pragma once

// Turns a table into the text of a .cube or .3dl file, and writes any of the three formats.
// .cube: TITLE, a comment, LUT_3D_SIZE, DOMAIN_MIN/MAX (the table's domain), then N³ lines
// "r g b" with six decimals, red fastest; values beyond 0 … 1 are kept. 1D curves and shaper
// layouts as LUTReader reads them. .3dl, plain: the comment, a shaper line of N 10-bit inputs,
// then N³ lines of 12-bit integers, blue fastest. .3dl, Lustre: "3DMESH", "Mesh K 12" for
// N = 2^K + 1, the comment, then the same lines without a shaper line. HALD: a 16-bit PNG of a
// chosen level. .3dl and HALD clamp into [0, 1], and a table over another domain is resampled
// onto 0 … 1 first. Lines end with a line feed.
// Every entry must be finite (else stops): a NaN would be written as a plausible number.

#include "color/LUT3D.hpp"
#include "color/LUTStack.hpp"
#include "lut/HaldCLUT.hpp"
#include "lut/LUTFormat.hpp"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace lumivert::LUTWriter {

inline constexpr std::string_view generator = "Lumivert";

// The plain layout is what most applications (and ffmpeg) read; Autodesk Lustre wants its
// own header, which declares the size and the output depth.
enum class ThreeDLFlavour : std::uint8_t { plain, lustre };

// Choices a format leaves open. The defaults write what every earlier version wrote.
struct Options {
    int haldLevel = HaldCLUT::defaultLevel;  // 2 … 16 (else stops)
    ThreeDLFlavour threeDLFlavour = ThreeDLFlavour::plain;
    // Comment lines after our own, without their "# " (.cube and .3dl; HALD holds none): what
    // the LUT's input and output code values are, when they are not sRGB.
    std::vector<std::string> notes;
};

// Whether the flavour can hold a table of this many points per axis: plain any, Lustre only
// 2^K + 1, as its Mesh line gives the size as K.
bool canWrite(ThreeDLFlavour flavour, std::int64_t size);
// Whether a table of this size can be written in the format with these options: always, but
// for a Lustre .3dl (HALD resamples any table to its level).
bool canWrite(LUTFormat format, std::int64_t size, const Options& options);

// Points per axis of the table a file of the format holds when this table is written to it:
// the table's own size, level² for HALD, at most ICCProfile::maxSize for ICC.
std::int64_t writtenSize(std::int64_t size, LUTFormat format, const Options& options = {});

// The entries a format holding only 0 … 1 clamps: how many of all, and the lowest and highest
// value among their channels.
struct Clamping {
    std::int64_t entries = 0;
    std::int64_t total = 0;
    float lowest = 0.0f;
    float highest = 0.0f;
};
Clamping clamping(const LUT3D& lut);

// How the notes naming a LUT's spaces begin ("Input: S-Log3 / S-Gamut3.Cine", "Output: Rec.709").
inline constexpr std::string_view inputNote = "Input: ";
inline constexpr std::string_view outputNote = "Output: ";

// The comment line, line feed included, that starts every .3dl and follows the TITLE of every
// .cube; the .3dl reader takes it as our declaration of 12-bit output. It says the input is
// sRGB-encoded unless the notes name the input space themselves ("Input: …").
std::string commentLine(std::span<const std::string> notes = {});

// The title as written in the TITLE line: diacritics stripped, printable ASCII without double
// quotes, trimmed of spaces, at most 120 characters, "Untitled" when nothing is left.
std::string cleanedTitle(std::string_view title);

std::string cube(const LUT3D& lut, std::string_view title, std::span<const std::string> notes = {});
// Fills `entries` with a table's entries (red fastest) from index `first` on; called with blocks
// of whole rows, in order.
using EntryBlock = std::function<void(std::int64_t first, std::span<RGB> entries)>;
// The .cube of a size³ table over 0 … 1, its entries made a block at a time by `fill`, written to
// `fd` without ever holding the table or its text: the bytes cube() gives for the whole table.
// False, with errno set, when a write fails.
bool streamCube(std::int64_t size, const EntryBlock& fill, std::string_view title, int fd,
                std::span<const std::string> notes = {});
// A plain table as above; 1D curves with LUT_1D_SIZE and DOMAIN_MIN/MAX; a shaper and a table
// with LUT_1D_SIZE, LUT_1D_INPUT_RANGE, LUT_3D_SIZE, LUT_3D_INPUT_RANGE, then both entry lists,
// the title as the first comment (readers of that layout refuse a TITLE line).
std::string cube(const LUTStack& stack, std::string_view title,
                 std::span<const std::string> notes = {});
// A Lustre table must have a size that canWrite accepts (else stops).
std::string threeDL(const LUT3D& lut, ThreeDLFlavour flavour = ThreeDLFlavour::plain,
                    std::span<const std::string> notes = {});
// The PNG bytes writeHald writes, for writing together with other files; the destination is
// named in errors (ImageLoaderError).
std::string hald(const LUT3D& lut, const std::filesystem::path& destination,
                 int level = HaldCLUT::defaultLevel);

// Writes the format to the destination atomically, replacing an existing file, through the
// format's writer. The title is used by .cube only. Throws FileError for text formats and
// ImageLoaderError for HALD; on failure an existing file is left untouched.
void write(const LUT3D& lut, LUTFormat format, std::string_view title,
           const std::filesystem::path& destination, const Options& options = {});

// One format each, whatever the destination's extension. HALD is a 16-bit PNG of side level³
// holding the table resampled to level² points (512 × 512 and 64 points at level 8).
void writeCube(const LUT3D& lut, std::string_view title, const std::filesystem::path& destination,
               std::span<const std::string> notes = {});
void writeCube(const LUTStack& stack, std::string_view title,
               const std::filesystem::path& destination, std::span<const std::string> notes = {});
void writeThreeDL(const LUT3D& lut, const std::filesystem::path& destination,
                  ThreeDLFlavour flavour = ThreeDLFlavour::plain,
                  std::span<const std::string> notes = {});
void writeHald(const LUT3D& lut, const std::filesystem::path& destination,
               int level = HaldCLUT::defaultLevel);

}  // namespace lumivert::LUTWriter
