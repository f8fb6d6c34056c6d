#pragma once

// How far one image is from another of the same size: the RMS difference in 8-bit levels and
// the per-pixel CIEDE2000 with its mean, median, 95th percentile and maximum. Results do not
// depend on the number of threads.

#include "color/PixelBuffer.hpp"
#include "imaging/PackedImage.hpp"

#include <cstdint>
#include <vector>

namespace lumivert {

struct DifferenceStats {
    double rmsLevels = 0;  // over every sample of both images, in 8-bit levels
    double meanDeltaE = 0;
    double medianDeltaE = 0;        // the mean of the two middle values for an even count
    double percentile95DeltaE = 0;  // nearest rank: the smallest value not below 95 % of them
    double maxDeltaE = 0;

    friend bool operator==(const DifferenceStats&, const DifferenceStats&) = default;
};

// The per-pixel ΔE2000, row-major like the images, and its statistics.
struct ImageDifferenceResult {
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::vector<float> deltaE;
    DifferenceStats stats;
};

namespace ImageDifference {

// Both images of one size (else stops); sRGB-encoded values, taken as they are.
ImageDifferenceResult measure(const PixelBuffer& x, const PixelBuffer& y);
// Display images, each level read as level / 255.
ImageDifferenceResult measure(const Image8& x, const Image8& y);

}  // namespace ImageDifference

}  // namespace lumivert
