#pragma once

// Operations that make one LUT out of others: several applied in turn as one table, and the
// inverse of one.

#include "color/LUTStack.hpp"

#include <array>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

namespace lumivert {

// A table that folds has no inverse: some outputs come from two inputs. Names the first lattice
// node, in storage order, where an output falls as its own input rises or the outputs cross.
class LUTFoldError : public std::runtime_error {
public:
    LUTFoldError(std::array<std::int64_t, 3> node, const RGB& input, const std::string& how);

    std::array<std::int64_t, 3> node() const { return node_; }

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

// The inverse of a table that rises along each axis, as a table of `size` points over 0 … 1 whose
// entries are inputs of the table's domain. Each node is solved by Newton steps on the table's
// trilinear lookup, extended linearly past its domain, so outputs the table never reaches get
// the inputs its edge cells point to (they may lie outside the domain) and lookups between them
// stay consistent. Throws LUTFoldError for a table that folds; size within LUTFormat's limits.
LUT3D invert(const LUT3D& lut, std::int64_t size);

}  // namespace LUTAlgebra

}  // namespace lumivert
