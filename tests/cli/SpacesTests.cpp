// LUTs between colour spaces made by the command line: ungraded, the file is the colour-space
// conversion itself for every input space and both video outputs; scene-linear inputs carry
// the shaper, which OpenColorIO reads as we do (skips without ociobakelut, Debian package
// opencolorio-tools); files say their spaces, and formats without a shaper say what they lose.
#include "CliRunner.hpp"

#include "color/ocio/SpaceConversion.hpp"
#include "imaging/ImageLoader.hpp"
#include "lut/LUTReader.hpp"
#include "support/ColorExpectations.hpp"
#include "support/ExternalTool.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>

namespace lumivert {
namespace {

using testing::CliResult;
using testing::CliRunner;

constexpr std::int64_t latticeSize = 33;
constexpr float nodeTolerance = 1.0e-4f;
// Our lookup against OpenColorIO's reading of the same file (float spacing near 1).
constexpr float readingTolerance = 1.0e-5f;

std::string key(ColorSpace space) { return std::string(ColorSpaces::row(space).key); }

// A small frame with every level of each channel somewhere, for the look to analyse.
void writeFrame(const std::filesystem::path& file)
{
    constexpr std::int64_t width = 48;
    constexpr std::int64_t height = 32;
    std::vector<RGB> pixels;
    for (std::int64_t y = 0; y < height; ++y)
        for (std::int64_t x = 0; x < width; ++x)
            pixels.push_back({static_cast<float>(x) / (width - 1),
                              static_cast<float>(y) / (height - 1),
                              static_cast<float>((x + y) % 7) / 6});
    ImageLoader::writePNG(PixelBuffer(width, height, std::move(pixels)), file, false);
}

// A look with every strength and the intensity at 0: nothing but the conversion.
std::vector<std::string> ungradedLook(const std::string& output)
{
    return {"look", "frame.png", "--look-settings", "0,0,0,0", "--intensity", "0", "-o", output};
}

std::vector<std::string> with(std::vector<std::string> arguments,
                              const std::vector<std::string>& more)
{
    arguments.insert(arguments.end(), more.begin(), more.end());
    return arguments;
}

using SpacePair = std::tuple<ColorSpace, ColorSpace>;

std::vector<ColorSpace> everyRow()
{
    std::vector<ColorSpace> spaces;
    for (const ColorSpaceRow& row : ColorSpaces::all())
        spaces.push_back(row.space);
    return spaces;
}

class CliSpaces : public ::testing::TestWithParam<SpacePair> {};

TEST_P(CliSpaces, AnUngradedLUTIsTheConversionAndSaysItsSpaces)
{
    const auto [input, output] = GetParam();
    CliRunner cli;
    writeFrame(cli / "frame.png");
    const CliResult result =
        cli.run(with(ungradedLook("ungraded.cube"),
                     {"--input-space", key(input), "--output-space", key(output)}));
    ASSERT_EQ(result.status, 0) << result.err;
    const LUTReader::CubeContents file = LUTReader::readCube(cli / "ungraded.cube");
    const SpaceConversion spaces = SpaceConversion::builtin(input, output);
    const LUTStack expected = spaces.conversion(latticeSize);
    ASSERT_EQ(file.lut.hasCurves(), expected.hasCurves());
    if (expected.hasCurves()) {
        EXPECT_LE(largestDifference(file.lut.curves().values(), expected.curves().values()),
                  nodeTolerance);
    }
    EXPECT_LE(largestDifference(file.lut.table().values(), expected.table().values()),
              nodeTolerance);

    const bool plain = spaces.isIdentity();
    const auto says = [&](const std::string& line) {
        return std::find(file.comments.begin(), file.comments.end(), line) != file.comments.end();
    };
    EXPECT_EQ(says("Input: " + std::string(ColorSpaces::row(input).title)), !plain);
    EXPECT_EQ(says("Output: " + std::string(ColorSpaces::row(output).title)), !plain);
    const CliResult info = cli.run({"info", "ungraded.cube"});
    EXPECT_EQ(info.out.find("Input space: " + std::string(ColorSpaces::row(input).title)) !=
                  std::string::npos,
              !plain)
        << info.out;
}

INSTANTIATE_TEST_SUITE_P(EverySpace, CliSpaces,
                         ::testing::Combine(::testing::ValuesIn(everyRow()),
                                            ::testing::Values(ColorSpace::srgb,
                                                              ColorSpace::rec709)),
                         [](const ::testing::TestParamInfo<SpacePair>& info) {
                             std::string name = key(std::get<0>(info.param)) + "_to_" +
                                                key(std::get<1>(info.param));
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

// A graded scene-linear LUT, read by OpenColorIO and baked again on inputs 0 … 1, gives what
// our own reading gives there: the shaper layout means the same to both.
TEST(CliSpacesInterop, OpenColorIOReadsTheShaperAsWeDo)
{
    const auto tool = fixtures::findOnPath("ociobakelut");
    if (!tool)
        GTEST_SKIP() << fixtures::missingTool("ociobakelut", "opencolorio-tools");
    CliRunner cli;
    writeFrame(cli / "frame.png");
    const CliResult made = cli.run({"look", "frame.png", "--input-space", "linear-rec709",
                                    "--output-space", "rec709", "-o", "linear.cube"});
    ASSERT_EQ(made.status, 0) << made.err;
    const CliResult baked = cli.runProgram(
        *tool, {"--lut", (cli / "linear.cube").string(), "--cubesize", std::to_string(latticeSize),
                "--format", "resolve_cube", (cli / "theirs.cube").string()});
    ASSERT_EQ(baked.status, 0) << baked.err;
    const LUTStack ours = LUTReader::read(cli / "linear.cube");
    ASSERT_TRUE(ours.hasCurves());
    const LUT3D theirs = LUTReader::read(cli / "theirs.cube").baked(latticeSize);
    // OpenColorIO looks a file's 3D table up tetrahedrally.
    const LUT3D expected = LUT3D::build(
        latticeSize, [&](const RGB& c) { return ours.apply(c, Interpolation::tetrahedral); });
    EXPECT_LE(largestDifference(theirs.values(), expected.values()), readingTolerance);
}

// Formats without a shaper warn and still write; sRGB to sRGB files stay as they were.
TEST(CliSpacesFormats, ThreeDLAndHaldSayTheShaperIsLost)
{
    CliRunner cli;
    writeFrame(cli / "frame.png");
    const CliResult linear =
        cli.run({"look", "frame.png", "--input-space", "acescg", "--format", "all"});
    ASSERT_EQ(linear.status, 0) << linear.err;
    EXPECT_NE(linear.err.find("A .3dl file holds no shaper"), std::string::npos) << linear.err;
    EXPECT_NE(linear.err.find("A HALD .png file holds no shaper"), std::string::npos) << linear.err;
    EXPECT_EQ(linear.err.find("A .cube file"), std::string::npos) << linear.err;
    const CliResult log =
        cli.run({"look", "frame.png", "--input-space", "slog3-sgamut3cine", "-o", "log.3dl"});
    ASSERT_EQ(log.status, 0) << log.err;
    EXPECT_EQ(log.err.find("shaper"), std::string::npos) << log.err;
}

// A config of the user's names its own spaces; its conversion is the same as the table's.
TEST(CliSpacesConfig, AConfigsNamedSpacesConvertAsTheTablesDo)
{
    CliRunner cli;
    writeFrame(cli / "frame.png");
    std::ofstream(cli / "studio.ocio")
        << "ocio_profile_version: 2\n"
           "roles: {default: xyz, cie_xyz_d65_interchange: xyz, aces_interchange: aces}\n"
           "file_rules: [!<Rule> {name: Default, colorspace: default}]\n"
           "displays: {Screen: [!<View> {name: Raw, colorspace: xyz}]}\n"
           "display_colorspaces:\n"
           "  - !<ColorSpace> {name: xyz}\n"
           "  - !<ColorSpace> {name: Web, from_display_reference: !<BuiltinTransform> {style: "
           "DISPLAY - CIE-XYZ-D65_to_sRGB}}\n"
           "  - !<ColorSpace> {name: Broadcast, from_display_reference: !<BuiltinTransform> "
           "{style: DISPLAY - CIE-XYZ-D65_to_REC.1886-REC.709}}\n"
           "colorspaces:\n"
           "  - !<ColorSpace> {name: aces}\n";
    const std::vector<std::string> config{"--ocio-config", "studio.ocio"};
    const CliResult result =
        cli.run(with(ungradedLook("studio.cube"),
                     with(config, {"--input-space", "Web", "--output-space", "Broadcast"})));
    ASSERT_EQ(result.status, 0) << result.err;
    const LUTReader::CubeContents file = LUTReader::readCube(cli / "studio.cube");
    const LUTStack expected =
        SpaceConversion::builtin(ColorSpace::srgb, ColorSpace::rec709).conversion(latticeSize);
    EXPECT_LE(largestDifference(file.lut.table().values(), expected.table().values()),
              nodeTolerance);
    EXPECT_NE(std::find(file.comments.begin(), file.comments.end(), "Input: Web"),
              file.comments.end());

    const CliResult unnamed = cli.run(with(ungradedLook("x.cube"), config));
    EXPECT_EQ(unnamed.status, 2);
    EXPECT_NE(unnamed.err.find("--input-space and --output-space"), std::string::npos)
        << unnamed.err;
    const CliResult unknown = cli.run(with(
        ungradedLook("x.cube"), with(config, {"--input-space", "Film", "--output-space", "Web"})));
    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(unknown.err.find("Couldn\u2019t read the colour config: "), std::string::npos)
        << unknown.err;
    const CliResult noConfig = cli.run(with(ungradedLook("x.cube"), {"--input-space", "Web"}));
    EXPECT_EQ(noConfig.status, 2) << noConfig.err;
}

}  // namespace
}  // namespace lumivert
