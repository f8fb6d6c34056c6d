#pragma once

// A 3D lookup table of N³ sRGB-encoded outputs on the lattice of inputs (r, g, b) / (N − 1).
// Storage order: red fastest, then green, then blue; entry (r, g, b) is
// values()[r + N × (g + N × b)]. Lookups are trilinear and unclamped on output.
// A table read from a file may span another input domain (such as 0 … 4 for scene-referred
// grades): the lattice then covers the domain, and a lookup maps its input into it first.

#include "color/ColorTransform.hpp"
#include "color/LUTDomain.hpp"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace lumivert {

// How a lookup blends the lattice entries around its input: trilinear (this system's own LUTs
// and previews) or tetrahedral (what most grading applications and OpenColorIO use by default).
enum class Interpolation { trilinear, tetrahedral };

// How the window, the stored preference and the command line name an interpolation.
struct InterpolationName {
    Interpolation interpolation;
    std::string_view id;  // "tetrahedral": stored and typed
    std::string_view title;
};
// The default (trilinear) first, in the order of Interpolation.
inline constexpr std::array<InterpolationName, 2> interpolationNames{{
    {Interpolation::trilinear, "trilinear", "Trilinear"},
    {Interpolation::tetrahedral, "tetrahedral", "Tetrahedral"},
}};
constexpr const InterpolationName& nameOf(Interpolation interpolation)
{
    return interpolationNames[static_cast<std::size_t>(interpolation)];
}
constexpr std::optional<Interpolation> interpolationNamed(std::string_view id)
{
    for (const InterpolationName& row : interpolationNames)
        if (row.id == id)
            return row.interpolation;
    return std::nullopt;
}

class LUT3D final : public ColorTransform {
public:
    using Function = std::function<RGB(const RGB&)>;
    // Fills one lattice row: the outputs for red indices 0 … N − 1 at green index g and blue
    // index b, in storage order.
    using RowFunction = std::function<void(std::int64_t g, std::int64_t b, std::span<RGB> out)>;

    // size ≥ 2, values.size() = size³ and a valid domain (else stops).
    LUT3D(std::int64_t size, std::vector<RGB> values, LUTDomain domain = {});

    static LUT3D identity(std::int64_t size);
    // Calls f once per lattice point in storage order; outputs clamped into [0, 1], NaN to 0.
    static LUT3D build(std::int64_t size, const Function& f);
    // f at each lattice place 0 … 1 in storage order, outputs kept as they are (HDR tables), as a
    // table over the domain: f maps places to outputs, the domain says which inputs they are.
    static LUT3D buildUnclamped(std::int64_t size, const Function& f, const LUTDomain& domain = {});
    // The same table as build(), with f called from several threads at once (f must be pure).
    static LUT3D buildConcurrently(std::int64_t size, const Function& f);
    // The same, a row at a time, for callers that share work along a row; outputs clamped as in
    // build(). row must be pure and fill every entry of its span.
    static LUT3D buildRowsConcurrently(std::int64_t size, const RowFunction& row);
    // Rows firstRow … of that table into `out` (whole rows, row index = b × size + g): the same
    // entries, a block at a time, for tables too large to hold twice.
    static void buildRowsInto(std::int64_t size, std::int64_t firstRow, std::span<RGB> out,
                              const RowFunction& row);
    // The N lattice inputs of one axis, i / (N − 1) as one single-precision division each.
    static std::vector<float> latticeAxis(std::int64_t size);

    std::int64_t size() const { return size_; }
    const std::vector<RGB>& values() const { return values_; }
    std::span<RGB> mutableValues() { return values_; }
    const LUTDomain& domain() const { return domain_; }

    // Trilinear lookup; inputs mapped from the domain and clamped into it first (NaN as 0).
    RGB sample(const RGB& colour) const;
    RGB apply(const RGB& colour) const override { return sample(colour); }
    // Tetrahedral lookup of the same cell: the four entries of the tetrahedron the input falls
    // in, chosen by the order of its fractions; inputs mapped and clamped as in sample.
    RGB sampleTetrahedral(const RGB& colour) const;
    RGB sample(const RGB& colour, Interpolation interpolation) const
    {
        return interpolation == Interpolation::trilinear ? sample(colour)
                                                         : sampleTetrahedral(colour);
    }

    // The mapping input + (lookup − input) × s, as grades blend with their intensity: each entry
    // blended with its own lattice input. Lookups are linear in the entries and reproduce the
    // lattice inputs, so this is that blend for every input inside the domain, at no cost per
    // lookup. s = 1 gives this table unchanged.
    LUT3D withStrength(float s) const;

    // The same mapping baked onto an N′ lattice over the same domain (this table unchanged when
    // N′ = N). A table within [0, 1] stays within it; wider entries keep their values.
    LUT3D resampled(std::int64_t size) const;
    // The mapping of the inputs 0 … 1 baked onto an N′ lattice over 0 … 1, for formats that hold
    // no domain: inputs outside the domain take its edge values, as lookups do.
    LUT3D onUnitDomain(std::int64_t size) const;
    // Whether every entry lies in [0, 1], as display-referred tables do.
    bool isWithinUnitRange() const;

    // r + N × (g + N × b); out-of-range indices stop the program.
    std::int64_t index(std::int64_t r, std::int64_t g, std::int64_t b) const;
    const RGB& operator()(std::int64_t r, std::int64_t g, std::int64_t b) const;

    // Largest channel difference between any entry and its own lattice input (in the domain).
    float maxDeviationFromIdentity() const;
    // 4 × N³ floats: R, G, B, 1 per entry in storage order (the colour-cube filter layout).
    std::vector<float> rgbaFloatData() const;

    friend bool operator==(const LUT3D& x, const LUT3D& y)
    {
        return x.size_ == y.size_ && x.values_ == y.values_ && x.domain_ == y.domain_;
    }

private:
    // The lookup at a place 0 … 1 of the domain, clamped into it.
    RGB sampleAtPlace(const RGB& place) const;
    RGB sampleTetrahedralAtPlace(const RGB& place) const;
    LUT3D baked(std::int64_t size, const Function& f, const LUTDomain& domain) const;

    std::int64_t size_;
    std::vector<RGB> values_;
    float scale_;  // N − 1, kept so a lookup needs no conversion
    LUTDomain domain_;
    bool unitDomain_;  // the common case skips the mapping, keeping lookups bit for bit as before
};

}  // namespace lumivert
