// compare on a photo-sized pair: the per-pixel CIEDE2000 and its statistics, which the app also
// runs after every preview in edit mode, and the heat map with its legend that --map writes.
#include "color/LUT3D.hpp"
#include "imaging/HeatMap.hpp"
#include "imaging/ImageDifference.hpp"
#include "imaging/Packing.hpp"
#include "imaging/PreviewRenderer.hpp"
#include "imaging/TestChart.hpp"

#include <benchmark/benchmark.h>
#include <omp.h>

#include <cmath>

namespace {

using namespace lumivert;

constexpr std::int64_t benchWidth = 1600;
constexpr std::int64_t benchHeight = 1067;
constexpr std::int64_t tableSize = 33;

// The test chart and the chart through a strong grade: every pixel differs.
struct Pair {
    Image8 before = Packing::makeImage8(TestChart::make(benchWidth, benchHeight));
    Image8 after = PreviewRenderer().render(
        before, LUT3D::build(tableSize, [](const RGB& c) {
            return RGB{std::pow(c.r, 0.8f), 0.9f * c.g + 0.05f, std::pow(c.b, 1.2f)};
        }));
};

const Pair& pair()
{
    static const Pair shared;
    return shared;
}

void measureImages(benchmark::State& state)
{
    const int previousThreads = omp_get_max_threads();
    omp_set_num_threads(static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(ImageDifference::measure(pair().before, pair().after));
    omp_set_num_threads(previousThreads);
    state.SetItemsProcessed(state.iterations() * benchWidth * benchHeight);
}
BENCHMARK(measureImages)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void heatMapWithLegend(benchmark::State& state)
{
    const ImageDifferenceResult difference = ImageDifference::measure(pair().before, pair().after);
    for (auto _ : state)
        benchmark::DoNotOptimize(Packing::makeImage8(HeatMap::pictureWithLegend(difference)));
    state.SetItemsProcessed(state.iterations() * benchWidth * benchHeight);
}
BENCHMARK(heatMapWithLegend)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
