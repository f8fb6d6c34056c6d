#include "learners/StatusLine.hpp"

#include <gtest/gtest.h>

#include <utility>

namespace lumivert {
namespace {

TEST(StatusLineLook, NamesEachDeviationInOrder)
{
    LookAnalysis analysis;
    EXPECT_EQ(StatusLine::look(analysis), "A near-neutral look");

    analysis.blackLevel = 0.03f;
    analysis.contrast = 1.02f;
    analysis.saturation = 0.5f;
    EXPECT_EQ(StatusLine::look(analysis), "Look: blacks lifted, muted colour");

    analysis.whiteLevel = 0.9f;
    analysis.contrast = 0.95f;
    analysis.saturation = 0.2f;
    analysis.tints[5] = {0.006f, 0.006f};  // 0.0085 long
    EXPECT_EQ(StatusLine::look(analysis),
              "Look: blacks lifted, soft highlights, less contrast, monochrome, colour cast");
}

TEST(StatusLineLook, NeutralAnalysisIsANearNeutralLook)
{
    EXPECT_EQ(StatusLine::look(LookAnalysis::neutral()), "A near-neutral look");
}

TEST(StatusLineLook, EachPhraseAlone)
{
    LookAnalysis analysis;
    analysis.contrast = 0.95f;
    EXPECT_EQ(StatusLine::look(analysis), "Look: less contrast");
    analysis.contrast = 1.0f;
    analysis.saturation = 1.2f;  // only reachable from analyses made by hand
    EXPECT_EQ(StatusLine::look(analysis), "Look: rich colour");
    analysis.saturation = 1.0f;
    analysis.tints[0] = {0.006f, 0.006f};  // 0.0085 long
    EXPECT_EQ(StatusLine::look(analysis), "Look: colour cast");
    analysis.tints[0] = {0.01f, 0.0f};
    analysis.blackLevel = 0.1f;
    analysis.whiteLevel = 0.9f;
    analysis.contrast = 1.1f;
    analysis.saturation = 0.2f;
    EXPECT_EQ(StatusLine::look(analysis),
              "Look: blacks lifted, soft highlights, more contrast, monochrome, colour cast");
}

TEST(StatusLineLook, ThresholdsAreExclusive)
{
    LookAnalysis analysis;
    analysis.blackLevel = 0.02f;
    analysis.whiteLevel = 0.97f;
    analysis.saturation = 0.85f;
    analysis.tints[0] = {0.008f, 0};
    analysis.contrast = 1.04f;
    EXPECT_EQ(StatusLine::look(analysis), "A near-neutral look");
    analysis.contrast = 1.05f;
    EXPECT_EQ(StatusLine::look(analysis), "Look: more contrast");
}

TEST(StatusLineEdit, VerdictBoundariesBelongToTheWorseVerdict)
{
    EXPECT_EQ(StatusLine::editVerdict(1.49f), "excellent");
    EXPECT_EQ(StatusLine::editVerdict(1.5f), "good");
    EXPECT_EQ(StatusLine::editVerdict(3.0f), "fair");
    EXPECT_EQ(StatusLine::editVerdict(6.0f),
              "poor: local edits or a different crop cannot be captured by a LUT");
    EXPECT_EQ(StatusLine::edit(1.25f), "Fit error 1.2 levels (excellent)");
    EXPECT_EQ(StatusLine::edit(1.49f), "Fit error 1.5 levels (excellent)");
    EXPECT_EQ(StatusLine::edit(1.5f), "Fit error 1.5 levels (good)");
    EXPECT_EQ(StatusLine::edit(3.0f), "Fit error 3.0 levels (fair)");
    EXPECT_EQ(StatusLine::edit(6.0f), "Fit error 6.0 levels (poor: local edits or a different "
                                      "crop cannot be captured by a LUT)");
}

TEST(StatusLineEdit, LowCoverageSaysWhatHappensToTheOtherColours)
{
    EXPECT_EQ(StatusLine::edit(0.4f, 0.10f, false), "Fit error 0.4 levels (excellent)");
    EXPECT_EQ(StatusLine::edit(0.4f, 0.5f, true), "Fit error 0.4 levels (excellent)");
    EXPECT_EQ(StatusLine::edit(0.4f, 0.042f, false),
              "Fit error 0.4 levels (excellent) \u00B7 covers 4 % of colours; others keep their "
              "values");
    EXPECT_EQ(StatusLine::edit(2.0f, 0.0996f, true),
              "Fit error 2.0 levels (good) \u00B7 covers 9 % of colours; others follow the "
              "overall edit");
    EXPECT_EQ(StatusLine::edit(0.4f, 0.001f, true),
              "Fit error 0.4 levels (excellent) \u00B7 covers under 1 % of colours; others follow "
              "the overall edit");
}

TEST(StatusLineEdit, CoverageIsRoundedDownOnce)
{
    const std::pair<float, const char*> cases[] = {
        {0.0f, "under 1 %"}, {0.0099f, "under 1 %"}, {0.011f, "1 %"},  {0.0599f, "5 %"},
        {0.0601f, "6 %"},    {0.417f, "41 %"},       {0.999f, "99 %"}, {1.0f, "100 %"}};
    for (const auto& [coverage, text] : cases)
        EXPECT_EQ(StatusLine::coverage(coverage), text) << coverage;
}

TEST(StatusLineOthers, MatchAndHaldTexts)
{
    EXPECT_EQ(StatusLine::match("mine", "film"), "Matching \u201Cmine\u201D to \u201Cfilm\u201D");
    EXPECT_EQ(StatusLine::hald(64), "HALD level 8 \u00B7 64-point cube");
    EXPECT_EQ(StatusLine::hald(144), "HALD level 12 \u00B7 144-point cube");
}

}  // namespace
}  // namespace lumivert
