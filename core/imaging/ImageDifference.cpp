#include "imaging/ImageDifference.hpp"

#include "color/ColorDifference.hpp"
#include "color/ColorMath.hpp"
#include "color/Precondition.hpp"

#include <algorithm>
#include <array>
#include <cmath>

namespace lumivert::ImageDifference {

namespace {

constexpr double levels = 255.0;
constexpr double percentile = 0.95;
// Sums run over fixed blocks and then in block order, so the total never depends on how the
// blocks were shared among threads.
constexpr std::int64_t blockPixels = 4096;

// Both pixels sRGB-encoded, and decoded to linear light for CIELAB.
struct PixelPair {
    RGB x;
    RGB y;
    RGB linearX;
    RGB linearY;
};

double squaredLevels(const RGB& x, const RGB& y)
{
    const double r = (static_cast<double>(x.r) - y.r) * levels;
    const double g = (static_cast<double>(x.g) - y.g) * levels;
    const double b = (static_cast<double>(x.b) - y.b) * levels;
    return r * r + g * g + b * b;
}

// The value of rank k (0-based) in ascending order, reordering `values`.
double ranked(std::vector<float>& values, std::size_t k)
{
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(k), values.end());
    return values[k];
}

DifferenceStats statistics(const std::vector<float>& deltaE, double squaredSum)
{
    const std::size_t count = deltaE.size();
    DifferenceStats stats;
    stats.rmsLevels = std::sqrt(squaredSum / (3.0 * static_cast<double>(count)));
    std::vector<float> sorted = deltaE;
    stats.maxDeltaE = *std::max_element(sorted.begin(), sorted.end());
    const std::size_t middle = count / 2;
    const double upper = ranked(sorted, middle);
    stats.medianDeltaE =
        count % 2 == 1
            ? upper
            : (upper + *std::max_element(sorted.begin(),
                                         sorted.begin() + static_cast<std::ptrdiff_t>(middle))) /
                  2;
    const auto rank = static_cast<std::size_t>(std::ceil(percentile * static_cast<double>(count)));
    stats.percentile95DeltaE = ranked(sorted, std::max<std::size_t>(rank, 1) - 1);
    return stats;
}

template <typename PixelAt>
ImageDifferenceResult measured(std::int64_t width, std::int64_t height, const PixelAt& pixelAt)
{
    const std::int64_t count = width * height;
    ImageDifferenceResult result{
        width, height, std::vector<float>(static_cast<std::size_t>(count)), {}};
    const std::int64_t blocks = (count + blockPixels - 1) / blockPixels;
    std::vector<double> deltaSums(static_cast<std::size_t>(blocks));
    std::vector<double> squaredSums(static_cast<std::size_t>(blocks));
    float* deltaE = result.deltaE.data();
#pragma omp parallel for schedule(static)
    for (std::int64_t block = 0; block < blocks; ++block) {
        double deltaSum = 0;
        double squaredSum = 0;
        for (std::int64_t i = block * blockPixels; i < std::min(count, (block + 1) * blockPixels);
             ++i) {
            const PixelPair pair = pixelAt(i);
            const double difference =
                pair.x == pair.y
                    ? 0.0
                    : ColorDifference::deltaE2000(ColorDifference::linearToCIELab(pair.linearX),
                                                  ColorDifference::linearToCIELab(pair.linearY));
            deltaE[i] = static_cast<float>(difference);
            deltaSum += difference;
            squaredSum += squaredLevels(pair.x, pair.y);
        }
        deltaSums[static_cast<std::size_t>(block)] = deltaSum;
        squaredSums[static_cast<std::size_t>(block)] = squaredSum;
    }
    double deltaTotal = 0;
    double squaredTotal = 0;
    for (std::size_t block = 0; block < deltaSums.size(); ++block) {
        deltaTotal += deltaSums[block];
        squaredTotal += squaredSums[block];
    }
    result.stats = statistics(result.deltaE, squaredTotal);
    result.stats.meanDeltaE = deltaTotal / static_cast<double>(count);
    return result;
}

}  // namespace

ImageDifferenceResult measure(const PixelBuffer& x, const PixelBuffer& y)
{
    LUMIVERT_PRECONDITION(x.width() == y.width() && x.height() == y.height(),
                          "compared images must have one size");
    const RGB* first = x.pixels().data();
    const RGB* second = y.pixels().data();
    return measured(x.width(), x.height(), [first, second](std::int64_t i) {
        return PixelPair{first[i], second[i], ColorMath::decode(first[i]),
                         ColorMath::decode(second[i])};
    });
}

ImageDifferenceResult measure(const Image8& x, const Image8& y)
{
    LUMIVERT_PRECONDITION(x.width() == y.width() && x.height() == y.height(),
                          "compared images must have one size");
    // Each level's value and its decoded value, the same floats the float path computes.
    static const std::array<float, 256> unit = [] {
        std::array<float, 256> table{};
        for (std::size_t level = 0; level < table.size(); ++level)
            table[level] = static_cast<float>(level) / static_cast<float>(levels);
        return table;
    }();
    static const std::array<float, 256> linear = [] {
        std::array<float, 256> table{};
        for (std::size_t level = 0; level < table.size(); ++level)
            table[level] = ColorMath::decode(unit[level]);
        return table;
    }();
    const std::uint8_t* first = x.data();
    const std::uint8_t* second = y.data();
    return measured(x.width(), x.height(), [first, second](std::int64_t i) {
        const std::uint8_t* p = first + 4 * i;
        const std::uint8_t* q = second + 4 * i;
        return PixelPair{{unit[p[0]], unit[p[1]], unit[p[2]]},
                         {unit[q[0]], unit[q[1]], unit[q[2]]},
                         {linear[p[0]], linear[p[1]], linear[p[2]]},
                         {linear[q[0]], linear[q[1]], linear[q[2]]}};
    });
}

}  // namespace lumivert::ImageDifference
