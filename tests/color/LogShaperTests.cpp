#include "color/ocio/LogShaper.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace lumivert {
namespace {

TEST(LogShaper, RangeRunsFromEightStopsBelowMidGreyToSixAboveAndClamps)
{
    EXPECT_FLOAT_EQ(LogShaper::bottom(), 0.18f / 256.0f);
    EXPECT_FLOAT_EQ(LogShaper::top(), 0.18f * 64.0f);
    EXPECT_FLOAT_EQ(LogShaper::place(0.18f), 8.0f / 14.0f);
    EXPECT_FLOAT_EQ(LogShaper::place(0.36f), 9.0f / 14.0f);
    EXPECT_FLOAT_EQ(LogShaper::place(LogShaper::top()), 1.0f);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (float x : {LogShaper::bottom(), 0.0f, -1.0f, 1.0e-6f, nan})
        EXPECT_EQ(LogShaper::place(x), 0.0f) << x;
    for (float x : {12.0f, 1.0e6f, std::numeric_limits<float>::infinity()})
        EXPECT_EQ(LogShaper::place(x), 1.0f) << x;
}

TEST(LogShaper, NodePlacesRoundTripThroughLinear)
{
    for (int i = 0; i <= 64; ++i) {
        const float place = static_cast<float>(i) / 64.0f;
        const float linear = LogShaper::linear(place);
        EXPECT_NEAR(LogShaper::place(linear), place, 2.0e-6f) << place;
        EXPECT_NEAR(LogShaper::linear(LogShaper::place(linear)), linear, linear * 2.0e-6f);
    }
}

TEST(LogShaper, CurvesHoldThePlaceOfEachEntrysInput)
{
    const LUT1D curves = LogShaper::curves();
    EXPECT_EQ(curves.size(), LogShaper::curveSize);
    EXPECT_EQ(curves.domain(), LUTDomain::uniform(0.0f, LogShaper::top()));
    const float step = LogShaper::top() / static_cast<float>(curves.size() - 1);
    float previous = -1.0f;
    for (std::int64_t i = 0; i < curves.size(); ++i) {
        const RGB entry = curves.values()[static_cast<std::size_t>(i)];
        EXPECT_EQ(entry.r, entry.g);
        EXPECT_EQ(entry.g, entry.b);
        ASSERT_NEAR(entry.r, LogShaper::place(static_cast<float>(i) * step), 1.0e-6f) << i;
        ASSERT_GE(entry.r, previous) << i;
        previous = entry.r;
    }
    // Between entries the curve is linear: from 4 stops below mid grey up it stays within a
    // thirtieth of a 33-point table's lattice step.
    for (float stops = -4.0f; stops <= 6.0f; stops += 0.125f) {
        const float linear = 0.18f * std::exp2(stops);
        EXPECT_NEAR(curves.sample({linear, linear, linear}).g, LogShaper::place(linear),
                    1.0f / 32.0f / 30.0f)
            << stops;
    }
}

}  // namespace
}  // namespace lumivert
