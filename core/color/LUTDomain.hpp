#pragma once

// The inputs a LUT file's table spans, per channel: 0 … 1 for display-referred tables; wider
// (such as 0 … 4, or −1 … 3 for a log shaper) for scene-referred ones. A lookup maps its input
// from the domain onto the lattice first, clamped at the domain's edges.

#include "color/Triples.hpp"

namespace lumivert {

struct LUTDomain {
    RGB min{0.0f, 0.0f, 0.0f};
    RGB max{1.0f, 1.0f, 1.0f};

    // The same for all three channels, as LUT_3D_INPUT_RANGE gives it.
    static LUTDomain uniform(float lo, float hi) { return {{lo, lo, lo}, {hi, hi, hi}}; }

    bool isUnit() const { return min == RGB{0.0f, 0.0f, 0.0f} && max == RGB{1.0f, 1.0f, 1.0f}; }
    bool isUniform() const
    {
        return min.r == min.g && min.g == min.b && max.r == max.g && max.g == max.b;
    }
    // Finite, with min below max in every channel: else no lattice can span it.
    bool isValid() const;
    // Whether every input of 0 … 1 lies inside it, so a table over 0 … 1 loses nothing of it.
    bool containsUnit() const;

    // The input's place in the domain, 0 … 1 per channel, clamped; NaN as 0.
    RGB normalised(const RGB& colour) const;
    // The input at a place 0 … 1 in the domain: min + t × (max − min), exactly t for 0 … 1.
    RGB at(const RGB& place) const;

    friend bool operator==(const LUTDomain&, const LUTDomain&) = default;
};

}  // namespace lumivert
