#include "color/ColorMath.hpp"
#include "imaging/ImageLoader.hpp"
#include "io/FileIO.hpp"
#include "lut/HaldCLUT.hpp"
#include "lut/LUTReader.hpp"
#include "lut/LUTWriter.hpp"

#include "support/FolderTest.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <random>

namespace lumivert {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

// A known-good .cube of size 2 in the writer's layout; each failure case mutates one thing.
const std::string kCube = "TITLE \"Warm\"\n"
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
const std::vector<RGB> kCubeValues = {{0.1f, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0},
                                      {0, 0, 1},    {1, 0, 1}, {0, 1, 1}, {1, 1, 0.9f}};

// A known-good .3dl of size 2 (12-bit values, blue fastest).
const std::string kThreeDL = "# comment\n"
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

std::string cubeReason(const std::string& text)
{
    try {
        LUTReader::cube(text);
    } catch (const LUTFormatError& error) {
        return error.reason();
    }
    return "no error";
}

std::string threeDLReason(const std::string& text)
{
    try {
        LUTReader::threeDL(text);
    } catch (const LUTFormatError& error) {
        return error.reason();
    }
    return "no error";
}

// A smooth grade that leaves [0, 1] at the ends, so round trips exercise clamping.
LUT3D sampleGrade(std::int64_t size)
{
    std::vector<RGB> values = LUT3D::identity(size).values();
    std::mt19937 random(7);
    std::uniform_real_distribution<float> range(-0.2f, 1.2f);
    for (RGB& v : values)
        v = {range(random), range(random), range(random)};
    return LUT3D(size, std::move(values));
}

void expectWithin(const LUT3D& actual, const LUT3D& written, float tolerance)
{
    ASSERT_EQ(actual.size(), written.size());
    for (std::size_t i = 0; i < written.values().size(); ++i) {
        const RGB expected = clamp01(written.values()[i]);
        const RGB& found = actual.values()[i];
        ASSERT_NEAR(found.r, expected.r, tolerance) << i;
        ASSERT_NEAR(found.g, expected.g, tolerance) << i;
        ASSERT_NEAR(found.b, expected.b, tolerance) << i;
    }
}

TEST(LUTReaderRoundTrip, CubeTextReadsBackWithinSixDecimals)
{
    for (std::int64_t size : {2, 17, 33}) {
        const LUT3D lut = sampleGrade(size);
        const LUTReader::CubeContents read = LUTReader::cube(LUTWriter::cube(lut, " Caf\u00E9 "));
        expectWithin(read.lut, lut, 5.0e-7f + 1.0e-7f);  // format rounding plus float spacing
        EXPECT_EQ(read.title, "Cafe");
    }
}

TEST(LUTReaderRoundTrip, ThreeDLTextReadsBackWithinTwelveBits)
{
    for (std::int64_t size : {2, 17, 33}) {
        const LUT3D lut = sampleGrade(size);
        expectWithin(LUTReader::threeDL(LUTWriter::threeDL(lut)), lut, 0.5f / 4095.0f + 1e-7f);
    }
}

TEST(LUTReaderCube, ReadsEntriesInFileOrderWithTheTitle)
{
    const LUTReader::CubeContents read = LUTReader::cube(kCube);
    EXPECT_EQ(read.lut.size(), 2);
    EXPECT_EQ(read.lut.values(), kCubeValues);
    EXPECT_EQ(read.title, "Warm");
    EXPECT_FALSE(LUTReader::cube(replaced(kCube, "TITLE \"Warm\"\n", "")).title.has_value());
}

TEST(LUTReaderCube, TitleLineVariants)
{
    EXPECT_EQ(LUTReader::cube(replaced(kCube, "TITLE \"Warm\"", "TITLE My LUT")).title, "My LUT");
    EXPECT_EQ(
        LUTReader::cube(replaced(kCube, "TITLE \"Warm\"", "TITLE\t \"\"Two words\"\"  ")).title,
        "Two words");
    EXPECT_EQ(LUTReader::cube(kCube + "TITLE \"Later\"\n").title, "Later");
    EXPECT_EQ(LUTReader::cube(replaced(kCube, "TITLE \"Warm\"", "TITLE")).title, "");
}

TEST(LUTReaderCube, EntriesAreKeptUnclampedAndMayPrecedeTheSize)
{
    const std::string text =
        replaced(replaced(kCube, "0.1 0 0\n", "-0.25 1e-3 +2\n"), "LUT_3D_SIZE 2\n", "") +
        "LUT_3D_SIZE 2\n";
    EXPECT_EQ(LUTReader::cube(text).lut.values()[0], (RGB{-0.25f, 0.001f, 2.0f}));
    EXPECT_EQ(LUTReader::cube(replaced(kCube, "0.1 0 0", "1e39 -1e39 1e-50")).lut.values()[0],
              (RGB{INFINITY, -INFINITY, 0.0f}));
}

TEST(LUTReaderCube, LaterSizeLineReplacesTheEarlierOne)
{
    EXPECT_EQ(LUTReader::cube(replaced(kCube, "LUT_3D_SIZE 2\n", "LUT_3D_SIZE 3\nLUT_3D_SIZE 2\n"))
                  .lut.size(),
              2);
    EXPECT_EQ(cubeReason(kCube + "LUT_3D_SIZE 3\n"), "expected 27 entries, found 8");
}

TEST(LUTReaderCube, DomainAndInputRangeValuesAreCheckedButIgnored)
{
    const std::vector<RGB> expected = LUTReader::cube(kCube).lut.values();
    for (const char* domain :
         {"DOMAIN_MAX 2 2 2", "DOMAIN_MAX 1.0 0.5 2.0", "DOMAIN_MAX\t1\t1\t1"}) {
        EXPECT_EQ(LUTReader::cube(replaced(kCube, "DOMAIN_MAX 1.0 1.0 1.0", domain)).lut.values(),
                  expected)
            << domain;
    }
    EXPECT_EQ(LUTReader::cube(replaced(kCube, "DOMAIN_MIN 0.0 0.0 0.0", "DOMAIN_MIN -0.1 0 0.2"))
                  .lut.values(),
              expected);
    EXPECT_EQ(LUTReader::cube(kCube + "LUT_3D_INPUT_RANGE 0.0 1.0\n").lut.values(), expected);
}

TEST(LUTReaderCube, AcceptsTheWaysOtherToolsLayOutText)
{
    const std::vector<RGB> expected = LUTReader::cube(kCube).lut.values();
    const auto withLineEnd = [](const std::string& end) {
        std::string text;
        for (char c : kCube)
            text += c == '\n' ? end : std::string(1, c);
        return text;
    };
    const std::vector<std::pair<std::string, std::string>> variants = {
        {"CRLF", withLineEnd("\r\n")},
        {"CR", withLineEnd("\r")},
        {"VT", withLineEnd("\v")},
        {"FF", withLineEnd("\f")},
        {"NEL", withLineEnd("\u0085")},
        {"LS", withLineEnd("\u2028")},
        {"PS", withLineEnd("\u2029")},
        {"blank lines", withLineEnd("\n\n \n")},
        {"tabs",
         replaced(replaced(kCube, "1 0 0\n", "1\t0 \t 0\n"), "LUT_3D_SIZE 2", "LUT_3D_SIZE\t2")},
        {"trailing spaces", replaced(kCube, "0 1 0\n", "0 1 0   \t\n")},
        {"leading spaces", replaced(kCube, "0 1 0\n", "\t  0 1 0\n")},
        {"Unicode spaces", replaced(kCube, "0 1 0\n", "\u00A0\u3000 0 1 0\u2003\u202F\n")},
        {"no final newline", kCube.substr(0, kCube.size() - 1)},
        {"comments between data", replaced(kCube, "0 0 1\n", "# shadows\n  # indented\n0 0 1\n")},
        {"byte-order mark", "\xEF\xBB\xBF" + kCube},
        {"uppercase exponents", replaced(kCube, "0.1 0 0", "1E-1 0e0 .0")},
    };
    for (const auto& [name, text] : variants)
        EXPECT_EQ(LUTReader::cube(text).lut.values(), expected) << name;
    EXPECT_EQ(LUTReader::cube(withLineEnd("\r\n")).title, "Warm");
}

TEST(LUTReaderCube, SizeLineFailures)
{
    for (const char* line :
         {"LUT_3D_SIZE 1", "LUT_3D_SIZE 257", "LUT_3D_SIZE 2.0", "LUT_3D_SIZE", "LUT_3D_SIZE 2 2",
          "LUT_3D_SIZE x", "LUT_3D_SIZE 99999999999999999999", "LUT_3D_SIZE +-2"})
        EXPECT_EQ(cubeReason(replaced(kCube, "LUT_3D_SIZE 2", line)), "bad LUT_3D_SIZE") << line;
    EXPECT_EQ(LUTReader::cube(replaced(kCube, "LUT_3D_SIZE 2", "LUT_3D_SIZE +2")).lut.size(), 2);
    EXPECT_EQ(cubeReason(replaced(kCube, "LUT_3D_SIZE 2\n", "")), "no LUT_3D_SIZE");
    EXPECT_EQ(cubeReason(""), "no LUT_3D_SIZE");
    EXPECT_EQ(cubeReason("# only a comment\n\n"), "no LUT_3D_SIZE");
    // Keywords are case-sensitive: a lower-case one is a bad data line.
    EXPECT_EQ(cubeReason(replaced(kCube, "LUT_3D_SIZE 2", "lut_3d_size 2")),
              "unexpected line \u201Clut_3d_size 2\u201D");
}

TEST(LUTReaderCube, OneDimensionalTablesAreRefused)
{
    EXPECT_EQ(cubeReason(replaced(kCube, "# a comment", "LUT_1D_SIZE 1024")),
              "1D LUTs are not supported");
    EXPECT_EQ(cubeReason("LUT_1D_SIZE 2\n0 0 0\n1 1 1\n"), "1D LUTs are not supported");
}

TEST(LUTReaderCube, DomainAndRangeLineFailuresNameTheKeyword)
{
    EXPECT_EQ(cubeReason(replaced(kCube, "DOMAIN_MIN 0.0 0.0 0.0", "DOMAIN_MIN 0 0")),
              "bad DOMAIN_MIN");
    EXPECT_EQ(cubeReason(replaced(kCube, "DOMAIN_MAX 1.0 1.0 1.0", "DOMAIN_MAX 1 1 x")),
              "bad DOMAIN_MAX");
    EXPECT_EQ(cubeReason(replaced(kCube, "DOMAIN_MAX 1.0 1.0 1.0", "DOMAIN_MAX 1 1 1 1")),
              "bad DOMAIN_MAX");
    EXPECT_EQ(cubeReason(kCube + "LUT_3D_INPUT_RANGE 0\n"), "bad input range");
    EXPECT_EQ(cubeReason(kCube + "LUT_3D_INPUT_RANGE 0 1 2\n"), "bad input range");
}

TEST(LUTReaderCube, BadDataLinesAreQuoted)
{
    EXPECT_EQ(cubeReason(replaced(kCube, "0 1 0\n", "0.1 0.2\n")),
              "unexpected line \u201C0.1 0.2\u201D");
    EXPECT_EQ(cubeReason(replaced(kCube, "0 1 0\n", "  0.5x 0 0  \n")),
              "unexpected line \u201C0.5x 0 0\u201D");
    EXPECT_EQ(cubeReason(replaced(kCube, "0 1 0\n", "0 1 0 1\n")),
              "unexpected line \u201C0 1 0 1\u201D");
    EXPECT_EQ(cubeReason(replaced(kCube, "0 1 0\n", "0 1\u00A00\n")),
              "unexpected line \u201C0 1\u00A00\u201D");
    EXPECT_EQ(cubeReason(replaced(kCube, "0 1 0\n", "LUT_3D_INPUT_RANGES 0 1\n")),
              "unexpected line \u201CLUT_3D_INPUT_RANGES 0 1\u201D");
    // The first offending line is the one reported.
    EXPECT_EQ(cubeReason(replaced(replaced(kCube, "0 1 0\n", "a b c\n"), "1 1 0\n", "d e\n")),
              "unexpected line \u201Ca b c\u201D");
}

TEST(LUTReaderCube, LongLinesAreQuotedToFortyCharacters)
{
    const std::string longLine = std::string(30, '7') + "\u00E9\u00E9\u00E9\u00E9\u00E9" +
                                 "\u20AC\u20AC\u20AC\u20AC\u20AC" + "tail that is cut";
    EXPECT_EQ(cubeReason(replaced(kCube, "0 1 0", longLine)),
              "unexpected line \u201C" + std::string(30, '7') +
                  "\u00E9\u00E9\u00E9\u00E9\u00E9\u20AC\u20AC\u20AC\u20AC\u20AC\u201D");
    // Invalid bytes are shown as replacement characters, so the message is valid UTF-8.
    EXPECT_EQ(cubeReason(replaced(kCube, "0 1 0", "0 1 \xFF")),
              "unexpected line \u201C0 1 \uFFFD\u201D");
}

TEST(LUTReaderCube, EntryCountMustBeTheCube)
{
    std::string text = LUTWriter::cube(LUT3D::identity(33), "t");
    text.erase(text.rfind("1.000000 1.000000 1.000000\n"));
    EXPECT_EQ(cubeReason(text), "expected 35937 entries, found 35936");
    EXPECT_EQ(cubeReason(kCube + "0 0 0\n"), "expected 8 entries, found 9");
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
}

TEST(LUTReaderThreeDL, ReadsBlueFastestIntoTheTableOrder)
{
    const LUT3D lut = LUTReader::threeDL(kThreeDL);
    EXPECT_EQ(lut, LUT3D::identity(2));
    // Only entry (r, g, b) = (1, 0, 0) differs: in the file it is the fifth triple.
    const LUT3D marked = LUTReader::threeDL(replaced(kThreeDL, "4095 0 0\n", "1000 2000 3000\n"));
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
        return static_cast<float>(largest) / LUTReader::threeDL(text)(1, 1, 1).r;
    };
    EXPECT_FLOAT_EQ(scaleFor(1023), 1023.0f);
    EXPECT_FLOAT_EQ(scaleFor(1024), 4095.0f);
    EXPECT_FLOAT_EQ(scaleFor(4095), 4095.0f);
    EXPECT_FLOAT_EQ(scaleFor(4096), 65535.0f);
    EXPECT_FLOAT_EQ(scaleFor(65535), 65535.0f);
}

TEST(LUTReaderThreeDL, SixteenBitFilesReadAsSixteenBit)
{
    std::string text = "0 1023\n";
    for (const char* line : {"0 0 0", "0 0 65535", "0 65535 0", "0 65535 65535", "65535 0 0",
                             "65535 0 65535", "65535 65535 0", "32768 65535 65535"})
        text += std::string(line) + "\n";
    const LUT3D lut = LUTReader::threeDL(text);
    EXPECT_EQ(lut(1, 0, 0), (RGB{1, 0, 0}));
    EXPECT_EQ(lut(1, 1, 1), (RGB{32768.0f / 65535.0f, 1, 1}));
}

TEST(LUTReaderThreeDL, HeaderAndTrailerLinesOfOtherToolsAreSkipped)
{
    const LUT3D expected = LUTReader::threeDL(kThreeDL);
    EXPECT_EQ(LUTReader::threeDL("3DMESH\nMesh 4 12\n" + kThreeDL), expected);
    EXPECT_EQ(LUTReader::threeDL("Mesh, 4, 12\n" + kThreeDL), expected);
    EXPECT_EQ(LUTReader::threeDL("3DMESH\nMesh 1 12\n" + kThreeDL + "\nLUT8\ngamma 1.0\n"),
              expected);
    // Fields that are not integers are left out of a line.
    EXPECT_EQ(LUTReader::threeDL(replaced(kThreeDL, "0 0 4095\n", "0 x 0 0.5 4095\n")), expected);
    EXPECT_EQ(LUTReader::threeDL("\xEF\xBB\xBF" + replaced(kThreeDL, "\n", "\r\n")), expected);
}

TEST(LUTReaderThreeDL, Failures)
{
    EXPECT_EQ(threeDLReason(replaced(kThreeDL, "0 1023\n", "1023\n")), "missing shaper line");
    EXPECT_EQ(threeDLReason(replaced(kThreeDL, "0 1023\n", "LUT8\n")), "missing shaper line");
    EXPECT_EQ(threeDLReason(replaced(kThreeDL, "0 0 4095\n", "0 4095\n")),
              "unexpected line \u201C0 4095\u201D");
    EXPECT_EQ(threeDLReason(replaced(kThreeDL, "0 0 4095\n", "0 0 4095 1\n")),
              "unexpected line \u201C0 0 4095 1\u201D");
    EXPECT_EQ(threeDLReason(replaced(kThreeDL, "0 0 4095\n", "")), "wrong entry count");
    EXPECT_EQ(threeDLReason(kThreeDL + "1 1 1\n"), "wrong entry count");
    EXPECT_EQ(threeDLReason(""), "wrong entry count");
    EXPECT_EQ(threeDLReason("# comment only\n3DMESH\n"), "wrong entry count");
    // A shaper line of three million values cannot be cubed; nothing is allocated for it.
    std::string huge;
    for (int i = 0; i < 3'000'000; ++i)
        huge += "0 ";
    EXPECT_EQ(threeDLReason(huge + "\n0 0 0\n"), "wrong entry count");
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
    expectWithin(LUTReader::read(folder_ / "a.CUBE"), lut, 6e-7f);
    expectWithin(LUTReader::read(folder_ / "b.3DL"), lut, 0.5f / 4095.0f + 1e-7f);
    // A .3dl text in a file named .cube goes to the .cube parser and fails there.
    EXPECT_THROW(LUTReader::read(put("c.cube", kThreeDL)), LUTFormatError);
}

TEST_F(LUTReaderFileTest, InvalidBytesAreRepairedNotRefused)
{
    const std::string text = replaced(kCube, "# a comment", "# caf\xE9 \xFF\xFE");
    EXPECT_EQ(LUTReader::read(put("latin1.cube", text)).values(), kCubeValues);
    EXPECT_EQ(LUTReader::read(put("latin1.3dl", "# \xE9t\xE9\n" + kThreeDL)), LUT3D::identity(2));
}

TEST_F(LUTReaderFileTest, OtherExtensionsAreReadAsHaldImages)
{
    const LUT3D lut = sampleGrade(64);
    LUTWriter::write(lut, LUTFormat::hald, "t", folder_ / "graded.png");
    expectWithin(LUTReader::read(folder_ / "graded.png"), lut, 0.5f / 65535.0f + 1e-7f);
    // The image decoder goes by content, so a PNG named .tif shows the dispatch by extension.
    fs::rename(folder_ / "graded.png", folder_ / "graded.tif");
    expectWithin(LUTReader::read(folder_ / "graded.tif"), lut, 0.5f / 65535.0f + 1e-7f);
    ImageLoader::writePNG(HaldCLUT::identity(2), folder_ / "small.PNG", false);
    EXPECT_EQ(LUTReader::read(folder_ / "small.PNG"), LUT3D::identity(4));
}

TEST_F(LUTReaderFileTest, ImagesThatAreNotHaldAndFilesThatAreNotImagesThrow)
{
    ImageLoader::writePNG(PixelBuffer(10, 8, RGB{0.5f, 0.5f, 0.5f}), folder_ / "photo.png", false);
    EXPECT_THROW(LUTReader::read(folder_ / "photo.png"), HaldError);
    EXPECT_THROW(LUTReader::read(put("notes.png", kCube)), ImageLoaderError);
    EXPECT_THROW(LUTReader::read(folder_ / "absent.png"), ImageLoaderError);
}

TEST_F(LUTReaderFileTest, MissingFileThrowsTheFileError)
{
    EXPECT_THROW(LUTReader::read(folder_ / "absent.cube"), FileError);
    EXPECT_THROW(LUTReader::read(folder_ / "absent.3dl"), FileError);
}

}  // namespace
}  // namespace lumivert
