// Look mode: analysing a reference photo, and baking the look into preview and export tables.
#include "color/ColorMath.hpp"
#include "color/LUT3D.hpp"
#include "learners/GradePipeline.hpp"
#include "learners/LookExtractor.hpp"
#include "learners/LookTransform.hpp"

#include "PerColour.hpp"

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <memory>
#include <random>

namespace {

using namespace lumivert;
using namespace lumivert::bench;

constexpr std::int64_t photoWidth = 1600;
constexpr std::int64_t photoHeight = 1067;

// A photo-like scene: a warm-cast grey wall lit from dark to bright, beside coloured objects
// in six hues, with seeded noise everywhere.
PixelBuffer photoLike()
{
    const Chroma cast{0.015f, 0.02f};
    std::mt19937 random(17);
    std::normal_distribution<float> noise(0.0f, 0.006f);
    std::vector<RGB> pixels;
    pixels.reserve(static_cast<std::size_t>(photoWidth * photoHeight));
    for (std::int64_t y = 0; y < photoHeight; ++y) {
        const float v = static_cast<float>(y) / static_cast<float>(photoHeight);
        for (std::int64_t x = 0; x < photoWidth; ++x) {
            const float u = static_cast<float>(x) / static_cast<float>(photoWidth);
            Chroma chroma = cast + Chroma{noise(random), noise(random)};
            float lightness = 0.08f + 0.86f * v + noise(random);
            if (u >= 0.4f) {
                const float hue = std::floor((u - 0.4f) * 10.0f) * 1.05f;
                chroma += Chroma{0.1f * std::cos(hue), 0.1f * std::sin(hue)};
                lightness = 0.25f + 0.5f * v + 0.1f * u + noise(random);
            }
            pixels.push_back(ColorMath::oklabToSRGB({lightness, chroma.a, chroma.b}));
        }
    }
    return PixelBuffer(photoWidth, photoHeight, std::move(pixels));
}

// Every aspect away from neutral and a full palette of six, so every step of apply runs.
LookTransform fullLook(GamutMapping gamut = GamutMapping::preserveLightness)
{
    LookAnalysis analysis;
    analysis.blackLevel = 0.06f;
    analysis.whiteLevel = 0.93f;
    analysis.contrast = 1.08f;
    analysis.saturation = 0.8f;
    for (std::size_t k = 0; k < analysis.tints.size(); ++k)
        analysis.tints[k] = {0.02f - 0.003f * static_cast<float>(k), 0.01f};
    const std::array<float, 6> weights = {0.3f, 0.2f, 0.15f, 0.12f, 0.1f, 0.08f};
    for (int i = 0; i < 6; ++i) {
        const float hue = -2.8f + 1.0f * static_cast<float>(i);
        analysis.palette.push_back({i,
                                    {0.6f, 0.08f * std::cos(hue), 0.08f * std::sin(hue)},
                                    weights[static_cast<std::size_t>(i)],
                                    hue});
    }
    return LookTransform(analysis, {1.0f, 1.0f, 1.0f, 1.0f}, gamut);
}

void BM_LookAnalyse(benchmark::State& state)
{
    const PixelBuffer photo = photoLike();
    for (auto _ : state)
        benchmark::DoNotOptimize(LookExtractor::analyse(photo));
}
BENCHMARK(BM_LookAnalyse)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LookApply(benchmark::State& state)
{
    const LookTransform look = fullLook();
    timePerColour(state, randomColours(colourSetSize, 0.0f, 1.0f, 5),
                  [&look](const RGB& c) { return look.apply(c); });
}
BENCHMARK(BM_LookApply);

void BM_LookLUTBuild(benchmark::State& state)
{
    const LookTransform look = fullLook();
    const auto f = [&look](const RGB& c) { return look.apply(c); };
    for (auto _ : state)
        benchmark::DoNotOptimize(LUT3D::build(state.range(0), f));
}
BENCHMARK(BM_LookLUTBuild)->Arg(33)->Arg(65)->Unit(benchmark::kMillisecond);

void BM_LookLUTBuildConcurrently(benchmark::State& state)
{
    const LookTransform look = fullLook();
    const auto f = [&look](const RGB& c) { return look.apply(c); };
    for (auto _ : state)
        benchmark::DoNotOptimize(LUT3D::buildConcurrently(state.range(0), f));
}
BENCHMARK(BM_LookLUTBuildConcurrently)
    ->Arg(33)
    ->Arg(65)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// What the preview pays on every slider move in look mode: the whole pipeline with a busy
// fine tune, baked on both cores.
void BM_GradePipelineMakeLUTLook(benchmark::State& state)
{
    const GradePipeline pipeline(std::make_shared<const LookTransform>(fullLook()), 0.9f,
                                 FineTune{0.3f, -0.2f, 0.4f, 0.25f});
    for (auto _ : state)
        benchmark::DoNotOptimize(pipeline.makeLUT(state.range(0)));
}
BENCHMARK(BM_GradePipelineMakeLUTLook)
    ->Arg(33)
    ->Arg(65)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The same bake with the cusp-aware gamut mapping.
void BM_GradePipelineMakeLUTLookSmooth(benchmark::State& state)
{
    const GradePipeline pipeline(
        std::make_shared<const LookTransform>(fullLook(GamutMapping::smooth)), 0.9f,
        FineTune{0.3f, -0.2f, 0.4f, 0.25f});
    for (auto _ : state)
        benchmark::DoNotOptimize(pipeline.makeLUT(state.range(0)));
}
BENCHMARK(BM_GradePipelineMakeLUTLookSmooth)
    ->Arg(33)
    ->Arg(65)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
