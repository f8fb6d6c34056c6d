#include "imaging/TestChart.hpp"

#include "support/ColorExpectations.hpp"

#include <gtest/gtest.h>

namespace lumivert {
namespace {

constexpr RGB background{0.24f, 0.24f, 0.24f};

RGB bytes(float r, float g, float b) { return {r / 255.0f, g / 255.0f, b / 255.0f}; }

class TestChartAt1200x800 : public ::testing::Test {
protected:
    static void SetUpTestSuite() { chart_ = new PixelBuffer(TestChart::make(1200, 800)); }
    static void TearDownTestSuite() { delete chart_; }
    static const PixelBuffer& chart() { return *chart_; }

private:
    static inline PixelBuffer* chart_ = nullptr;
};

TEST(TestChartPatches, TwentyFourColoursInOrder)
{
    const auto& patches = TestChart::patches();
    EXPECT_EQ(patches[0], bytes(115, 82, 68));
    EXPECT_EQ(patches[14], bytes(175, 54, 60));
    EXPECT_EQ(patches[17], bytes(8, 133, 161));
    EXPECT_EQ(patches[23], bytes(52, 52, 52));
    EXPECT_EQ(&TestChart::patches(), &patches);
}

TEST_F(TestChartAt1200x800, BackgroundInMarginsAndGaps)
{
    EXPECT_EQ(chart().width(), 1200);
    EXPECT_EQ(chart().height(), 800);
    EXPECT_EQ(chart()(0, 0), background);
    EXPECT_EQ(chart()(600, 350), background);
    EXPECT_EQ(chart()(1199, 799), background);
    EXPECT_EQ(chart()(1160, 100), background);  // right margin
    EXPECT_EQ(chart()(40, 39), background);     // above the hue band
    EXPECT_EQ(chart()(40, 344), background);    // first gap row
    EXPECT_EQ(chart()(218, 448), background);   // spacing between patches 0 and 1
    EXPECT_EQ(chart()(40, 758), background);    // below the last patch row
}

TEST_F(TestChartAt1200x800, HueBandRunsFromPastelToDark)
{
    expectNear(chart()(40, 40), {1.0f, 0.8f, 0.8f}, 1e-6f);
    expectNear(chart()(40, 343), {0.35f, 0.035f, 0.035f}, 1e-6f);
    // A third of the way across is green at the saturated middle row.
    const RGB green = chart()(40 + 1120 / 3, 40 + 151);
    EXPECT_GT(green.g, green.r);
    EXPECT_GT(green.g, green.b);
}

TEST_F(TestChartAt1200x800, GreyRampFromBlackToWhite)
{
    EXPECT_EQ(chart()(40, 364), (RGB{0, 0, 0}));
    EXPECT_EQ(chart()(1159, 364), (RGB{1, 1, 1}));
    EXPECT_EQ(chart()(1159, 427), (RGB{1, 1, 1}));
    EXPECT_EQ(chart()(600, 428), background);  // ramp ends before row 428
    const RGB mid = chart()(600, 400);
    EXPECT_EQ(mid.r, mid.g);
    EXPECT_NEAR(mid.r, 560.0f / 1119.0f, 1e-6f);
}

TEST_F(TestChartAt1200x800, PatchesSitOnTheirGrid)
{
    EXPECT_EQ(chart()(40, 448), TestChart::patches()[0]);
    EXPECT_EQ(chart()(40 + 5 * 188, 448 + 3 * 80), TestChart::patches()[23]);
    EXPECT_EQ(chart()(1157, 757), TestChart::patches()[23]);
    EXPECT_EQ(chart()(40 + 188 + 177, 448 + 80 + 69), TestChart::patches()[7]);
}

TEST(TestChartLayout, NarrowChartUsesSpacingFour)
{
    // Width 400: M = 13, C = 374, S = 4, PW = (374 − 20) / 6 = 59.
    const PixelBuffer chart = TestChart::make(400, 300);
    const std::int64_t patchTop = 129 + 6 + 24 + 6;
    EXPECT_EQ(chart(13, patchTop), TestChart::patches()[0]);
    EXPECT_EQ(chart(13 + 59, patchTop), background);
    EXPECT_EQ(chart(13 + 63, patchTop), TestChart::patches()[1]);
}

TEST(TestChartDeathTest, TooSmallStops)
{
    EXPECT_DEATH(TestChart::make(0, 800), "positive size");
    EXPECT_DEATH(TestChart::make(1200, 20), "too small");
}

}  // namespace
}  // namespace lumivert
