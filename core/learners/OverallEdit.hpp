#pragma once

// A global, smooth model of an edit: a monotone tone curve per channel followed by a 3 × 3
// matrix, fitted to before/after colour pairs by weighted least squares with robust weights.
// The edit learner pulls lattice nodes its photos do not reach towards this model instead of
// towards no change, so an edit carries over to colours the pair does not contain.

#include "color/Triples.hpp"

#include <array>
#include <span>

namespace lumivert {

struct OverallEdit {
    // Knots of each tone curve, at k / (knotCount − 1) for k = 0 … knotCount − 1.
    static constexpr int knotCount = 17;

    std::array<std::array<float, knotCount>, 3> curves{};  // red, green, blue
    std::array<float, 9> matrix{};                         // row-major; output = matrix · curves

    // No change: straight curves and the identity matrix.
    static OverallEdit identity();

    // The curves read by linear interpolation (clamped input), then the matrix; clamped to 0 … 1.
    RGB apply(const RGB& input) const;

    // Fits the model to pairs of equal count (else stops); colours are read clamped. Without
    // pairs the identity. Deterministic: one sequential pass order.
    static OverallEdit fit(std::span<const RGB> before, std::span<const RGB> after);
};

}  // namespace lumivert
