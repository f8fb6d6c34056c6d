#pragma once

// The ASC Color Decision List (v1.2): a slope, offset and power per channel and one saturation,
// applied as out = clamp(in × slope + offset) ^ power, then saturation about Rec. 709 luma, then
// clamp, with every clamp to 0 … 1. Read from .cc (one ColorCorrection), .ccc (a
// ColorCorrectionCollection) and .cdl (a ColorDecisionList) XML.

#include "color/LUT3D.hpp"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumivert {

struct ASCCDL {
    std::string id;  // the ColorCorrection's id attribute; empty when it has none
    RGB slope{1.0f, 1.0f, 1.0f};
    RGB offset{0.0f, 0.0f, 0.0f};
    RGB power{1.0f, 1.0f, 1.0f};
    float saturation = 1.0f;

    // Slopes and saturation of 0 or more and powers above 0, every value finite: the ranges the
    // format allows. Returns the first problem as a sentence's clause, or nothing.
    std::optional<std::string> problem() const;

    RGB apply(const RGB& colour) const;
    // The correction on a lattice of `size` points over 0 … 1 (valid values, else stops).
    LUT3D lut(std::int64_t size) const;

    friend bool operator==(const ASCCDL&, const ASCCDL&) = default;
};

namespace ASCCDLReader {

// Every ColorCorrection of the text, in order. Elements other than the correction's own are
// skipped; a missing SOPNode or SatNode leaves its values at identity. Throws LUTFormatError with
// the line of the first problem (malformed XML, a node without three numbers, a value the format
// does not allow), or for a text without any ColorCorrection.
std::vector<ASCCDL> corrections(std::string_view text);

// The correction with that id, or the first when no id is asked for; LUTFormatError naming the
// ids there are when none has it.
ASCCDL chosen(const std::vector<ASCCDL>& corrections, const std::optional<std::string>& id);

// corrections() of a file, its errors naming it. Throws FileError as well.
std::vector<ASCCDL> read(const std::filesystem::path& path);

}  // namespace ASCCDLReader

}  // namespace lumivert
