#include "recipe/ClipWarning.hpp"

#include "color/ColorMath.hpp"

#include <gtest/gtest.h>

#include <algorithm>

namespace lumivert {
namespace {

struct ClipCase {
    const char* name;
    RGB (*grade)(const RGB&);
    bool warned;
    const char* way;  // the words the warning must hold
};

// Grades that push a share of the lattice past either end, and ones that stay inside.
const ClipCase clipCases[] = {
    {"identity", [](const RGB& c) { return c; }, false, ""},
    {"doubled", [](const RGB& c) { return c * 2.0f; }, true,
     "clip at white: the reference is much brighter"},
    {"darkened",
     [](const RGB& c) {
         return c * 2.0f - RGB{1, 1, 1};
     },
     true, "clip at black: the reference is much darker"},
    {"slightly brighter", [](const RGB& c) { return c * 1.1f; }, false, ""},
    {"clamped", [](const RGB& c) { return clamp01(c * 2.0f); }, true, "at white"},
};

TEST(ClipWarning, WarnsOnlyPastAQuarterAndSaysWhichWay)
{
    constexpr std::int64_t size = 9;
    for (const ClipCase& test : clipCases) {
        const LUT3D graded = LUT3D::build(size, test.grade);
        const ClipWarning::Clipping clipping = ClipWarning::measure(graded, LUT3D::identity(size));
        EXPECT_EQ(clipping.total, size * size * size) << test.name;
        // Measured a block of whole rows at a time, as a table baked while it is written.
        ClipWarning::Clipping inBlocks;
        const std::span<const RGB> entries = graded.values();
        for (std::int64_t first = 0; first < clipping.total; first += 2 * size)
            ClipWarning::addAgainstIdentity(
                inBlocks, size, first,
                entries.subspan(
                    static_cast<std::size_t>(first),
                    static_cast<std::size_t>(std::min(2 * size, clipping.total - first))));
        EXPECT_EQ(inBlocks.atBlack, clipping.atBlack) << test.name;
        EXPECT_EQ(inBlocks.atWhite, clipping.atWhite) << test.name;
        EXPECT_EQ(inBlocks.total, clipping.total) << test.name;
        EXPECT_EQ(clipping.clipped > 0 && clipping.share() > ClipWarning::warnedShare, test.warned)
            << test.name;
        const auto warning = ClipWarning::warning(clipping);
        ASSERT_EQ(warning.has_value(), test.warned) << test.name;
        if (warning) {
            EXPECT_NE(warning->find(test.way), std::string::npos) << *warning;
            EXPECT_TRUE(warning->ends_with(".")) << *warning;
        }
    }
}

// What the conversion itself clips (a camera's codes below black) is not the grade's doing.
TEST(ClipWarning, CountsOnlyWhatThePlainTableDoesNotClip)
{
    const LUT3D crushed = LUT3D::build(5, [](const RGB& c) {
        return clamp01(c * 3.0f - RGB{1, 1, 1});
    });
    EXPECT_EQ(ClipWarning::measure(crushed, crushed).clipped, 0);
    EXPECT_GT(ClipWarning::measure(crushed, LUT3D::identity(5)).share(), ClipWarning::warnedShare);
}

}  // namespace
}  // namespace lumivert
