#include "learners/LookAnalysis.hpp"

#include <gtest/gtest.h>

#include <limits>

namespace lumivert {
namespace {

// Band k carries (k, −k) / 100, so every interpolated value names its position.
LookAnalysis rampedTints()
{
    LookAnalysis analysis;
    for (int k = 0; k < LookAnalysis::bandCount; ++k)
        analysis.tints[static_cast<std::size_t>(k)] = {0.01f * static_cast<float>(k),
                                                       -0.01f * static_cast<float>(k)};
    return analysis;
}

TEST(LookAnalysisNeutral, ChangesNothingAndIsMadeOnce)
{
    const LookAnalysis& neutral = LookAnalysis::neutral();
    EXPECT_EQ(LookAnalysis::bandCount, 12);
    EXPECT_EQ(neutral.blackLevel, 0.0f);
    EXPECT_EQ(neutral.whiteLevel, 1.0f);
    EXPECT_EQ(neutral.contrast, 1.0f);
    EXPECT_EQ(neutral.saturation, 1.0f);
    EXPECT_TRUE(neutral.palette.empty());
    for (const Chroma& tint : neutral.tints)
        EXPECT_EQ(tint, (Chroma{0, 0}));
    EXPECT_EQ(&LookAnalysis::neutral(), &neutral);
}

TEST(LookAnalysisTint, HoldsFlatBeyondTheEndCentres)
{
    const LookAnalysis analysis = rampedTints();
    for (float lightness : {-2.0f, 0.0f, 0.02f, 1.0f / 24.0f})
        EXPECT_EQ(analysis.tint(lightness), analysis.tints[0]) << lightness;
    for (float lightness : {23.0f / 24.0f, 0.99f, 1.0f, 5.0f})
        EXPECT_EQ(analysis.tint(lightness), analysis.tints[11]) << lightness;
    EXPECT_EQ(analysis.tint(std::numeric_limits<float>::quiet_NaN()), analysis.tints[0]);
}

TEST(LookAnalysisTint, InterpolatesBetweenBandCentres)
{
    const LookAnalysis analysis = rampedTints();
    const Chroma middle = analysis.tint(0.5f);  // halfway between the centres of bands 5 and 6
    EXPECT_FLOAT_EQ(middle.a, 0.055f);
    EXPECT_FLOAT_EQ(middle.b, -0.055f);
    const Chroma centre = analysis.tint(2.5f / 12.0f);  // on band 2's centre
    EXPECT_NEAR(centre.a, 0.02f, 1e-6f);
    const Chroma quarter = analysis.tint((8.5f + 0.25f) / 12.0f);
    EXPECT_NEAR(quarter.a, 0.0825f, 1e-6f);
    EXPECT_NEAR(quarter.b, -0.0825f, 1e-6f);
}

}  // namespace
}  // namespace lumivert
