// The edit learner on the application's largest images: preparing a 1600 × 1067 pair once, and
// re-solving it for a smoothness change, which must feel live.
#include "color/ColorMath.hpp"
#include "color/LUT3D.hpp"
#include "learners/EditLearner.hpp"
#include "support/EditPhotos.hpp"

#include <benchmark/benchmark.h>
#include <omp.h>

#include <array>
#include <cmath>
#include <random>

namespace {

using namespace lumivert;

constexpr std::int64_t photoWidth = 1600;
constexpr std::int64_t photoHeight = 1067;
constexpr std::int64_t benchGridSize = 33;
constexpr std::array<float, 3> smoothnessSteps = {0.001f, 0.02f, 0.5f};

struct Pair {
    PixelBuffer before;
    PixelBuffer after;
};

const Pair& pair()
{
    static const Pair shared = [] {
        PixelBuffer before = fixtures::photo(photoWidth, photoHeight);
        PixelBuffer after = fixtures::edited(before, LUT3D::build(17, fixtures::warmGrade));
        return Pair{std::move(before), std::move(after)};
    }();
    return shared;
}

const EditSystem& system()
{
    static const EditSystem shared =
        EditLearner::prepare(pair().before, pair().after, benchGridSize);
    return shared;
}

void BM_EditPrepare(benchmark::State& state)
{
    const Pair& images = pair();
    for (auto _ : state)
        benchmark::DoNotOptimize(EditLearner::prepare(images.before, images.after, benchGridSize));
}
BENCHMARK(BM_EditPrepare)->Unit(benchmark::kMillisecond)->UseRealTime();

// Arguments: index into smoothnessSteps, OpenMP threads. Reports the conjugate-gradient passes and
// the fit error; time per pass is the time over the passes (setup and baking included).
void BM_EditSolve(benchmark::State& state)
{
    const EditSystem& prepared = system();
    const float smoothness = smoothnessSteps[static_cast<std::size_t>(state.range(0))];
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

// The whole edit at the default smoothing, from the images to the table, without and with the
// extension to colours not in the photos (argument 0 or 1): must stay under 250 ms.
void BM_EditWhole(benchmark::State& state)
{
    const Pair& images = pair();
    const EditPrior prior = state.range(0) ? EditPrior::overallEdit : EditPrior::noChange;
    float rmsError = 0.0f;
    for (auto _ : state) {
        const EditSystem prepared =
            EditLearner::prepare(images.before, images.after, benchGridSize);
        rmsError = EditLearner::solve(prepared, smoothnessSteps[1], prior).rmsError;
    }
    state.counters["rmsLevels"] = rmsError;
}
BENCHMARK(BM_EditWhole)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
