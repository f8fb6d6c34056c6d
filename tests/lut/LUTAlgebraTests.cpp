#include "color/ColorMath.hpp"
#include "lut/LUTAlgebra.hpp"
#include "support/ColorExpectations.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <string>
#include <utility>
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
        for (const RGB& colour : randomColours(11, randomColourCount))
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

// A moderate contrast with cross-talk whose slopes stay above 0.4: its inverse is about as smooth
// as it is, so a table of the same size holds it.
RGB gentleContrast(const RGB& c)
{
    const auto s = [](float v) { return v * v * (3.0f - 2.0f * v); };
    return {0.5f * s(c.r) + 0.45f * c.r + 0.03f * c.g, 0.55f * s(c.g) + 0.4f * c.g + 0.03f * c.b,
            0.5f * s(c.b) + 0.42f * c.b + 0.05f * c.r};
}

TEST(LUTAlgebraInvert, RoundTripsWithinOneLevel)
{
    // Where a look flattens (warmContrast's slope falls to 0.15 at the ends), its inverse is steep
    // and curved, and no table of a few dozen points holds it to a level of the look's inputs;
    // the round trip is then measured on the look's outputs, L ∘ L⁻¹. coolLift spans less than
    // 0 … 1, leaving nodes it never reaches, which must agree with the ones it does.
    struct Case {
        RGB (*look)(const RGB&);
        std::int64_t size, inverseSize;
        bool onInputs;  // L⁻¹ ∘ L, else L ∘ L⁻¹
    };
    for (const Case c : {Case{gentleContrast, 33, 33, true}, Case{coolLift, 17, 33, true},
                         Case{gentleContrast, 17, 65, true}, Case{coolLift, 33, 17, true},
                         Case{warmContrast, 33, 65, false}, Case{warmContrast, 65, 65, false}}) {
        SCOPED_TRACE(std::to_string(c.size) + " to " + std::to_string(c.inverseSize) +
                     (c.onInputs ? " on inputs" : " on outputs"));
        const LUT3D look = LUT3D::build(c.size, c.look);
        const LUT3D inverse = LUTAlgebra::invert(look, c.inverseSize);
        EXPECT_EQ(inverse.size(), c.inverseSize);
        float worst = 0.0f;
        for (const RGB& colour : randomColours(17, randomColourCount)) {
            const RGB output = look.apply(colour);
            worst = std::max(
                worst, c.onInputs ? largestDifference(inverse.apply(output), colour)
                                  : largestDifference(look.apply(inverse.apply(output)), output));
        }
        EXPECT_LE(worst, oneLevel) << worst * 255 << " levels";
        // Each node the look reaches is solved: the look takes the node's input back to it.
        const std::vector<float> axis = LUT3D::latticeAxis(c.inverseSize);
        for (std::int64_t b = 0; b < c.inverseSize; ++b)
            for (std::int64_t g = 0; g < c.inverseSize; ++g)
                for (std::int64_t r = 0; r < c.inverseSize; ++r) {
                    const RGB input = inverse(r, g, b);
                    if (std::min({input.r, input.g, input.b}) < 0.0f ||
                        std::max({input.r, input.g, input.b}) > 1.0f)
                        continue;
                    const RGB node{axis[static_cast<std::size_t>(r)],
                                   axis[static_cast<std::size_t>(g)],
                                   axis[static_cast<std::size_t>(b)]};
                    ASSERT_LE(largestDifference(look.apply(input), node), 1e-5f) << r << g << b;
                }
    }
    // Past the outputs it reaches, the inverse continues the edge cells' slope: coolLift maps
    // 0 to 0.05 with a slope of 0.9, so 0 comes from about −0.05 / 0.9.
    const LUT3D inverse = LUTAlgebra::invert(LUT3D::build(33, coolLift), 33);
    EXPECT_NEAR(inverse(0, 0, 0).r, -0.05f / 0.9f, 2e-3f);
    EXPECT_NEAR(inverse(32, 32, 32).b, 0.92f / 0.9f, 2e-3f);
}

TEST(LUTAlgebraInvert, TheIdentityIsItsOwnInverseOnAnyThreadCount)
{
    const LUT3D identity = LUT3D::identity(9);
    const LUT3D inverse = LUTAlgebra::invert(identity, 9);
    for (std::size_t i = 0; i < identity.values().size(); ++i)
        ASSERT_LE(largestDifference(inverse.values()[i], identity.values()[i]), 1e-6f) << i;
    // Every node is solved alone: the same table again, bit for bit.
    EXPECT_EQ(LUTAlgebra::invert(LUT3D::build(17, warmContrast), 17),
              LUTAlgebra::invert(LUT3D::build(17, warmContrast), 17));
}

TEST(LUTAlgebraInvert, RefusesATableThatFoldsNamingTheFirstNode)
{
    using Node = std::array<std::int64_t, 3>;
    struct Case {
        std::vector<std::pair<Node, RGB>> changes;  // entries of a 5-point identity moved
        Node node;                                  // where the fold is found
        const char* how;
    };
    const std::vector<Case> cases{
        // Red at (3, 1, 2) falls below red at (2, 1, 2).
        {{{{3, 1, 2}, {0.2f, 0.25f, 0.5f}}}, {2, 1, 2}, "red output falls as its red input"},
        // Blue at the last node of the blue axis falls: found from the node before it.
        {{{{0, 0, 4}, {0.0f, 0.0f, 0.5f}}}, {0, 0, 3}, "blue output falls"},
        // Each channel rises along its own axis, but red and green rise faster along the
        // other's: the outputs turn over.
        {{{{1, 0, 0}, {0.25f, 0.6f, 0.0f}}, {{0, 1, 0}, {0.6f, 0.25f, 0.0f}}},
         {0, 0, 0},
         "outputs cross over"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        LUT3D lut = LUT3D::identity(5);
        for (const auto& [node, value] : c.changes)
            lut.mutableValues()[static_cast<std::size_t>(lut.index(node[0], node[1], node[2]))] =
                value;
        try {
            LUTAlgebra::invert(lut, 9);
            FAIL() << "inverted a folding table";
        } catch (const LUTFoldError& error) {
            EXPECT_EQ(error.node(), c.node);
            EXPECT_NE(std::string(error.what()).find(c.how), std::string::npos) << error.what();
            EXPECT_TRUE(std::string(error.what()).starts_with("The LUT cannot be inverted"));
        }
    }
}

}  // namespace
}  // namespace lumivert
