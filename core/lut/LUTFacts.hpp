#pragma once

// What a LUT file says about itself and what it does, read once: its layout, size and domain,
// title and comments, how far it moves colours, where its outputs clip, whether its grey axis
// rises, and where a few reference colours go. The command line prints these lines; the window
// lists them beside the preview of the file.

#include "color/LUTStack.hpp"

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace lumivert::LUTFacts {

struct LUTFile {
    LUTStack lut;
    std::optional<std::string> title;
    std::vector<std::string> comments;  // the first comment lines, without their "#"
    std::string format;                 // such as ".3dl, 12-bit outputs"
    // A .3dl that declares no depth and whose values stay below 1024 was read as 10-bit: a dark
    // 12-bit grade would come out four times too bright, and only the user can tell.
    bool guessedTenBit = false;
};

// Through the reader the format names (any other file as a HALD image). Throws the reader's
// errors (FileError, LUTFormatError, ImageLoaderError, HaldError).
LUTFile read(const std::filesystem::path& file);

// One line of facts: "Size", "33 points per axis".
struct Fact {
    std::string label;
    std::string value;

    friend bool operator==(const Fact&, const Fact&) = default;
};

// Format, curves, size, domain, title, comments, largest change, output range, grey axis and
// clipping, in that order; rows a file has nothing for are left out.
std::vector<Fact> facts(const LUTFile& file);

// A reference colour (black, greys, primaries, a skin tone) and where the LUT puts it, both
// sRGB-encoded.
struct Sample {
    const char* name;
    RGB input;
    RGB output;
};
std::vector<Sample> samples(const LUTStack& lut);

}  // namespace lumivert::LUTFacts
