#pragma once

// Helpers shared by the look and match learners: percentiles of float histograms and the
// lightness (or rank) bands whose centres sit at (k + 0.5) / count.

#include <cstdint>
#include <span>

namespace lumivert {

// t²(3 − 2t) with t = clamp((x − e0) / (e1 − e0), 0, 1).
float smoothstep(float edge0, float edge1, float x);

// The value below which the fraction p of the histogram's mass lies; the bins cover [lo, hi]
// evenly and mass is spread uniformly inside a bin. total ≤ 0 or NaN gives lo + p × (hi − lo).
float histogramPercentile(std::span<const float> histogram, float p, float total, float lo,
                          float hi);

// How one sample at x ∈ 0...1 is shared between `count` bands: `first` gets 1 − fraction,
// `first + 1` gets fraction (which is 0 at and beyond the end centres).
struct BandSplit {
    int first = 0;
    float fraction = 0;
};
BandSplit bandSplit(float x, int count);

// Linear interpolation between band entries at x ∈ 0...1, held flat beyond the end centres.
template <typename T> T bandInterpolate(std::span<const T> entries, float x)
{
    const BandSplit split = bandSplit(x, static_cast<int>(entries.size()));
    const T& low = entries[static_cast<std::size_t>(split.first)];
    if (split.fraction == 0.0f)
        return low;
    const T& high = entries[static_cast<std::size_t>(split.first) + 1];
    return low + (high - low) * split.fraction;
}

}  // namespace lumivert
