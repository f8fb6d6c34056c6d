#pragma once

// A symmetric matrix over an n³ lattice (nodes numbered r + n × (g + n × b), red fastest) whose
// row i couples node i only to its 3 × 3 × 3 neighbourhood. Each row stores 27 entries: the
// entry for the node at offset (dx, dy, dz), each in −1, 0, +1, lives in slot
// 9 × (dz + 1) + 3 × (dy + 1) + (dx + 1); slot 13 is the diagonal. Row i is band[27 i … 27 i + 26].
// Entries that would couple across a lattice face must be 0.

#include "color/Triples.hpp"

#include <cstdint>
#include <span>
#include <vector>

namespace lumivert::LatticeBand {

inline constexpr int slotCount = 27;
inline constexpr int diagonalSlot = 13;
inline constexpr int maxIterations = 500;

constexpr int slot(int dx, int dy, int dz) { return 9 * (dz + 1) + 3 * (dy + 1) + (dx + 1); }

// Flat node offset of a slot on an n-point lattice: dx + n × dy + n² × dz.
std::int64_t offset(int slot, std::int64_t n);

struct Solution {
    std::vector<RGB> x;  // one triple per node
    int iterations = 0;  // passes run, 1 … maxIterations
};

// Solves A x = rhs for the three channels at once by conjugate gradients from x = 0 with the
// Jacobi preconditioner; each channel keeps its own scalars. Stops after the first pass in which
// every channel's ‖r‖² ≤ 1e-10 × ‖rhs‖² + 1e-20, or after maxIterations passes. Runs on all
// OpenMP threads; the result does not depend on their number. n ≥ 2, band.size() = 27 n³,
// rhs.size() = n³ and every diagonal entry positive (else stops).
Solution solve(std::int64_t n, std::span<const float> band, std::span<const RGB> rhs);

}  // namespace lumivert::LatticeBand
