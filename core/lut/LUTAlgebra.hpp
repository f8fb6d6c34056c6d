#pragma once

// Operations that make one LUT out of others: several applied in turn as one table, and the
// inverse of a table.

#include "color/LUTStack.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>

namespace lumivert {

// A table that cannot be inverted because it turns back on itself: where, first in storage order.
class LUTFoldError : public std::runtime_error {
public:
    LUTFoldError(std::array<std::int64_t, 3> node, RGB input, const std::string& how);

    // Lattice indices (red, green, blue) of the first node where the table folds.
    const std::array<std::int64_t, 3>& node() const { return node_; }

private:
    std::array<std::int64_t, 3> node_;
};

namespace LUTAlgebra {

// The LUTs applied in order (the first one first) as one table of `size` points. The first LUT's
// curves are kept in front of the table, else its domain is the table's; the others are looked
// up as they are, clamped at their own domains. At least one LUT; size within LUTFormat's limits.
LUTStack combine(std::span<const LUTStack> luts, std::int64_t size);

// The points per axis combine gives by default: the largest table among them, or `fallback` when
// none holds a table.
std::int64_t largestSize(std::span<const LUTStack> luts, std::int64_t fallback);

// The first node (storage order) where an output channel falls as its own input rises, or where
// the mapping's orientation flips (its Jacobian determinant turns negative); nothing for a table
// monotone along each axis. Flat stretches (clipped ends) do not fold.
std::optional<std::array<std::int64_t, 3>> firstFold(const LUT3D& table);

// The table of `size` points over the same domain whose entry at each node y is the input x with
// table(x) = y: Newton steps from y on the interpolated table, each step backtracked until the
// error falls, x kept inside the domain. Where y lies outside what the table reaches, the entry is
// the nearest reachable input. Throws LUTFoldError for a table that folds.
LUT3D invert(const LUT3D& table, std::int64_t size);

}  // namespace LUTAlgebra

}  // namespace lumivert
