#include "color/ColorMath.hpp"
#include "imaging/ImageFixtures.hpp"
#include "imaging/ImageLoader.hpp"
#include "io/FileIO.hpp"
#include "lut/HaldCLUT.hpp"
#include "lut/LUTReader.hpp"
#include "lut/LUTWriter.hpp"
#include "lut/TextEncoding.hpp"

#include "support/FolderTest.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <array>
#include <chrono>
#include <cmath>
#include <fstream>
#include <optional>
#include <random>

namespace lumivert {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

// A known-good .cube of size 2 in the writer's layout; each failure case mutates one thing.
// Lines: 1 TITLE, 2 comment, 3 LUT_3D_SIZE, 4 DOMAIN_MIN, 5 DOMAIN_MAX, 6 to 13 entries.
const std::string cubeText = "TITLE \"Warm\"\n"
                             "# a comment\n"
                             "LUT_3D_SIZE 2\n"
                             "DOMAIN_MIN 0.0 0.0 0.0\n"
                             "DOMAIN_MAX 1.0 1.0 1.0\n"
                             "0.1 0 0\n"
                             "1 0 0\n"
                             "0 1 0\n"
                             "1 1 0\n"
                             "0 0 1\n"
                             "1 0 1\n"
                             "0 1 1\n"
                             "1 1 0.9\n";
const std::vector<RGB> cubeValues = {{0.1f, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0},
                                     {0, 0, 1},    {1, 0, 1}, {0, 1, 1}, {1, 1, 0.9f}};

// A known-good .3dl of size 2 (12-bit values, blue fastest). Lines: 1 comment, 2 shaper, 3 to 10
// entries.
const std::string threeDLText = "# comment\n"
                                "0 1023\n"
                                "0 0 0\n"
                                "0 0 4095\n"
                                "0 4095 0\n"
                                "0 4095 4095\n"
                                "4095 0 0\n"
                                "4095 0 4095\n"
                                "4095 4095 0\n"
                                "4095 4095 4095\n";

std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
}

std::string cubeWith(const std::string& from, const std::string& to)
{
    return replaced(cubeText, from, to);
}

std::string threeDLWith(const std::string& from, const std::string& to)
{
    return replaced(threeDLText, from, to);
}

// Every line end the reader accepts; each must read as LF does, with the same line numbers.
const std::vector<std::pair<std::string, std::string>> lineEnds = {
    {"LF", "\n"}, {"CRLF", "\r\n"},  {"CR", "\r"},     {"VT", "\v"},
    {"FF", "\f"}, {"NEL", "\u0085"}, {"LS", "\u2028"}, {"PS", "\u2029"},
};

std::string withLineEnds(const std::string& text, const std::string& end)
{
    std::string result;
    for (char c : text)
        c == '\n' ? result += end : result += c;
    return result;
}

// The error of parsing the text, or none.
std::optional<LUTFormatError> parseError(const std::string& text, bool threeDL = false)
{
    try {
        if (threeDL)
            LUTReader::threeDL(text);
        else
            LUTReader::cube(text);
    } catch (const LUTFormatError& error) {
        return error;
    }
    return std::nullopt;
}

std::string reasonOf(const std::string& text, bool threeDL = false)
{
    const std::optional<LUTFormatError> error = parseError(text, threeDL);
    return error ? error->reason() : "no error";
}

// Random outputs in [low, high], so every table's largest value falls in a known band.
LUT3D gradeWithin(std::int64_t size, float low, float high, unsigned seed)
{
    std::vector<RGB> values = LUT3D::identity(size).values();
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> range(low, high);
    for (RGB& v : values)
        v = {range(random), range(random), range(random)};
    return LUT3D(size, std::move(values));
}

// A smooth grade that leaves [0, 1] at the ends, so round trips exercise clamping.
LUT3D sampleGrade(std::int64_t size) { return gradeWithin(size, -0.2f, 1.2f, 7); }

// Entries within the tolerance of what was written, clamped into [0, 1] for formats that hold
// only that range (.3dl, HALD).
void expectWithin(const LUT3D& actual, const LUT3D& written, float tolerance, bool clamped = true)
{
    ASSERT_EQ(actual.size(), written.size());
    for (std::size_t i = 0; i < written.values().size(); ++i) {
        const RGB expected = clamped ? clamp01(written.values()[i]) : written.values()[i];
        const RGB& found = actual.values()[i];
        ASSERT_NEAR(found.r, expected.r, tolerance) << i;
        ASSERT_NEAR(found.g, expected.g, tolerance) << i;
        ASSERT_NEAR(found.b, expected.b, tolerance) << i;
    }
}

TEST(LUTReaderRoundTrip, CubeKeepsSixDecimalsBeyondZeroToOneAndThreeDLTwelveBits)
{
    for (std::int64_t size : {2, 17, 33}) {
        SCOPED_TRACE(size);
        const LUT3D lut = sampleGrade(size);
        const LUTReader::CubeContents read = LUTReader::cube(LUTWriter::cube(lut, " Caf\u00E9 "));
        // Format rounding plus float spacing; HDR entries are kept, not clamped.
        expectWithin(read.lut.table(), lut, 5.0e-7f + 1.0e-7f, false);
        EXPECT_EQ(read.title, "Cafe");
        expectWithin(LUTReader::threeDL(LUTWriter::threeDL(lut)).lut, lut, 0.5f / 4095.0f + 1e-7f);
    }
}

TEST(LUTReaderCube, ReadsEntriesInFileOrderWithTheTitle)
{
    const LUTReader::CubeContents read = LUTReader::cube(cubeText);
    EXPECT_EQ(read.lut.table().size(), 2);
    EXPECT_EQ(read.lut.table().values(), cubeValues);
    EXPECT_EQ(read.title, "Warm");
    EXPECT_FALSE(LUTReader::cube(cubeWith("TITLE \"Warm\"\n", "")).title.has_value());
    // Unquoted, doubly quoted among tabs and spaces, a later line, a bare keyword.
    const std::vector<std::pair<std::string, std::string>> titles = {
        {cubeWith("TITLE \"Warm\"", "TITLE My LUT"), "My LUT"},
        {cubeWith("TITLE \"Warm\"", "TITLE\t \"\"Two words\"\"  "), "Two words"},
        {cubeText + "TITLE \"Later\"\n", "Later"},
        {cubeWith("TITLE \"Warm\"", "TITLE"), ""},
    };
    for (const auto& [text, title] : titles)
        EXPECT_EQ(LUTReader::cube(text).title, title);
}

// Tiny numbers are not out of range: they read as zero or a subnormal, as a float conversion does.
TEST(LUTReaderCube, EntriesAreKeptUnclampedTinyOnesReadAsZeroAndMayPrecedeTheSize)
{
    const std::string text =
        replaced(cubeWith("0.1 0 0\n", "-0.25 1e-3 +2\n"), "LUT_3D_SIZE 2\n", "") +
        "LUT_3D_SIZE 2\n";
    EXPECT_EQ(LUTReader::cube(text).lut.table().values()[0], (RGB{-0.25f, 0.001f, 2.0f}));
    EXPECT_EQ(LUTReader::cube(cubeWith("0.1 0 0", "0 0 1e-50")).lut.table().values()[0],
              (RGB{0.0f, 0.0f, 0.0f}));
    EXPECT_EQ(LUTReader::cube(cubeWith("0 1 0\n", "1e-50 1 -1e-400\n")).lut.table().values()[2],
              (RGB{0, 1, 0}));
}

TEST(LUTReaderCube, ASignedSizeReadsAndALaterSizeLineReplacesTheEarlierOne)
{
    const std::string twice = cubeWith("LUT_3D_SIZE 2\n", "LUT_3D_SIZE 3\nLUT_3D_SIZE 2\n");
    EXPECT_EQ(LUTReader::cube(twice).lut.table().size(), 2);
    EXPECT_EQ(LUTReader::cube(cubeWith("LUT_3D_SIZE 2", "LUT_3D_SIZE +2")).lut.table().size(), 2);
    EXPECT_EQ(reasonOf(cubeText + "LUT_3D_SIZE 3\n"), "expected 27 entries, found 8");
}

TEST(LUTReaderCube, DomainAndInputRangeLinesSetTheDomainOfTheEntries)
{
    const auto domainOf = [](const std::string& text) {
        const LUTReader::CubeContents read = LUTReader::cube(text);
        EXPECT_EQ(read.lut.table().values(), cubeValues);
        return read.lut.table().domain();
    };
    EXPECT_TRUE(domainOf(cubeText).isUnit());
    EXPECT_EQ(domainOf(cubeWith("DOMAIN_MAX 1.0 1.0 1.0", "DOMAIN_MAX\t1\t0.5\t2.0")),
              (LUTDomain{{0, 0, 0}, {1, 0.5f, 2}}));
    EXPECT_EQ(domainOf(cubeWith("DOMAIN_MIN 0.0 0.0 0.0", "DOMAIN_MIN -0.1 0 0.2")),
              (LUTDomain{{-0.1f, 0, 0.2f}, {1, 1, 1}}));
    // The range line is the same domain for all three channels, wherever it stands.
    EXPECT_EQ(domainOf(cubeText + "LUT_3D_INPUT_RANGE 0.0 4.0\n"), LUTDomain::uniform(0, 4));
    EXPECT_EQ(domainOf("LUT_3D_INPUT_RANGE -1 3\n" + cubeText), LUTDomain::uniform(-1, 3));
    // A 1D range says nothing about a 3D table.
    EXPECT_TRUE(domainOf(cubeText + "LUT_1D_INPUT_RANGE 0 4\n").isUnit());
}

TEST(LUTReaderCube, AcceptsTheWaysOtherToolsLayOutText)
{
    std::vector<std::pair<std::string, std::string>> variants = {
        {"blank lines", withLineEnds(cubeText, "\n\n \n")},
        {"tabs", replaced(cubeWith("1 0 0\n", "1\t0 \t 0\n"), "LUT_3D_SIZE 2", "LUT_3D_SIZE\t2")},
        {"trailing spaces", cubeWith("0 1 0\n", "0 1 0   \t\n")},
        {"leading spaces", cubeWith("0 1 0\n", "\t  0 1 0\n")},
        {"Unicode spaces", cubeWith("0 1 0\n", "\u00A0\u3000 0 1 0\u2003\u202F\n")},
        {"no final newline", cubeText.substr(0, cubeText.size() - 1)},
        {"comments between data", cubeWith("0 0 1\n", "# shadows\n  # indented\n0 0 1\n")},
        {"byte-order mark", "\xEF\xBB\xBF" + cubeText},
        {"uppercase exponents", cubeWith("0.1 0 0", "1E-1 0e0 .0")},
    };
    for (const auto& [name, end] : lineEnds)
        variants.emplace_back(name, withLineEnds(cubeText, end));
    for (const auto& [name, text] : variants) {
        const LUTReader::CubeContents read = LUTReader::cube(text);
        EXPECT_EQ(read.lut.table().values(), cubeValues) << name;
        EXPECT_EQ(read.title, "Warm") << name;
    }
}

TEST(LUTReaderCube, ErrorMessageIsASentence)
{
    try {
        LUTReader::cube("");
        FAIL() << "an empty text was accepted";
    } catch (const LUTFormatError& error) {
        EXPECT_STREQ(error.what(), "The LUT file could not be read: no LUT_3D_SIZE.");
    }
    EXPECT_STREQ(LUTFormatError::malformed("bad input range").what(),
                 "The LUT file could not be read: bad input range.");
    const LUTFormatError located = LUTFormatError::malformed("bad input range", 7);
    EXPECT_STREQ(located.what(), "The LUT file could not be read: line 7: bad input range.");
    const LUTFormatError inFile = located.inFile(fs::path("grades") / "look.cube");
    EXPECT_STREQ(inFile.what(), "look.cube, line 7: bad input range.");
    EXPECT_EQ(inFile.reason(), "bad input range");
    EXPECT_EQ(inFile.file(), fs::path("grades") / "look.cube");
    EXPECT_EQ(inFile.line(), 7);
    EXPECT_STREQ(LUTFormatError::malformed("wrong entry count").inFile("b.3dl").what(),
                 "b.3dl: wrong entry count.");
}

// ---- Lustre layout: the Mesh line declares size and depth --------------------------------------

// A table whose every channel differs, so a misplaced row or a wrong scale shows.
std::array<std::int64_t, 3> lustreRow(std::int64_t r, std::int64_t g, std::int64_t b,
                                      std::int64_t most)
{
    return {(r * 127 + g * 3) % (most + 1), (g * 131 + b * 5) % (most + 1),
            (b * 137 + r * 7 + 1) % (most + 1)};
}

// "3DMESH", "Mesh N B", comments, then (2^N + 1)³ rows of B-bit integers, blue fastest. Lines: 1
// 3DMESH, 2 Mesh, 3 and 4 comments, then the shaper if any, then the rows.
std::string lustreText(int exponent, int bits, const std::string& shaper = "")
{
    const std::int64_t n = (std::int64_t{1} << exponent) + 1;
    const std::int64_t most = (std::int64_t{1} << bits) - 1;
    std::string text = "3DMESH\nMesh " + std::to_string(exponent) + " " + std::to_string(bits) +
                       "\n# Lustre layout\n#\n" + shaper;
    for (std::int64_t r = 0; r < n; ++r)
        for (std::int64_t g = 0; g < n; ++g)
            for (std::int64_t b = 0; b < n; ++b) {
                const auto row = lustreRow(r, g, b, most);
                text += std::to_string(row[0]) + " " + std::to_string(row[1]) + " " +
                        std::to_string(row[2]) + "\n";
            }
    return text + "\nLUT8\ngamma 1.0\n";
}

// The rows of lustreText(4, 12) with neither a Mesh nor a shaper line.
std::string lustreRows() { return lustreText(4, 12).substr(lustreText(4, 12).find("# Lustre")); }

// "0 1 2 … last" spread over count values, rounded as an integer writer would.
std::string rampLine(std::int64_t count, std::int64_t last)
{
    std::string line;
    for (std::int64_t k = 0; k < count; ++k)
        line += std::to_string(
                    std::llround(static_cast<double>(k * last) / static_cast<double>(count - 1))) +
                " ";
    return line + "\n";
}

// ASCII text as UTF-16 with or without its byte-order mark, as Windows editors save it.
std::string asUTF16(const std::string& text, bool littleEndian, bool mark)
{
    std::string out = mark ? (littleEndian ? "\xFF\xFE" : "\xFE\xFF") : "";
    for (const char c : text)
        out += littleEndian ? std::string{c, '\0'} : std::string{'\0', c};
    return out;
}

// ---- Malformed texts: the reason, the line and the whole sentence of each ----------------------

struct Malformed {
    std::string name;
    bool threeDL;
    std::string text;
    std::string reason;
    std::int64_t line;  // 0 where only the end of the text shows the problem
    bool everyLineEnd = true;
};

std::vector<Malformed> malformedTexts()
{
    const std::string longLine = std::string(30, '7') + "\u00E9\u00E9\u00E9\u00E9\u00E9" +
                                 "\u20AC\u20AC\u20AC\u20AC\u20AC" + "tail that is cut";
    std::string oneShort = LUTWriter::cube(LUT3D::identity(33), "t");
    oneShort.erase(oneShort.rfind("1.000000 1.000000 1.000000\n"));
    // The white corner of a 33-point table, the last of its 35 937 entries.
    std::string lastNaN = LUTWriter::cube(LUT3D::identity(33), "t");
    lastNaN.replace(lastNaN.rfind("1.000000 1.000000 1.000000"), 26, "1.000000 nan 1.000000");
    const auto shaperOf = [](std::size_t count) {
        std::string line;
        for (std::size_t i = 0; i < count; ++i)
            line += "0 ";
        return line + "\n";
    };
    std::string bent = rampLine(1024, 1023);
    bent.replace(bent.find(" 500 "), 5, " 520 ");
    const std::string outOfRange = ", expected a number within \u00B13.4e38";
    const std::string noTable = "found 0 entries, which fill no table of 2 to 256 points per axis";
    const std::string noRamp = " values gives more than 256 points per axis and is not an even "
                               "ramp from 0";
    std::vector<Malformed> rows = {
        {"size 2.0", false, cubeWith("LUT_3D_SIZE 2", "LUT_3D_SIZE 2.0"), "bad LUT_3D_SIZE", 3},
        {"no size", false, cubeWith("LUT_3D_SIZE 2\n", ""), "no LUT_3D_SIZE", 0},
        {"empty", false, "", "no LUT_3D_SIZE", 0},
        {"only a comment", false, "# only a comment\n\n", "no LUT_3D_SIZE", 0},
        // Keywords are case-sensitive: a lower-case one is a bad data line.
        {"lower-case keyword", false, cubeWith("LUT_3D_SIZE 2", "lut_3d_size 2"),
         "unexpected line \u201Clut_3d_size 2\u201D", 3},
        {"1D size 0", false, cubeWith("# a comment", "LUT_1D_SIZE 0"), "bad LUT_1D_SIZE", 2},
        {"1D size 1", false, cubeWith("# a comment", "LUT_1D_SIZE 1"), "bad LUT_1D_SIZE", 2},
        {"1D size 65537", false, "LUT_1D_SIZE 65537\n0 0 0\n1 1 1\n", "bad LUT_1D_SIZE", 1},
        // A 1D table before a 3D one is a shaper: its entries come first.
        {"1D shaper", false, cubeWith("# a comment", "LUT_1D_SIZE 4"),
         "expected 12 entries, found 8", 0},
        {"empty domain", false, cubeWith("DOMAIN_MAX 1.0 1.0 1.0", "DOMAIN_MAX 1 0 1"),
         "DOMAIN_MIN is not below DOMAIN_MAX in every channel", 0},
        {"two minima", false, cubeWith("DOMAIN_MIN 0.0 0.0 0.0", "DOMAIN_MIN 0 0"),
         "bad DOMAIN_MIN", 4},
        {"two maxima", false, cubeWith("DOMAIN_MAX 1.0 1.0 1.0", "DOMAIN_MAX 1 1"),
         "bad DOMAIN_MAX", 5},
        {"maximum x", false, cubeWith("DOMAIN_MAX 1.0 1.0 1.0", "DOMAIN_MAX 1 1 x"),
         "bad DOMAIN_MAX", 5},
        {"four maxima", false, cubeWith("DOMAIN_MAX 1.0 1.0 1.0", "DOMAIN_MAX 1 1 1 1"),
         "bad DOMAIN_MAX", 5},
        {"maximum nan", false, cubeWith("DOMAIN_MAX 1.0 1.0 1.0", "DOMAIN_MAX 1 nan 1"),
         "bad DOMAIN_MAX", 5},
        {"empty range", false, cubeText + "LUT_3D_INPUT_RANGE 1 1\n", "bad input range", 14},
        {"infinite range", false, cubeText + "LUT_3D_INPUT_RANGE 0 inf\n", "bad input range", 14},
        {"one range value", false, cubeText + "LUT_3D_INPUT_RANGE 0\n", "bad input range", 14},
        {"three range values", false, cubeText + "LUT_3D_INPUT_RANGE 0 1 2\n", "bad input range",
         14},
        {"range among the entries", false, cubeWith("0 0 1\n", "LUT_3D_INPUT_RANGE 0\n0 0 1\n"),
         "bad input range", 10},
        {"two values", false, cubeWith("0 1 0\n", "0 1\n"), "unexpected line \u201C0 1\u201D", 8},
        {"two decimals", false, cubeWith("0 1 0\n", "0.1 0.2\n"),
         "unexpected line \u201C0.1 0.2\u201D", 8},
        {"number with a suffix", false, cubeWith("0 1 0\n", "  0.5x 0 0  \n"),
         "unexpected line \u201C0.5x 0 0\u201D", 8},
        {"four values", false, cubeWith("0 1 0\n", "0 1 0 1\n"),
         "unexpected line \u201C0 1 0 1\u201D", 8},
        {"no-break space between values", false, cubeWith("0 1 0\n", "0 1\u00A00\n"),
         "unexpected line \u201C0 1\u00A00\u201D", 8},
        {"keyword with a suffix", false, cubeWith("0 1 0\n", "LUT_3D_INPUT_RANGES 0 1\n"),
         "unexpected line \u201CLUT_3D_INPUT_RANGES 0 1\u201D", 8},
        {"the first of two bad lines", false,
         replaced(cubeWith("0 1 0\n", "a b c\n"), "1 1 0\n", "d e\n"),
         "unexpected line \u201Ca b c\u201D", 8},
        {"after blank and comment lines", false,
         cubeWith("0 1 0\n", "\n# shadows\n   \n\t\n0 x 0\n"), "unexpected line \u201C0 x 0\u201D",
         12},
        {"first line after a byte-order mark", false,
         cubeWith("TITLE \"Warm\"", "\xEF\xBB\xBF"
                                    "0 0"),
         "unexpected line \u201C0 0\u201D", 1},
        // Quoted to forty characters; invalid bytes as replacement characters, so the message is
        // valid UTF-8.
        {"long line", false, cubeWith("0 1 0", longLine),
         "unexpected line \u201C" + std::string(30, '7') +
             "\u00E9\u00E9\u00E9\u00E9\u00E9\u20AC\u20AC\u20AC\u20AC\u20AC\u201D",
         8},
        {"invalid byte", false, cubeWith("0 1 0", "0 1 \xFF"),
         "unexpected line \u201C0 1 \uFFFD\u201D", 8},
        {"one entry short", false, oneShort, "expected 35937 entries, found 35936", 0},
        {"one entry over", false, cubeText + "0 0 0\n", "expected 8 entries, found 9", 0},
        {"last entry not a number", false, lastNaN, "not a number in entry 35937", 35942},
        {"huge entry", false, cubeWith("0 1 0\n", "0 1e300 0\n"),
         "value out of range in entry 3: found \u201C1e300\u201D" + outOfRange, 8},
        {"negative beyond double", false, cubeWith("0 1 0\n", "0 1 -1e400\n"),
         "value out of range in entry 3: found \u201C-1e400\u201D" + outOfRange, 8},
        {"just beyond float", false, cubeWith("0 1 0\n", "1e39 1 0\n"),
         "value out of range in entry 3: found \u201C1e39\u201D" + outOfRange, 8},
        {"UTF-16 little-endian", false, asUTF16(cubeText, true, true),
         "UTF-16 text; save it as UTF-8", 0, false},
        {"UTF-16 big-endian", false, asUTF16(cubeText, false, true),
         "UTF-16 text; save it as UTF-8", 0, false},
        {"UTF-16 without a mark", true, asUTF16(threeDLText, true, false),
         "UTF-16 text; save it as UTF-8", 0, false},

        {"shaper of one value", true, threeDLWith("0 1023\n", "1023\n"), "missing shaper line", 2},
        {"no shaper", true, threeDLWith("0 1023\n", "LUT8\n"), "missing shaper line", 2},
        {"two values", true, threeDLWith("0 0 4095\n", "0 4095\n"),
         "unexpected line \u201C0 4095\u201D", 4},
        {"two values later", true, threeDLWith("0 4095 0\n", "0 4095\n"),
         "unexpected line \u201C0 4095\u201D", 5},
        {"four values", true, threeDLWith("0 0 4095\n", "0 0 4095 1\n"),
         "unexpected line \u201C0 0 4095 1\u201D", 4},
        {"two values after header lines", true,
         threeDLWith("# comment\n0 1023\n", "3DMESH\nMesh 0 12\n\n0 1023\n1 2\n"),
         "unexpected line \u201C1 2\u201D", 5},
        {"one row short", true, threeDLWith("0 0 4095\n", ""), "expected 8 entries, found 7", 0},
        {"last row missing", true, threeDLWith("4095 4095 4095\n", ""),
         "expected 8 entries, found 7", 0},
        {"truncated", true, threeDLText.substr(0, threeDLText.rfind("4095 4095 0\n")),
         "expected 8 entries, found 6", 0},
        {"one row over", true, threeDLText + "1 1 1\n", "expected 8 entries, found 9", 0},
        {"empty", true, "", noTable, 0},
        {"header lines only", true, "# comment only\n3DMESH\n", noTable, 0},
        {"Mesh line after the rows", true, threeDLText + "Mesh 0 12\n",
         "unexpected line \u201CMesh 0 12\u201D", 11},
        {"shaper unlike the Mesh line", true, lustreText(4, 12, "0 1023\n"),
         "shaper line does not match the Mesh line", 5},
        {"value over the Mesh depth", true, replaced(lustreText(4, 12), "0 5 138\n", "0 5 4096\n"),
         "value outside 0 to 4095 in entry 2", 6},
        {"negative value", true, replaced(lustreText(4, 12), "0 5 138\n", "0 -5 138\n"),
         "value outside 0 to 4095 in entry 2", 6},
        // 256 is the limit itself and is read (the count check comes at the end); three million
        // values are refused from the count alone, with nothing reserved for them.
        {"shaper of 256", true, shaperOf(256) + "0 0 0\n", "expected 16777216 entries, found 1", 0},
        {"shaper of 257", true, shaperOf(257) + "0 0 0\n", "a shaper line of 257" + noRamp, 1},
        {"shaper of three million", true, shaperOf(3'000'000) + "0 0 0\n",
         "a shaper line of 3000000 values gives more than 256 points per axis", 1},
        // Shaper lines finer than the table must be an even ramp that fills a table.
        {"bent fine shaper after a Mesh line", true, lustreText(4, 12, bent),
         "shaper line does not match the Mesh line", 5},
        {"bent fine shaper", true, bent + lustreRows(), "a shaper line of 1024" + noRamp, 1},
        {"fine shaper not from 0", true, "1 " + rampLine(1024, 1023) + lustreRows(),
         "a shaper line of 1025" + noRamp, 1},
        {"fine shaper over 65536", true, rampLine(65537, 1023) + lustreRows(),
         "a shaper line of 65537 values gives more than 256 points per axis", 1},
        {"shaper shorter than the Mesh", true, lustreText(4, 12, rampLine(9, 1023)),
         "shaper line does not match the Mesh line", 5},
        {"fine shaper, a row short", true,
         replaced(rampLine(1024, 1023) + lustreRows(), "0 0 1\n", ""),
         "found 4912 entries, which fill no table of 2 to 256 points per axis", 0},
        {"33-point shaper, a row short", true,
         replaced(rampLine(33, 1023) + lustreRows(), "0 0 1\n", ""),
         "expected 35937 entries, found 4912", 0},
    };
    for (const char* line :
         {"LUT_3D_SIZE 1", "LUT_3D_SIZE 257", "LUT_3D_SIZE", "LUT_3D_SIZE 2 2", "LUT_3D_SIZE x",
          "LUT_3D_SIZE 99999999999999999999", "LUT_3D_SIZE +-2"})
        rows.push_back({line, false, cubeWith("LUT_3D_SIZE 2", line), "bad LUT_3D_SIZE", 3});
    for (const char* field : {"nan", "NAN", "-nan", "inf", "-inf", "infinity"})
        rows.push_back({field, false, cubeWith("0 1 0\n", "0 "s + field + " 0\n"),
                        "not a number in entry 3", 8});
    for (const char* mesh : {"Mesh 2", "Mesh 2 32", "Mesh -1 12", "Meshes 2 12"})
        rows.push_back(
            {mesh, true, replaced(lustreText(2, 12), "Mesh 2 12", mesh), "bad Mesh line", 2});
    // No size over 256 is accepted: 2^8 + 1 = 257 points, refused at the Mesh line.
    for (const char* exponent : {"8", "63", "99999"})
        rows.push_back({"Mesh "s + exponent, true,
                        replaced(lustreText(2, 12), "Mesh 2 12", "Mesh "s + exponent + " 12"),
                        "Mesh "s + exponent + " gives more than 256 points per axis", 2});
    // A bad entry of a 33-point table: the writer's header takes five lines, so entry k (from 1)
    // is on line 5 + k.
    const std::string large = LUTWriter::cube(LUT3D::identity(33), "t");
    const std::size_t entryLength = std::string("0.000000 0.000000 0.000000\n").size();
    for (std::int64_t entry : {1, 2, 17'000, 35'936, 35'937}) {
        const std::size_t at =
            large.size() - static_cast<std::size_t>(35'938 - entry) * entryLength;
        std::string bad = large;
        bad[at] = 'x';
        rows.push_back({"entry " + std::to_string(entry) + " of 35937", false, bad,
                        "unexpected line \u201C" + bad.substr(at, entryLength - 1) + "\u201D",
                        5 + entry});
    }
    return rows;
}

// Refused with the same reason and line whatever the line ends; the message puts the line, or
// the file's name and the line, before the reason.
TEST(LUTReaderMalformed, EachTextIsRefusedWithItsReasonAndLine)
{
    for (const Malformed& row : malformedTexts()) {
        SCOPED_TRACE((row.threeDL ? ".3dl, " : ".cube, ") + row.name);
        const std::string line = row.line ? "line " + std::to_string(row.line) : "";
        const std::string file = row.threeDL ? "look.3dl" : "look.cube";
        for (const auto& [endName, end] : lineEnds) {
            if (!row.everyLineEnd && end != "\n")
                continue;
            const std::optional<LUTFormatError> error =
                parseError(withLineEnds(row.text, end), row.threeDL);
            ASSERT_TRUE(error.has_value()) << endName;
            EXPECT_EQ(error->reason(), row.reason) << endName;
            EXPECT_EQ(error->line().value_or(0), row.line) << endName;
            EXPECT_FALSE(error->file().has_value()) << endName;
            EXPECT_EQ(error->what(), "The LUT file could not be read: " +
                                         (row.line ? line + ": " : "") + row.reason + ".")
                << endName;
            EXPECT_EQ(error->inFile(file).what(),
                      file + (row.line ? ", " + line : "") + ": " + row.reason + ".")
                << endName;
        }
    }
}

TEST(LUTReaderThreeDL, ReadsBlueFastestIntoTheTableOrder)
{
    const LUT3D lut = LUTReader::threeDL(threeDLText).lut;
    EXPECT_EQ(lut, LUT3D::identity(2));
    // Only entry (r, g, b) = (1, 0, 0) differs: in the file it is the fifth triple.
    const LUT3D marked = LUTReader::threeDL(threeDLWith("4095 0 0\n", "1000 2000 3000\n")).lut;
    EXPECT_EQ(marked(1, 0, 0), (RGB{1000.0f / 4095.0f, 2000.0f / 4095.0f, 3000.0f / 4095.0f}));
    EXPECT_EQ(marked(0, 0, 1), (RGB{0, 0, 1}));
}

TEST(LUTReaderThreeDL, BitDepthFollowsTheLargestValue)
{
    // All zero except entry (1, 1, 1), the last line, whose red is the largest value.
    const auto scaleFor = [](int largest) {
        std::string text = "0 1023\n";
        for (int i = 0; i < 7; ++i)
            text += "0 0 0\n";
        text += std::to_string(largest) + " 0 0\n";
        return static_cast<float>(largest) / LUTReader::threeDL(text).lut(1, 1, 1).r;
    };
    for (const auto& [largest, scale] :
         {std::pair{1023, 1023.0f}, std::pair{1024, 4095.0f}, std::pair{4095, 4095.0f},
          std::pair{4096, 65535.0f}, std::pair{65535, 65535.0f}})
        EXPECT_FLOAT_EQ(scaleFor(largest), scale) << largest;
}

TEST(LUTReaderThreeDL, SixteenBitFilesReadAsSixteenBit)
{
    std::string text = "0 1023\n";
    for (const char* line : {"0 0 0", "0 0 65535", "0 65535 0", "0 65535 65535", "65535 0 0",
                             "65535 0 65535", "65535 65535 0", "32768 65535 65535"})
        text += std::string(line) + "\n";
    const LUT3D lut = LUTReader::threeDL(text).lut;
    EXPECT_EQ(lut(1, 0, 0), (RGB{1, 0, 0}));
    EXPECT_EQ(lut(1, 1, 1), (RGB{32768.0f / 65535.0f, 1, 1}));
}

TEST(LUTReaderThreeDL, HeaderAndTrailerLinesOfOtherToolsAreSkipped)
{
    const LUT3D expected = LUTReader::threeDL(threeDLText).lut;
    // Fields that are not integers are left out of a line.
    for (const std::string& text :
         {"3DMESH\nMesh 0 12\n" + threeDLText, "Mesh, 0, 12\n" + threeDLText,
          "3DMESH\n" + threeDLText + "\nLUT8\ngamma 1.0\n",
          threeDLWith("0 0 4095\n", "0 x 0 0.5 4095\n"),
          "\xEF\xBB\xBF" + replaced(threeDLText, "\n", "\r\n")})
        EXPECT_EQ(LUTReader::threeDL(text).lut, expected) << text;
}

void expectLustreValues(const LUTReader::ThreeDLContents& read, int exponent, int bits)
{
    const std::int64_t n = (std::int64_t{1} << exponent) + 1;
    const std::int64_t most = (std::int64_t{1} << bits) - 1;
    ASSERT_EQ(read.lut.size(), n);
    EXPECT_EQ(read.outputBits, bits);
    EXPECT_FALSE(read.guessedTenBit);
    const auto scale = static_cast<float>(most);
    for (std::int64_t r = 0; r < n; ++r)
        for (std::int64_t g = 0; g < n; ++g)
            for (std::int64_t b = 0; b < n; ++b) {
                const auto row = lustreRow(r, g, b, most);
                ASSERT_EQ(read.lut(r, g, b), (RGB{static_cast<float>(row[0]) / scale,
                                                  static_cast<float>(row[1]) / scale,
                                                  static_cast<float>(row[2]) / scale}))
                    << r << " " << g << " " << b;
            }
}

TEST(LUTReaderThreeDLLustre, MeshLineGivesSizeAndDepthAndTheShaperLineIsOptional)
{
    // 33 points and 12-bit values, as OpenColorIO's own Lustre sample.
    expectLustreValues(LUTReader::threeDL(lustreText(5, 12)), 5, 12);
    expectLustreValues(LUTReader::threeDL(lustreText(4, 16)), 4, 16);
    expectLustreValues(LUTReader::threeDL(lustreText(4, 10)), 4, 10);
    expectLustreValues(LUTReader::threeDL(lustreText(4, 12, rampLine(17, 1024))), 4, 12);
    // With three points a shaper line and a row look alike; the count tells them apart.
    expectLustreValues(LUTReader::threeDL(lustreText(1, 12)), 1, 12);
    expectLustreValues(LUTReader::threeDL(lustreText(1, 12, "0 512 1023\n")), 1, 12);
    // Dark values in a 16-bit mesh are not mistaken for 10-bit ones.
    const LUTReader::ThreeDLContents dark = LUTReader::threeDL(
        replaced(threeDLWith("4095 4095 4095\n", "900 900 900\n"), "# comment\n", "Mesh 0 16\n"));
    EXPECT_EQ(dark.lut(1, 1, 1), (RGB{900.0f / 65535.0f, 900.0f / 65535.0f, 900.0f / 65535.0f}));
}

// Shaper lines finer than the table, as ociobakelut --shapersize writes them.
TEST(LUTReaderThreeDLFineShaper, AnEvenRampLongerThanTheTableReadsAsTheTableAlone)
{
    // The Lustre layout with its 17-point shaper is the reference each variant must equal.
    const LUT3D reference = LUTReader::threeDL(lustreText(4, 12, rampLine(17, 1023))).lut;
    for (const std::int64_t count : {18, 33, 257, 1024, 4096, 65536}) {
        SCOPED_TRACE(count);
        EXPECT_EQ(LUTReader::threeDL(lustreText(4, 12, rampLine(count, 1023))).lut, reference);
        // Without a Mesh line the rows give the size; the depth is guessed, here as 12-bit.
        EXPECT_EQ(LUTReader::threeDL(rampLine(count, 1023) + lustreRows()).lut, reference);
        EXPECT_EQ(LUTReader::threeDL(rampLine(count, 4095) + lustreRows()).lut, reference);
    }
}

// ---- Output depth: declared by our own files, guessed for others -------------------------------

TEST(LUTReaderThreeDLDepth, OurOwnFilesReadBackWithinTwelveBitsWhateverTheirRange)
{
    struct Band {
        const char* name;
        float low;
        float high;
    };
    // Dark grades never reach 1024 in 12 bits, the very values a guess would read as 10-bit.
    for (const Band& band : {Band{"dark", 0.0f, 0.2f}, Band{"very dark", 0.0f, 0.01f},
                             Band{"bright", 0.8f, 1.0f}, Band{"full range", -0.2f, 1.2f}}) {
        for (unsigned seed = 1; seed <= 4; ++seed) {
            SCOPED_TRACE(band.name);
            const LUT3D lut = gradeWithin(2 + seed * 5, band.low, band.high, seed);
            // The Lustre flavour declares its depth in its Mesh line, for sizes 2^K + 1 only.
            const LUT3D meshed = gradeWithin((1 << seed) + 1, band.low, band.high, seed);
            for (const auto& [table, text] :
                 {std::pair{lut, LUTWriter::threeDL(lut)},
                  std::pair{meshed,
                            LUTWriter::threeDL(meshed, LUTWriter::ThreeDLFlavour::lustre)}}) {
                const LUTReader::ThreeDLContents read = LUTReader::threeDL(text);
                expectWithin(read.lut, table, 0.5f / 4095.0f + 1e-7f);
                EXPECT_EQ(read.outputBits, 12);
                EXPECT_FALSE(read.guessedTenBit);
            }
        }
    }
    // Line ends and a byte-order mark added by other tools keep the declaration.
    const LUT3D dark = gradeWithin(5, 0.0f, 0.2f, 9);
    const std::string crlf = "\xEF\xBB\xBF" + withLineEnds(LUTWriter::threeDL(dark), "\r\n");
    expectWithin(LUTReader::threeDL(crlf).lut, dark, 0.5f / 4095.0f + 1e-7f);
}

TEST(LUTReaderThreeDLDepth, ForeignFilesAreGuessedAsBeforeAndTenBitGuessesAreFlagged)
{
    const LUT3D dark = gradeWithin(5, 0.0f, 0.2f, 3);
    const std::string ours = LUTWriter::threeDL(dark);
    const std::string comment = LUTWriter::commentLine();
    ASSERT_TRUE(ours.starts_with(comment));
    // Without our comment first, the same rows are a foreign file: guessed 10-bit, and flagged.
    for (const std::string& foreign :
         {ours.substr(comment.size()), "# other tool\n" + ours,
          replaced(ours, "Lumivert", "Lumivert 2"), "# x\n" + ours.substr(comment.size())}) {
        const LUTReader::ThreeDLContents read = LUTReader::threeDL(foreign);
        EXPECT_EQ(read.outputBits, 10);
        EXPECT_TRUE(read.guessedTenBit);
        for (std::size_t i = 0; i < dark.values().size(); ++i) {
            ASSERT_NEAR(read.lut.values()[i].r, dark.values()[i].r * 4095.0f / 1023.0f,
                        0.5f / 1023.0f + 1e-6f);
        }
    }
    // Guesses of 12 and 16 bits come from values no 10-bit file holds: not flagged.
    const LUTReader::ThreeDLContents twelve = LUTReader::threeDL(threeDLText);
    EXPECT_EQ(twelve.outputBits, 12);
    EXPECT_FALSE(twelve.guessedTenBit);
    const LUTReader::ThreeDLContents sixteen =
        LUTReader::threeDL(replaced(threeDLText, "4095 4095 4095\n", "65535 4095 4095\n"));
    EXPECT_EQ(sixteen.outputBits, 16);
    EXPECT_FALSE(sixteen.guessedTenBit);
}

TEST(LUTReaderThreeDL, ExtremeIntegersStillGiveFiniteEntries)
{
    // Integers are read within 64 bits and divided by a depth scale: nothing can become NaN or
    // infinite, so no table from a .3dl can break the writer.
    for (const char* value : {"9223372036854775807", "-9223372036854775808", "65536"}) {
        const LUT3D lut =
            LUTReader::threeDL(replaced(threeDLText, "4095 0 0\n", std::string(value) + " 0 0\n"))
                .lut;
        for (const RGB& v : lut.values())
            ASSERT_TRUE(std::isfinite(v.r) && std::isfinite(v.g) && std::isfinite(v.b)) << value;
    }
}

class LUTReaderFileTest : public fixtures::FolderTest {
protected:
    fs::path put(const std::string& name, const std::string& bytes) const
    {
        std::ofstream(folder_ / name, std::ios::binary) << bytes;
        return folder_ / name;
    }
};

TEST_F(LUTReaderFileTest, DispatchesOnTheLowerCasedExtension)
{
    const LUT3D lut = sampleGrade(9);
    LUTWriter::write(lut, LUTFormat::cube, "t", folder_ / "a.CUBE");
    LUTWriter::write(lut, LUTFormat::threeDL, "t", folder_ / "b.3DL");
    expectWithin(LUTReader::read(folder_ / "a.CUBE").table(), lut, 6e-7f, false);
    expectWithin(LUTReader::read(folder_ / "b.3DL").table(), lut, 0.5f / 4095.0f + 1e-7f);
    // A .3dl text in a file named .cube goes to the .cube parser and fails there.
    EXPECT_THROW(LUTReader::read(put("c.cube", threeDLText)), LUTFormatError);
}

// Files are parsed as read, without repairing the whole text first: on any mix of invalid
// bytes, separators and line breaks, the table, the title and the failing line must be those of
// the repaired text.
TEST(LUTReaderInvalidBytes, ParseAsTheRepairedTextWould)
{
    const std::string pieces[] = {
        "\xFF",         "\xE2",     "\x80",         "\xC2",         "\0"s, "\xF0\x9F", "\xC2\x85",
        "\xE2\x80\xA8", "\xC2\xA0", "\xE2\x80\x80", "\xE3\x80\x80", " ",   "\r",       "#",
        "\xEF\xBB\xBF", "\u00E9"};
    std::mt19937 random(11);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(pieces) - 1);
    for (int trial = 0; trial < 3000; ++trial) {
        const std::string base = trial % 2 == 0 ? cubeText : threeDLText;
        std::string text = base;
        for (int inserts = 1 + trial % 4; inserts > 0; --inserts) {
            std::uniform_int_distribution<std::size_t> at(0, text.size());
            text.insert(at(random), pieces[pick(random)]);
        }
        const std::string repaired = TextEncoding::repairedUTF8(text);
        const auto outcome = [&](const std::string& input) {
            try {
                if (trial % 2 == 0) {
                    const LUTReader::CubeContents contents = LUTReader::cube(input);
                    return std::pair(std::optional(contents.lut.table()), contents.title);
                }
                return std::pair(std::optional(LUTReader::threeDL(input).lut),
                                 std::optional<std::string>());
            } catch (const LUTFormatError& error) {
                return std::pair(std::optional<LUT3D>(),
                                 std::optional("line " + std::to_string(error.line().value_or(0))));
            }
        };
        EXPECT_EQ(outcome(text), outcome(repaired)) << ::testing::PrintToString(text);
    }
}

TEST_F(LUTReaderFileTest, InvalidBytesAreRepairedNotRefused)
{
    const std::string text = replaced(cubeText, "# a comment", "# caf\xE9 \xFF\xFE");
    EXPECT_EQ(LUTReader::read(put("latin1.cube", text)).table().values(), cubeValues);
    EXPECT_EQ(LUTReader::read(put("latin1.3dl", "# \xE9t\xE9\n" + threeDLText)),
              LUT3D::identity(2));
}

TEST_F(LUTReaderFileTest, OtherExtensionsAreReadAsHaldImages)
{
    const LUT3D lut = sampleGrade(64);
    LUTWriter::write(lut, LUTFormat::hald, "t", folder_ / "graded.png");
    expectWithin(LUTReader::read(folder_ / "graded.png").table(), lut, 0.5f / 65535.0f + 1e-7f);
    // The image decoder goes by content, so a PNG named .tif shows the dispatch by extension.
    fs::rename(folder_ / "graded.png", folder_ / "graded.tif");
    expectWithin(LUTReader::read(folder_ / "graded.tif").table(), lut, 0.5f / 65535.0f + 1e-7f);
    ImageLoader::writePNG(HaldCLUT::identity(2), folder_ / "small.PNG", false);
    EXPECT_EQ(LUTReader::read(folder_ / "small.PNG"), LUT3D::identity(4));
}

// Images that are not HALD, files that are not images and absent files, each by its reader.
TEST_F(LUTReaderFileTest, FilesWithoutALUTThrowTheirReadersError)
{
    ImageLoader::writePNG(PixelBuffer(10, 8, RGB{0.5f, 0.5f, 0.5f}), folder_ / "photo.png", false);
    EXPECT_THROW(LUTReader::read(folder_ / "photo.png"), HaldError);
    EXPECT_THROW(LUTReader::read(put("notes.png", cubeText)), ImageLoaderError);
    EXPECT_THROW(LUTReader::read(folder_ / "absent.png"), ImageLoaderError);
    EXPECT_THROW(LUTReader::read(folder_ / "absent.cube"), FileError);
    EXPECT_THROW(LUTReader::read(folder_ / "absent.3dl"), FileError);
}

// What a parse error of a file says; the file is written with CRLF line ends.
LUTFormatError fileError(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << withLineEnds(text, "\r\n");
    try {
        LUTReader::read(path);
    } catch (const LUTFormatError& error) {
        return error;
    }
    ADD_FAILURE() << path << " was read without an error";
    return LUTFormatError::malformed("none");
}

TEST_F(LUTReaderFileTest, ParseErrorsNameTheFileAndTheLine)
{
    const LUTFormatError size =
        fileError(folder_ / "look.cube", replaced(cubeText, "LUT_3D_SIZE 2", "LUT_3D_SIZE 2.0"));
    EXPECT_STREQ(size.what(), "look.cube, line 3: bad LUT_3D_SIZE.");
    EXPECT_EQ(size.reason(), "bad LUT_3D_SIZE");
    EXPECT_EQ(size.file(), folder_ / "look.cube");
    EXPECT_EQ(size.line(), 3);

    const LUTFormatError count = fileError(folder_ / "Look Two.CUBE", cubeText + "0 0 0\n");
    EXPECT_STREQ(count.what(), "Look Two.CUBE: expected 8 entries, found 9.");
    EXPECT_EQ(count.file(), folder_ / "Look Two.CUBE");
    EXPECT_FALSE(count.line().has_value());

    const LUTFormatError shaper =
        fileError(folder_ / "grade.3dl", replaced(threeDLText, "0 1023\n", "LUT8\n"));
    EXPECT_STREQ(shaper.what(), "grade.3dl, line 2: missing shaper line.");
    EXPECT_STREQ(fileError(folder_ / "grade.3dl", replaced(threeDLText, "4095 0 0\n", "")).what(),
                 "grade.3dl: expected 8 entries, found 7.");
}

TEST_F(LUTReaderFileTest, EachFormatsReaderIgnoresTheExtension)
{
    const fs::path text = put("look.txt", replaced(cubeText, "0 1 0\n", "0 1\n"));
    try {
        LUTReader::readCube(text);
        FAIL() << "a bad .cube text was read";
    } catch (const LUTFormatError& error) {
        EXPECT_STREQ(error.what(), "look.txt, line 8: unexpected line \u201C0 1\u201D.");
    }
    EXPECT_EQ(LUTReader::readCube(put("good.txt", cubeText)).title, "Warm");
    EXPECT_EQ(LUTReader::readThreeDL(put("grade.cube", threeDLText)).lut, LUT3D::identity(2));
    ImageLoader::writePNG(HaldCLUT::identity(2), folder_ / "hald.cube", false);
    EXPECT_EQ(LUTReader::readHald(folder_ / "hald.cube"), LUT3D::identity(4));
}

// A large photo must be refused from its header: decoding an 8192 × 8192 image first would hold
// gigabytes. The claimed images hold a few bytes of data, so only a header check can name them.
TEST_F(LUTReaderFileTest, NonHaldShapesAreRefusedFromTheHeader)
{
    for (const std::uint32_t side : {8192u, 16384u}) {
        const fs::path photo = folder_ / "photo.tif";
        fixtures::writeBytes(photo, fixtures::pngClaiming(side, side));
        try {
            LUTReader::read(photo);
            ADD_FAILURE() << side << " × " << side << " was read";
        } catch (const HaldError& error) {
            EXPECT_STREQ(error.what(), HaldError::notHald(side, side).what());
        }
    }
    // The same truncated data with a HALD shape gets as far as decoding, and fails there.
    fixtures::writeBytes(folder_ / "level8.png", fixtures::pngClaiming(512, 512));
    EXPECT_THROW(LUTReader::read(folder_ / "level8.png"), ImageLoaderError);
}

// None of these may block, read without end or fill memory: each is refused at once by name.
TEST_F(LUTReaderFileTest, OnlyRegularFilesOfAPlausibleSizeAreRead)
{
    ASSERT_EQ(::mkfifo((folder_ / "pipe").c_str(), 0600), 0);
    std::ofstream(folder_ / "sparse");
    fs::resize_file(folder_ / "sparse", 1'000'000'000);
    for (const char* extension : {".cube", ".3dl"}) {
        const std::string pipe = "pipe"s + extension;
        const std::string zero = "zero"s + extension;
        const std::string huge = "huge"s + extension;
        fs::create_symlink(folder_ / "pipe", folder_ / pipe);
        fs::create_symlink("/dev/zero", folder_ / zero);
        fs::create_symlink(folder_ / "sparse", folder_ / huge);
        const std::pair<std::string, std::string> cases[] = {
            {pipe, "\u201C" + pipe + "\u201D is not a regular file."},
            {zero, "\u201C" + zero + "\u201D is not a regular file."},
            {huge, "\u201C" + huge + "\u201D is too large to be a LUT (1.0 GB)."},
        };
        for (const auto& [name, message] : cases) {
            const auto start = std::chrono::steady_clock::now();
            try {
                LUTReader::read(folder_ / name);
                ADD_FAILURE() << name << " was read";
            } catch (const FileError& error) {
                EXPECT_EQ(error.what(), message);
            }
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100))
                << name;
        }
    }
}

TEST_F(LUTReaderFileTest, ContentsCarryTheTitleOfACubeFromOneRead)
{
    const LUT3D lut = sampleGrade(17);
    for (const char* name : {"look.cube", "look.3dl", "look.png"})
        LUTWriter::write(lut, *LUTFormat::fromPath(name), "Warm evening", folder_ / name);
    const LUTReader::CubeContents cube = LUTReader::readContents(folder_ / "look.cube");
    EXPECT_EQ(cube.title, "Warm evening");
    EXPECT_EQ(cube.lut, LUTReader::read(folder_ / "look.cube"));
    for (const char* name : {"look.3dl", "look.png"}) {
        const LUTReader::CubeContents other = LUTReader::readContents(folder_ / name);
        EXPECT_FALSE(other.title) << name;
        EXPECT_EQ(other.lut, LUTReader::read(folder_ / name)) << name;
    }
}

}  // namespace
}  // namespace lumivert
