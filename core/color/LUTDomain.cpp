#include "color/LUTDomain.hpp"

#include <cmath>

namespace lumivert {

namespace {

bool validAxis(float lo, float hi) { return std::isfinite(lo) && std::isfinite(hi) && lo < hi; }

// The comparisons are false for NaN, which then lands on 0.
inline float place(float x, float lo, float hi)
{
    const float t = (x - lo) / (hi - lo);
    return t > 0.0f ? (t < 1.0f ? t : 1.0f) : 0.0f;
}

}  // namespace

bool LUTDomain::isValid() const
{
    return validAxis(min.r, max.r) && validAxis(min.g, max.g) && validAxis(min.b, max.b);
}

bool LUTDomain::containsUnit() const
{
    return min.r <= 0.0f && min.g <= 0.0f && min.b <= 0.0f && max.r >= 1.0f && max.g >= 1.0f &&
           max.b >= 1.0f;
}

RGB LUTDomain::normalised(const RGB& colour) const
{
    return {place(colour.r, min.r, max.r), place(colour.g, min.g, max.g),
            place(colour.b, min.b, max.b)};
}

RGB LUTDomain::at(const RGB& place) const
{
    return {min.r + place.r * (max.r - min.r), min.g + place.g * (max.g - min.g),
            min.b + place.b * (max.b - min.b)};
}

}  // namespace lumivert
