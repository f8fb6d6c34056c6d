// Preview rendering (runs on every slider movement) and photo loading, against the references
// they must beat: libvips' own thumbnailer for loading, under a second for a camera RAW file.
#include "color/LUT3D.hpp"
#include "imaging/ImageLoader.hpp"
#include "imaging/Packing.hpp"
#include "imaging/PreviewRenderer.hpp"
#include "imaging/TestChart.hpp"
#include "recipe/GradeRecipe.hpp"
#include "support/DngWriter.hpp"

#include <benchmark/benchmark.h>
#include <omp.h>
#include <vips/vips8>

#include <cmath>
#include <filesystem>
#include <random>

namespace {

using namespace lumivert;

constexpr std::int64_t previewWidth = 1600;
constexpr std::int64_t previewHeight = 1067;
constexpr std::int64_t previewTableSize = 33;
constexpr int photoWidth = 6000;
constexpr int photoHeight = 4000;
constexpr std::int64_t photoMaxPixelSize = 1600;

LUT3D previewTable()
{
    return LUT3D::build(previewTableSize, [](const RGB& c) {
        return RGB{0.9f * c.r * c.r + 0.08f * c.b + 0.02f, 0.8f * std::sqrt(c.g) + 0.15f * c.r,
                   1.0f - 0.7f * c.b + 0.25f * c.g * c.r};
    });
}

// The test chart: flat patches and smooth bands, like most photos.
Image8 chartImage() { return Packing::makeImage8(TestChart::make(previewWidth, previewHeight)); }

// Every pixel random: the worst case for the table's cache footprint.
Image8 noiseImage()
{
    std::mt19937 random(1);
    std::vector<std::uint8_t> samples(previewWidth * previewHeight * 4);
    for (auto& s : samples)
        s = static_cast<std::uint8_t>(random() & 0xFF);
    return Image8(previewWidth, previewHeight, std::move(samples));
}

void renderPreview(benchmark::State& state, const Image8& image, PreviewRenderer::Kernel kernel,
                   Interpolation interpolation = Interpolation::trilinear)
{
    const LUT3D table = previewTable();
    const PreviewRenderer renderer(kernel);
    const int previousThreads = omp_get_max_threads();
    omp_set_num_threads(static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(renderer.render(image, table, interpolation));
    omp_set_num_threads(previousThreads);
    state.SetItemsProcessed(state.iterations() * previewWidth * previewHeight);
}

void BM_PreviewRenderChart(benchmark::State& state)
{
    static const Image8 image = chartImage();
    renderPreview(state, image, PreviewRenderer::Kernel::automatic);
}
BENCHMARK(BM_PreviewRenderChart)->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_PreviewRenderNoise(benchmark::State& state)
{
    static const Image8 image = noiseImage();
    renderPreview(state, image, PreviewRenderer::Kernel::automatic);
}
BENCHMARK(BM_PreviewRenderNoise)->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_PreviewRenderChartPortable(benchmark::State& state)
{
    static const Image8 image = chartImage();
    renderPreview(state, image, PreviewRenderer::Kernel::portable);
}
BENCHMARK(BM_PreviewRenderChartPortable)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// Tetrahedral lookups read four entries instead of eight but choose their corners per pixel.
void BM_PreviewRenderTetrahedralChart(benchmark::State& state)
{
    static const Image8 image = chartImage();
    renderPreview(state, image, PreviewRenderer::Kernel::automatic, Interpolation::tetrahedral);
}
BENCHMARK(BM_PreviewRenderTetrahedralChart)
    ->Arg(1)
    ->Arg(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_PreviewRenderTetrahedralNoise(benchmark::State& state)
{
    static const Image8 image = noiseImage();
    renderPreview(state, image, PreviewRenderer::Kernel::automatic, Interpolation::tetrahedral);
}
BENCHMARK(BM_PreviewRenderTetrahedralNoise)
    ->Arg(1)
    ->Arg(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_PreviewRenderTetrahedralChartPortable(benchmark::State& state)
{
    static const Image8 image = chartImage();
    renderPreview(state, image, PreviewRenderer::Kernel::portable, Interpolation::tetrahedral);
}
BENCHMARK(BM_PreviewRenderTetrahedralChartPortable)
    ->Arg(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// A noisy 6000 × 4000 JPEG (noise is the slowest content to decode), written once per run.
const std::filesystem::path& noisyPhoto()
{
    static const std::filesystem::path location = [] {
        if (VIPS_INIT("lumivert-bench") != 0)
            vips_error_exit(nullptr);
        const auto path = std::filesystem::temp_directory_path() / "lumivert-bench-noisy.jpg";
        const auto channel = [] {
            return vips::VImage::gaussnoise(
                photoWidth, photoHeight,
                vips::VImage::option()->set("mean", 128)->set("sigma", 40));
        };
        channel()
            .bandjoin(std::vector<vips::VImage>{channel(), channel()})
            .cast(VIPS_FORMAT_UCHAR)
            .copy(vips::VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB))
            .jpegsave(path.c_str(), vips::VImage::option()->set("Q", 90));
        return path;
    }();
    return location;
}

void BM_LoadNoisyJpeg(benchmark::State& state)
{
    const auto& location = noisyPhoto();
    for (auto _ : state)
        benchmark::DoNotOptimize(ImageLoader::load(location, photoMaxPixelSize));
}
BENCHMARK(BM_LoadNoisyJpeg)->UseRealTime()->Unit(benchmark::kMillisecond);

// What vipsthumbnail -s 1600 does, minus encoding its output: the reference for loading.
void BM_VipsThumbnailNoisyJpeg(benchmark::State& state)
{
    const auto& location = noisyPhoto();
    for (auto _ : state) {
        const vips::VImage thumbnail = vips::VImage::thumbnail(
            location.c_str(), photoMaxPixelSize,
            vips::VImage::option()->set("height", static_cast<int>(photoMaxPixelSize)));
        std::size_t size = 0;
        g_free(thumbnail.write_to_memory(&size));
        benchmark::DoNotOptimize(size);
    }
}
BENCHMARK(BM_VipsThumbnailNoisyJpeg)->UseRealTime()->Unit(benchmark::kMillisecond);

// A 24-megapixel Bayer DNG (6000 × 4000, 16-bit, uncompressed, 48 MB), written once per run:
// smooth colours, so the decoder's time, not the content, is measured.
const std::filesystem::path& cameraRaw()
{
    static const std::filesystem::path location = [] {
        const auto path = std::filesystem::temp_directory_path() / "lumivert-bench-24mp.dng";
        fixtures::DngScene scene;
        scene.width = photoWidth;
        scene.height = photoHeight;
        scene.neutral = {0.5, 1.0, 0.7};
        scene.colour = [](int x, int y) {
            const double u = static_cast<double>(x) / photoWidth;
            const double v = static_cast<double>(y) / photoHeight;
            return std::array<double, 3>{0.05 + 0.6 * u, 0.1 + 0.5 * v, 0.4 - 0.3 * u * v};
        };
        fixtures::writeDng(path, scene);
        return path;
    }();
    return location;
}

// Opening a RAW photo in the window: decoded at half size, shrunk to the analysis size.
void BM_LoadRawForAnalysis(benchmark::State& state)
{
    const auto& location = cameraRaw();
    for (auto _ : state)
        benchmark::DoNotOptimize(ImageLoader::load(location, GradeRecipe::analysisPixelSize));
}
BENCHMARK(BM_LoadRawForAnalysis)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
