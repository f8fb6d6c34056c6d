#include "color/ocio/ColorSpace.hpp"
#include "color/ocio/LatticeProcessor.hpp"

#include <gtest/gtest.h>

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
    }
    EXPECT_EQ(keys.size(), 13u);
    EXPECT_EQ(ColorSpaces::fromKey("SRGB"), std::nullopt);
}

TEST(ColorSpaceTable, OutputsAreTheDisplaySpacesWithSRGBFirst)
{
    ASSERT_FALSE(ColorSpaces::outputs().empty());
    EXPECT_EQ(ColorSpaces::outputs().front(), ColorSpaces::defaultSpace);
    EXPECT_EQ(ColorSpaces::defaultSpace, ColorSpace::srgb);
    std::size_t displays = 0;
    for (const ColorSpaceRow& row : ColorSpaces::all())
        displays += ColorSpaces::isOutput(row.space) ? 1 : 0;
    EXPECT_EQ(ColorSpaces::outputs().size(), displays);
    for (ColorSpace space : ColorSpaces::outputs())
        EXPECT_EQ(ColorSpaces::row(space).kind, ColorSpaceKind::display);
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

struct ChainCase {
    ColorSpace input;
    ColorSpace output;
    std::vector<BuiltinStep> steps;
};

class ColorSpaceChain : public testing::TestWithParam<ChainCase> {};

TEST_P(ColorSpaceChain, ListsTheBuiltinsInOrder)
{
    EXPECT_EQ(ColorSpaces::chain(GetParam().input, GetParam().output), GetParam().steps);
}

const std::string_view kACESOutput = "ACES-OUTPUT - ACES2065-1_to_CIE-XYZ-D65 - SDR-VIDEO_1.0";

INSTANTIATE_TEST_SUITE_P(
    Examples, ColorSpaceChain,
    testing::Values(ChainCase{ColorSpace::srgb, ColorSpace::srgb, {}},
                    ChainCase{ColorSpace::rec2020, ColorSpace::rec2020, {}},
                    ChainCase{ColorSpace::rec709,
                              ColorSpace::srgb,
                              {{"DISPLAY - CIE-XYZ-D65_to_REC.1886-REC.709", true},
                               {"DISPLAY - CIE-XYZ-D65_to_sRGB", false}}},
                    ChainCase{ColorSpace::slog3SGamut3Cine,
                              ColorSpace::rec709,
                              {{"SONY_SLOG3-SGAMUT3.CINE_to_ACES2065-1", false},
                               {kACESOutput, false},
                               {"DISPLAY - CIE-XYZ-D65_to_REC.1886-REC.709", false}}},
                    ChainCase{ColorSpace::linearRec709,
                              ColorSpace::rec2020,
                              {{"UTILITY - ACES-AP1_to_LINEAR-REC709_BFD", true},
                               {"ACEScg_to_ACES2065-1", false},
                               {kACESOutput, false},
                               {"DISPLAY - CIE-XYZ-D65_to_REC.1886-REC.2020", false}}}));

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
