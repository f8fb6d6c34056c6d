#include "color/LUT1D.hpp"

#include "color/Precondition.hpp"

#include <algorithm>
#include <cmath>

namespace lumivert {

LUT1D::LUT1D(std::int64_t size, std::vector<RGB> values, LUTDomain domain)
    : values_(std::move(values)), domain_(domain)
{
    LUMIVERT_PRECONDITION(size >= minSize && size <= maxSize, "a 1D LUT has 2 to 65536 points");
    LUMIVERT_PRECONDITION(static_cast<std::int64_t>(values_.size()) == size,
                          "a 1D LUT of size N needs N values");
    LUMIVERT_PRECONDITION(domain_.isValid(), "a LUT's domain is finite with min below max");
}

RGB LUT1D::sample(const RGB& colour) const
{
    const RGB place = domain_.normalised(colour);
    const float scale = static_cast<float>(values_.size() - 1);
    // N − 2 keeps the segment inside the table: the domain's top lands on the last one.
    const int lastSegment = static_cast<int>(values_.size()) - 2;
    const auto channel = [&](float t, float RGB::*component) {
        const float position = t * scale;
        const int i = std::min(lastSegment, static_cast<int>(position));
        const float fraction = position - static_cast<float>(i);
        const float lo = values_[static_cast<std::size_t>(i)].*component;
        const float hi = values_[static_cast<std::size_t>(i) + 1].*component;
        return lo + fraction * (hi - lo);
    };
    return {channel(place.r, &RGB::r), channel(place.g, &RGB::g), channel(place.b, &RGB::b)};
}

float LUT1D::maxDeviationFromIdentity() const
{
    const float last = static_cast<float>(values_.size() - 1);
    float deviation = 0.0f;
    for (std::size_t i = 0; i < values_.size(); ++i) {
        const float t = static_cast<float>(i) / last;
        const RGB input = domain_.at({t, t, t});
        const RGB& entry = values_[i];
        deviation = std::max({deviation, std::fabs(entry.r - input.r), std::fabs(entry.g - input.g),
                              std::fabs(entry.b - input.b)});
    }
    return deviation;
}

}  // namespace lumivert
