#pragma once

// Reads .cube and .3dl text into a table; any other file is read as a HALD image.
// Lines may end with LF, CR, CRLF, VT, FF, NEL, LS or PS; blank lines, lines starting with "#"
// and a leading byte-order mark are ignored; fields are separated by spaces and tabs.
// .cube: TITLE, LUT_3D_SIZE (2 … 256), DOMAIN_MIN/MAX and LUT_3D_INPUT_RANGE (checked, values
// ignored: entries are the outputs on the 0 … 1 lattice), then N³ "r g b" lines, red fastest,
// unclamped. .3dl: optional 3DMESH/Mesh lines, a shaper line whose count of integers is N, then
// N³ integer triples, blue fastest, scaled by 1023, 4095 or 65535 after the largest value.

#include "color/LUT3D.hpp"

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace lumivert {

class LUTFormatError : public std::runtime_error {
public:
    // "The LUT file could not be read: " + reason + "."
    static LUTFormatError malformed(std::string reason);

    const std::string& reason() const { return reason_; }

private:
    explicit LUTFormatError(std::string reason);

    std::string reason_;
};

namespace LUTReader {

struct CubeContents {
    LUT3D lut;
    std::optional<std::string> title;
};

// By the lower-cased extension: "cube", "3dl", else a HALD image loaded at its exact size.
// Throws FileError, LUTFormatError, ImageLoaderError or HaldError.
LUT3D read(const std::filesystem::path& path);

// Both parsers take UTF-8 text and stop at the first offending line with LUTFormatError.
CubeContents cube(std::string_view text);
LUT3D threeDL(std::string_view text);

}  // namespace LUTReader

}  // namespace lumivert
