#include "lut/LUTAlgebra.hpp"

#include "color/Precondition.hpp"
#include "lut/LUTFormat.hpp"

#include <algorithm>

namespace lumivert {

namespace LUTAlgebra {

LUTStack combine(std::span<const LUTStack> luts, std::int64_t size)
{
    LUMIVERT_PRECONDITION(!luts.empty(), "there is a LUT to combine");
    LUMIVERT_PRECONDITION(size >= LUTFormat::minSize && size <= LUTFormat::maxSize,
                          "a combined table has a size a LUT file can hold");
    const auto rest = [luts](RGB colour) {
        for (const LUTStack& lut : luts.subspan(1))
            colour = lut.apply(colour);
        return colour;
    };
    const LUTStack& first = luts.front();
    // A shaper brings wide inputs into its table's domain; kept, it keeps that precision.
    if (first.hasCurves() && first.hasTable() && first.strength() == 1.0f) {
        const LUT3D& table = first.table();
        const LUTDomain& domain = table.domain();
        return LUTStack(first.curves(),
                        LUT3D::buildUnclamped(
                            size,
                            [&](const RGB& place) { return rest(table.sample(domain.at(place))); },
                            domain));
    }
    const LUTDomain& domain = first.domain();
    return LUT3D::buildUnclamped(
        size, [&](const RGB& place) { return rest(first.apply(domain.at(place))); }, domain);
}

std::int64_t largestSize(std::span<const LUTStack> luts, std::int64_t fallback)
{
    std::int64_t largest = 0;
    for (const LUTStack& lut : luts)
        if (lut.hasTable())
            largest = std::max(largest, lut.table().size());
    return largest == 0 ? fallback : largest;
}

}  // namespace LUTAlgebra

}  // namespace lumivert
