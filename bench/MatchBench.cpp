// The match analysis and the lattice bake behind every preview refresh in match mode.
#include "color/ColorMath.hpp"
#include "color/PixelBuffer.hpp"
#include "learners/ColorMatcher.hpp"
#include "learners/GradePipeline.hpp"
#include "learners/MatchTransform.hpp"

#include "PerColour.hpp"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>

namespace {

using namespace lumivert;
using namespace lumivert::bench;

constexpr std::int64_t photoWidth = 1600;
constexpr std::int64_t photoHeight = 1067;
constexpr FineTune busyFineTune = {0.3f, -0.2f, 0.4f, 0.25f};

// Sky-to-ground gradient with a few soft colour blobs and sensor-like noise: smooth regions,
// a spread of lightness and hues, and no two neighbouring pixels alike.
PixelBuffer photoLike(std::uint32_t seed, const RGB& skyTint, const RGB& groundTint)
{
    std::mt19937 random(seed);
    std::normal_distribution<float> noise(0.0f, 0.02f);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    struct Blob {
        float x, y, radius;
        RGB colour;
    };
    std::vector<Blob> blobs;
    for (int i = 0; i < 6; ++i)
        blobs.push_back({unit(random),
                         unit(random),
                         0.05f + 0.15f * unit(random),
                         {unit(random), unit(random), unit(random)}});
    std::vector<RGB> pixels;
    pixels.reserve(photoWidth * photoHeight);
    for (std::int64_t y = 0; y < photoHeight; ++y) {
        const float v = static_cast<float>(y) / photoHeight;
        for (std::int64_t x = 0; x < photoWidth; ++x) {
            const float u = static_cast<float>(x) / photoWidth;
            RGB c = lerp(skyTint, groundTint, v) * (0.3f + 0.7f * u);
            for (const Blob& blob : blobs) {
                const float d2 = (u - blob.x) * (u - blob.x) + (v - blob.y) * (v - blob.y);
                c = lerp(c, blob.colour, std::exp(-d2 / (blob.radius * blob.radius)));
            }
            pixels.push_back(clamp01(c + RGB{noise(random), noise(random), noise(random)}));
        }
    }
    return PixelBuffer(photoWidth, photoHeight, std::move(pixels));
}

PixelBuffer sourcePhoto() { return photoLike(7, {0.55f, 0.65f, 0.85f}, {0.25f, 0.3f, 0.15f}); }
PixelBuffer referencePhoto() { return photoLike(11, {0.95f, 0.7f, 0.45f}, {0.35f, 0.2f, 0.3f}); }

void BM_ColorMatcherAnalyse(benchmark::State& state)
{
    const PixelBuffer source = sourcePhoto();
    const PixelBuffer reference = referencePhoto();
    for (auto _ : state)
        benchmark::DoNotOptimize(ColorMatcher::analyse(source, reference));
}
BENCHMARK(BM_ColorMatcherAnalyse)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_GradePipelineMakeLUTMatch(benchmark::State& state)
{
    const auto match = std::make_shared<const MatchTransform>(
        ColorMatcher::analyse(sourcePhoto(), referencePhoto()), MatchSettings{1.0f, 1.0f});
    const GradePipeline pipeline(match, 0.9f, busyFineTune);
    for (auto _ : state)
        benchmark::DoNotOptimize(pipeline.makeLUT(state.range(0)));
}
BENCHMARK(BM_GradePipelineMakeLUTMatch)
    ->Arg(33)
    ->Arg(65)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The same bake with the cusp-aware gamut mapping.
void BM_GradePipelineMakeLUTMatchSmooth(benchmark::State& state)
{
    const auto match = std::make_shared<const MatchTransform>(
        ColorMatcher::analyse(sourcePhoto(), referencePhoto()), MatchSettings{1.0f, 1.0f},
        GamutMapping::smooth);
    const GradePipeline pipeline(match, 0.9f, busyFineTune);
    for (auto _ : state)
        benchmark::DoNotOptimize(pipeline.makeLUT(state.range(0)));
}
BENCHMARK(BM_GradePipelineMakeLUTMatchSmooth)
    ->Arg(33)
    ->Arg(65)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The per-colour pieces of the bake, one colour at a time on one core.
void BM_MatchTransformApply(benchmark::State& state)
{
    const MatchTransform match(ColorMatcher::analyse(sourcePhoto(), referencePhoto()),
                               MatchSettings{1.0f, 1.0f});
    timePerColour(state, randomColours(colourSetSize, 0.0f, 1.0f, 3),
                  [&match](const RGB& c) { return match.apply(c); });
}
BENCHMARK(BM_MatchTransformApply);

void BM_FineTuneApply(benchmark::State& state)
{
    const FineTune::Prepared tune(busyFineTune);
    timePerColour(state, randomColours(colourSetSize, 0.0f, 1.0f, 5),
                  [&tune](const RGB& c) { return tune.apply(c); });
}
BENCHMARK(BM_FineTuneApply);

}  // namespace
