#pragma once

// How much of a LUT its grade pins at black or white, beyond what the colour-space conversion
// alone clips, and the warning every LUT command and the window's status line give when that is
// more than a quarter of its entries: a LUT that flat has lost the detail it was made for.

#include "color/LUT3D.hpp"
#include "color/LUTStack.hpp"
#include "color/ocio/SpaceConversion.hpp"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace lumivert::ClipWarning {

// Shares of clipped entries above this are warned about.
inline constexpr double warnedShare = 0.25;

struct Clipping {
    std::int64_t atBlack = 0;  // entries with a channel at or below 0
    std::int64_t atWhite = 0;  // entries with a channel at or above 1
    std::int64_t clipped = 0;  // entries with either
    std::int64_t total = 0;

    double share() const;
};

// The entries of `lut` clipped where the same entry of `plain` (the ungraded table on the same
// lattice) is not; the two have the same size (else stops).
Clipping measure(const LUT3D& lut, const LUT3D& plain);
// Adds entries first … of a size³ table baked a block at a time, against the identity on its
// lattice (sRGB in and out): block by block, the count measure() gives the whole table.
void addAgainstIdentity(Clipping& clipping, std::int64_t size, std::int64_t first,
                        std::span<const RGB> entries);
// A LUT baked with these spaces, against their conversion on its lattice.
Clipping measure(const LUTStack& lut, const SpaceConversion& spaces);

// "41 % of the LUT’s entries clip at white: the reference is much brighter than your photo. …",
// or nothing at or below the warned share.
std::optional<std::string> warning(const Clipping& clipping);

}  // namespace lumivert::ClipWarning
