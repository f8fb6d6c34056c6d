// The edit learner on the application's largest images: preparing a 1600 × 1067 pair once, and
// re-solving it for a smoothness change, which must feel live.
#include "color/ColorMath.hpp"
#include "color/LUT3D.hpp"
#include "learners/EditLearner.hpp"

#include <benchmark/benchmark.h>
#include <omp.h>

#include <array>
#include <cmath>
#include <random>

namespace {

using namespace lumivert;

constexpr std::int64_t kPhotoWidth = 1600;
constexpr std::int64_t kPhotoHeight = 1067;
constexpr std::int64_t kGridSize = 33;
constexpr std::array<float, 3> kSmoothness = {0.001f, 0.02f, 0.5f};

float quantised(float x) { return std::round(clamp01(x) * 255.0f) / 255.0f; }
RGB quantised(const RGB& c) { return {quantised(c.r), quantised(c.g), quantised(c.b)}; }

// Soft-edged objects of random colours with their own shading over a sky-to-ground gradient,
// mild noise, 8-bit values: colours spread through the cube the way a photo's do.
PixelBuffer photo()
{
    struct Blob {
        float x, y, radius, hue, saturation, value, shade;
    };
    std::mt19937 random(2024);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::vector<Blob> blobs(100);
    for (Blob& b : blobs)
        b = {unit(random),
             unit(random),
             0.03f + 0.12f * unit(random),
             unit(random),
             unit(random),
             0.1f + 0.9f * unit(random),
             0.6f * (unit(random) - 0.5f)};
    std::normal_distribution<float> noise(0.0f, 0.01f);
    const float aspect = static_cast<float>(kPhotoWidth) / static_cast<float>(kPhotoHeight);
    std::vector<RGB> pixels;
    pixels.reserve(static_cast<std::size_t>(kPhotoWidth * kPhotoHeight));
    for (std::int64_t y = 0; y < kPhotoHeight; ++y) {
        const float v = static_cast<float>(y) / static_cast<float>(kPhotoHeight - 1);
        for (std::int64_t x = 0; x < kPhotoWidth; ++x) {
            const float u = static_cast<float>(x) / static_cast<float>(kPhotoWidth - 1);
            RGB c = ColorMath::hsv(0.55f + 0.1f * u, 0.5f - 0.3f * v, 0.95f - 0.8f * v);
            for (const Blob& b : blobs) {
                const float dx = (u - b.x) * aspect / b.radius;
                const float dy = (v - b.y) / b.radius;
                const float d = std::sqrt(dx * dx + dy * dy);
                if (d < 1.0f)
                    c = lerp(c,
                             ColorMath::hsv(b.hue + 0.05f * dx, b.saturation * (1 - 0.3f * d),
                                            clamp01(b.value + b.shade * dy)),
                             std::min(1.0f, 4.0f * (1.0f - d)));
            }
            pixels.push_back(quantised(c + RGB{noise(random), noise(random), noise(random)}));
        }
    }
    return PixelBuffer(kPhotoWidth, kPhotoHeight, std::move(pixels));
}

RGB warmGrade(const RGB& c)
{
    auto curve = [](float x) { return x + 0.15f * x * (1.0f - x) * (2.0f * x - 1.0f); };
    const RGB toned = {0.02f + 0.96f * curve(c.r) + 0.02f * (c.g - c.b), 0.01f + 0.97f * curve(c.g),
                       0.04f + 0.9f * curve(c.b) + 0.03f * (c.g - c.r)};
    const RGB grey = RGB{1, 1, 1} * ColorMath::luma(toned);
    return grey + 0.92f * (toned - grey);
}

struct Pair {
    PixelBuffer before;
    PixelBuffer after;
};

const Pair& pair()
{
    static const Pair shared = [] {
        PixelBuffer before = photo();
        const LUT3D grade = LUT3D::build(17, warmGrade);
        std::vector<RGB> edited;
        edited.reserve(before.pixels().size());
        for (const RGB& c : before.pixels())
            edited.push_back(quantised(grade.sample(c)));
        PixelBuffer after(kPhotoWidth, kPhotoHeight, std::move(edited));
        return Pair{std::move(before), std::move(after)};
    }();
    return shared;
}

const EditSystem& system()
{
    static const EditSystem shared = EditLearner::prepare(pair().before, pair().after, kGridSize);
    return shared;
}

void BM_EditPrepare(benchmark::State& state)
{
    const Pair& images = pair();
    for (auto _ : state)
        benchmark::DoNotOptimize(EditLearner::prepare(images.before, images.after, kGridSize));
}
BENCHMARK(BM_EditPrepare)->Unit(benchmark::kMillisecond)->UseRealTime();

// Arguments: index into kSmoothness, OpenMP threads. Reports the conjugate-gradient passes and
// the fit error; time per pass is the time over the passes (setup and baking included).
void BM_EditSolve(benchmark::State& state)
{
    const EditSystem& prepared = system();
    const float smoothness = kSmoothness[static_cast<std::size_t>(state.range(0))];
    const int threads = omp_get_max_threads();
    omp_set_num_threads(static_cast<int>(state.range(1)));
    std::int64_t passes = 0;
    float rmsError = 0.0f;
    for (auto _ : state) {
        const EditFit fit = EditLearner::solve(prepared, smoothness);
        passes = fit.iterations;
        rmsError = fit.rmsError;
    }
    omp_set_num_threads(threads);
    state.counters["smoothness"] = smoothness;
    state.counters["passes"] = static_cast<double>(passes);
    state.counters["rmsLevels"] = rmsError;
    state.counters["coverage"] = prepared.coverage();
}
BENCHMARK(BM_EditSolve)
    ->ArgsProduct({{0, 1, 2}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
