#include "imaging/ImageLoader.hpp"
#include "io/FileIO.hpp"
#include "lut/HaldCLUT.hpp"
#include "lut/LUTReader.hpp"
#include "lut/LUTWriter.hpp"

#include "support/FolderTest.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <fstream>
#include <limits>
#include <sstream>
#include <sys/resource.h>

namespace lumivert {
namespace {

namespace fs = std::filesystem;

const std::string comment = "# Created with Lumivert. Input: sRGB-encoded (display-referred) RGB.";

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// A size-2 table whose first entry (0, 0, 0) holds the given colour.
LUT3D withFirstEntry(const RGB& colour)
{
    LUT3D lut = LUT3D::identity(2);
    lut.mutableValues()[0] = colour;
    return lut;
}

std::string firstCubeEntry(const RGB& colour)
{
    return linesOf(LUTWriter::cube(withFirstEntry(colour), "x"))[5];
}

std::string firstThreeDLEntry(const RGB& colour)
{
    return linesOf(LUTWriter::threeDL(withFirstEntry(colour)))[2];
}

TEST(LUTWriterCube, IdentityOfSizeTwoIsExact)
{
    EXPECT_EQ(LUTWriter::cube(LUT3D::identity(2), "My Look"), "TITLE \"My Look\"\n" + comment +
                                                                  "\n"
                                                                  "LUT_3D_SIZE 2\n"
                                                                  "DOMAIN_MIN 0.0 0.0 0.0\n"
                                                                  "DOMAIN_MAX 1.0 1.0 1.0\n"
                                                                  "0.000000 0.000000 0.000000\n"
                                                                  "1.000000 0.000000 0.000000\n"
                                                                  "0.000000 1.000000 0.000000\n"
                                                                  "1.000000 1.000000 0.000000\n"
                                                                  "0.000000 0.000000 1.000000\n"
                                                                  "1.000000 0.000000 1.000000\n"
                                                                  "0.000000 1.000000 1.000000\n"
                                                                  "1.000000 1.000000 1.000000\n");
}

TEST(LUTWriterCube, NumbersHaveSixDecimalsRoundedHalfAwayAndKeepValuesBeyondZeroToOne)
{
    EXPECT_EQ(firstCubeEntry({0.5f, 1.0f / 3.0f, 0.9999996f}), "0.500000 0.333333 1.000000");
    // HDR grades: clamped only where an image is written.
    EXPECT_EQ(firstCubeEntry({1.2f, -0.1f, 0.0f}), "1.200000 -0.100000 0.000000");
    EXPECT_EQ(firstCubeEntry({-1.0f / 128.0f, 16.0f, -0.0000004f}), "-0.007813 16.000000 0.000000");
    // 1/128 × 10⁶ is exactly 7812.5: the half goes up.
    EXPECT_EQ(firstCubeEntry({1.0f / 128.0f, 0.0000004f, 0.0000006f}),
              "0.007813 0.000000 0.000001");
    EXPECT_EQ(firstCubeEntry({0.123456789f, 0.9f, 0.01f}), "0.123457 0.900000 0.010000");
}

TEST(LUTWriterCube, EntriesFollowTheTableOrderRedFastest)
{
    const LUT3D lut = LUT3D::identity(3);
    const std::vector<std::string> lines = linesOf(LUTWriter::cube(lut, "t"));
    ASSERT_EQ(lines.size(), 5u + 27u);
    EXPECT_EQ(lines[2], "LUT_3D_SIZE 3");
    EXPECT_EQ(lines[5 + 1], "0.500000 0.000000 0.000000");
    EXPECT_EQ(lines[5 + 3], "0.000000 0.500000 0.000000");
    EXPECT_EQ(lines[5 + 9], "0.000000 0.000000 0.500000");
    EXPECT_EQ(lines[5 + lut.index(2, 1, 0)], "1.000000 0.500000 0.000000");
}

TEST(LUTWriterCube, LargeTableHasFixedLengthLinesAndAFinalNewline)
{
    const LUT3D lut = LUT3D::identity(65);
    const std::string text = LUTWriter::cube(lut, "Big");
    const std::size_t header = text.find("0.000000 0.000000 0.000000\n");
    EXPECT_EQ(text.size(), header + 65u * 65u * 65u * 27u);
    EXPECT_TRUE(text.ends_with("\n1.000000 1.000000 1.000000\n"));
    EXPECT_EQ(text.find("\n\n"), std::string::npos);
}

TEST(LUTWriterTitle, IsCleanedForTheTitleLine)
{
    EXPECT_EQ(LUTWriter::cleanedTitle("\"Caf\u00E9 Noir\"\n"), "Cafe Noir");
    EXPECT_EQ(LUTWriter::cleanedTitle("\U0001F600\U0001F3A8"), "Untitled");
    EXPECT_EQ(LUTWriter::cleanedTitle("   "), "Untitled");
    EXPECT_EQ(LUTWriter::cleanedTitle(""), "Untitled");
    EXPECT_EQ(LUTWriter::cleanedTitle(std::string(200, 'a')), std::string(120, 'a'));
    // The cut comes after the trim, so a space at position 120 stays.
    EXPECT_EQ(LUTWriter::cleanedTitle("  " + std::string(119, 'b') + " c  "),
              std::string(119, 'b') + " ");
    EXPECT_EQ(LUTWriter::cleanedTitle("Tab\there\u00A0\u00F8 ~x"), "Tabhere ~x");
    EXPECT_EQ(LUTWriter::cleanedTitle("Bad \xFF byte"), "Bad  byte");
    EXPECT_TRUE(LUTWriter::cube(LUT3D::identity(2), "\"Caf\u00E9 Noir\"\n")
                    .starts_with("TITLE \"Cafe Noir\"\n#"));
}

TEST(LUTWriterThreeDL, IdentityOfSizeTwoIsExact)
{
    EXPECT_EQ(LUTWriter::threeDL(LUT3D::identity(2)), comment + "\n"
                                                                "0 1023\n"
                                                                "0 0 0\n"
                                                                "0 0 4095\n"
                                                                "0 4095 0\n"
                                                                "0 4095 4095\n"
                                                                "4095 0 0\n"
                                                                "4095 0 4095\n"
                                                                "4095 4095 0\n"
                                                                "4095 4095 4095\n");
}

TEST(LUTWriterThreeDL, ShaperLineSpansTenBits)
{
    EXPECT_EQ(linesOf(LUTWriter::threeDL(LUT3D::identity(17)))[1],
              "0 64 128 192 256 320 384 448 512 575 639 703 767 831 895 959 1023");
    EXPECT_EQ(linesOf(LUTWriter::threeDL(LUT3D::identity(33)))[1],
              "0 32 64 96 128 160 192 224 256 288 320 352 384 416 448 480 512 543 575 607 639 "
              "671 703 735 767 799 831 863 895 927 959 991 1023");
    std::istringstream shaper(linesOf(LUTWriter::threeDL(LUT3D::identity(65)))[1]);
    std::vector<int> values{std::istream_iterator<int>(shaper), std::istream_iterator<int>()};
    ASSERT_EQ(values.size(), 65u);
    EXPECT_EQ(values.front(), 0);
    EXPECT_EQ(values[32], 512);  // 32 × 1023 / 64 = 511.5 rounds up
    EXPECT_EQ(values.back(), 1023);
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
}

TEST(LUTWriterThreeDL, ValuesAreTwelveBitRoundedHalfAwayAndClamped)
{
    EXPECT_EQ(firstThreeDLEntry({0.5f, 1.0f / 3.0f, 1.0f}), "2048 1365 4095");
    EXPECT_EQ(firstThreeDLEntry({1.2f, -0.1f, 0.0f}), "4095 0 0");
    EXPECT_EQ(firstThreeDLEntry({1.0f / 4095.0f, 0.49f / 4095.0f, 0.51f / 4095.0f}), "1 0 1");
}

TEST(LUTWriterThreeDL, EntriesRunBlueFastest)
{
    const LUT3D lut = LUT3D::build(3, [](const RGB& c) { return RGB{c.r, 0.0f, c.b}; });
    const std::vector<std::string> lines = linesOf(LUTWriter::threeDL(lut));
    ASSERT_EQ(lines.size(), 2u + 27u);
    EXPECT_EQ(lines[2 + 1], "0 0 2048");      // (r, g, b) = (0, 0, 1)
    EXPECT_EQ(lines[2 + 9], "2048 0 0");      // (1, 0, 0)
    EXPECT_EQ(lines[2 + 26], "4095 0 4095");  // (2, 2, 2)
}

TEST(LUTWriterLustre, IdentityOfSizeThreeIsExact)
{
    const std::vector<std::string> lines =
        linesOf(LUTWriter::threeDL(LUT3D::identity(3), LUTWriter::ThreeDLFlavour::lustre));
    ASSERT_EQ(lines.size(), 3u + 27u);
    EXPECT_EQ(lines[0], "3DMESH");
    EXPECT_EQ(lines[1], "Mesh 1 12");
    EXPECT_EQ(lines[2], comment);
    EXPECT_EQ(lines[3], "0 0 0");
    EXPECT_EQ(lines[4], "0 0 2048");
    EXPECT_EQ(lines[3 + 9], "2048 0 0");
    EXPECT_EQ(lines.back(), "4095 4095 4095");
}

// Lustre differs from plain only in its header: the rows are the same, blue fastest.
TEST(LUTWriterLustre, HoldsThePlainRowsUnderAMeshHeaderForEverySizeTwoToTheKPlusOne)
{
    const auto grade = [](const RGB& c) {
        return RGB{c.g * c.b, 1.1f * c.r - 0.05f, std::sqrt(c.b)};
    };
    std::vector<std::int64_t> writable;
    for (std::int64_t size = LUTFormat::minSize; size <= LUTFormat::maxSize; ++size) {
        if (LUTWriter::canWrite(LUTWriter::ThreeDLFlavour::lustre, size))
            writable.push_back(size);
        EXPECT_TRUE(LUTWriter::canWrite(LUTWriter::ThreeDLFlavour::plain, size));
        for (LUTFormat format : {LUTFormat::cube, LUTFormat::hald})
            EXPECT_TRUE(LUTWriter::canWrite(format, size, {2, LUTWriter::ThreeDLFlavour::lustre}));
        EXPECT_EQ(
            LUTWriter::canWrite(LUTFormat::threeDL, size, {2, LUTWriter::ThreeDLFlavour::lustre}),
            LUTWriter::canWrite(LUTWriter::ThreeDLFlavour::lustre, size));
    }
    EXPECT_EQ(writable, (std::vector<std::int64_t>{2, 3, 5, 9, 17, 33, 65, 129}));
    for (std::size_t exponent = 0; exponent + 1 < writable.size(); ++exponent) {
        const LUT3D lut = LUT3D::build(writable[exponent], grade);
        const std::string plain = LUTWriter::threeDL(lut);
        const std::string lustre = LUTWriter::threeDL(lut, LUTWriter::ThreeDLFlavour::lustre);
        const std::string header =
            "3DMESH\nMesh " + std::to_string(exponent) + " 12\n" + LUTWriter::commentLine();
        ASSERT_TRUE(lustre.starts_with(header)) << writable[exponent];
        const std::size_t plainRows = plain.find('\n', LUTWriter::commentLine().size()) + 1;
        EXPECT_EQ(lustre.substr(header.size()), plain.substr(plainRows)) << writable[exponent];
    }
}

TEST(LUTWriterDeathTest, LustreRefusesSizesItsMeshLineCannotGive)
{
    for (std::int64_t size : {4, 16, 64})
        EXPECT_DEATH(LUTWriter::threeDL(LUT3D::identity(size), LUTWriter::ThreeDLFlavour::lustre),
                     "Lustre .3dl table");
}

class LUTWriterFileTest : public fixtures::FolderTest {};

// FNV-1a, 64 bits: a fingerprint of written bytes that a test can pin.
std::uint64_t fingerprint(std::string_view bytes)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

// The decoded 16-bit samples, so the pin does not depend on how the encoder compresses.
std::uint64_t pixelFingerprint(const PixelBuffer& image)
{
    std::string samples;
    for (const RGB& pixel : image.pixels()) {
        for (const float value : {pixel.r, pixel.g, pixel.b}) {
            const auto sample = static_cast<std::uint16_t>(std::lround(value * 65535.0f));
            samples.push_back(static_cast<char>(sample >> 8));
            samples.push_back(static_cast<char>(sample & 0xFF));
        }
    }
    return fingerprint(samples);
}

// Files written with every option at its default stay the bytes that earlier versions wrote, so
// an option added later cannot change what users already rely on.
TEST_F(LUTWriterFileTest, DefaultOptionsKeepTheEarlierFilesByteForByte)
{
    const LUT3D lut = LUT3D::build(17, [](const RGB& c) {
        return RGB{1.15f * c.r - 0.05f * c.b, c.g * c.g + 0.1f * c.r, 0.8f * c.b + 0.12f};
    });
    for (LUTFormat format : LUTFormat::allCases())
        LUTWriter::write(lut, format, "Pinned grade",
                         folder_ / ("pinned." + std::string(format.fileExtension())));
    EXPECT_EQ(fingerprint(contents(folder_ / "pinned.cube")), 3441016779089385232u);
    EXPECT_EQ(fingerprint(contents(folder_ / "pinned.3dl")), 8199103678229440839u);
    EXPECT_EQ(pixelFingerprint(ImageLoader::loadExact(folder_ / "pinned.png")),
              14194853737791403029u);
}

// A table with a NaN or an infinity anywhere is a caller's fault in every format: written, it
// would be a plausible colour that the user never chose.
TEST(LUTWriterDeathTest, NonFiniteEntriesStopEveryFormat)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const fs::path nowhere = fs::temp_directory_path() / "lumivert-never-written";
    for (const RGB& bad : {RGB{nan, 0, 0}, RGB{0, inf, 0}, RGB{0, 0, -inf}}) {
        LUT3D lut = LUT3D::identity(17);
        lut.mutableValues()[lut.values().size() - 1] = bad;  // the white corner
        EXPECT_DEATH(LUTWriter::cube(lut, "t"), "only finite entries");
        EXPECT_DEATH(LUTWriter::threeDL(lut), "only finite entries");
        for (LUTFormat format : LUTFormat::allCases())
            EXPECT_DEATH(LUTWriter::write(lut, format, "t", nowhere), "only finite entries");
    }
    EXPECT_FALSE(fs::exists(nowhere));
}

TEST_F(LUTWriterFileTest, TextFormatsWriteTheirTextAndReplaceOldFiles)
{
    const LUT3D lut = LUT3D::build(5, [](const RGB& c) { return RGB{c.g, c.b, c.r * c.r}; });
    const fs::path cubePath = folder_ / "Look.cube";
    const fs::path threeDLPath = folder_ / "Look.3dl";
    std::ofstream(cubePath) << "an older, longer export that must disappear completely";
    LUTWriter::write(lut, LUTFormat::cube, "Look", cubePath);
    LUTWriter::write(lut, LUTFormat::threeDL, "ignored", threeDLPath);
    EXPECT_EQ(contents(cubePath), LUTWriter::cube(lut, "Look"));
    EXPECT_EQ(contents(threeDLPath), LUTWriter::threeDL(lut));
}

// A .cube is written in blocks of lines; tables of one to several blocks, within 0 … 1 (lines of
// one length) and beyond it, read back entry for entry, none lost or repeated at a seam.
TEST_F(LUTWriterFileTest, CubeFilesOfSeveralBlocksReadBackWhole)
{
    for (const std::int64_t size : {2, 40, 41, 65}) {
        for (const float reach : {1.0f, 3.5f}) {
            const LUT3D lut = LUT3D::build(size, [reach](const RGB& c) {
                return RGB{reach * c.g, c.b * c.r, reach * (1.0f - c.r) * c.b};
            });
            const fs::path path = folder_ / "Blocks.cube";
            LUTWriter::write(lut, LUTFormat::cube, "Blocks", path);
            const LUT3D back = LUTReader::read(path).table();
            ASSERT_EQ(back.size(), size);
            float largest = 0.0f;
            for (std::size_t i = 0; i < lut.values().size(); ++i) {
                const RGB& a = lut.values()[i];
                const RGB& b = back.values()[i];
                largest = std::max(
                    {largest, std::fabs(a.r - b.r), std::fabs(a.g - b.g), std::fabs(a.b - b.b)});
            }
            EXPECT_LE(largest, 6e-7f * reach) << size << " points, reach " << reach;
        }
    }
}

// A file for a camera's space names it in a note; its first line drops the sRGB clause, and a
// dark .3dl (every value below 1024) must still read back as our 12-bit output.
TEST_F(LUTWriterFileTest, SpaceNotesReplaceTheSRGBClauseAndKeepTwelveBitOutput)
{
    LUTWriter::Options options;
    options.notes = {"Input: S-Log3 / S-Gamut3.Cine", "Output: Rec.709"};
    const LUT3D dark = LUT3D::build(5, [](const RGB& c) {
        return RGB{0.2f * c.r, 0.1f * c.g, 0.05f * c.b};
    });
    for (const LUTFormat format : {LUTFormat::cube, LUTFormat::threeDL}) {
        SCOPED_TRACE(std::string(format.rawValue()));
        const fs::path path = folder_ / ("Dark." + std::string(format.fileExtension()));
        LUTWriter::write(dark, format, "Dark", path, options);
        const std::string text = FileIO::readAll(path);
        EXPECT_NE(text.find("# Created with Lumivert.\n# Input: S-Log3 / S-Gamut3.Cine\n"
                            "# Output: Rec.709\n"),
                  std::string::npos);
        EXPECT_EQ(text.find("sRGB-encoded"), std::string::npos);
        const LUT3D back = LUTReader::read(path).table();
        for (std::size_t i = 0; i < dark.values().size(); ++i)
            ASSERT_NEAR(back.values()[i].r, dark.values()[i].r, 1.0f / 4095.0f) << i;
    }
}

TEST_F(LUTWriterFileTest, UnwritableDestinationThrowsForEveryTextFormat)
{
    std::ofstream(folder_ / "file") << "keep";
    for (LUTFormat format : {LUTFormat::cube, LUTFormat::threeDL}) {
        EXPECT_THROW(
            LUTWriter::write(LUT3D::identity(2), format, "t", folder_ / "missing" / "x.cube"),
            FileError);
        EXPECT_THROW(LUTWriter::write(LUT3D::identity(2), format, "t", folder_ / "file" / "x"),
                     FileError);
    }
    EXPECT_EQ(contents(folder_ / "file"), "keep");
}

// PNG signature (8 bytes), then the IHDR chunk: length, type, width, height, bit depth, colour
// type.
constexpr std::size_t pngWidthOffset = 16;
constexpr std::size_t pngBitDepthOffset = 24;
constexpr std::size_t pngColourTypeOffset = 25;
constexpr unsigned char pngColourTypeRGB = 2;

std::uint32_t bigEndian32(const std::string& bytes, std::size_t offset)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value = value << 8 | static_cast<unsigned char>(bytes[offset + i]);
    return value;
}

TEST_F(LUTWriterFileTest, HaldExportIsASixteenBitLevelEightPNG)
{
    const fs::path path = folder_ / "Look.png";
    LUTWriter::write(LUT3D::identity(17), LUTFormat::hald, "ignored", path);
    const std::string bytes = contents(path);
    ASSERT_GT(bytes.size(), pngColourTypeOffset);
    EXPECT_EQ(bytes.substr(1, 3), "PNG");
    EXPECT_EQ(bigEndian32(bytes, pngWidthOffset), 512u);
    EXPECT_EQ(bigEndian32(bytes, pngWidthOffset + 4), 512u);
    EXPECT_EQ(static_cast<unsigned char>(bytes[pngBitDepthOffset]), 16);
    EXPECT_EQ(static_cast<unsigned char>(bytes[pngColourTypeOffset]), pngColourTypeRGB);
}

// Every level (the largest, up to 16, in the interop tests) writes its own layout, and the image
// reads back as the table resampled to level² points, within 16-bit rounding.
TEST_F(LUTWriterFileTest, HaldExportWritesEveryLevelAndReadsBackAsTheGrade)
{
    const LUT3D lut = LUT3D::build(17, [](const RGB& c) {
        return RGB{0.9f * c.r + 0.1f * c.g * c.b, c.g * c.g, 0.2f + 0.7f * c.b};
    });
    const fs::path path = folder_ / "level.png";
    for (int level = HaldCLUT::minLevel; level <= 9; ++level) {
        SCOPED_TRACE(level);
        const LUTWriter::Options options{level};
        LUTWriter::write(lut, LUTFormat::hald, "t", path, options);
        const PixelBuffer read = ImageLoader::loadExact(path);
        EXPECT_EQ(read.width(), level * level * level);
        EXPECT_EQ(HaldCLUT::level(read.width(), read.height()), level);
        const LUT3D table = HaldCLUT::lut(read);
        ASSERT_EQ(table.size(), LUTWriter::writtenSize(lut.size(), LUTFormat::hald, options));
        const LUT3D expected = lut.resampled(table.size());
        float worst = 0.0f;
        for (std::size_t i = 0; i < expected.values().size(); ++i) {
            const RGB d = table.values()[i] - expected.values()[i];
            worst = std::max({worst, std::fabs(d.r), std::fabs(d.g), std::fabs(d.b)});
        }
        EXPECT_LE(worst, 0.5f / 65535.0f + 1e-6f);
    }
    EXPECT_EQ(LUTWriter::writtenSize(17, LUTFormat::hald), 64);
    EXPECT_EQ(LUTWriter::writtenSize(17, LUTFormat::hald, {16}), 256);
    EXPECT_EQ(LUTWriter::writtenSize(17, LUTFormat::threeDL, {16}), 17);
}

TEST_F(LUTWriterFileTest, HaldExportOfTheIdentityIsTheIdentityImage)
{
    const fs::path path = folder_ / "identity.png";
    for (std::int64_t size : {2, 33, 64}) {
        SCOPED_TRACE(size);
        LUTWriter::write(LUT3D::identity(size), LUTFormat::hald, "t", path);
        const PixelBuffer read = ImageLoader::loadExact(path);
        const PixelBuffer expected = HaldCLUT::identity(HaldCLUT::defaultLevel);
        ASSERT_EQ(read.width(), expected.width());
        ASSERT_EQ(read.height(), expected.height());
        float worst = 0.0f;
        for (std::size_t i = 0; i < expected.pixels().size(); ++i) {
            const RGB d = read.pixels()[i] - expected.pixels()[i];
            worst = std::max({worst, std::fabs(d.r), std::fabs(d.g), std::fabs(d.b)});
        }
        // 16-bit rounding, plus the trilinear resampling of a coarse identity.
        EXPECT_LE(worst, 0.5f / 65535.0f + 1e-6f);
    }
}

TEST_F(LUTWriterFileTest, HaldExportClampsAndKeepsTheGrade)
{
    const LUT3D lut = LUT3D::build(64, [](const RGB& c) { return RGB{c.g, c.b * c.b, c.r}; });
    std::vector<RGB> values = lut.values();
    values[0] = {1.5f, -0.5f, 0.25f};
    const LUT3D graded(64, std::move(values));
    const fs::path path = folder_ / "graded.png";
    LUTWriter::write(graded, LUTFormat::hald, "t", path);
    const PixelBuffer read = ImageLoader::loadExact(path);
    EXPECT_EQ(read.pixels()[0], (RGB{1.0f, 0.0f, 16384.0f / 65535.0f}));
    const RGB& entry = read.pixels()[static_cast<std::size_t>(graded.index(10, 20, 30))];
    EXPECT_NEAR(entry.r, 20.0f / 63.0f, 0.5f / 65535.0f);
    EXPECT_NEAR(entry.g, (30.0f / 63.0f) * (30.0f / 63.0f), 0.5f / 65535.0f + 1e-7f);
    EXPECT_NEAR(entry.b, 10.0f / 63.0f, 0.5f / 65535.0f);
}

using LUTWriterFileDeathTest = LUTWriterFileTest;

// Runs in a child process. With the file-size limit (which binds root too, standing in for a
// full disk) far below each export, every format's write must throw and leave the previous file
// whole, with no temporary file beside it; exits 0 when that holds for all three.
[[noreturn]] void exportBeyondTheSizeLimit(const fs::path& folder)
{
    const std::string previous = "previous export";
    for (LUTFormat format : LUTFormat::allCases())
        std::ofstream(folder / ("Look." + std::string(format.fileExtension()))) << previous;
    std::signal(SIGXFSZ, SIG_IGN);
    constexpr rlim_t sizeLimit = 4096;
    const rlimit limit{sizeLimit, sizeLimit};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    int kept = 0;
    for (LUTFormat format : LUTFormat::allCases()) {
        const fs::path path = folder / ("Look." + std::string(format.fileExtension()));
        try {
            LUTWriter::write(LUT3D::identity(33), format, "t", path);
        } catch (const std::runtime_error&) {
            std::ifstream in(path, std::ios::binary);
            kept += std::string(std::istreambuf_iterator<char>(in), {}) == previous ? 1 : 0;
        }
    }
    const auto entries = std::distance(fs::directory_iterator(folder), fs::directory_iterator());
    fs::remove_all(folder);
    std::exit(kept == 3 && entries == 3 ? 0 : 1);
}

TEST_F(LUTWriterFileDeathTest, FailedExportKeepsThePreviousFileInEveryFormat)
{
    // A fresh process: the image encoder's worker threads do not survive a plain fork.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(exportBeyondTheSizeLimit(folder_), testing::ExitedWithCode(0), "");
}

TEST_F(LUTWriterFileTest, UnwritableHaldDestinationThrowsAndKeepsTheOldFile)
{
    const fs::path path = folder_ / "old.png";
    std::ofstream(path) << "previous";
    EXPECT_THROW(
        LUTWriter::write(LUT3D::identity(2), LUTFormat::hald, "t", folder_ / "missing" / "x.png"),
        ImageLoaderError);
    EXPECT_THROW(LUTWriter::write(LUT3D::identity(2), LUTFormat::hald, "t", path / "x.png"),
                 ImageLoaderError);
    EXPECT_EQ(contents(path), "previous");
}

}  // namespace
}  // namespace lumivert
