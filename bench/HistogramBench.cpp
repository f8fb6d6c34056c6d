// The analysis card's histogram on the preview's image (the 1600-pixel bounded copy): the window
// counts the original and the graded image after every preview, within a 5 ms budget each.
#include "imaging/Histogram.hpp"
#include "imaging/Packing.hpp"
#include "imaging/TestChart.hpp"

#include <benchmark/benchmark.h>
#include <omp.h>

namespace {

using namespace lumivert;

constexpr std::int64_t previewWidth = 1600;
constexpr std::int64_t previewHeight = 1067;

const Image8& previewImage()
{
    static const Image8 image = Packing::makeImage8(TestChart::make(previewWidth, previewHeight));
    return image;
}

void countLevels(benchmark::State& state)
{
    const int previousThreads = omp_get_max_threads();
    omp_set_num_threads(static_cast<int>(state.range(0)));
    const Image8& image = previewImage();
    for (auto _ : state)
        benchmark::DoNotOptimize(Histograms::of(image));
    omp_set_num_threads(previousThreads);
    state.SetItemsProcessed(state.iterations() * image.width() * image.height());
}
BENCHMARK(countLevels)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

}  // namespace
