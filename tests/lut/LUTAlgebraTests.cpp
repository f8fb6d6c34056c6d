#include "color/ColorMath.hpp"
#include "lut/LUTAlgebra.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace lumivert {
namespace {

constexpr float kLevel = 1.0f / 255.0f;
constexpr int kRandomColours = 4000;

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

// A milder contrast whose inverse bends little between the nodes of a 33-point table.
RGB gentleLook(const RGB& c)
{
    const auto s = [](float v) { return v * v * (3.0f - 2.0f * v); };
    return {0.4f * s(c.r) + 0.55f * c.r + 0.03f * c.g, 0.95f * c.g + 0.03f * c.b,
            0.3f * c.b * c.b + 0.65f * c.b + 0.02f * c.r};
}

// Whether each channel of the table still rises by a third of a level per level of its input
// there: where it is flatter, a level of output holds several of input, and no inverse can tell
// them apart within one.
bool invertibleAt(const LUT3D& table, const RGB& colour)
{
    const RGB out = table.sample(colour);
    const RGB nudged = table.sample(colour + RGB{kLevel, kLevel, kLevel});
    return std::min({nudged.r - out.r, nudged.g - out.g, nudged.b - out.b}) >= kLevel / 3.0f;
}

float largestDifference(const RGB& a, const RGB& b)
{
    return std::max({std::fabs(a.r - b.r), std::fabs(a.g - b.g), std::fabs(a.b - b.b)});
}

std::vector<RGB> randomColours(unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::vector<RGB> colours(kRandomColours);
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
        EXPECT_LE(worst, c.size >= 33 ? kLevel : 2 * kLevel) << worst * 255 << " levels";
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
                  kLevel);
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

TEST(LUTAlgebraInvert, RoundTripsWithinOneLevelOverTheInvertibleRange)
{
    for (const std::int64_t size : {17, 33}) {
        SCOPED_TRACE(size);
        const LUT3D look = LUT3D::build(size, gentleLook);
        const LUT3D inverse = LUTAlgebra::invert(look, size);
        float worst = 0.0f;
        int checked = 0;
        for (const RGB& colour : randomColours(5)) {
            // The inverse's last cell also holds nodes the look never reaches (its outputs stop
            // below 1); between those and reachable ones the inverse is not the look's.
            const RGB out = look.sample(colour);
            const float lastCell = 1.0f - 1.0f / static_cast<float>(size - 1);
            if (!invertibleAt(look, colour) || std::max({out.r, out.g, out.b}) > lastCell)
                continue;
            ++checked;
            worst = std::max(worst, largestDifference(inverse.sample(look.sample(colour)), colour));
        }
        EXPECT_GT(checked, kRandomColours / 2);
        // A 17-point inverse interpolates its curve more coarsely than the look's own 17 points.
        EXPECT_LE(worst, size >= 33 ? kLevel : 2 * kLevel) << worst * 255 << " levels";
        // Each node of the inverse, looked up in the look, lands on its own input.
        float landed = 0.0f;
        const std::vector<float> axis = LUT3D::latticeAxis(size);
        for (std::int64_t i = 0; i < size; ++i) {
            const auto k = static_cast<std::size_t>(i);
            const RGB target{axis[k], axis[size - 1 - i], axis[k]};
            if (target.r > 0.05f && target.r < 0.95f && target.g > 0.05f && target.g < 0.95f)
                landed = std::max(
                    landed, largestDifference(look.sample(inverse(i, size - 1 - i, i)), target));
        }
        EXPECT_LE(landed, 1e-4f);
    }
    EXPECT_EQ(LUTAlgebra::invert(LUT3D::identity(9), 9).values(), LUT3D::identity(9).values());
}

TEST(LUTAlgebraInvert, AFoldingTableIsRefusedAtItsFirstFold)
{
    struct Case {
        const char* name;
        LUT3D::Function f;
        std::array<std::int64_t, 3> node;
        const char* how;
    };
    const std::vector<Case> cases = {
        // Red rises to the middle, then falls: the fold starts at red index 8 of 17.
        {"red turns back",
         [](const RGB& c) {
             return RGB{1 - std::fabs(2 * c.r - 1), c.g, c.b};
         },
         {8, 0, 0},
         "the red output falls as the red input rises"},
        {"blue reversed",
         [](const RGB& c) {
             return RGB{c.r, c.g, 1 - c.b};
         },
         {0, 0, 0},
         "the blue output falls as the blue input rises"},
        // Each channel rises with itself, but red and green swap: the cube turns inside out.
        {"channels swapped",
         [](const RGB& c) {
             return RGB{0.3f * c.r + c.g, c.r + 0.3f * c.g, c.b};
         },
         {0, 0, 0},
         "its outputs cross over"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const LUT3D table = LUT3D::buildUnclamped(17, c.f);
        EXPECT_EQ(LUTAlgebra::firstFold(table), c.node);
        try {
            LUTAlgebra::invert(table, 17);
            FAIL() << "inverted";
        } catch (const LUTFoldError& error) {
            EXPECT_EQ(error.node(), c.node);
            EXPECT_NE(std::string(error.what()).find(c.how), std::string::npos) << error.what();
            EXPECT_TRUE(std::string(error.what())
                            .starts_with("The LUT cannot be inverted: it "
                                         "folds at node (" +
                                         std::to_string(c.node[0]) + ", "));
        }
    }
    // Clipped, flat ends do not fold.
    EXPECT_FALSE(LUTAlgebra::firstFold(LUT3D::build(17, [](const RGB& c) { return c * 1.5f; })));
}

}  // namespace
}  // namespace lumivert
