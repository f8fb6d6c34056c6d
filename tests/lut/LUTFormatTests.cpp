#include "lut/LUTFormat.hpp"

#include "color/LUT3D.hpp"
#include "lut/LUTReader.hpp"
#include "lut/LUTWriter.hpp"

#include "support/FolderTest.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>
#include <optional>
#include <unordered_set>
#include <vector>

namespace lumivert {
namespace {

TEST(LUTFormatCases, ComeInPanelOrderWithTheirTexts)
{
    const auto all = LUTFormat::allCases();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0], LUTFormat::cube);
    EXPECT_EQ(all[1], LUTFormat::threeDL);
    EXPECT_EQ(all[2], LUTFormat::hald);

    EXPECT_EQ(LUTFormat(LUTFormat::cube).rawValue(), "cube");
    EXPECT_EQ(LUTFormat(LUTFormat::threeDL).rawValue(), "3dl");
    EXPECT_EQ(LUTFormat(LUTFormat::hald).rawValue(), "png");
    EXPECT_EQ(LUTFormat(LUTFormat::cube).title(), ".cube");
    EXPECT_EQ(LUTFormat(LUTFormat::threeDL).title(), ".3dl");
    EXPECT_EQ(LUTFormat(LUTFormat::hald).title(), "HALD .png");
    EXPECT_EQ(LUTFormat(LUTFormat::threeDL).compatibility(),
              "Photoshop, Autodesk Flame and Lustre, Nuke, DaVinci Resolve");
    EXPECT_EQ(LUTFormat(LUTFormat::hald).compatibility(),
              "Affinity Photo, GIMP (G'MIC), darktable, RawTherapee, ImageMagick");
    EXPECT_EQ(LUTFormat(LUTFormat::cube).compatibility(),
              "Photoshop, Lightroom profiles, Premiere, After Effects, DaVinci Resolve, Final "
              "Cut Pro, Affinity Photo, Pixelmator Pro, Capture One");
    for (LUTFormat format : all) {
        EXPECT_EQ(format.id(), format.rawValue());
        EXPECT_EQ(format.fileExtension(), format.rawValue());
    }
}

TEST(LUTFormatRawValue, AcceptsExactlyTheThreeExtensions)
{
    for (LUTFormat format : LUTFormat::allCases())
        EXPECT_EQ(LUTFormat::fromRawValue(format.rawValue()), format);
    EXPECT_EQ(LUTFormat::fromRawValue("3dl"), LUTFormat::threeDL);
    for (const char* other : {"3DL", "cube ", "Cube", ".cube", "", "hald", "PNG"})
        EXPECT_FALSE(LUTFormat::fromRawValue(other).has_value()) << other;
}

TEST(LUTFormatPath, NamesTheFormatOfTheExtensionInAnyCase)
{
    for (LUTFormat format : LUTFormat::allCases()) {
        const std::string extension(format.fileExtension());
        std::string upper = extension;
        for (char& c : upper)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        EXPECT_EQ(LUTFormat::fromPath("look." + extension), format);
        EXPECT_EQ(LUTFormat::fromPath("dir.cube/Look Two." + upper), format);
    }
    EXPECT_EQ(LUTFormat::fromPath("a.b.3Dl"), LUTFormat::threeDL);
    EXPECT_EQ(LUTFormat::fromPath("look.CUB"), LUTFormat::cub);
    EXPECT_EQ(LUTFormat::fromPath("look.Clf"), LUTFormat::clf);
    for (const char* other : {"look", "look.", ".cube", "look.cube.txt", "look.jpg", "cube",
                              "dir.cube/", "look.cubes", "look.xyz"})
        EXPECT_FALSE(LUTFormat::fromPath(other).has_value()) << other;
}

TEST(LUTFormatCases, ListTheWrittenFormatsFirstAndReadEveryOne)
{
    const auto writable = LUTFormat::writableCases();
    const auto readable = LUTFormat::readableCases();
    ASSERT_GE(readable.size(), writable.size());
    for (std::size_t i = 0; i < readable.size(); ++i) {
        EXPECT_EQ(readable[i].isWritable(), i < writable.size()) << readable[i].rawValue();
        EXPECT_EQ(LUTFormat::fromRawValue(readable[i].rawValue()), readable[i]);
        EXPECT_NE(readable[i].reader(), nullptr);
        EXPECT_FALSE(readable[i].panelFilter().empty());
    }
    EXPECT_TRUE(std::equal(writable.begin(), writable.end(), readable.begin()));
    EXPECT_EQ(LUTFormat::extensionsText(LUTFormat::allCases()), ".cube, .3dl or .png");
}

TEST(LUTFormatPath, AnUnknownExtensionIsRefusedWithTheListOfFormats)
{
    try {
        LUTReader::read("/nowhere/look.xyz");
        FAIL() << "read an unknown format";
    } catch (const LUTFormatError& error) {
        EXPECT_TRUE(error.reason().starts_with("unsupported LUT format; LUT files are .cube, "
                                               ".3dl, .png, .clf"))
            << error.reason();
        EXPECT_NE(error.reason().find(".spi1d"), std::string::npos);
        EXPECT_EQ(error.file(), std::filesystem::path("/nowhere/look.xyz"));
    }
}

class LUTFormatFileTest : public fixtures::FolderTest {};

LUT3D clampedEntries(const LUT3D& lut)
{
    std::vector<RGB> values = lut.values();
    for (RGB& v : values)
        v = {std::clamp(v.r, 0.0f, 1.0f), std::clamp(v.g, 0.0f, 1.0f), std::clamp(v.b, 0.0f, 1.0f)};
    return LUT3D(lut.size(), std::move(values));
}

// A grade with values off the lattice of every format, and beyond [0, 1] for clamping.
LUT3D tiltedGrade()
{
    std::vector<RGB> values = LUT3D::identity(5).values();
    for (RGB& v : values)
        v = {v.r * 1.1f - 0.03f, std::sqrt(v.g), 0.2f + 0.5f * v.b};
    return LUT3D(5, std::move(values));
}

TEST_F(LUTFormatFileTest, EachRowsReaderReadsWhatItsWriterWrote)
{
    const LUT3D grade = tiltedGrade();
    for (LUTFormat format : LUTFormat::writableCases()) {
        SCOPED_TRACE(format.rawValue());
        const std::filesystem::path path =
            folder_ / ("grade." + std::string(format.fileExtension()));
        format.writer()(grade, "Tilted", path, {});
        ASSERT_EQ(LUTFormat::fromPath(path), format);
        const LUT3D read = format.reader()(path).table();
        // HALD comes back at its level's size, the grade resampled; an ICC profile on the
        // lattice it is evaluated on, its clamped entries interpolated. The grade's channels are
        // separable, so tetrahedral and trilinear interpolation agree.
        const LUT3D written = format == LUTFormat::icc ? clampedEntries(grade) : grade;
        const LUT3D expected =
            read.size() == grade.size() ? written : written.resampled(read.size());
        ASSERT_EQ(read.size(), expected.size());
        // Half a 12-bit step (the coarsest format) and the float spacing around it.
        constexpr float tolerance = 0.5f / 4095.0f + 1e-6f;
        const auto held = [format](float v) {
            return format.clampsToUnitRange() ? std::clamp(v, 0.0f, 1.0f) : v;
        };
        for (std::size_t i = 0; i < expected.values().size(); ++i) {
            const RGB want = expected.values()[i];
            const RGB found = read.values()[i];
            ASSERT_NEAR(found.r, held(want.r), tolerance) << i;
            ASSERT_NEAR(found.g, held(want.g), tolerance) << i;
            ASSERT_NEAR(found.b, held(want.b), tolerance) << i;
        }
    }
}

TEST_F(LUTFormatFileTest, ReaderAndWriterGoThroughTheTable)
{
    const LUT3D grade = tiltedGrade();
    // Options other than the defaults, so the routing cannot drop them.
    const LUTWriter::Options options{3, LUTWriter::ThreeDLFlavour::lustre};
    for (LUTFormat format : LUTFormat::allCases()) {
        const std::string extension(format.fileExtension());
        const std::filesystem::path direct = folder_ / ("direct." + extension);
        const std::filesystem::path routed = folder_ / ("routed." + extension);
        format.writer()(grade, "Tilted", direct, options);
        LUTWriter::write(grade, format, "Tilted", routed, options);
        EXPECT_EQ(contents(direct), contents(routed)) << extension;
        EXPECT_EQ(LUTReader::read(routed), format.reader()(direct)) << extension;
    }
    EXPECT_EQ(LUTReader::read(folder_ / "routed.png").table().size(), 9);
    EXPECT_TRUE(contents(folder_ / "routed.3dl").starts_with("3DMESH\n"));
    // Extensions the table does not know are read as HALD images.
    std::filesystem::copy_file(folder_ / "direct.png", folder_ / "graded.tif");
    EXPECT_EQ(LUTReader::read(folder_ / "graded.tif"),
              LUTFormat(LUTFormat::hald).reader()(folder_ / "direct.png"));
}

// Files OpenColorIO reads: tables come back as they are, other transforms evaluated, and its
// errors located in the file.
TEST_F(LUTFormatFileTest, OpenColorIOsFormatsKeepTheirTablesAndLocateTheirErrors)
{
    struct Case {
        const char* name;
        const char* text;
        const char* layout;  // empty for a file that fails
        std::optional<std::int64_t> line;
    };
    const std::vector<Case> cases{
        {"domain.spi1d",
         "Version 1\nFrom -0.125 1.125\nLength 3\nComponents 1\n{\n0.0\n0.25\n1.0\n}\n",
         "1D curves", std::nullopt},
        {"swap.spimtx", "0 1 0 0\n1 0 0 0\n0 0 1 0\n", "matrix, evaluated on a 65-point lattice",
         std::nullopt},
        {"bad.spi1d", "Version 1\nFrom 0.0 1.0\nLength 3\nComponents 1\n{\n0.0\nx\n1.0\n}\n", "",
         7},
        {"bad.itx", "LUT_3D_SIZE two\n", "", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::filesystem::path path = folder_ / c.name;
        std::ofstream(path) << c.text;
        if (*c.layout == '\0') {
            try {
                LUTReader::read(path);
                ADD_FAILURE() << "read a broken file";
            } catch (const LUTFormatError& error) {
                EXPECT_EQ(error.file(), path);
                EXPECT_EQ(error.line(), c.line);
                EXPECT_EQ(std::string(error.what()).find("At line"), std::string::npos);
            }
            continue;
        }
        const LUTReader::OCIOContents contents = LUTReader::readThroughOCIO(path);
        EXPECT_EQ(contents.layout, c.layout);
        EXPECT_EQ(contents.exact, contents.layout.find("evaluated") == std::string::npos);
    }
    // The 1D table over its own domain, exactly; the matrix swaps red and green.
    const LUTStack curves = LUTReader::read(folder_ / "domain.spi1d");
    EXPECT_EQ(curves.curves().domain(), LUTDomain::uniform(-0.125f, 1.125f));
    EXPECT_EQ(curves.curves().values()[1], (RGB{0.25f, 0.25f, 0.25f}));
    const RGB swapped = LUTReader::read(folder_ / "swap.spimtx").apply({0.2f, 0.7f, 0.4f});
    EXPECT_NEAR(swapped.r, 0.7f, 1e-6f);
    EXPECT_NEAR(swapped.g, 0.2f, 1e-6f);
}

TEST(LUTFormatValue, IsEquatableAndHashable)
{
    const std::unordered_set<LUTFormat> formats = {LUTFormat::cube, LUTFormat::hald,
                                                   LUTFormat::cube};
    EXPECT_EQ(formats.size(), 2u);
    EXPECT_TRUE(formats.contains(LUTFormat::hald));
    EXPECT_FALSE(formats.contains(LUTFormat::threeDL));
    EXPECT_NE(LUTFormat(LUTFormat::cube), LUTFormat(LUTFormat::threeDL));
}

}  // namespace
}  // namespace lumivert
