#include "color/Curve1D.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <thread>

namespace lumivert {
namespace {

TEST(Curve1DLookup, PiecewiseLinearAndClamped)
{
    const Curve1D curve(std::vector<float>{0.0f, 0.5f, 1.0f});
    EXPECT_FLOAT_EQ(curve(0.25f), 0.25f);
    EXPECT_EQ(curve(1.0f), 1.0f);
    EXPECT_EQ(curve(-3.0f), 0.0f);
    EXPECT_EQ(curve(7.0f), 1.0f);
    EXPECT_EQ(curve(std::numeric_limits<float>::quiet_NaN()), 0.0f);

    const Curve1D bent(std::vector<float>{0.2f, 0.9f, 0.4f});
    EXPECT_FLOAT_EQ(bent(0.25f), 0.55f);
    EXPECT_FLOAT_EQ(bent(0.75f), 0.65f);
}

TEST(Curve1DLookup, SharedIdentityClampsItsInput)
{
    const Curve1D& identity = Curve1D::identity();
    EXPECT_EQ(identity.table(), (std::vector<float>{0.0f, 1.0f}));
    EXPECT_EQ(identity(0.3f), 0.3f);
    EXPECT_EQ(identity(-0.5f), 0.0f);
    EXPECT_EQ(identity(1.5f), 1.0f);
}

TEST(Curve1DLookup, SharedIdentityIsOneObjectAcrossThreads)
{
    const Curve1D* seen[4] = {};
    std::thread threads[4];
    for (int i = 0; i < 4; ++i)
        threads[i] = std::thread([&seen, i] { seen[i] = &Curve1D::identity(); });
    for (auto& t : threads)
        t.join();
    for (const Curve1D* p : seen)
        EXPECT_EQ(p, &Curve1D::identity());
}

TEST(Curve1DCounting, TabulatesAtEqualSpacing)
{
    const Curve1D squares(5, [](float x) { return x * x; });
    EXPECT_EQ(squares.table(), (std::vector<float>{0.0f, 0.0625f, 0.25f, 0.5625f, 1.0f}));
    EXPECT_EQ(squares(0.5f), 0.25f);
}

TEST(Curve1DDeathTest, FewerThanTwoEntriesStop)
{
    EXPECT_DEATH(Curve1D(std::vector<float>{0.5f}), "at least 2");
    EXPECT_DEATH(Curve1D(std::vector<float>{}), "at least 2");
    EXPECT_DEATH(Curve1D(1, [](float x) { return x; }), "at least 2");
}

}  // namespace
}  // namespace lumivert
