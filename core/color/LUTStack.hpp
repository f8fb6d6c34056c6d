#pragma once

// What a .cube file holds: a 3D table, three 1D curves, or curves feeding a table (the shaper
// layout grading applications write for log footage: the curves bring the input into the
// table's domain). Applied as one transform: curves first, then the table.

#include "color/ColorTransform.hpp"
#include "color/LUT1D.hpp"
#include "color/LUT3D.hpp"

#include <cstdint>
#include <optional>

namespace lumivert {

class LUTStack final : public ColorTransform {
public:
    LUTStack(LUT3D table);  // NOLINT(google-explicit-constructor): a plain table is a stack
    explicit LUTStack(LUT1D curves);
    LUTStack(LUT1D shaper, LUT3D table);

    bool hasCurves() const { return curves_.has_value(); }
    bool hasTable() const { return table_.has_value(); }
    // Each stops when the stack lacks that part.
    const LUT1D& curves() const;
    const LUT3D& table() const;

    // A 3D table alone over 0 … 1: what every format holds without a change.
    bool isPlainTable() const;
    // The inputs the whole transform spans: the curves' domain, else the table's.
    const LUTDomain& domain() const;

    RGB apply(const RGB& colour) const override { return apply(colour, Interpolation::trilinear); }
    // The curves interpolate linearly; `interpolation` picks the table's lookup.
    RGB apply(const RGB& colour, Interpolation interpolation) const;

    // The mapping input + (output − input) × s, as grades blend with their intensity (0 … 1.5 in
    // practice). A table alone takes the blend into its entries (LUT3D::withStrength), so it stays
    // a plain table for the fast paths; with curves each lookup blends. s = 1 changes nothing.
    LUTStack withStrength(float s) const;
    // The blend each lookup still makes (1 unless curves feed the table).
    float strength() const { return strength_; }

    // The whole transform as one 3D table of N points over its own domain.
    LUT3D baked(std::int64_t size) const;
    // The same over 0 … 1, for formats that hold no domain and no curves.
    LUT3D bakedOnUnitDomain(std::int64_t size) const;

    friend bool operator==(const LUTStack& x, const LUTStack& y)
    {
        return x.curves_ == y.curves_ && x.table_ == y.table_ && x.strength_ == y.strength_;
    }

private:
    std::optional<LUT1D> curves_;
    std::optional<LUT3D> table_;
    float strength_ = 1.0f;  // blended per lookup; only a stack with curves holds another
};

}  // namespace lumivert
