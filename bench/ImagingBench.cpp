// Preview rendering (runs on every slider movement) and photo loading, against the references
// they must beat: libvips' own thumbnailer for loading.
#include "color/LUT3D.hpp"
#include "imaging/ImageLoader.hpp"
#include "imaging/Packing.hpp"
#include "imaging/PreviewRenderer.hpp"
#include "imaging/TestChart.hpp"

#include <benchmark/benchmark.h>
#include <omp.h>
#include <vips/vips8>

#include <cmath>
#include <filesystem>
#include <random>

namespace {

using namespace lumivert;

constexpr std::int64_t kPreviewWidth = 1600;
constexpr std::int64_t kPreviewHeight = 1067;
constexpr std::int64_t kPreviewTableSize = 33;
constexpr int kPhotoWidth = 6000;
constexpr int kPhotoHeight = 4000;
constexpr std::int64_t kPhotoMaxPixelSize = 1600;

LUT3D previewTable()
{
    return LUT3D::build(kPreviewTableSize, [](const RGB& c) {
        return RGB{0.9f * c.r * c.r + 0.08f * c.b + 0.02f, 0.8f * std::sqrt(c.g) + 0.15f * c.r,
                   1.0f - 0.7f * c.b + 0.25f * c.g * c.r};
    });
}

// The test chart: flat patches and smooth bands, like most photos.
Image8 chartImage() { return Packing::makeImage8(TestChart::make(kPreviewWidth, kPreviewHeight)); }

// Every pixel random: the worst case for the table's cache footprint.
Image8 noiseImage()
{
    std::mt19937 random(1);
    std::vector<std::uint8_t> samples(kPreviewWidth * kPreviewHeight * 4);
    for (auto& s : samples)
        s = static_cast<std::uint8_t>(random() & 0xFF);
    return Image8(kPreviewWidth, kPreviewHeight, std::move(samples));
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
    state.SetItemsProcessed(state.iterations() * kPreviewWidth * kPreviewHeight);
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
                kPhotoWidth, kPhotoHeight,
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
        benchmark::DoNotOptimize(ImageLoader::load(location, kPhotoMaxPixelSize));
}
BENCHMARK(BM_LoadNoisyJpeg)->UseRealTime()->Unit(benchmark::kMillisecond);

// What vipsthumbnail -s 1600 does, minus encoding its output: the reference for loading.
void BM_VipsThumbnailNoisyJpeg(benchmark::State& state)
{
    const auto& location = noisyPhoto();
    for (auto _ : state) {
        const vips::VImage thumbnail = vips::VImage::thumbnail(
            location.c_str(), kPhotoMaxPixelSize,
            vips::VImage::option()->set("height", static_cast<int>(kPhotoMaxPixelSize)));
        std::size_t size = 0;
        g_free(thumbnail.write_to_memory(&size));
        benchmark::DoNotOptimize(size);
    }
}
BENCHMARK(BM_VipsThumbnailNoisyJpeg)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
