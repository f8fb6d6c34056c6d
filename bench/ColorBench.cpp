// Inner loops of everything else: colour conversion, LUT baking and lookup, sampling, resizing.
#include "color/ColorMath.hpp"
#include "color/LUT3D.hpp"
#include "color/PixelBuffer.hpp"

#include "PerColour.hpp"

#include <benchmark/benchmark.h>

#include <random>

namespace {

using namespace lumivert;
using namespace lumivert::bench;

constexpr std::int64_t photoWidth = 1600;
constexpr std::int64_t photoHeight = 1067;

PixelBuffer randomPhoto()
{
    return PixelBuffer(photoWidth, photoHeight,
                       randomColours(photoWidth * photoHeight, 0.0f, 1.0f));
}

RGB roundTrip(const RGB& c) { return ColorMath::oklabToSRGB(ColorMath::srgbToOklab(c)); }

// srgbToOklab then oklabToSRGB per call; arg 0 draws in-gamut colours, arg 1 colours far
// outside the cube, which take the 14-step chroma bisection on the way back.
void BM_OklabRoundTrip(benchmark::State& state)
{
    const bool outside = state.range(0) != 0;
    const std::vector<RGB> colours = outside ? randomColours(colourSetSize, -0.6f, 1.6f)
                                             : randomColours(colourSetSize, 0.0f, 1.0f);
    timePerColour(state, colours, roundTrip);
    state.SetLabel(outside ? "far out of gamut" : "in gamut");
}
BENCHMARK(BM_OklabRoundTrip)->Arg(0)->Arg(1);

// The same far-outside colours brought back by the cusp-aware mapping.
void BM_OklabRoundTripSmooth(benchmark::State& state)
{
    timePerColour(state, randomColours(colourSetSize, -0.6f, 1.6f), [](const RGB& c) {
        return ColorMath::oklabToSRGB(ColorMath::srgbToOklab(c), GamutMapping::smooth);
    });
}
BENCHMARK(BM_OklabRoundTripSmooth);

void BM_LUT3DBuildRoundTrip(benchmark::State& state)
{
    const std::int64_t size = state.range(0);
    for (auto _ : state)
        benchmark::DoNotOptimize(LUT3D::build(size, roundTrip));
}
BENCHMARK(BM_LUT3DBuildRoundTrip)->Arg(33)->Arg(65)->Unit(benchmark::kMillisecond);

void BM_LUT3DBuildConcurrentlyRoundTrip(benchmark::State& state)
{
    const std::int64_t size = state.range(0);
    for (auto _ : state)
        benchmark::DoNotOptimize(LUT3D::buildConcurrently(size, roundTrip));
}
BENCHMARK(BM_LUT3DBuildConcurrentlyRoundTrip)
    ->Arg(33)
    ->Arg(65)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_LUT3DSamplePhoto(benchmark::State& state)
{
    const PixelBuffer photo = randomPhoto();
    const LUT3D lut = LUT3D::build(33, roundTrip);
    std::vector<RGB> out(photo.pixels().size());
    for (auto _ : state) {
        const std::vector<RGB>& in = photo.pixels();
        for (std::size_t i = 0; i < in.size(); ++i)
            out[i] = lut.sample(in[i]);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(out.size()));
}
BENCHMARK(BM_LUT3DSamplePhoto)->Unit(benchmark::kMillisecond);

void BM_PixelBufferSamples(benchmark::State& state)
{
    const PixelBuffer photo = randomPhoto();
    for (auto _ : state)
        benchmark::DoNotOptimize(photo.samples(250000));
}
BENCHMARK(BM_PixelBufferSamples)->Unit(benchmark::kMicrosecond);

void BM_PixelBufferResize(benchmark::State& state)
{
    const PixelBuffer photo = randomPhoto();
    for (auto _ : state)
        benchmark::DoNotOptimize(photo.resized(1000, 667));
}
BENCHMARK(BM_PixelBufferResize)->Unit(benchmark::kMillisecond);

}  // namespace
