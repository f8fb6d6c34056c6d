#include "color/ocio/LogShaper.hpp"

#include <cmath>
#include <vector>

namespace lumivert::LogShaper {

namespace {

constexpr float stops = stopsBelow + stopsAbove;

}  // namespace

float bottom() { return midGrey * std::exp2(-stopsBelow); }

float top() { return midGrey * std::exp2(stopsAbove); }

float place(float linear)
{
    // The comparison is false for NaN and for values at or below zero, which have no log.
    if (!(linear > bottom()))
        return 0.0f;
    const float t = (std::log2(linear / midGrey) + stopsBelow) / stops;
    return t < 1.0f ? t : 1.0f;
}

float linear(float place) { return midGrey * std::exp2(place * stops - stopsBelow); }

LUT1D curves(std::int64_t size)
{
    const LUTDomain domain = LUTDomain::uniform(0.0f, top());
    std::vector<RGB> values(static_cast<std::size_t>(size > 0 ? size : 0));
    const float last = static_cast<float>(size - 1);
    for (std::size_t i = 0; i < values.size(); ++i) {
        const float t = static_cast<float>(i) / last;
        const float shaped = place(domain.at({t, t, t}).r);
        values[i] = {shaped, shaped, shaped};
    }
    return LUT1D(size, std::move(values), domain);
}

}  // namespace lumivert::LogShaper
