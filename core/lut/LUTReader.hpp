#pragma once

// Reads .cube and .3dl text into a table, an image as a HALD image, ASC CDL files as their
// correction on a lattice, and the other formats OpenColorIO reads through it.
// Lines may end with LF, CR, CRLF, VT, FF, NEL, LS or PS, each one line for error locations;
// blank lines, lines starting with "#" and a leading byte-order mark are ignored; fields are
// separated by spaces and tabs.
// .cube: TITLE; LUT_3D_SIZE (2 … 256) and/or LUT_1D_SIZE (2 … 65536); the domain from
// DOMAIN_MIN/MAX (every table) or LUT_1D_INPUT_RANGE / LUT_3D_INPUT_RANGE (one table, all
// channels), 0 … 1 by default; then the 1D entries, if any, and N³ "r g b" lines, red fastest.
// Entries are unclamped (HDR grades reach beyond 0 … 1) but must be finite. .3dl: an optional
// 3DMESH line; a "Mesh N B" line (2^N + 1 points, B-bit outputs) after which the shaper line is
// optional, or a shaper line whose count of integers is N; then N³ integer triples, blue fastest.
// Without a Mesh line, outputs are 12-bit when the first line is the comment our writer starts
// with, else scaled by 1023, 4095 or 65535 after the largest value. Every format holds
// LUTFormat::minSize … maxSize points per axis.

#include "color/LUTStack.hpp"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace lumivert {

// A LUT text that does not parse: the reason, and where it was found when that is known. The
// message names the place first, as OpenColorIO's parse errors do:
//   "look.cube, line 7: bad LUT_3D_SIZE."                      a file and a line
//   "look.cube: wrong entry count."                            a file; the end of it is at fault
//   "The LUT file could not be read: line 7: bad LUT_3D_SIZE." text without a file
//   "The LUT file could not be read: no LUT_3D_SIZE."          neither
class LUTFormatError : public std::runtime_error {
public:
    // At a 1-based line of the text, or nowhere in particular.
    static LUTFormatError malformed(std::string reason,
                                    std::optional<std::int64_t> line = std::nullopt);
    // The same error, found in that file.
    LUTFormatError inFile(const std::filesystem::path& file) const;

    // The short reason alone, such as "bad LUT_3D_SIZE".
    const std::string& reason() const { return reason_; }
    // The file as given to the reader; the message shows its name only.
    const std::optional<std::filesystem::path>& file() const { return file_; }
    // The offending line, counted from 1; absent for problems only the end reveals.
    std::optional<std::int64_t> line() const { return line_; }

private:
    LUTFormatError(std::string reason, std::optional<std::filesystem::path> file,
                   std::optional<std::int64_t> line);

    std::string reason_;
    std::optional<std::filesystem::path> file_;
    std::optional<std::int64_t> line_;
};

namespace LUTReader {

struct CubeContents {
    LUTStack lut;
    std::optional<std::string> title;
    // The first comment lines, without their "#" (the writer's own line among them).
    std::vector<std::string> comments;
};

struct ThreeDLContents {
    LUT3D lut;
    // Bits of the output values: 10, 12 or 16 when guessed.
    int outputBits = 0;
    // Nothing declared the depth and no value reached 1024, so it was read as 10-bit: a dark 12-
    // or 16-bit grade looks just the same, and would then read four or more times too bright.
    bool guessedTenBit = false;
    std::vector<std::string> comments;
};

struct OCIOContents {
    LUTStack lut;
    // Whether the tables are the file's own, rather than its transform evaluated on a lattice.
    bool exact = true;
    // Such as "1D shaper then 3D table" or "matrix, evaluated on a 65-point lattice".
    std::string layout;
};

// Through the format LUTFormat::fromPath names; an image (.png, .jpg, .tif, .webp) is read as a
// HALD image, any other extension refused as "unsupported LUT format" listing the ones there are.
// Throws FileError, LUTFormatError (naming the file), ImageLoaderError or HaldError.
LUTStack read(const std::filesystem::path& path);
// read, with the title a .cube file stores, from one reading of the file.
CubeContents readContents(const std::filesystem::path& path);

// One format each, whatever the file's extension. Text is read only from a regular file no
// larger than a 256-point table can be (0.94 GB; else FileError) and decoded as UTF-8, invalid
// bytes replaced where they are quoted; a HALD image is loaded at its exact size once its
// header shows a HALD shape.
CubeContents readCube(const std::filesystem::path& path);
ThreeDLContents readThreeDL(const std::filesystem::path& path);
LUT3D readHald(const std::filesystem::path& path);
// Through OpenColorIO's file transform; its errors become LUTFormatError naming the file, and
// the line when OpenColorIO gives one.
OCIOContents readThroughOCIO(const std::filesystem::path& path);
// The first correction of a .cc, .ccc or .cdl file, on a lattice of OCIOFile::latticeSize points.
LUTStack readCorrection(const std::filesystem::path& path);

// Both parsers take UTF-8 text and stop at the first offending line with LUTFormatError.
CubeContents cube(std::string_view text);
ThreeDLContents threeDL(std::string_view text);

}  // namespace LUTReader

}  // namespace lumivert
