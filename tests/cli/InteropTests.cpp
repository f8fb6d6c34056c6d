// LUT files shared with other tools: ffmpeg's lut3d and haldclut filters, OpenColorIO's
// ocioconvert and LittleCMS' tificc grade a photo and a grid of 4096 colours as
// `lumivert-cli apply` does, within one 8-bit level, whether we wrote the file or ociobakelut
// baked it in one of its formats; and `info` reads every one of them. Each case skips when its
// tool is not installed (scripts/install-deps --optional). A case is one row: the LUT file, how
// it is made, and how the tool applies it.
#include "CliRunner.hpp"

#include "color/LUTStack.hpp"
#include "imaging/ImageLoader.hpp"
#include "lut/LUTReader.hpp"
#include "lut/LUTWriter.hpp"

#include "support/ExternalTool.hpp"

#include <gtest/gtest.h>
#include <vips/vips8>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <vector>

namespace lumivert {
namespace {

using std::filesystem::path;
using testing::CliResult;
using testing::CliRunner;

constexpr float levels = 255.0f;
// Both sides interpolate the same table trilinearly; each rounds its own result to 8 bits.
constexpr int mostLevelsApart = 1;
// Sixteen values per channel: every colour of the grid image is one pixel.
constexpr int gridSteps = 16;
constexpr std::int64_t gradeSize = 33;

// A smooth, non-separable grade that moves every colour: warmer shadows, cooler highlights,
// more saturation, a little clipping at both ends.
RGB grade(const RGB& c)
{
    const float luma = 0.2126f * c.r + 0.7152f * c.g + 0.0722f * c.b;
    const auto towards = [luma](float value) { return luma + 1.25f * (value - luma); };
    return {towards(c.r) + 0.06f * (1.0f - luma) - 0.02f, towards(c.g) * 0.97f + 0.01f,
            towards(c.b) + 0.08f * luma * luma - 0.03f};
}

// Every combination of sixteen evenly spaced 8-bit values, one pixel each: 64 × 64 = 16³.
PixelBuffer gridImage()
{
    constexpr std::int64_t side = 64;
    PixelBuffer grid(side, side, RGB{});
    const float step = 1.0f / static_cast<float>(gridSteps - 1);
    std::int64_t index = 0;
    for (int b = 0; b < gridSteps; ++b)
        for (int g = 0; g < gridSteps; ++g)
            for (int r = 0; r < gridSteps; ++r, ++index)
                grid.set(index % grid.width(), index / grid.width(),
                         {static_cast<float>(r) * step, static_cast<float>(g) * step,
                          static_cast<float>(b) * step});
    return grid;
}

// The largest difference between two 8-bit images, in levels.
int levelsApart(const PixelBuffer& a, const PixelBuffer& b)
{
    EXPECT_EQ(a.width(), b.width());
    EXPECT_EQ(a.height(), b.height());
    int worst = 0;
    for (std::size_t i = 0; i < a.pixels().size() && i < b.pixels().size(); ++i) {
        for (const auto channel : {&RGB::r, &RGB::g, &RGB::b}) {
            const long apart = std::lround(a.pixels()[i].*channel * levels) -
                               std::lround(b.pixels()[i].*channel * levels);
            worst = std::max(worst, static_cast<int>(std::labs(apart)));
        }
    }
    return worst;
}

// ---- The tools ---------------------------------------------------------------------------------

// Runs the tool on `input` with the LUT file, writing the 8-bit PNG `output`; names are relative
// to the runner's folder.
using ToolRun =
    std::function<CliResult(const CliRunner& cli, const path& tool, const std::string& lut,
                            const std::string& input, const std::string& output)>;

CliResult ffmpegLut3d(const CliRunner& cli, const path& tool, const std::string& lut,
                      const std::string& input, const std::string& output)
{
    return cli.runProgram(tool,
                          {"-v", "error", "-y", "-i", input, "-vf",
                           "lut3d=file=" + lut + ":interp=trilinear", "-pix_fmt", "rgb24", output});
}

CliResult ffmpegHaldClut(const CliRunner& cli, const path& tool, const std::string& lut,
                         const std::string& input, const std::string& output)
{
    // The HALD image is brought to the photo's pixel format: at 16 bits it keeps its values,
    // where ffmpeg's own rounding to 8 bits would move many of them a level.
    return cli.runProgram(tool, {"-v", "error", "-y", "-i", input, "-i", lut, "-filter_complex",
                                 "[0:v]format=rgb48[photo];[photo][1:v]haldclut=interp=trilinear",
                                 "-pix_fmt", "rgb24", output});
}

// A config whose one colour space is the LUT as a FileTransform with the given interpolation.
CliResult ocioConvertWith(const std::string& interpolation, const CliRunner& cli, const path& tool,
                          const std::string& lut, const std::string& input,
                          const std::string& output)
{
    const std::string config = lut + ".ocio";
    std::ofstream(cli / config) << "ocio_profile_version: 1\n"
                                   "search_path: .\n"
                                   "roles:\n"
                                   "  default: raw\n"
                                   "colorspaces:\n"
                                   "  - !<ColorSpace>\n"
                                   "    name: raw\n"
                                   "  - !<ColorSpace>\n"
                                   "    name: graded\n"
                                   "    from_reference: !<FileTransform> {src: \""
                                << lut << "\", interpolation: " << interpolation << "}\n";
    return cli.runProgram(tool, {input, "raw", output, "graded"}, {"OCIO=" + config});
}

CliResult ocioConvert(const CliRunner& cli, const path& tool, const std::string& lut,
                      const std::string& input, const std::string& output)
{
    return ocioConvertWith("linear", cli, tool, lut, input, output);
}

// tificc reads and writes TIFF only: apply with an identity table moves the images across
// unchanged. The transform is evaluated in full (-c0), as apply evaluates its table.
CliResult tificc(const CliRunner& cli, const path& tool, const std::string& lut,
                 const std::string& input, const std::string& output)
{
    LUTWriter::writeCube(LUT3D::identity(2), "Identity", cli / "identity.cube");
    const CliResult in = cli.run({"apply", "identity.cube", input, "-o", "tificc-in.tif"});
    if (in.status != 0)
        return in;
    const CliResult run = cli.runProgram(tool, {"-c0", "-l" + lut, "tificc-in.tif", "tificc.tif"});
    if (run.status != 0)
        return run;
    return cli.run({"apply", "identity.cube", "tificc.tif", "-o", output});
}

struct Tool {
    const char* name;
    const char* package;
    ToolRun run;
};

const Tool ffmpegLut3dTool{"ffmpeg", "ffmpeg", ffmpegLut3d};
const Tool ffmpegHaldClutTool{"ffmpeg", "ffmpeg", ffmpegHaldClut};
const Tool ocioConvertTool{"ocioconvert", "opencolorio-tools", ocioConvert};
const Tool tificcTool{"tificc", "liblcms2-utils", tificc};

// ---- The cases ---------------------------------------------------------------------------------

// Writes the LUT file of a case into the runner's folder, which holds the grade as grade.cube.
using LUTMaker = std::function<void(const CliRunner& cli, const std::string& lut)>;

// grade.cube as it is.
void asWritten(const CliRunner&, const std::string&) {}

// grade.cube converted by lumivert-cli with these options.
LUTMaker converted(std::vector<std::string> options)
{
    return [options](const CliRunner& cli, const std::string& lut) {
        std::vector<std::string> arguments{"convert", "grade.cube", "-o", lut};
        arguments.insert(arguments.end(), options.begin(), options.end());
        const CliResult result = cli.run(arguments);
        ASSERT_EQ(result.status, 0) << result.err;
    };
}

// grade.cube's table spread over other inputs per channel, as scene-referred files are.
LUTMaker spreadOver(const LUTDomain& domain)
{
    return [domain](const CliRunner& cli, const std::string& lut) {
        const LUT3D table = LUTReader::read(cli / "grade.cube").table();
        LUTWriter::writeCube(LUT3D(table.size(), table.values(), domain), "Domain", cli / lut);
    };
}

const LUTMaker withDomain = spreadOver({{-0.25f, 0, 0}, {1.75f, 2, 1.5f}});
const LUTMaker withDomainFromZero = spreadOver({{0, 0, 0}, {2, 1.5f, 3}});

// Three different tone curves over 0 … 1, as a 1D .cube.
LUT1D toneCurves(std::int64_t size, const LUTDomain& domain)
{
    std::vector<RGB> values(static_cast<std::size_t>(size));
    for (std::size_t i = 0; i < values.size(); ++i) {
        const float t = static_cast<float>(i) / static_cast<float>(size - 1);
        values[i] = {std::pow(t, 0.6f), t * t * (3.0f - 2.0f * t), std::pow(t, 1.5f)};
    }
    return LUT1D(size, std::move(values), domain);
}

void oneD(const CliRunner& cli, const std::string& lut)
{
    LUTWriter::writeCube(LUTStack(toneCurves(256, {})), "Curves", cli / lut);
}

// Curves over −0.25 … 1.5 feeding grade.cube's table: the shaper layout of grading tools.
void shaper(const CliRunner& cli, const std::string& lut)
{
    LUTWriter::writeCube(LUTStack(toneCurves(64, LUTDomain::uniform(-0.25f, 1.5f)),
                                  LUTReader::read(cli / "grade.cube").table()),
                         "Shaper", cli / lut);
}

// grade.cube baked by ociobakelut in one of its formats, at the grade's size.
LUTMaker bakedBy(const std::string& format, std::optional<int> shaperSize = std::nullopt)
{
    return [format, shaperSize](const CliRunner& cli, const std::string& lut) {
        const std::optional<path> tool = fixtures::findOnPath("ociobakelut");
        if (!tool)
            GTEST_SKIP() << fixtures::missingTool("ociobakelut", "opencolorio-tools");
        std::vector<std::string> arguments{
            "--lut", "grade.cube", "--cubesize", std::to_string(gradeSize), "--format", format};
        if (shaperSize)
            arguments.insert(arguments.end(), {"--shapersize", std::to_string(*shaperSize)});
        arguments.push_back(lut);
        const CliResult result = cli.runProgram(*tool, arguments);
        ASSERT_EQ(result.status, 0) << result.err;
    };
}

struct InteropCase {
    const char* name;
    Tool tool;
    std::string lut;
    LUTMaker make;
    const char* infoSays = "";  // part of the format line of `info`
};

const std::vector<InteropCase>& interopCases()
{
    static const std::vector<InteropCase> cases{
        {"FfmpegCube", ffmpegLut3dTool, "grade.cube", asWritten},
        // ffmpeg reads a .3dl as 17 points, whatever the file says.
        {"FfmpegThreeDL17", ffmpegLut3dTool, "grade17.3dl", converted({"--size", "17"})},
        {"FfmpegHaldLevel4", ffmpegHaldClutTool, "hald4.png", converted({"--hald-level", "4"})},
        {"FfmpegHaldLevel8", ffmpegHaldClutTool, "hald8.png", converted({})},
        {"FfmpegHaldLevel12", ffmpegHaldClutTool, "hald12.png", converted({"--hald-level", "12"})},
        {"OcioCube", ocioConvertTool, "grade.cube", asWritten},
        {"OcioThreeDLPlain", ocioConvertTool, "grade.3dl", converted({})},
        {"OcioThreeDLLustre", ocioConvertTool, "lustre.3dl",
         converted({"--3dl-flavour", "lustre"})},
        // ffmpeg scales inputs by the domain's width but ignores its lower end.
        {"FfmpegDomainCube", ffmpegLut3dTool, "domain.cube", withDomainFromZero},
        {"OcioDomainCube", ocioConvertTool, "domain.cube", withDomain},
        {"OcioOneDCube", ocioConvertTool, "curves.cube", oneD},
        {"OcioShaperCube", ocioConvertTool, "shaper.cube", shaper},
        // Our other formats, each applied by the tool that defines it.
        {"OcioOurCLF", ocioConvertTool, "grade.clf", converted({}), ".clf, 3D table"},
        {"OcioOurCSP", ocioConvertTool, "grade.csp", converted({}), ".csp, 3D table"},
        {"OcioOurSPI3D", ocioConvertTool, "grade.spi3d", converted({}), ".spi3d, 3D table"},
        {"OcioOurCLFDomain", ocioConvertTool, "domain.clf",
         [](const CliRunner& cli, const std::string& lut) {
             withDomain(cli, "domain.cube");
             converted({})(cli, lut);
         },
         ".clf, 3D table"},
        {"TificcOurICC", tificcTool, "grade.icc", converted({}),
         "ICC device link, evaluated on a 65-point lattice"},
        // ociobakelut's formats, read by us.
        {"OcioBakedCLF", ocioConvertTool, "baked.clf", bakedBy("Academy/ASC Common LUT Format"),
         ".clf, 3D table"},
        {"OcioBakedCinespace", ocioConvertTool, "baked.csp", bakedBy("cinespace"),
         ".csp, 3D table"},
        {"OcioBakedHoudini", ocioConvertTool, "baked.lut", bakedBy("houdini"), ".lut, 3D table"},
        {"OcioBakedIridasITX", ocioConvertTool, "baked.itx", bakedBy("iridas_itx"),
         ".itx, 3D table"},
        {"OcioBakedTruelight", ocioConvertTool, "baked.cub", bakedBy("truelight"),
         ".cub, 1D shaper then 3D table"},
        {"OcioBakedFlame", ocioConvertTool, "flame.3dl", bakedBy("flame", 1024), ".3dl, 12-bit"},
        {"OcioBakedLustre", ocioConvertTool, "lustre1024.3dl", bakedBy("lustre", 1024),
         ".3dl, 12-bit"},
    };
    return cases;
}

struct Picture {
    const char* name;
    std::function<path(const CliRunner& cli)> make;  // its file, in the folder or a sample
};

const std::vector<Picture>& pictures()
{
    static const std::vector<Picture> all{
        {"Photo", [](const CliRunner&) { return CliRunner::sample("coffee.png"); }},
        {"Grid",
         [](const CliRunner& cli) {
             ImageLoader::writePNG(gridImage(), cli / "grid.png", false);
             return cli / "grid.png";
         }},
    };
    return all;
}

// Test names say which case failed; gtest would print the rows' bytes.
void PrintTo(const InteropCase& c, std::ostream* out) { *out << c.name; }
void PrintTo(const Picture& picture, std::ostream* out) { *out << picture.name; }

class Interop : public ::testing::TestWithParam<std::tuple<InteropCase, Picture>> {};

TEST_P(Interop, TheToolGradesAsApplyDoesWithinOneLevel)
{
    const auto& [c, picture] = GetParam();
    const std::optional<path> tool = fixtures::findOnPath(c.tool.name);
    if (!tool)
        GTEST_SKIP() << fixtures::missingTool(c.tool.name, c.tool.package);
    CliRunner cli;
    LUTWriter::write(LUT3D::build(gradeSize, grade), LUTFormat::cube, "Interop",
                     cli / "grade.cube");
    c.make(cli, c.lut);
    if (IsSkipped() || HasFatalFailure())
        return;
    const path input = picture.make(cli);
    const CliResult info = cli.run({"info", c.lut});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find(c.infoSays), std::string::npos) << info.out;

    const CliResult ours = cli.run({"apply", c.lut, input.string(), "-o", "ours.png"});
    ASSERT_EQ(ours.status, 0) << ours.err;
    const CliResult theirs = c.tool.run(cli, *tool, c.lut, input.string(), "theirs.png");
    ASSERT_EQ(theirs.status, 0) << theirs.err;

    const PixelBuffer original = ImageLoader::loadExact(input);
    const PixelBuffer graded = ImageLoader::loadExact(cli / "ours.png");
    // The grade must show, or agreeing would prove nothing.
    EXPECT_GT(levelsApart(graded, original), 10);
    EXPECT_LE(levelsApart(graded, ImageLoader::loadExact(cli / "theirs.png")), mostLevelsApart);
}

// More saturation measured from each colour's smallest channel: it bends along the planes where
// two channels are equal, as hue-selective grades do, and there the two schemes part most.
RGB bendingGrade(const RGB& c)
{
    const float least = std::min({c.r, c.g, c.b});
    const auto push = [least](float value) { return least + 1.6f * (value - least) + 0.02f; };
    return {push(c.r), push(c.g) * 0.97f, push(c.b)};
}

class InteropTetrahedral : public ::testing::TestWithParam<Picture> {};

// Most grading applications and OpenColorIO interpolate tetrahedrally: so does apply when asked.
// How far its default trilinear lookup lies from theirs is reported, not held to a bound.
TEST_P(InteropTetrahedral, OcioGradesAsApplyDoesWithinOneLevel)
{
    const std::optional<path> tool = fixtures::findOnPath("ocioconvert");
    if (!tool)
        GTEST_SKIP() << fixtures::missingTool("ocioconvert", "opencolorio-tools");
    CliRunner cli;
    LUTWriter::write(LUT3D::build(17, bendingGrade), LUTFormat::cube, "Bend", cli / "bend.cube");
    const path input = GetParam().make(cli);
    for (const char* interpolation : {"trilinear", "tetrahedral"}) {
        const CliResult ours =
            cli.run({"apply", "bend.cube", input.string(), "-o",
                     std::string(interpolation) + ".png", "--interpolation", interpolation});
        ASSERT_EQ(ours.status, 0) << ours.err;
    }
    const CliResult theirs =
        ocioConvertWith("tetrahedral", cli, *tool, "bend.cube", input.string(), "theirs.png");
    ASSERT_EQ(theirs.status, 0) << theirs.err;

    const PixelBuffer reference = ImageLoader::loadExact(cli / "theirs.png");
    const PixelBuffer tetrahedral = ImageLoader::loadExact(cli / "tetrahedral.png");
    EXPECT_GT(levelsApart(tetrahedral, ImageLoader::loadExact(input)), 10);
    EXPECT_LE(levelsApart(tetrahedral, reference), mostLevelsApart);
    const int trilinearApart =
        levelsApart(ImageLoader::loadExact(cli / "trilinear.png"), reference);
    RecordProperty("trilinearLevelsApart", trilinearApart);
    std::cout << GetParam().name << ": trilinear lies " << trilinearApart
              << " levels from OpenColorIO's tetrahedral lookup\n";
    // Were the schemes to agree on this grade, the comparison above would not tell them apart.
    EXPECT_GT(trilinearApart, mostLevelsApart);
}

// ---- Scene-linear float images ------------------------------------------------------------------

// A scene-linear config: the shaper spans 2⁻⁸ … 2⁴ in stops, and the video space renders linear
// Rec.709 through the ACES SDR video output transform to sRGB, as a grading suite's view does.
constexpr const char* sceneConfig = R"(ocio_profile_version: 2
roles:
  default: linear
  scene_linear: linear
file_rules:
  - !<Rule> {name: Default, colorspace: linear}
displays:
  sRGB:
    - !<View> {name: Video, colorspace: video}
colorspaces:
  - !<ColorSpace>
    name: linear
  - !<ColorSpace>
    name: shaper
    from_scene_reference: !<AllocationTransform> {allocation: lg2, vars: [-8, 4]}
  - !<ColorSpace>
    name: video
    from_scene_reference: !<GroupTransform>
      children:
        - !<BuiltinTransform> {style: "UTILITY - ACES-AP1_to_LINEAR-REC709_BFD", direction: inverse}
        - !<BuiltinTransform> {style: "ACEScg_to_ACES2065-1"}
        - !<BuiltinTransform> {style: "ACES-OUTPUT - ACES2065-1_to_CIE-XYZ-D65 - SDR-VIDEO_1.0"}
        - !<BuiltinTransform> {style: "DISPLAY - CIE-XYZ-D65_to_sRGB"}
)";

// 0.004 … 16 in every combination of 16 steps per channel (even in stops), one pixel each, as a
// float TIFF.
void writeSceneLinearGrid(const path& location)
{
    std::vector<float> samples;
    const auto stops = [](int step) { return 0.004f * std::exp2(12.0f * step / (gridSteps - 1)); };
    for (int b = 0; b < gridSteps; ++b)
        for (int g = 0; g < gridSteps; ++g)
            for (int r = 0; r < gridSteps; ++r)
                samples.insert(samples.end(), {stops(r), stops(g), stops(b)});
    constexpr int side = 64;
    vips::VImage::new_from_memory(samples.data(), samples.size() * sizeof(float), side, side, 3,
                                  VIPS_FORMAT_FLOAT)
        .copy(vips::VImage::option()->set("interpretation", VIPS_INTERPRETATION_scRGB))
        .write_to_file(location.c_str());
}

std::vector<float> samplesOf(const path& location)
{
    const vips::VImage image =
        vips::VImage::new_from_file(location.c_str()).cast(VIPS_FORMAT_FLOAT);
    std::size_t size = 0;
    const std::unique_ptr<void, decltype(&g_free)> memory(image.write_to_memory(&size), &g_free);
    const auto* floats = static_cast<const float*>(memory.get());
    return {floats, floats + size / sizeof(float)};
}

// apply feeds a float TIFF's values, far above 1, to an ociobakelut-made linear-input .cube
// (log2 shaper, then a 33-point table) as ocioconvert does: its float TIFF and 16-bit PNG agree
// with ocioconvert's float output within one 8-bit level.
TEST(InteropSceneLinear, ApplyGradesAFloatTIFFAsOcioconvertDoes)
{
    const std::optional<path> bake = fixtures::findOnPath("ociobakelut");
    const std::optional<path> convert = fixtures::findOnPath("ocioconvert");
    if (!bake || !convert)
        GTEST_SKIP() << fixtures::missingTool("ociobakelut and ocioconvert", "opencolorio-tools");
    CliRunner cli;
    std::ofstream(cli / "scene.ocio") << sceneConfig;
    const CliResult baked =
        cli.runProgram(*bake, {"--iconfig", "scene.ocio", "--inputspace", "linear", "--shaperspace",
                               "shaper", "--outputspace", "video", "--format", "resolve_cube",
                               "--cubesize", "33", "--shapersize", "1024", "scene.cube"});
    ASSERT_EQ(baked.status, 0) << baked.err;
    writeSceneLinearGrid(cli / "linear.tif");
    for (const char* output : {"ours.tif", "ours.png"}) {
        const CliResult ours = cli.run({"apply", "scene.cube", "linear.tif", "-o", output});
        ASSERT_EQ(ours.status, 0) << ours.err;
    }
    const CliResult theirs = ocioConvert(cli, *convert, "scene.cube", "linear.tif", "theirs.tif");
    ASSERT_EQ(theirs.status, 0) << theirs.err;

    const std::vector<float> reference = samplesOf(cli / "theirs.tif");
    const std::vector<float> floats = samplesOf(cli / "ours.tif");
    const std::vector<float> sixteenBit = samplesOf(cli / "ours.png");
    ASSERT_EQ(floats.size(), reference.size());
    ASSERT_EQ(sixteenBit.size(), reference.size());
    float floatApart = 0.0f;
    float levelsApart16 = 0.0f;
    for (std::size_t i = 0; i < reference.size(); ++i) {
        floatApart = std::max(floatApart, std::fabs(floats[i] - reference[i]));
        const float clamped = std::clamp(reference[i], 0.0f, 1.0f) * 65535.0f;
        levelsApart16 = std::max(levelsApart16, std::fabs(sixteenBit[i] - clamped));
    }
    std::cout << "float TIFF: " << floatApart * levels
              << " 8-bit levels apart; 16-bit PNG: " << levelsApart16 << " 16-bit levels apart\n";
    EXPECT_LE(floatApart * levels, 1.0f);
    EXPECT_LE(levelsApart16 / 257.0f, 1.0f);
    // Highlights above 1 must have reached the table: 16 renders far brighter than 1 does.
    EXPECT_GT(*std::max_element(floats.begin(), floats.end()), 0.9f);
}

INSTANTIATE_TEST_SUITE_P(Pictures, InteropTetrahedral, ::testing::ValuesIn(pictures()),
                         [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(Tools, Interop,
                         ::testing::Combine(::testing::ValuesIn(interopCases()),
                                            ::testing::ValuesIn(pictures())),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    std::get<1>(info.param).name;
                         });

}  // namespace
}  // namespace lumivert
