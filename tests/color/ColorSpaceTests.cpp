#include "color/ocio/ColorSpace.hpp"
#include "color/ocio/LatticeProcessor.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

namespace lumivert {
namespace {

TEST(ColorSpaceTable, KeysAreUniqueAndRoundTrip)
{
    std::set<std::string_view> keys;
    for (const ColorSpaceRow& row : ColorSpaces::all()) {
        EXPECT_TRUE(keys.insert(row.key).second) << row.key;
        EXPECT_EQ(ColorSpaces::fromKey(row.key), row.space);
        EXPECT_EQ(&ColorSpaces::row(row.space), &row);
        EXPECT_FALSE(row.title.empty());
        // A display row names its encoding; every other row reaches ACES2065-1.
        EXPECT_EQ(row.kind == ColorSpaceKind::display, !row.display.empty()) << row.key;
        EXPECT_EQ(row.kind == ColorSpaceKind::display, row.acesSteps().empty()) << row.key;
        EXPECT_EQ(ColorSpaces::isOutput(row.space), row.kind == ColorSpaceKind::display);
    }
    EXPECT_EQ(keys.size(), 13u);
    EXPECT_EQ(ColorSpaces::fromKey("SRGB"), std::nullopt);
    // The outputs are the display rows, the default first.
    const std::vector<ColorSpace> outputs{ColorSpace::srgb, ColorSpace::rec709,
                                          ColorSpace::rec2020};
    EXPECT_TRUE(std::ranges::equal(ColorSpaces::outputs(), outputs));
    EXPECT_EQ(ColorSpaces::defaultSpace, ColorSpace::srgb);
}

TEST(ColorSpaceTable, UnknownKeysAreRefusedWithTheChoices)
{
    EXPECT_EQ(ColorSpaces::parse("vlog-vgamut"), ColorSpace::vlogVGamut);
    EXPECT_EQ(ColorSpaces::parse("rec2020", true), ColorSpace::rec2020);
    const auto messageOf = [](std::string_view key, bool outputOnly) {
        try {
            ColorSpaces::parse(key, outputOnly);
        } catch (const ColorSpaceError& error) {
            return std::string(error.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(messageOf("slog2", false),
              "There is no colour space called \u201Cslog2\u201D; choose one of srgb, rec709, "
              "rec2020, linear-rec709, acescg, acescct, slog3-sgamut3cine, slog3-sgamut3, "
              "logc3-awg, clog2-cinemagamut, clog3-cinemagamut, vlog-vgamut, log3g10-rwg.");
    EXPECT_EQ(messageOf("acescct", true),
              "There is no output colour space called \u201Cacescct\u201D; choose one of srgb, "
              "rec709, rec2020.");
}

TEST(ColorSpaceChains, ListTheBuiltinsInOrder)
{
    const std::string_view rec709 = "DISPLAY - CIE-XYZ-D65_to_REC.1886-REC.709";
    EXPECT_TRUE(ColorSpaces::chain(ColorSpace::srgb, ColorSpace::srgb).empty());
    EXPECT_TRUE(ColorSpaces::chain(ColorSpace::rec2020, ColorSpace::rec2020).empty());
    EXPECT_EQ(ColorSpaces::chain(ColorSpace::rec709, ColorSpace::srgb),
              (std::vector<BuiltinStep>{{rec709, true}, {"DISPLAY - CIE-XYZ-D65_to_sRGB"}}));
    EXPECT_EQ(ColorSpaces::chain(ColorSpace::linearRec709, ColorSpace::rec709),
              (std::vector<BuiltinStep>{{"UTILITY - ACES-AP1_to_LINEAR-REC709_BFD", true},
                                        {"ACEScg_to_ACES2065-1"},
                                        {"ACES-OUTPUT - ACES2065-1_to_CIE-XYZ-D65 - SDR-VIDEO_1.0"},
                                        {rec709}}));
    EXPECT_EQ(ColorSpaces::inverse(ColorSpaces::chain(ColorSpace::rec709, ColorSpace::srgb)),
              (std::vector<BuiltinStep>{{"DISPLAY - CIE-XYZ-D65_to_sRGB", true}, {rec709}}));
}

TEST(ColorSpaceChains, EveryStyleIsInOpenColorIOsRegistry)
{
    // An unknown style stops the program, so building every processor checks every name.
    for (const ColorSpaceRow& row : ColorSpaces::all())
        for (ColorSpace output : ColorSpaces::outputs()) {
            const std::vector<BuiltinStep> steps = ColorSpaces::chain(row.space, output);
            EXPECT_EQ(LatticeProcessor(steps).isIdentity(), steps.empty()) << row.key;
        }
}

}  // namespace
}  // namespace lumivert
