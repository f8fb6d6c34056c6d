// Baking LUTs whose input is a camera's log or a scene-linear space: OpenColorIO's chain is
// evaluated on the lattice nodes, so a bake should cost about as much as the grade's own.
// The target: a 33-point camera-space table in under 12 ms. CPU time counts every thread.
#include "color/ocio/SpaceConversion.hpp"
#include "learners/GradePipeline.hpp"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

using namespace lumivert;

// arg 0: the input space, in ColorSpace order.
ColorSpace inputOf(const benchmark::State& state)
{
    return static_cast<ColorSpace>(state.range(0));
}

void BM_ConversionBake(benchmark::State& state)
{
    const ColorSpace input = inputOf(state);
    for (auto _ : state)
        benchmark::DoNotOptimize(
            SpaceConversion::builtin(input, ColorSpace::rec709).conversion(33));
    state.SetLabel(std::string(ColorSpaces::row(input).key) + " to rec709, 33 points");
}
BENCHMARK(BM_ConversionBake)
    ->Arg(static_cast<int>(ColorSpace::slog3SGamut3Cine))
    ->Arg(static_cast<int>(ColorSpace::logC3AWG))
    ->Arg(static_cast<int>(ColorSpace::linearRec709))
    ->Arg(static_cast<int>(ColorSpace::rec709))
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// The preview's and the export's bake: rendering, a fine-tuned grade, the output display.
void BM_GradedBake(benchmark::State& state)
{
    const ColorSpace input = inputOf(state);
    const GradePipeline grade(std::make_shared<IdentityTransform>(), 1.0f,
                              FineTune{.temperature = 0.3f, .contrast = 0.2f, .saturation = 0.1f});
    for (auto _ : state)
        benchmark::DoNotOptimize(
            SpaceConversion::builtin(input, ColorSpace::rec709).graded(grade, 33));
    state.SetLabel(std::string(ColorSpaces::row(input).key) + " to rec709, 33 points");
}
BENCHMARK(BM_GradedBake)
    ->Arg(static_cast<int>(ColorSpace::slog3SGamut3Cine))
    ->Arg(static_cast<int>(ColorSpace::srgb))
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
