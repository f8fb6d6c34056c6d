#include "color/ColorMath.hpp"
#include "lut/LUTAlgebra.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace lumivert {
namespace {

constexpr float oneLevel = 1.0f / 255.0f;
constexpr int randomColourCount = 4000;

// A warm, contrasty grade with some cross-talk between channels; monotone along each axis and
// within 0 … 1, so nothing clips.
RGB warmContrast(const RGB& c)
{
    const auto s = [](float v) { return v * v * (3.0f - 2.0f * v); };
    return {0.8f * s(c.r) + 0.15f * c.r + 0.03f * c.g, 0.95f * c.g + 0.03f * c.b,
            0.8f * c.b * c.b + 0.15f * c.b + 0.02f * c.r};
}

// A cool lift of the shadows, also monotone.
RGB coolLift(const RGB& c)
{
    return {0.05f + 0.9f * c.r, 0.04f + 0.9f * c.g + 0.05f * c.g * (1.0f - c.g),
            0.08f + 0.9f * c.b};
}

float largestDifference(const RGB& a, const RGB& b)
{
    return std::max({std::fabs(a.r - b.r), std::fabs(a.g - b.g), std::fabs(a.b - b.b)});
}

std::vector<RGB> randomColours(unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::vector<RGB> colours(randomColourCount);
    for (RGB& c : colours)
        c = {unit(random), unit(random), unit(random)};
    return colours;
}

TEST(LUTAlgebraCombine, EqualsApplyingEachInTurnWithinOneLevel)
{
    struct Case {
        std::int64_t firstSize, secondSize, size;
    };
    for (const Case c : {Case{33, 17, 33}, Case{17, 65, 65}, Case{33, 33, 17}}) {
        SCOPED_TRACE(c.size);
        const std::vector<LUTStack> luts = {LUT3D::build(c.firstSize, warmContrast),
                                            LUT3D::build(c.secondSize, coolLift)};
        const LUTStack combined = LUTAlgebra::combine(luts, c.size);
        ASSERT_TRUE(combined.isPlainTable());
        EXPECT_EQ(combined.table().size(), c.size);
        float worst = 0.0f;
        for (const RGB& colour : randomColours(11))
            worst = std::max(worst, largestDifference(combined.apply(colour),
                                                      luts[1].apply(luts[0].apply(colour))));
        EXPECT_LE(worst, c.size >= 33 ? oneLevel : 2 * oneLevel) << worst * 255 << " levels";
    }
}

TEST(LUTAlgebraCombine, KeepsTheFirstShaperOrDomainAndLooksUpOnlyOnce)
{
    const LUT1D shaper(3, {{0, 0, 0}, {0.7f, 0.7f, 0.7f}, {1, 1, 1}}, LUTDomain::uniform(0, 4));
    const LUT3D table = LUT3D::buildUnclamped(17, coolLift);
    const std::vector<LUTStack> luts = {LUTStack(shaper, table), LUT3D::build(33, warmContrast)};
    const LUTStack combined = LUTAlgebra::combine(luts, LUTAlgebra::largestSize(luts, 9));
    ASSERT_TRUE(combined.hasCurves());
    EXPECT_EQ(combined.curves(), shaper);
    EXPECT_EQ(combined.table().size(), 33);
    for (const RGB& colour : {RGB{0, 0, 0}, RGB{3.5f, 0.2f, 1.9f}, RGB{0.5f, 2.0f, 4.0f}})
        EXPECT_LE(largestDifference(combined.apply(colour), luts[1].apply(luts[0].apply(colour))),
                  oneLevel);
    // A domain of its own: the combined table spans it.
    const LUT3D wide = LUT3D::buildUnclamped(
        9, [](const RGB& p) { return p * 0.25f; }, LUTDomain::uniform(-1, 3));
    const std::vector<LUTStack> withDomain = {wide, LUT3D::identity(5)};
    EXPECT_EQ(LUTAlgebra::combine(withDomain, 9).table().domain(), LUTDomain::uniform(-1, 3));
    EXPECT_EQ(LUTAlgebra::largestSize(withDomain, 33), 9);
    EXPECT_EQ(LUTAlgebra::largestSize(std::vector<LUTStack>{LUTStack(shaper)}, 33), 33);
    // One LUT alone is itself, resampled.
    const std::vector<LUTStack> alone = {LUT3D::build(17, warmContrast)};
    EXPECT_EQ(LUTAlgebra::combine(alone, 17).table(), alone.front().table());
}

}  // namespace
}  // namespace lumivert
