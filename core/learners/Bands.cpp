#include "learners/Bands.hpp"

#include "color/ColorMath.hpp"
#include "color/Precondition.hpp"

#include <cmath>

namespace lumivert {

float smoothstep(float edge0, float edge1, float x)
{
    const float t = clamp((x - edge0) / (edge1 - edge0), 0.0f, 1.0f);
    return t * t * (3.0f - 2.0f * t);
}

float histogramPercentile(std::span<const float> histogram, float p, float total, float lo,
                          float hi)
{
    const float fraction = clamp01(p);
    if (!(total > 0.0f))
        return lo + fraction * (hi - lo);
    const float target = total * fraction;
    const float bins = static_cast<float>(histogram.size());
    float cumulative = 0.0f;
    for (std::size_t i = 0; i < histogram.size(); ++i) {
        const float count = histogram[i];
        if (!(count > 0.0f))
            continue;
        if (target <= cumulative + count) {
            const float within = clamp01((target - cumulative) / count);
            return lo + (hi - lo) * (static_cast<float>(i) + within) / bins;
        }
        cumulative += count;
    }
    return hi;
}

BandSplit bandSplit(float x, int count)
{
    LUMIVERT_PRECONDITION(count >= 1, "band split needs at least one band");
    const float position = clamp01(x) * static_cast<float>(count) - 0.5f;
    if (position <= 0.0f)
        return {0, 0.0f};
    if (position >= static_cast<float>(count - 1))
        return {count - 1, 0.0f};
    const float floor = std::floor(position);
    return {static_cast<int>(floor), position - floor};
}

}  // namespace lumivert
