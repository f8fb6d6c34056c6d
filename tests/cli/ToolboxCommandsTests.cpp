// combine, invert and cdl through the built program: the LUTs they write against the transforms
// they stand for, their refusals, and the CDL against OpenColorIO's CDLTransform (skips without
// ocioconvert).
#include "CliRunner.hpp"

#include "imaging/ImageLoader.hpp"
#include "lut/ASCCDL.hpp"
#include "lut/LUTReader.hpp"
#include "lut/LUTWriter.hpp"

#include "support/ColorExpectations.hpp"
#include "support/ExternalTool.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <random>
#include <sstream>

namespace lumivert {
namespace {

using std::filesystem::path;
using testing::CliResult;
using testing::CliRunner;

constexpr float levels = 255.0f;
constexpr float oneLevel = 1.0f / levels;
constexpr int randomColourCount = 3000;

std::vector<RGB> randomColours(unsigned seed)
{
    return lumivert::randomColours(seed, randomColourCount);
}

RGB warm(const RGB& c)
{
    return {0.04f + 0.95f * c.r, 0.02f + 0.9f * c.g + 0.05f * c.r * c.b, 0.85f * c.b * c.b + 0.1f};
}

RGB contrast(const RGB& c)
{
    const auto s = [](float v) { return 0.6f * v * v * (3.0f - 2.0f * v) + 0.4f * v; };
    return {s(c.r), s(c.g), s(c.b)};
}

TEST(CombineCommand, EqualsApplyingTheLUTsInTurnWithinOneLevel)
{
    CliRunner cli;
    LUTWriter::write(LUT3D::build(33, warm), LUTFormat::cube, "Warm", cli / "warm.cube");
    LUTWriter::write(LUT3D::build(17, contrast), LUTFormat::threeDL, "", cli / "contrast.3dl");
    const CliResult result = cli.run({"combine", "warm.cube", "contrast.3dl", "-o", "both.cube"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "Saved both.cube\n");
    const LUTReader::CubeContents both = LUTReader::readCube(cli / "both.cube");
    EXPECT_EQ(both.title, "warm + contrast");
    EXPECT_EQ(both.lut.table().size(), 33);
    const LUTStack first = LUTReader::read(cli / "warm.cube");
    const LUTStack second = LUTReader::read(cli / "contrast.3dl");
    float worst = 0.0f;
    for (const RGB& colour : randomColours(3))
        worst = std::max(
            worst, largestDifference(both.lut.apply(colour), second.apply(first.apply(colour))));
    RecordProperty("combineLevelsApart", std::to_string(worst * levels));
    EXPECT_LE(worst, oneLevel) << worst * levels << " levels";

    ASSERT_EQ(cli.run({"combine", "warm.cube", "contrast.3dl", "--size", "9", "--format", "3dl",
                       "--title", "small"})
                  .status,
              0);
    EXPECT_EQ(LUTReader::read(cli / "small.3dl").table().size(), 9);
}

const std::string correction = "<ColorCorrection id=\"shot1\">\n"
                               "  <SOPNode>\n"
                               "    <Slope>1.2 1 0.8</Slope>\n"
                               "    <Offset>0.05 -0.1 0</Offset>\n"
                               "    <Power>1.2 1 1.1</Power>\n"
                               "  </SOPNode>\n"
                               "  <SatNode><Saturation>0.8</Saturation></SatNode>\n"
                               "</ColorCorrection>\n";
const std::vector<std::string> cdlValueArguments = {"--slope",      "1.2,1,0.8", "--offset",
                                                    "0.05,-0.1,0",  "--power",   "1.2,1,1.1",
                                                    "--saturation", "0.8"};

std::vector<std::string> cdlArguments(const std::vector<std::string>& rest)
{
    std::vector<std::string> arguments = {"cdl"};
    arguments.insert(arguments.end(), cdlValueArguments.begin(), cdlValueArguments.end());
    arguments.insert(arguments.end(), rest.begin(), rest.end());
    return arguments;
}

TEST(CDLCommand, ValuesAndAFileGiveTheSameTableOfTheFormula)
{
    CliRunner cli;
    std::ofstream(cli / "grade.cc") << correction;
    ASSERT_EQ(cli.run(cdlArguments({"-o", "values.cube", "--size", "17"})).status, 0);
    const CliResult fromFile = cli.run({"cdl", "grade.cc", "-o", "file.cube", "--size", "17"});
    ASSERT_EQ(fromFile.status, 0) << fromFile.err;
    const LUT3D values = LUTReader::read(cli / "values.cube").table();
    EXPECT_EQ(LUTReader::read(cli / "file.cube").table(), values);
    EXPECT_EQ(LUTReader::readCube(cli / "file.cube").title, "shot1");
    const ASCCDL cdl = ASCCDLReader::corrections(correction).front();
    const std::vector<float> axis = LUT3D::latticeAxis(17);
    for (const std::int64_t i : {0, 4, 16})
        EXPECT_LE(largestDifference(values(i, 16 - i, 8),
                                    cdl.apply({axis[static_cast<std::size_t>(i)],
                                               axis[static_cast<std::size_t>(16 - i)], axis[8]})),
                  1e-6f);
}

// Every refusal of the new options and the messages around them, as the whole sentence or its
// telling part.
TEST(ToolboxMessages, EachMistakeGetsASentence)
{
    CliRunner cli;
    LUTWriter::write(LUT3D::build(9, warm), LUTFormat::cube, "Warm", cli / "warm.cube");
    ImageLoader::writePNG(PixelBuffer(4, 4, RGB{0.5f, 0.5f, 0.5f}), cli / "photo.png", false);
    std::ofstream(cli / "grade.cc") << correction;
    // Entries from −0.1 to 1.2, and a table whose red output falls along the red axis.
    LUTWriter::writeCube(LUT3D::buildUnclamped(9,
                                               [](const RGB& c) {
                                                   return RGB{1.3f * c.r - 0.1f, c.g, c.b};
                                               }),
                         "Wide", cli / "wide.cube");
    LUTWriter::writeCube(LUT3D::build(9,
                                      [](const RGB& c) {
                                          return RGB{1.0f - c.r, c.g, c.b};
                                      }),
                         "Negative", cli / "negative.cube");
    struct Case {
        std::string command;  // the arguments, one space apart
        int status;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"apply warm.cube photo.png -o x.png --jobs 0", 2,
         "The --jobs must be a whole number of at least 1."},
        {"apply warm.cube photo.png -o x.png --quality 80", 2,
         "The --quality sets JPEG and WebP compression only; \u201Cx.png\u201D is written "
         "without loss, so leave it out."},
        {"cdl --slope 1.2,1 -o c.cube", 2,
         "The --slope takes three numbers as R,G,B, such as 1.1,1,0.9; found \u201C1.2,1\u201D."},
        {"cdl --power 1,0,1 -o c.cube", 2,
         "The CDL cannot be made into a LUT: powers must be above 0."},
        {"cdl grade.cc --slope 1,1,1 -o c.cube", 2,
         "Give either a CDL file or --slope, --offset, --power and --saturation, not both."},
        {"cdl grade.cc --id shot2 -o c.cube", 1,
         "grade.cc: no ColorCorrection has the id \u201Cshot2\u201D, expected one of "
         "\u201Cshot1\u201D."},
        {"cdl --id shot1 -o c.cube", 2,
         "The --id picks a correction of a CDL file; name the file too."},
        {"combine warm.cube warm.cube -o warm.cube", 1, "would be replaced"},
        {"combine warm.cube warm.cube --size 300 -o i.cube", 2,
         "The --size must lie between 2 and 256."},
        {"info look.xyz", 1,
         "look.xyz: unsupported LUT format; LUT files are .cube, .3dl, .png, .clf, .csp, .spi3d, "
         ".icc, .ctf"},
        {"invert negative.cube -o i.cube", 1,
         "The LUT cannot be inverted: it folds at lattice node (0, 0, 0), input (0, 0, 0), "
         "where its red output falls as its red input rises."},
        {"convert wide.cube -o wide.3dl", 0,
         "Note: 243 of 729 entries of \u201Cwide.3dl\u201D were clamped into 0 to 1, which is "
         "all the format holds; their values ranged from -0.1 to 1.2."},
        {"convert wide.cube -o wide.clf", 0, ""},
        {"convert warm.cube -o warm.spi1d", 2,
         "needs the extension .cube, .3dl, .png, .clf, .csp, .spi3d or .icc, or a --format."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        std::vector<std::string> arguments;
        std::istringstream words(c.command);
        for (std::string word; words >> word;)
            arguments.push_back(word);
        const CliResult result = cli.run(arguments);
        EXPECT_EQ(result.status, c.status) << result.err;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    }
    // Where only some outputs take a quality, the others are named in a warning.
    ASSERT_EQ(cli.run({"apply", "warm.cube", "photo.png", "-o", "photo.jpg"}).status, 0);
    const CliResult mixed = cli.run(
        {"apply", "warm.cube", "photo.png", "photo.jpg", "--out-dir", "out", "--quality", "80"});
    EXPECT_EQ(mixed.status, 0) << mixed.err;
    EXPECT_NE(mixed.err.find("Warning: --quality sets JPEG and WebP compression only; 1 output "
                             "is written without loss, such as \u201Cphoto.png\u201D."),
              std::string::npos)
        << mixed.err;
}

TEST(InvertCommand, UndoesTheLUTWithinOneLevelInEveryFormatItWrites)
{
    CliRunner cli;
    // A look whose slopes stay well above 0: where one flattens, its inverse is too steep for a
    // table of this size to hold to a level (LUTAlgebraTests measures that on the outputs).
    LUTWriter::write(LUT3D::build(33, contrast), LUTFormat::cube, "Contrast",
                     cli / "contrast.cube");
    const LUTStack look = LUTReader::read(cli / "contrast.cube");
    for (const std::string output : {"undo.cube", "undo.clf", "undo.spi3d"}) {
        SCOPED_TRACE(output);
        const CliResult result = cli.run({"invert", "contrast.cube", "-o", output});
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out, "Saved " + output + "\n");
        const LUTStack inverse = LUTReader::read(cli / output);
        float worst = 0.0f;
        for (const RGB& colour : randomColours(5))
            worst = std::max(worst, largestDifference(inverse.apply(look.apply(colour)), colour));
        RecordProperty("invertLevelsApart", std::to_string(worst * levels));
        EXPECT_LE(worst, oneLevel) << worst * levels << " levels";
    }
    EXPECT_EQ(LUTReader::readCube(cli / "undo.cube").title, "contrast inverse");
}

// 8 × 8 × 8 colours, one pixel each.
PixelBuffer gridImage()
{
    constexpr int steps = 8;
    PixelBuffer grid(64, 8, RGB{});
    int index = 0;
    for (int b = 0; b < steps; ++b)
        for (int g = 0; g < steps; ++g)
            for (int r = 0; r < steps; ++r, ++index)
                grid.set(index % 64, index / 64,
                         {static_cast<float>(r) / (steps - 1), static_cast<float>(g) / (steps - 1),
                          static_cast<float>(b) / (steps - 1)});
    return grid;
}

int levelsApart(const PixelBuffer& a, const PixelBuffer& b)
{
    int worst = 0;
    for (std::size_t i = 0; i < a.pixels().size() && i < b.pixels().size(); ++i)
        worst = std::max(worst, static_cast<int>(std::lround(
                                    largestDifference(a.pixels()[i], b.pixels()[i]) * levels)));
    return worst;
}

TEST(CDLCommand, AgreesWithOpenColorIOsCDLTransformWithinOneLevel)
{
    const std::optional<path> tool = fixtures::findOnPath("ocioconvert");
    if (!tool)
        GTEST_SKIP() << fixtures::missingTool("ocioconvert", "opencolorio-tools");
    CliRunner cli;
    const PixelBuffer grid = gridImage();
    ImageLoader::writePNG(grid, cli / "grid.png", false);
    std::ofstream(cli / "cdl.ocio")
        << "ocio_profile_version: 2\n"
           "roles:\n"
           "  default: raw\n"
           "file_rules:\n"
           "  - !<Rule> {name: Default, colorspace: raw}\n"
           "colorspaces:\n"
           "  - !<ColorSpace>\n"
           "    name: raw\n"
           "  - !<ColorSpace>\n"
           "    name: graded\n"
           "    from_scene_reference: !<CDLTransform> {slope: [1.2, 1, 0.8], offset: [0.05, "
           "-0.1, 0], power: [1.2, 1, 1.1], sat: 0.8, style: asc}\n";
    const CliResult theirs =
        cli.runProgram(*tool, {"grid.png", "raw", "theirs.png", "graded"}, {"OCIO=cdl.ocio"});
    ASSERT_EQ(theirs.status, 0) << theirs.err;
    const PixelBuffer reference = ImageLoader::loadExact(cli / "theirs.png");

    // The formula itself, pixel by pixel.
    const ASCCDL cdl = ASCCDLReader::corrections(correction).front();
    PixelBuffer formula = grid;
    for (std::int64_t y = 0; y < grid.height(); ++y)
        for (std::int64_t x = 0; x < grid.width(); ++x)
            formula.set(x, y, cdl.apply(grid(x, y)));
    EXPECT_LE(levelsApart(formula, reference), 1);
    // The LUT the command writes, applied as OpenColorIO would look it up.
    ASSERT_EQ(cli.run(cdlArguments({"-o", "cdl.cube", "--size", "65"})).status, 0);
    const CliResult ours = cli.run(
        {"apply", "cdl.cube", "grid.png", "-o", "ours.png", "--interpolation", "tetrahedral"});
    ASSERT_EQ(ours.status, 0) << ours.err;
    EXPECT_LE(levelsApart(ImageLoader::loadExact(cli / "ours.png"), reference), 1);
}

}  // namespace
}  // namespace lumivert
