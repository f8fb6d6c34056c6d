#include "color/Triples.hpp"
#include "learners/Bands.hpp"

#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <vector>

namespace lumivert {
namespace {

TEST(Smoothstep, ClampedHermiteRamp)
{
    EXPECT_EQ(smoothstep(0.25f, 0.65f, 0.1f), 0.0f);
    EXPECT_EQ(smoothstep(0.25f, 0.65f, 0.9f), 1.0f);
    EXPECT_FLOAT_EQ(smoothstep(0.0f, 1.0f, 0.5f), 0.5f);
    EXPECT_FLOAT_EQ(smoothstep(0.0f, 1.0f, 0.25f), 0.15625f);
}

TEST(HistogramPercentile, EmptyMassFallsBackToLinear)
{
    const std::vector<float> histogram(8, 0.0f);
    EXPECT_FLOAT_EQ(histogramPercentile(histogram, 0.25f, 0.0f, 0.0f, 0.4f), 0.1f);
    EXPECT_FLOAT_EQ(
        histogramPercentile(histogram, 0.5f, std::numeric_limits<float>::quiet_NaN(), 1.0f, 3.0f),
        2.0f);
    EXPECT_FLOAT_EQ(histogramPercentile(histogram, 2.0f, 0.0f, 0.0f, 1.0f), 1.0f);
}

TEST(HistogramPercentile, InterpolatesInsideTheBinAndSkipsEmptyBins)
{
    // Mass 2 in bin 1 and 2 in bin 3 of four bins over [0, 1].
    const std::vector<float> histogram = {0.0f, 2.0f, 0.0f, 2.0f};
    EXPECT_FLOAT_EQ(histogramPercentile(histogram, 0.0f, 4.0f, 0.0f, 1.0f), 0.25f);
    EXPECT_FLOAT_EQ(histogramPercentile(histogram, 0.25f, 4.0f, 0.0f, 1.0f), 0.375f);
    EXPECT_FLOAT_EQ(histogramPercentile(histogram, 0.5f, 4.0f, 0.0f, 1.0f), 0.5f);
    EXPECT_FLOAT_EQ(histogramPercentile(histogram, 0.75f, 4.0f, 0.0f, 1.0f), 0.875f);
    EXPECT_FLOAT_EQ(histogramPercentile(histogram, 1.0f, 4.0f, 0.0f, 1.0f), 1.0f);
}

TEST(HistogramPercentile, UnreachedTargetReturnsUpperBound)
{
    // A total larger than the mass in the bins is never reached.
    const std::vector<float> histogram = {1.0f, 1.0f};
    EXPECT_EQ(histogramPercentile(histogram, 1.0f, 5.0f, 0.0f, 0.4f), 0.4f);
}

TEST(BandSplit, EndsHoldAndInteriorSplits)
{
    const BandSplit low = bandSplit(0.01f, 12);
    EXPECT_EQ(low.first, 0);
    EXPECT_EQ(low.fraction, 0.0f);
    const BandSplit high = bandSplit(0.99f, 12);
    EXPECT_EQ(high.first, 11);
    EXPECT_EQ(high.fraction, 0.0f);
    const BandSplit mid = bandSplit(0.5f, 6);  // x = 2.5
    EXPECT_EQ(mid.first, 2);
    EXPECT_FLOAT_EQ(mid.fraction, 0.5f);
    EXPECT_EQ(bandSplit(std::numeric_limits<float>::quiet_NaN(), 6).first, 0);
}

TEST(BandInterpolate, FollowsTheBandCentres)
{
    const std::array<Chroma, 3> entries = {Chroma{0.0f, 0.0f}, Chroma{0.3f, -0.3f},
                                           Chroma{0.6f, 0.0f}};
    const std::span<const Chroma> view(entries);
    EXPECT_EQ(bandInterpolate(view, 0.0f), entries[0]);
    EXPECT_EQ(bandInterpolate(view, 1.0f / 6.0f), entries[0]);
    EXPECT_EQ(bandInterpolate(view, 1.0f), entries[2]);
    const Chroma between = bandInterpolate(view, 0.5f * (0.5f / 3.0f + 1.5f / 3.0f));
    EXPECT_FLOAT_EQ(between.a, 0.15f);
    EXPECT_FLOAT_EQ(between.b, -0.15f);
}

}  // namespace
}  // namespace lumivert
