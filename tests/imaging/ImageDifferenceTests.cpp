#include "imaging/ImageDifference.hpp"

#include "color/ColorDifference.hpp"
#include "color/ColorMath.hpp"
#include "imaging/HeatMap.hpp"
#include "imaging/Packing.hpp"

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace lumivert {
namespace {

PixelBuffer noise(std::int64_t width, std::int64_t height, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> unit(0, 1);
    std::vector<RGB> pixels(static_cast<std::size_t>(width * height));
    for (RGB& pixel : pixels)
        pixel = {unit(random), unit(random), unit(random)};
    return {width, height, std::move(pixels)};
}

// x moved towards y's colour by a random share per pixel, so differences spread widely.
PixelBuffer nudged(const PixelBuffer& x, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> share(0, 0.2f);
    std::vector<RGB> pixels = x.pixels();
    for (RGB& pixel : pixels)
        pixel = clamp01(pixel + RGB{share(random), -share(random), share(random)});
    return {x.width(), x.height(), std::move(pixels)};
}

TEST(ImageDifference, IdenticalImagesDifferByNothing)
{
    const PixelBuffer image = noise(37, 23, 1);
    const ImageDifferenceResult result = ImageDifference::measure(image, image);
    EXPECT_EQ(result.stats.rmsLevels, 0.0);
    EXPECT_EQ(result.stats.meanDeltaE, 0.0);
    EXPECT_EQ(result.stats.maxDeltaE, 0.0);
    EXPECT_TRUE(
        std::all_of(result.deltaE.begin(), result.deltaE.end(), [](float d) { return d == 0; }));
}

TEST(ImageDifference, UniformShiftGivesItsLevelsAndOneDeltaE)
{
    const PixelBuffer grey(20, 10, RGB{128.0f / 255, 128.0f / 255, 128.0f / 255});
    const PixelBuffer lighter(20, 10, RGB{138.0f / 255, 138.0f / 255, 138.0f / 255});
    const ImageDifferenceResult result = ImageDifference::measure(grey, lighter);
    const double expected = ColorDifference::deltaE2000(grey(0, 0), lighter(0, 0));
    EXPECT_NEAR(result.stats.rmsLevels, 10.0, 1e-4);
    EXPECT_NEAR(result.stats.meanDeltaE, expected, 1e-6);
    EXPECT_NEAR(result.stats.medianDeltaE, expected, 1e-6);
    EXPECT_NEAR(result.stats.percentile95DeltaE, expected, 1e-6);
    EXPECT_NEAR(result.stats.maxDeltaE, expected, 1e-6);
}

TEST(ImageDifference, StatisticsMatchAFullSortForOddAndEvenCounts)
{
    for (const auto& [width, height] : {std::pair{31, 17}, std::pair{40, 25}, std::pair{1, 1}}) {
        const PixelBuffer x = noise(width, height, static_cast<unsigned>(width));
        const ImageDifferenceResult result = ImageDifference::measure(x, nudged(x, 7));
        std::vector<float> sorted = result.deltaE;
        std::sort(sorted.begin(), sorted.end());
        const std::size_t n = sorted.size();
        const double median = n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2.0;
        double sum = 0;
        for (const float d : sorted)
            sum += d;
        EXPECT_DOUBLE_EQ(result.stats.medianDeltaE, median) << width;
        EXPECT_EQ(result.stats.percentile95DeltaE,
                  sorted[static_cast<std::size_t>(std::ceil(0.95 * static_cast<double>(n))) - 1])
            << width;
        EXPECT_EQ(result.stats.maxDeltaE, sorted.back()) << width;
        EXPECT_NEAR(result.stats.meanDeltaE, sum / static_cast<double>(n), 1e-5) << width;
        EXPECT_LE(result.stats.medianDeltaE, result.stats.percentile95DeltaE);
    }
}

TEST(ImageDifference, SameFiguresOnAnyNumberOfThreads)
{
    const PixelBuffer x = noise(211, 157, 3);
    const PixelBuffer y = nudged(x, 4);
    omp_set_num_threads(1);
    const ImageDifferenceResult one = ImageDifference::measure(x, y);
    omp_set_num_threads(3);
    const ImageDifferenceResult three = ImageDifference::measure(x, y);
    omp_set_num_threads(omp_get_num_procs());
    EXPECT_EQ(one.deltaE, three.deltaE);
    EXPECT_EQ(one.stats.meanDeltaE, three.stats.meanDeltaE);
    EXPECT_EQ(one.stats.rmsLevels, three.stats.rmsLevels);
}

TEST(ImageDifference, DisplayImagesMeasureAsTheirLevels)
{
    const Image8 x = Packing::makeImage8(noise(29, 13, 5));
    const Image8 y = Packing::makeImage8(nudged(noise(29, 13, 5), 6));
    const auto unpacked = [](const Image8& image) {
        std::vector<RGB> pixels;
        for (std::int64_t i = 0; i < image.width() * image.height(); ++i)
            pixels.push_back({image.data()[4 * i] / 255.0f, image.data()[4 * i + 1] / 255.0f,
                              image.data()[4 * i + 2] / 255.0f});
        return PixelBuffer(image.width(), image.height(), std::move(pixels));
    };
    const ImageDifferenceResult packed = ImageDifference::measure(x, y);
    const ImageDifferenceResult floats = ImageDifference::measure(unpacked(x), unpacked(y));
    EXPECT_EQ(packed.deltaE, floats.deltaE);
    EXPECT_EQ(packed.stats.rmsLevels, floats.stats.rmsLevels);
}

TEST(ImageDifferenceDeathTest, ImagesOfTwoSizesStop)
{
    EXPECT_DEATH(ImageDifference::measure(noise(4, 3, 1), noise(3, 4, 1)), "one size");
}

TEST(HeatMap, ScaleRisesInLightnessFromVioletToYellowAndSaturates)
{
    double previous = -1;
    for (int step = 0; step <= 100; ++step) {
        const double lightness = ColorMath::srgbToOklab(HeatMap::colour(step / 10.0)).L;
        EXPECT_GT(lightness, previous) << step;
        previous = lightness;
    }
    EXPECT_EQ(HeatMap::colour(HeatMap::scaleTop), HeatMap::colour(50.0));
    EXPECT_EQ(HeatMap::colour(-1.0), HeatMap::colour(0.0));
    EXPECT_EQ(HeatMap::colour(std::nan("")), HeatMap::colour(0.0));
    const RGB none = HeatMap::colour(0);
    EXPECT_GT(none.b, none.g);  // violet
    const RGB top = HeatMap::colour(HeatMap::scaleTop);
    EXPECT_GT(top.r, top.b);  // yellow
}

TEST(HeatMap, ColoursEachPixelByItsDifferenceAndAddsALegendBelow)
{
    // A patch of the picture changed, the rest not: only the patch leaves the scale's bottom.
    for (const std::int64_t width : {5, 64, 640, 1600}) {
        const PixelBuffer x(width, 30, RGB{0.4f, 0.5f, 0.6f});
        PixelBuffer y = x;
        for (std::int64_t row = 10; row < 20; ++row)
            y.set(width / 2, row, {0.9f, 0.2f, 0.1f});
        const ImageDifferenceResult difference = ImageDifference::measure(x, y);
        const PixelBuffer map = HeatMap::pictureWithLegend(difference);
        ASSERT_EQ(map.width(), width);
        ASSERT_EQ(map.height(), 30 + HeatMap::legendHeight(width));
        EXPECT_EQ(map(0, 0), HeatMap::colour(0));
        EXPECT_EQ(map(width / 2, 15), HeatMap::colour(HeatMap::scaleTop));
        EXPECT_EQ(map(width / 2, 5), HeatMap::colour(0));
        // The legend's bar runs from the scale's bottom on the left to its top on the right.
        const std::int64_t barRow = 30 + HeatMap::legendHeight(width) / 4;
        float darkest = 2;
        float lightest = -1;
        for (std::int64_t column = 0; column < width; ++column) {
            const float l = ColorMath::luma(map(column, barRow));
            darkest = std::min(darkest, l);
            lightest = std::max(lightest, l);
        }
        if (width >= 64) {
            EXPECT_LT(darkest, ColorMath::luma(HeatMap::colour(0.5)));
            EXPECT_GT(lightest, ColorMath::luma(HeatMap::colour(9.5)));
        }
    }
}

}  // namespace
}  // namespace lumivert
