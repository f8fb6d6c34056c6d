#include "lut/ASCCDL.hpp"
#include "lut/LUTReader.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace lumivert {
namespace {

constexpr float sixDecimals = 1e-6f;

const ASCCDL grade{"", {1.2f, 1.0f, 0.8f}, {0.05f, -0.1f, 0.0f}, {1.0f, 2.0f, 0.5f}, 1.0f};

ASCCDL withSaturation(ASCCDL cdl, float saturation)
{
    cdl.saturation = saturation;
    return cdl;
}

void expectNear(const RGB& actual, const RGB& expected)
{
    EXPECT_NEAR(actual.r, expected.r, sixDecimals);
    EXPECT_NEAR(actual.g, expected.g, sixDecimals);
    EXPECT_NEAR(actual.b, expected.b, sixDecimals);
}

// Worked by hand from the v1.2 formula: slope and offset, clamp, power, saturation about
// 0.2126 R + 0.7152 G + 0.0722 B, clamp.
TEST(ASCCDLApply, MatchesHandComputedValues)
{
    struct Case {
        RGB in;
        float saturation;
        RGB out;
    };
    for (const Case& c : {
             Case{{0.5f, 0.5f, 0.5f}, 1.0f, {0.65f, 0.16f, 0.632456f}},
             Case{{0.5f, 0.5f, 0.5f}, 0.5f, {0.474143f, 0.229143f, 0.465370f}},
             // Over 1 and below 0 before the power (no NaN from a negative base), and after
             // saturation.
             Case{{1.0f, 0.0f, 0.0f}, 2.0f, {1.0f, 0.0f, 0.0f}},
             Case{{0.2f, 0.9f, 0.4f}, 0.0f, {0.560224f, 0.560224f, 0.560224f}},
         }) {
        SCOPED_TRACE(c.saturation);
        expectNear(withSaturation(grade, c.saturation).apply(c.in), c.out);
    }
    expectNear(ASCCDL{}.apply({0.3f, 0.6f, 0.9f}), {0.3f, 0.6f, 0.9f});
}

TEST(ASCCDLApply, TheLUTHoldsTheFormulaAtItsNodes)
{
    const ASCCDL cdl = withSaturation(grade, 1.3f);
    const LUT3D lut = cdl.lut(17);
    const std::vector<float> axis = LUT3D::latticeAxis(17);
    for (const std::int64_t i : {0, 5, 16})
        for (const std::int64_t j : {0, 9, 16})
            expectNear(lut(i, j, 16 - i), cdl.apply({axis[static_cast<std::size_t>(i)],
                                                     axis[static_cast<std::size_t>(j)],
                                                     axis[static_cast<std::size_t>(16 - i)]}));
}

// ---- Reading .cc, .ccc and .cdl ----------------------------------------------------------------

// A known-good collection: two corrections, the second with only a SOPNode.
const std::string collection = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                               "<ColorCorrectionCollection xmlns=\"urn:ASC:CDL:v1.2\">\n"
                               "  <!-- shot 1 -->\n"
                               "  <ColorCorrection id=\"shot1\">\n"
                               "    <SOPNode>\n"
                               "      <Description>warm</Description>\n"
                               "      <Slope>1.2 1.0 0.8</Slope>\n"
                               "      <Offset>0.05 -0.1 0</Offset>\n"
                               "      <Power>1 2 0.5</Power>\n"
                               "    </SOPNode>\n"
                               "    <SatNode>\n"
                               "      <Saturation>0.5</Saturation>\n"
                               "    </SatNode>\n"
                               "  </ColorCorrection>\n"
                               "  <ColorCorrection\n    id='a&amp;b'>\n"
                               "    <SOPNode><Slope> 2 2 2 </Slope></SOPNode>\n"
                               "  </ColorCorrection>\n"
                               "</ColorCorrectionCollection>\n";

std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
}

TEST(ASCCDLReader, ReadsEveryCorrectionOfEachLayout)
{
    const std::vector<ASCCDL> read = ASCCDLReader::corrections(collection);
    ASSERT_EQ(read.size(), 2u);
    ASCCDL first = withSaturation(grade, 0.5f);
    first.id = "shot1";
    EXPECT_EQ(read[0], first);
    EXPECT_EQ(read[1], (ASCCDL{"a&b", {2, 2, 2}, {0, 0, 0}, {1, 1, 1}, 1.0f}));
    // A .cdl wraps each correction in a ColorDecision; a .cc is one correction alone.
    const std::string decisions =
        "<ColorDecisionList><ColorDecision>" +
        collection.substr(collection.find("<ColorCorrection id=\"shot1\">"),
                          collection.find("<ColorCorrection\n    id='a") -
                              collection.find("<ColorCorrection id=\"shot1\">")) +
        "</ColorDecision></ColorDecisionList>";
    EXPECT_EQ(ASCCDLReader::corrections(decisions), std::vector<ASCCDL>{first});
    EXPECT_EQ(ASCCDLReader::chosen(read, "a&b"), read[1]);
    EXPECT_EQ(ASCCDLReader::chosen(read, std::nullopt), read[0]);
    try {
        ASCCDLReader::chosen(read, "shot9");
        FAIL() << "found";
    } catch (const LUTFormatError& error) {
        EXPECT_EQ(error.reason(), "no ColorCorrection has the id \u201Cshot9\u201D, expected one "
                                  "of \u201Cshot1\u201D, \u201Ca&b\u201D");
    }
}

struct FailureCase {
    const char* name;
    std::function<std::string(const std::string&)> mutate;
    const char* message;
};

// Most faults are one piece of the known-good collection changed.
std::function<std::string(const std::string&)> swapping(const char* from, const char* to)
{
    return [from, to](const std::string& text) { return replaced(text, from, to); };
}

class ASCCDLReaderFailure : public testing::TestWithParam<FailureCase> {};

TEST_P(ASCCDLReaderFailure, NamesTheLineWhatWasFoundAndWhatWasExpected)
{
    try {
        ASCCDLReader::corrections(GetParam().mutate(collection));
        FAIL() << "accepted";
    } catch (const LUTFormatError& error) {
        EXPECT_STREQ(error.inFile("grade.ccc").what(), GetParam().message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Mutations, ASCCDLReaderFailure,
    testing::Values(
        FailureCase{"TwoNumbers", swapping("1.2 1.0 0.8", "1.2 1.0"),
                    "grade.ccc, line 7: Slope holds \u201C1.2 1.0\u201D, expected 3 numbers."},
        FailureCase{"NotANumber", swapping("0.5</Sat", "half</Sat"),
                    "grade.ccc, line 12: Saturation holds \u201Chalf\u201D, expected one number."},
        FailureCase{
            "ZeroPower", swapping("1 2 0.5", "1 0 0.5"),
            "grade.ccc, line 4: ColorCorrection \u201Cshot1\u201D: powers must be above 0."},
        FailureCase{"NegativeSlope", swapping(" 2 2 2 ", "2 -2 2"),
                    "grade.ccc, line 15: ColorCorrection \u201Ca&b\u201D: slopes must be 0 or "
                    "more."},
        FailureCase{"MismatchedTag", swapping("</SatNode>", "</SOPNode>"),
                    "grade.ccc, line 13: unexpected </SOPNode>, expected </SatNode>."},
        FailureCase{"Unclosed", swapping("</ColorCorrectionCollection>\n", ""),
                    "grade.ccc, line 19: the text ends inside <ColorCorrectionCollection>, "
                    "expected </ColorCorrectionCollection>."},
        FailureCase{"UnterminatedComment", swapping(" shot 1 -->", " shot 1"),
                    "grade.ccc, line 3: unterminated comment, expected \u201C-->\u201D."},
        FailureCase{"NoCorrection",
                    [](const std::string&) { return std::string("<ColorCorrectionCollection/>"); },
                    "grade.ccc, line 1: no ColorCorrection element, expected a .cc, .ccc or .cdl "
                    "file."},
        FailureCase{"UTF16",
                    [](const std::string& t) {
                        std::string wide = "\xFF\xFE";
                        for (const char c : t)
                            wide += std::string{c, '\0'};
                        return wide;
                    },
                    "grade.ccc: UTF-16 text; save it as UTF-8."}),
    [](const testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace lumivert
