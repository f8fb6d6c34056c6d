#include "imaging/Histogram.hpp"

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <numeric>
#include <random>

namespace lumivert {
namespace {

// Random pixels of a random size, up to a few parallel chunks' worth.
Image8 randomImage(unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<std::int64_t> side(1, 400);
    std::uniform_int_distribution<int> level(0, 255);
    const std::int64_t width = side(random), height = side(random);
    std::vector<std::uint8_t> samples(static_cast<std::size_t>(width * height * 4));
    for (std::size_t index = 0; index < samples.size(); ++index)
        samples[index] = index % 4 == 3 ? 255 : static_cast<std::uint8_t>(level(random));
    return {width, height, std::move(samples)};
}

TEST(Histogram, CountsEveryPixelOnceAndKeepsTheMeans)
{
    for (unsigned seed = 1; seed <= 24; ++seed) {
        const Image8 image = randomImage(seed);
        const Histogram histogram = Histograms::of(image);
        const std::int64_t pixels = image.width() * image.height();
        ASSERT_EQ(histogram.pixels, pixels) << "seed " << seed;
        for (int channel = 0; channel < Histogram::channelCount; ++channel) {
            const auto& row = histogram.counts[static_cast<std::size_t>(channel)];
            EXPECT_EQ(std::accumulate(row.begin(), row.end(), std::int64_t{0}), pixels)
                << "seed " << seed << ", channel " << channel;
        }
        // The mean level is the mean of the samples.
        for (int channel = 0; channel < 3; ++channel) {
            std::int64_t sum = 0;
            for (std::int64_t y = 0; y < image.height(); ++y)
                for (std::int64_t x = 0; x < image.width(); ++x)
                    sum += image.sample(x, y, channel);
            EXPECT_DOUBLE_EQ(histogram.mean(static_cast<Histogram::Channel>(channel)),
                             static_cast<double>(sum) / static_cast<double>(pixels))
                << "seed " << seed << ", channel " << channel;
        }
    }
}

TEST(Histogram, DoesNotDependOnTheThreadCount)
{
    const int threads = omp_get_max_threads();
    const Image8 image = randomImage(99);
    omp_set_num_threads(1);
    const Histogram one = Histograms::of(image);
    omp_set_num_threads(3);
    const Histogram three = Histograms::of(image);
    omp_set_num_threads(threads);
    EXPECT_EQ(one, three);
}

TEST(Histogram, GreyKeepsItsLevelInLuminance)
{
    std::vector<std::uint8_t> samples;
    for (int level = 0; level < Histogram::levels; ++level)
        samples.insert(samples.end(),
                       {static_cast<std::uint8_t>(level), static_cast<std::uint8_t>(level),
                        static_cast<std::uint8_t>(level), 255});
    const Histogram histogram = Histograms::of(samples);
    for (std::size_t level = 0; level < Histogram::levels; ++level)
        EXPECT_EQ(histogram.counts[Histogram::luminance][level], 1u) << "level " << level;
}

TEST(Histogram, LumaFollowsRec709Weights)
{
    struct Case {
        std::uint8_t r, g, b;
        double weight;
    };
    // Rec. 709 luma coefficients, within one level of 8-bit rounding.
    for (const Case& c : {Case{255, 0, 0, 0.2126}, Case{0, 255, 0, 0.7152}, Case{0, 0, 255, 0.0722},
                          Case{255, 255, 0, 0.9278}, Case{0, 255, 255, 0.7874}})
        EXPECT_NEAR(Histograms::luma(c.r, c.g, c.b), c.weight * 255, 1.0)
            << int(c.r) << ", " << int(c.g) << ", " << int(c.b);
}

TEST(Histogram, PeakLeavesOutClippedEnds)
{
    Histogram histogram;
    histogram.counts[Histogram::red][0] = 1000;
    histogram.counts[Histogram::red][255] = 900;
    histogram.counts[Histogram::red][128] = 7;
    histogram.counts[Histogram::red][1] = 3;
    EXPECT_EQ(histogram.peak(Histogram::red), 7u);
    EXPECT_EQ(histogram.peak(Histogram::green), 0u);
    EXPECT_EQ(histogram.mean(Histogram::green), 0.0);
}

TEST(HistogramDeathTest, StopsOnPartialPixels)
{
    const std::vector<std::uint8_t> samples(6, 0);
    EXPECT_DEATH(Histograms::of(samples), "whole pixels");
}

}  // namespace
}  // namespace lumivert
