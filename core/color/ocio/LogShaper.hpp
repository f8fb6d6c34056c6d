#pragma once

// The 1D shaper that feeds a scene-linear input into a 3D table: log2 of the value over mid grey,
// from 8 stops below mid grey (0.18 × 2⁻⁸ ≈ 0.0007) to 6 stops above it (0.18 × 2⁶ = 11.52),
// spread evenly over the table's 0 … 1. A linear lattice would spend almost all its points on
// highlights; in stops each lattice step is 14 / (N − 1) of a stop, shadows included. Values
// below the range share the darkest node, values above it the brightest.

#include "color/LUT1D.hpp"

#include <cstdint>

namespace lumivert::LogShaper {

inline constexpr float midGrey = 0.18f;
inline constexpr float stopsBelow = 8.0f;
inline constexpr float stopsAbove = 6.0f;
// Entries of the written curve: 4096 steps of 0.0028 over 0 … 11.52.
inline constexpr std::int64_t curveSize = 4096;

// The darkest and brightest linear values the range holds.
float bottom();
float top();

// A linear value's place 0 … 1 in the range, clamped (NaN as 0).
float place(float linear);
// The linear value at a place 0 … 1: the inverse of place() inside the range.
float linear(float place);

// place() on each channel as a 1D LUT over the inputs 0 … top(), as a .cube shaper holds it.
LUT1D curves(std::int64_t size = curveSize);

}  // namespace lumivert::LogShaper
