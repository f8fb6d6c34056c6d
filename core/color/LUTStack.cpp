#include "color/LUTStack.hpp"

#include "color/Precondition.hpp"

#include <cmath>

namespace lumivert {

LUTStack::LUTStack(LUT3D table) : table_(std::move(table)) {}

LUTStack::LUTStack(LUT1D curves) : curves_(std::move(curves)) {}

LUTStack::LUTStack(LUT1D shaper, LUT3D table) : curves_(std::move(shaper)), table_(std::move(table))
{
}

const LUT1D& LUTStack::curves() const
{
    LUMIVERT_PRECONDITION(curves_.has_value(), "the LUT has 1D curves");
    return *curves_;
}

const LUT3D& LUTStack::table() const
{
    LUMIVERT_PRECONDITION(table_.has_value(), "the LUT has a 3D table");
    return *table_;
}

bool LUTStack::isPlainTable() const { return !curves_ && table_ && table_->domain().isUnit(); }

const LUTDomain& LUTStack::domain() const { return curves_ ? curves_->domain() : table_->domain(); }

RGB LUTStack::apply(const RGB& colour, Interpolation interpolation) const
{
    const RGB shaped = curves_ ? curves_->sample(colour) : colour;
    const RGB output = table_ ? table_->sample(shaped, interpolation) : shaped;
    // The grade pipeline's intensity blend, term for term.
    return strength_ == 1.0f ? output : colour + (output - colour) * strength_;
}

LUTStack LUTStack::withStrength(float s) const
{
    LUMIVERT_PRECONDITION(std::isfinite(s), "a strength is a finite number");
    if (!curves_)
        return LUTStack(table_->withStrength(s));
    LUTStack blended = *this;
    blended.strength_ *= s;
    return blended;
}

LUT3D LUTStack::baked(std::int64_t size) const
{
    if (!curves_)
        return table_->resampled(size);
    const LUTDomain& inputs = domain();
    return LUT3D::buildUnclamped(
        size, [&](const RGB& place) { return apply(inputs.at(place)); }, inputs);
}

LUT3D LUTStack::bakedOnUnitDomain(std::int64_t size) const
{
    if (!curves_)
        return table_->onUnitDomain(size);
    return LUT3D::buildUnclamped(size, [this](const RGB& place) { return apply(place); });
}

}  // namespace lumivert
