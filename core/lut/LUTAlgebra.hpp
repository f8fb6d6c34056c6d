#pragma once

// Operations that make one LUT out of others: several applied in turn as one table.

#include "color/LUTStack.hpp"

#include <cstdint>
#include <span>

namespace lumivert {

namespace LUTAlgebra {

// The LUTs applied in order (the first one first) as one table of `size` points. The first LUT's
// curves are kept in front of the table, else its domain is the table's; the others are looked
// up as they are, clamped at their own domains. At least one LUT; size within LUTFormat's limits.
LUTStack combine(std::span<const LUTStack> luts, std::int64_t size);

// The points per axis combine gives by default: the largest table among them, or `fallback` when
// none holds a table.
std::int64_t largestSize(std::span<const LUTStack> luts, std::int64_t fallback);

}  // namespace LUTAlgebra

}  // namespace lumivert
