#include "imaging/Histogram.hpp"

#include "color/Precondition.hpp"

#include <algorithm>

namespace lumivert {

namespace {

constexpr std::size_t channelsPerPixel = 4;
// Pixels per parallel chunk: large enough that merging the chunks' tables costs little.
constexpr std::int64_t chunkPixels = 1 << 16;

using Counts = std::array<std::array<std::uint32_t, Histogram::levels>, Histogram::channelCount>;

void countInto(Counts& counts, const std::uint8_t* pixel, std::int64_t count)
{
    for (std::int64_t index = 0; index < count; ++index, pixel += channelsPerPixel) {
        const std::uint8_t r = pixel[0], g = pixel[1], b = pixel[2];
        ++counts[Histogram::red][r];
        ++counts[Histogram::green][g];
        ++counts[Histogram::blue][b];
        ++counts[Histogram::luminance][Histograms::luma(r, g, b)];
    }
}

}  // namespace

std::uint32_t Histogram::peak(Channel channel) const
{
    const auto& row = counts[static_cast<std::size_t>(channel)];
    return *std::max_element(row.begin() + 1, row.end() - 1);
}

double Histogram::mean(Channel channel) const
{
    if (pixels == 0)
        return 0;
    const auto& row = counts[static_cast<std::size_t>(channel)];
    std::int64_t sum = 0;
    for (std::size_t level = 0; level < row.size(); ++level)
        sum += static_cast<std::int64_t>(level) * row[level];
    return static_cast<double>(sum) / static_cast<double>(pixels);
}

namespace Histograms {

Histogram of(std::span<const std::uint8_t> rgbx)
{
    LUMIVERT_PRECONDITION(rgbx.size() % channelsPerPixel == 0,
                          "a histogram needs whole pixels of four samples");
    const auto pixels = static_cast<std::int64_t>(rgbx.size() / channelsPerPixel);
    const std::int64_t chunks = (pixels + chunkPixels - 1) / chunkPixels;
    Histogram result;
    result.pixels = pixels;
#pragma omp parallel
    {
        // Each thread counts into its own table; integer sums merge to the same totals in any
        // order.
        Counts local{};
#pragma omp for schedule(static) nowait
        for (std::int64_t chunk = 0; chunk < chunks; ++chunk) {
            const std::int64_t first = chunk * chunkPixels;
            countInto(local, rgbx.data() + first * channelsPerPixel,
                      std::min(chunkPixels, pixels - first));
        }
#pragma omp critical(lumivertHistogram)
        for (std::size_t channel = 0; channel < local.size(); ++channel)
            for (std::size_t level = 0; level < Histogram::levels; ++level)
                result.counts[channel][level] += local[channel][level];
    }
    return result;
}

Histogram of(const Image8& image) { return of(image.samples()); }

}  // namespace Histograms

}  // namespace lumivert
