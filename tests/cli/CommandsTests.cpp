#include "CliRunner.hpp"

#include "cli/Commands.hpp"
#include "color/ColorMath.hpp"
#include "imaging/ImageLoader.hpp"
#include "imaging/Packing.hpp"
#include "imaging/PreviewRenderer.hpp"
#include "imaging/TestChart.hpp"
#include "io/FileIO.hpp"
#include "lut/HaldCLUT.hpp"
#include "lut/LUTReader.hpp"
#include "lut/LUTWriter.hpp"
#include "recipe/GradeRecipe.hpp"
#include "support/DngWriter.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <vips/vips8>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <sstream>

namespace lumivert {
namespace {

using GradeRecipe::Mode;
using std::filesystem::path;
using testing::CliResult;
using testing::CliRunner;
using vips::VImage;

// Text files carry six decimals; .3dl twelve-bit integers.
constexpr float cubeTolerance = 1e-6f;
constexpr float threeDLTolerance = 0.5f / 4095.0f + 1e-6f;

PixelBuffer noise(std::int64_t width, std::int64_t height, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    PixelBuffer pixels(width, height, RGB{});
    for (std::int64_t y = 0; y < height; ++y)
        for (std::int64_t x = 0; x < width; ++x)
            pixels.set(x, y, {unit(random), unit(random), unit(random)});
    return pixels;
}

// A smooth grade: warmer, slightly lifted, gamma on each channel.
RGB warmGrade(const RGB& c)
{
    return {std::pow(c.r, 0.8f) * 0.95f + 0.05f, std::pow(c.g, 0.9f), std::pow(c.b, 1.1f) * 0.9f};
}

float maxDifference(const LUT3D& a, const LUT3D& b)
{
    EXPECT_EQ(a.size(), b.size());
    float worst = 0;
    for (std::size_t i = 0; i < a.values().size() && i < b.values().size(); ++i) {
        const RGB& x = a.values()[i];
        const RGB& y = b.values()[i];
        worst = std::max({worst, std::abs(x.r - y.r), std::abs(x.g - y.g), std::abs(x.b - y.b)});
    }
    return worst;
}

VImage header(const path& file)
{
    [[maybe_unused]] static const bool started = vips_init("lumivert-cli-test") == 0;
    return VImage::new_from_file(file.c_str());
}

nlohmann::json parsed(const CliResult& result)
{
    EXPECT_EQ(result.status, 0) << result.err;
    return nlohmann::json::parse(result.out);
}

void expectInRange(const nlohmann::json& value, double lo, double hi, const char* name)
{
    ASSERT_TRUE(value.is_number()) << name;
    EXPECT_GE(value.get<double>(), lo) << name;
    EXPECT_LE(value.get<double>(), hi) << name;
}

// What the recipe makes of the files, as the window would: its LUT at `size`, its name and its
// status line.
struct RecipeGrade {
    LUT3D lut;
    std::string name;
    std::string status;
};

RecipeGrade recipeGrade(Mode mode, const std::vector<path>& files,
                        const GradeRecipe::Settings& settings, std::int64_t size)
{
    const auto slots = GradeRecipe::recipe(mode).slots;
    std::vector<GradeRecipe::Input> inputs;
    GradeRecipe::SlotNames names;
    for (std::size_t i = 0; i < slots.size(); ++i) {
        inputs.push_back(GradeRecipe::load(slots[i], files.at(i)));
        names[slots[i]] = inputs.back().image.name();
    }
    GradeRecipe::Results results;
    results.store(GradeRecipe::analyse(mode, inputs, settings));
    return {GradeRecipe::pipeline(mode, results, settings).makeLUT(size),
            GradeRecipe::suggestedName(mode, names).value_or(""),
            GradeRecipe::statusLine(mode, results, names).value_or("")};
}

// The number as the command line's messages and a user type it.
std::string numberText(double value)
{
    std::ostringstream text;
    text << value;
    return text.str();
}

// ---- Making LUTs -------------------------------------------------------------------------------

TEST(CliLook, WritesTheRecipesGradeInTheThreeFormatsNamedAfterTheReference)
{
    CliRunner cli;
    const path reference = CliRunner::sample("coffee.png");
    const CliResult result =
        cli.run({"look", reference.string(), "--format", "all", "--size", "17"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(cli.entries(),
              (std::vector<std::string>{"coffee Look.3dl", "coffee Look.cube", "coffee Look.png"}));

    const RecipeGrade expected = recipeGrade(Mode::look, {reference}, {}, 17);
    const auto cube = LUTReader::cube(FileIO::readAll(cli / "coffee Look.cube"));
    EXPECT_EQ(cube.title, expected.name);
    EXPECT_LE(maxDifference(cube.lut.table(), expected.lut), cubeTolerance);
    EXPECT_LE(maxDifference(LUTReader::read(cli / "coffee Look.3dl").table(), expected.lut),
              threeDLTolerance);
    const LUT3D hald = LUTReader::read(cli / "coffee Look.png").table();
    EXPECT_EQ(hald.size(), 64);
    EXPECT_EQ(result.out.substr(0, result.out.find('\n')), expected.status);
}

// Every mode with adjustments away from their defaults gives the recipe's LUT, name and summary.
struct RecipeCase {
    const char* name;
    Mode mode;
    std::vector<std::string> inputs;  // "@coffee" stands for that sample's path
    std::vector<std::string> options;
    GradeRecipe::Settings settings;  // the options' adjustments
    std::int64_t size;
};

GradeRecipe::Settings adjusted(const std::function<void(GradeRecipe::Settings&)>& change)
{
    GradeRecipe::Settings settings;
    change(settings);
    return settings;
}

class CliRecipe : public ::testing::TestWithParam<RecipeCase> {};

TEST_P(CliRecipe, EveryModeBakesTheRecipesPipelineWithTheTypedAdjustments)
{
    const RecipeCase& c = GetParam();
    CliRunner cli;
    // An edit to learn and a graded HALD to read, both from one smooth grade.
    PixelBuffer after = ImageLoader::loadExact(CliRunner::sample("coffee.png"));
    for (RGB& pixel : after.mutablePixels())
        pixel = warmGrade(pixel);
    ImageLoader::writePNG(after, cli / "after.png", false);
    ImageLoader::writePNG(HaldCLUT::image(LUT3D::build(16, warmGrade), 4), cli / "graded.png",
                          true);

    std::vector<path> files;
    std::vector<std::string> arguments{GradeRecipe::recipe(c.mode).id.data()};
    for (const std::string& input : c.inputs) {
        files.push_back(input.starts_with("@") ? CliRunner::sample(input.substr(1) + ".png")
                                               : cli / input);
        arguments.push_back(files.back().string());
    }
    arguments.insert(arguments.end(), {"-o", "out.cube", "--size", std::to_string(c.size)});
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    const CliResult result = cli.run(arguments);
    ASSERT_EQ(result.status, 0) << result.err;

    const RecipeGrade expected = recipeGrade(c.mode, files, c.settings, c.size);
    const auto cube = LUTReader::cube(FileIO::readAll(cli / "out.cube"));
    EXPECT_EQ(cube.title, expected.name);
    EXPECT_EQ(cube.lut.table().size(), c.size);
    EXPECT_LE(maxDifference(cube.lut.table(), expected.lut), cubeTolerance);
    EXPECT_GT(maxDifference(cube.lut.table(), LUT3D::identity(c.size)), 0.01f);
    // hald says which size it wrote, as its own table may be kept.
    const std::string written =
        c.mode == Mode::hald ? " (" + std::to_string(c.size) + " points per axis)" : "";
    EXPECT_EQ(result.out, expected.status + "\nSaved out.cube" + written + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Modes, CliRecipe,
    ::testing::Values(RecipeCase{"Look",
                                 Mode::look,
                                 {"@coffee"},
                                 {"--look-settings", "1,0.5,1.2,0", "--intensity", "0.7",
                                  "--finetune", "0.2,-0.1,0.3,0.1"},
                                 adjusted([](GradeRecipe::Settings& s) {
                                     s.look = {1, 0.5f, 1.2f, 0};
                                     s.intensity = 0.7f;
                                     s.fineTune = {0.2f, -0.1f, 0.3f, 0.1f};
                                 }),
                                 17},
                      RecipeCase{"Match",
                                 Mode::match,
                                 {"@chelsea", "@astronaut"},
                                 {"--match-settings", "0.6,1.3", "--intensity", "1.3", "--gamut",
                                  "smooth"},
                                 adjusted([](GradeRecipe::Settings& s) {
                                     s.match = {0.6f, 1.3f};
                                     s.intensity = 1.3f;
                                     s.gamut = GamutMapping::smooth;
                                 }),
                                 33},
                      RecipeCase{"Edit",
                                 Mode::edit,
                                 {"@coffee", "after.png"},
                                 {"--smoothing", "0.05", "--finetune", "0,0.3,0,-0.2"},
                                 adjusted([](GradeRecipe::Settings& s) {
                                     s.smoothing = 0.05f;
                                     s.fineTune = {0, 0.3f, 0, -0.2f};
                                 }),
                                 17},
                      RecipeCase{"EditExtended",
                                 Mode::edit,
                                 {"@coffee", "after.png"},
                                 {"--extend"},
                                 adjusted([](GradeRecipe::Settings& s) { s.extendEdit = true; }),
                                 33},
                      RecipeCase{"Hald",
                                 Mode::hald,
                                 {"graded.png"},
                                 {"--intensity", "0.5", "--finetune", "-0.4,0,0.2,0"},
                                 adjusted([](GradeRecipe::Settings& s) {
                                     s.intensity = 0.5f;
                                     s.fineTune = {-0.4f, 0, 0.2f, 0};
                                 }),
                                 65}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CliLook, IntensityFineTuneAndSettingsReachTheLUT)
{
    CliRunner cli;
    const std::string reference = CliRunner::sample("chelsea.png").string();
    ASSERT_EQ(cli.run({"look", reference, "-o", "off.cube", "--intensity", "0"}).status, 0);
    EXPECT_LE(LUTReader::read(cli / "off.cube").table().maxDeviationFromIdentity(), cubeTolerance);

    ASSERT_EQ(cli.run({"look", reference, "-o", "warm.cube", "--intensity", "0", "--finetune",
                       "0.5,0,0,0", "--title", "Warm"})
                  .status,
              0);
    const auto warm = LUTReader::cube(FileIO::readAll(cli / "warm.cube"));
    EXPECT_EQ(warm.title, "Warm");
    const RGB grey = warm.lut.table().sample({0.5f, 0.5f, 0.5f});
    EXPECT_GT(grey.r, grey.b + 0.02f);

    ASSERT_EQ(cli.run({"look", reference, "-o", "none.cube", "--look-settings", "0,0,1,0"}).status,
              0);
    // Full colourfulness with the other aspects off keeps the grey axis.
    const RGB kept = LUTReader::read(cli / "none.cube").table().sample({0.5f, 0.5f, 0.5f});
    EXPECT_NEAR(kept.r, 0.5f, 0.01f);
    EXPECT_NEAR(kept.b, 0.5f, 0.01f);
}

TEST(CliMatch, NamesTheLUTAfterTheReferenceAndSaysWhatItMatched)
{
    CliRunner cli;
    const CliResult result = cli.run({"match", CliRunner::sample("chelsea.png").string(),
                                      CliRunner::sample("astronaut.png").string(), "--format",
                                      "3dl", "--match-settings", "1,0.5"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(cli.entries(), (std::vector<std::string>{"astronaut Match.3dl"}));
    EXPECT_NE(result.out.find("Matching \u201Cchelsea\u201D to \u201Castronaut\u201D"),
              std::string::npos);
    EXPECT_GT(LUTReader::read(cli / "astronaut Match.3dl").table().maxDeviationFromIdentity(),
              0.02f);
}

TEST(CliEdit, LearnsAGradeThatApplyPutOnAPhoto)
{
    CliRunner cli;
    LUTWriter::write(LUT3D::build(17, warmGrade), LUTFormat::cube, "Known", cli / "known.cube");
    const std::string before = CliRunner::sample("coffee.png").string();
    ASSERT_EQ(cli.run({"apply", "known.cube", before, "-o", "after.png"}).status, 0);

    const CliResult result = cli.run({"edit", before, "after.png", "-o", "learned.cube"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("(excellent)"), std::string::npos) << result.out;
    const auto learned = LUTReader::cube(FileIO::readAll(cli / "learned.cube"));
    EXPECT_EQ(learned.title, "after Edit");
    // Colours the photo holds (warm browns and near-greys) come back close to the known grade.
    for (const RGB colour :
         {RGB{0.5f, 0.4f, 0.3f}, RGB{0.3f, 0.25f, 0.2f}, RGB{0.7f, 0.6f, 0.5f}}) {
        const RGB want = warmGrade(colour);
        const RGB got = learned.lut.table().sample(colour);
        EXPECT_NEAR(got.r, want.r, 0.02f);
        EXPECT_NEAR(got.g, want.g, 0.02f);
        EXPECT_NEAR(got.b, want.b, 0.02f);
    }
}

TEST(CliHald, IdentityTemplateReadsBackAsTheIdentity)
{
    CliRunner cli;
    ASSERT_EQ(cli.run({"identity-hald", "Identity HALD 8.png"}).status, 0);
    const VImage identity = header(cli / "Identity HALD 8.png");
    EXPECT_EQ(identity.width(), 512);
    EXPECT_EQ(identity.height(), 512);
    EXPECT_EQ(identity.format(), VIPS_FORMAT_USHORT);

    ASSERT_EQ(cli.run({"identity-hald", "small.png", "--level", "4"}).status, 0);
    EXPECT_EQ(header(cli / "small.png").width(), 64);
    const CliResult result = cli.run({"hald", "small.png", "--size", "17"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("HALD level 4 \u00B7 16-point cube"), std::string::npos);
    const auto cube = LUTReader::cube(FileIO::readAll(cli / "small.cube"));
    EXPECT_EQ(cube.title, "small");
    EXPECT_LE(cube.lut.table().maxDeviationFromIdentity(), 1e-4f);
}

// hald keeps the graded HALD's whole table (64 points for level 8) unless --size is given or the
// format cannot hold it, and says which size each file got.
TEST(CliHald, KeepsTheHaldsOwnTableWhereTheFormatHoldsIt)
{
    CliRunner cli;
    ASSERT_EQ(cli.run({"identity-hald", "Identity HALD 8.png"}).status, 0);
    const CliResult full = cli.run({"hald", "Identity HALD 8.png", "-o", "full.cube"});
    ASSERT_EQ(full.status, 0) << full.err;
    EXPECT_NE(full.out.find("Saved full.cube (64 points per axis)\n"), std::string::npos);
    const LUT3D identity = LUTReader::read(cli / "full.cube").table();
    EXPECT_EQ(identity.size(), 64);
    EXPECT_LE(identity.maxDeviationFromIdentity(), 0.5f / 65535.0f + cubeTolerance);

    // A graded level-4 HALD (16 points), fine-tuned: 16 is no size a Lustre .3dl can hold.
    ImageLoader::writePNG(HaldCLUT::image(LUT3D::build(16, warmGrade), 4), cli / "graded.png",
                          true);
    const CliResult result =
        cli.run({"hald", "graded.png", "--format", "all", "--title", "G", "--3dl-flavour", "lustre",
                 "--hald-level", "4", "--finetune", "0.3,0,0,0"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("Saved G.cube (16 points per axis)\nSaved G.3dl (33 points per "
                              "axis)\nSaved G.png (16 points per axis)\n"),
              std::string::npos)
        << result.out;
    GradeRecipe::Settings settings;
    settings.fineTune.temperature = 0.3f;
    const std::vector<path> files{cli / "graded.png"};
    const LUT3D kept = recipeGrade(Mode::hald, files, settings, 16).lut;
    EXPECT_GT(maxDifference(kept, LUT3D::build(16, warmGrade)), 0.01f);
    EXPECT_LE(maxDifference(LUTReader::read(cli / "G.cube").table(), kept), cubeTolerance);
    EXPECT_LE(maxDifference(LUTReader::read(cli / "G.png").table(), kept), 0.5f / 65535.0f + 1e-6f);
    EXPECT_LE(maxDifference(LUTReader::read(cli / "G.3dl").table(),
                            recipeGrade(Mode::hald, files, settings, 33).lut),
              threeDLTolerance);

    const CliResult sized = cli.run({"hald", "graded.png", "-o", "s.cube", "--size", "17"});
    ASSERT_EQ(sized.status, 0) << sized.err;
    EXPECT_NE(sized.out.find("Saved s.cube (17 points per axis)"), std::string::npos);
    EXPECT_EQ(LUTReader::read(cli / "s.cube").table().size(), 17);
}

TEST(CliChart, WritesThe8BitTestChart)
{
    CliRunner cli;
    ASSERT_EQ(cli.run({"chart", "chart.png"}).status, 0);
    EXPECT_EQ(header(cli / "chart.png").format(), VIPS_FORMAT_UCHAR);
    EXPECT_EQ(
        Packing::makeImage8(ImageLoader::loadExact(cli / "chart.png")),
        Packing::makeImage8(TestChart::make(GradeRecipe::chartWidth, GradeRecipe::chartHeight)));
}

// ---- Analyses as JSON --------------------------------------------------------------------------

TEST(CliAnalyse, LookHoldsEveryFieldWithinItsRange)
{
    CliRunner cli;
    const nlohmann::json json =
        parsed(cli.run({"analyse", "look", CliRunner::sample("coffee.png").string()}));
    EXPECT_EQ(json["image"], "coffee");
    EXPECT_TRUE(json["summary"].is_string());
    const nlohmann::json& look = json["analysis"];
    expectInRange(look["blackLevel"], 0, 0.4, "blackLevel");
    expectInRange(look["whiteLevel"], 0.6, 1, "whiteLevel");
    expectInRange(look["contrast"], 0.9, 1.15, "contrast");
    expectInRange(look["saturation"], 0, 1, "saturation");
    ASSERT_EQ(look["tints"].size(), 12u);
    for (const auto& tint : look["tints"])
        EXPECT_LE(std::hypot(tint["a"].get<double>(), tint["b"].get<double>()), 0.0601);
    ASSERT_LE(look["palette"].size(), 6u);
    ASSERT_GE(look["palette"].size(), 1u);
    for (const auto& colour : look["palette"]) {
        expectInRange(colour["weight"], 0.04, 1, "weight");
        expectInRange(colour["pullHue"], -M_PI, M_PI, "pullHue");
        for (const char* channel : {"r", "g", "b"})
            expectInRange(colour["srgb"][channel], 0, 1, channel);
    }
}

TEST(CliAnalyse, MatchHoldsTheCurvesAndSixBands)
{
    CliRunner cli;
    const nlohmann::json json =
        parsed(cli.run({"analyse", "match", CliRunner::sample("chelsea.png").string(),
                        CliRunner::sample("coffee.png").string()}));
    EXPECT_EQ(json["summary"], "Matching \u201Cchelsea\u201D to \u201Ccoffee\u201D");
    const nlohmann::json& match = json["analysis"];
    for (const char* curve : {"toneMap", "sourceRank"}) {
        ASSERT_EQ(match[curve].size(), 1024u) << curve;
        for (const auto& value : match[curve])
            expectInRange(value, 0, 1, curve);
    }
    ASSERT_EQ(match["bands"].size(), 6u);
    for (const auto& band : match["bands"]) {
        EXPECT_TRUE(band["sourceMean"].contains("a"));
        EXPECT_TRUE(band["referenceMean"].contains("b"));
        EXPECT_TRUE(band["matrix"].contains("m01"));
    }
}

TEST(CliAnalyse, EditOfAnUnchangedPhotoIsExcellent)
{
    CliRunner cli;
    const std::string photo = CliRunner::sample("chelsea.png").string();
    const nlohmann::json json =
        parsed(cli.run({"analyse", "edit", photo, photo, "--smoothing", "0.05"}));
    EXPECT_EQ(json["smoothness"], 0.05);
    const nlohmann::json& edit = json["analysis"];
    expectInRange(edit["rmsError"], 0, 1.5, "rmsError");
    expectInRange(edit["coverage"], 0.01, 1, "coverage");
    EXPECT_GT(edit["sampleCount"].get<std::int64_t>(), 100000);
    EXPECT_EQ(edit["verdict"], "excellent");
    EXPECT_EQ(json["summary"].get<std::string>().rfind("Fit error ", 0), 0u);
    EXPECT_EQ(edit["followsOverallEdit"], false);
    const nlohmann::json extended =
        parsed(cli.run({"analyse", "edit", photo, photo, "--smoothing", "0.05", "--extend"}));
    EXPECT_EQ(extended["analysis"]["followsOverallEdit"], true);
}

// ---- Applying, converting, describing ----------------------------------------------------------

TEST(CliApply, AnIdentityLUTLeavesAn8BitImageUnchangedAndTagsItSRGB)
{
    CliRunner cli;
    ImageLoader::writePNG(noise(61, 37, 1), cli / "noise.png", false);
    LUTWriter::write(LUT3D::identity(33), LUTFormat::cube, "Identity", cli / "identity.cube");
    const CliResult result = cli.run({"apply", "identity.cube", "noise.png", "-o", "out.png"});
    ASSERT_EQ(result.status, 0) << result.err;
    const VImage written = header(cli / "out.png");
    EXPECT_EQ(written.format(), VIPS_FORMAT_UCHAR);
    EXPECT_NE(written.get_typeof(VIPS_META_ICC_NAME), 0u);
    EXPECT_EQ(ImageLoader::loadExact(cli / "out.png").pixels(),
              ImageLoader::loadExact(cli / "noise.png").pixels());
}

TEST(CliApply, SixteenBitInputGivesSixteenBitOutput)
{
    CliRunner cli;
    const PixelBuffer deep = noise(40, 30, 2);
    ImageLoader::writePNG(deep, cli / "deep.png", true);
    LUTWriter::write(LUT3D::identity(17), LUTFormat::cube, "", cli / "identity.cube");
    ASSERT_EQ(cli.run({"apply", "identity.cube", "deep.png", "-o", "out.tif"}).status, 0);
    EXPECT_EQ(header(cli / "out.tif").format(), VIPS_FORMAT_USHORT);
    const PixelBuffer read = ImageLoader::loadExact(cli / "out.tif");
    const PixelBuffer stored = ImageLoader::loadExact(cli / "deep.png");
    for (std::size_t i = 0; i < read.pixels().size(); ++i)
        ASSERT_NEAR(read.pixels()[i].g, stored.pixels()[i].g, 1.5f / 65535.0f) << i;
}

// A DNG used to be read as its sensor mosaic (a dark grey-green image) and graded as such.
TEST(CliApply, ACameraRawPhotoIsDevelopedAndKeepsSixteenBits)
{
    CliRunner cli;
    fixtures::DngScene scene;
    scene.width = 40;
    scene.height = 30;
    scene.neutral = {0.5, 1.0, 0.75};
    scene.colour = [](int, int y) {
        return y < 15 ? std::array<double, 3>{0.18, 0.18, 0.18}
                      : std::array<double, 3>{0.5, 0.1, 0.05};
    };
    fixtures::writeDng(cli / "photo.dng", scene);
    LUTWriter::write(LUT3D::identity(17), LUTFormat::cube, "", cli / "identity.cube");
    const CliResult result = cli.run({"apply", "identity.cube", "photo.dng", "-o", "out.tif"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(header(cli / "out.tif").format(), VIPS_FORMAT_USHORT);
    const PixelBuffer out = ImageLoader::loadExact(cli / "out.tif");
    ASSERT_EQ(out.width(), 40);
    const auto expectColour = [&](std::int64_t y, const std::array<double, 3>& linear) {
        const RGB pixel = out(20, y);
        EXPECT_NEAR(pixel.r, fixtures::srgbEncoded(linear[0]), 3.0 / 255.0);
        EXPECT_NEAR(pixel.g, fixtures::srgbEncoded(linear[1]), 3.0 / 255.0);
        EXPECT_NEAR(pixel.b, fixtures::srgbEncoded(linear[2]), 3.0 / 255.0);
    };
    expectColour(7, {0.18, 0.18, 0.18});
    expectColour(22, {0.5, 0.1, 0.05});
    EXPECT_EQ(cli.run({"analyse", "look", "photo.dng"}).status, 0);
}

TEST(CliApply, ManyImagesGoToAFolderGradedLikeThePreview)
{
    CliRunner cli;
    const LUT3D lut = LUT3D::build(33, warmGrade);
    LUTWriter::write(lut, LUTFormat::cube, "Warm", cli / "warm.cube");
    const path coffee = CliRunner::sample("coffee.png");
    const CliResult result =
        cli.run({"apply", "warm.cube", coffee.string(), CliRunner::sample("chelsea.png").string(),
                 CliRunner::sample("astronaut.png").string(), "--out-dir", "graded/out"});
    ASSERT_EQ(result.status, 0) << result.err;
    for (const char* name : {"coffee.png", "chelsea.png", "astronaut.png"})
        EXPECT_TRUE(std::filesystem::exists(cli / "graded/out" / name)) << name;
    // Exactly the renderer on the photo as the app loads it, at full size.
    const LUT3D read = LUTReader::read(cli / "warm.cube").table();
    const Image8 expected = PreviewRenderer().render(
        GradeRecipe::load(GradeRecipe::Slot::preview, coffee).image.image(), read);
    EXPECT_EQ(Packing::makeImage8(ImageLoader::loadExact(cli / "graded/out/coffee.png")), expected);
}

// Every path apply takes (8-bit through the renderer, 16-bit and curves a pixel at a time) looks
// the table up as chosen and keeps the chosen share of the LUT's change.
TEST(CliApply, InterpolationAndStrengthReachEveryPath)
{
    CliRunner cli;
    // Channels that mix, so that the two interpolations part (on a per-channel grade they agree).
    const LUT3D lut = LUT3D::build(9, [](const RGB& c) {
        const float least = std::min({c.r, c.g, c.b});
        return warmGrade(c) + (c - RGB{least, least, least}) * 0.4f;
    });
    LUTWriter::write(lut, LUTFormat::cube, "Warm", cli / "warm.cube");
    std::vector<RGB> curve;
    for (int i = 0; i < 16; ++i)
        curve.push_back(RGB{1, 1, 1} * std::sqrt(static_cast<float>(i) / 15.0f));
    LUTWriter::writeCube(LUTStack(LUT1D(16, curve), lut), "Shaper", cli / "shaper.cube");
    const PixelBuffer photo = noise(37, 23, 9);
    ImageLoader::writePNG(photo, cli / "photo.png", false);
    ImageLoader::writePNG(photo, cli / "deep.png", true);
    const PixelBuffer stored8 = ImageLoader::loadExact(cli / "photo.png");
    const PixelBuffer stored16 = ImageLoader::loadExact(cli / "deep.png");
    // Samples as levels of the given depth.
    const auto levels = [](const std::vector<RGB>& pixels, float top) {
        std::vector<long> out;
        for (const RGB& c : pixels)
            for (const float v : {c.r, c.g, c.b})
                out.push_back(std::lround(v * top));
        return out;
    };
    // What each output must hold: the stack's lookup, blended, quantised to the output's depth.
    const auto expected = [](const LUTStack& stack, const PixelBuffer& in, float top) {
        std::vector<long> out;
        for (const RGB& c : in.pixels()) {
            const RGB v = stack.apply(c, Interpolation::tetrahedral);
            for (const float x : {v.r, v.g, v.b})
                out.push_back(Packing::quantized(x, top));
        }
        return out;
    };
    const auto graded = [&](const std::string& lutFile, const std::string& input,
                            const std::string& output, const std::string& strength, float top) {
        const CliResult result = cli.run({"apply", lutFile, input, "-o", output, "--interpolation",
                                          "tetrahedral", "--strength", strength});
        EXPECT_EQ(result.status, 0) << result.err;
        return levels(ImageLoader::loadExact(cli / output).pixels(), top);
    };
    for (const float s : {0.0f, 0.4f, 1.0f, 1.5f}) {
        SCOPED_TRACE(s);
        const std::string strength = numberText(s);
        const LUTStack table = LUTStack(LUTReader::read(cli / "warm.cube").table()).withStrength(s);
        const LUTStack shaped = LUTReader::read(cli / "shaper.cube").withStrength(s);
        // The renderer's kernels, which expected() cross-checks against the table's own lookup.
        const Image8 rendered = PreviewRenderer().render(Packing::makeImage8(stored8),
                                                         table.table(), Interpolation::tetrahedral);
        std::vector<long> renderedLevels;
        for (std::size_t i = 0; i < rendered.samples().size(); ++i)
            if (i % 4 != 3)
                renderedLevels.push_back(rendered.samples()[i]);
        EXPECT_EQ(graded("warm.cube", "photo.png", "table.png", strength, 255), renderedLevels);
        EXPECT_EQ(renderedLevels, expected(table, stored8, 255));
        EXPECT_EQ(graded("warm.cube", "deep.png", "deep.tif", strength, 65535),
                  expected(table, stored16, 65535));
        EXPECT_EQ(graded("shaper.cube", "photo.png", "shaped.png", strength, 255),
                  expected(shaped, stored8, 255));
    }
    // Strength 0 leaves the photo as it was; the tetrahedral lookup is not the trilinear one.
    EXPECT_EQ(graded("warm.cube", "photo.png", "none.png", "0", 255),
              levels(stored8.pixels(), 255));
    ASSERT_EQ(cli.run({"apply", "warm.cube", "photo.png", "-o", "tri.png"}).status, 0);
    EXPECT_NE(levels(ImageLoader::loadExact(cli / "tri.png").pixels(), 255),
              graded("warm.cube", "photo.png", "tetra.png", "1", 255));
}

TEST(CliConvert, TextAndHaldFormatsRoundTrip)
{
    CliRunner cli;
    const LUT3D lut = LUT3D::build(17, warmGrade);
    LUTWriter::write(lut, LUTFormat::cube, "Warm grade", cli / "warm.cube");

    ASSERT_EQ(cli.run({"convert", "warm.cube", "-o", "warm.3dl"}).status, 0);
    ASSERT_EQ(cli.run({"convert", "warm.3dl", "-o", "back.cube", "--title", "Back"}).status, 0);
    const auto back = LUTReader::cube(FileIO::readAll(cli / "back.cube"));
    EXPECT_EQ(back.title, "Back");
    EXPECT_LE(maxDifference(back.lut.table(), lut), threeDLTolerance + cubeTolerance);

    ASSERT_EQ(cli.run({"convert", "warm.cube", "-o", "warm.png"}).status, 0);
    ASSERT_EQ(cli.run({"convert", "warm.png", "-o", "again.cube", "--size", "17"}).status, 0);
    EXPECT_LE(maxDifference(LUTReader::read(cli / "again.cube").table(), lut), 2e-3f);

    // Any HALD level: the table resampled to level² points, in 16 bits.
    for (const int level : {2, 5, 9}) {
        SCOPED_TRACE(level);
        ASSERT_EQ(cli.run({"convert", "warm.cube", "-o", "level.png", "--hald-level",
                           std::to_string(level)})
                      .status,
                  0);
        EXPECT_EQ(header(cli / "level.png").width(), level * level * level);
        const LUT3D hald = LUTReader::read(cli / "level.png").table();
        EXPECT_LE(maxDifference(hald, lut.resampled(level * level)), 0.5f / 65535.0f + 1e-6f);
    }

    ASSERT_EQ(cli.run({"convert", "warm.cube", "-o", "small.cube", "--size", "9"}).status, 0);
    const auto small = LUTReader::cube(FileIO::readAll(cli / "small.cube"));
    EXPECT_EQ(small.lut.table().size(), 9);
    EXPECT_EQ(small.title, "Warm grade");
}

// Halves every input of 0 … 2: linear, so trilinear lookups are exact. Read as if it spanned
// 0 … 1, it would leave photos unchanged.
std::string halvingCube()
{
    std::string text = "TITLE \"Half\"\nLUT_3D_SIZE 3\nDOMAIN_MIN 0 0 0\nDOMAIN_MAX 2 2 2\n";
    for (int b = 0; b < 3; ++b) {
        for (int g = 0; g < 3; ++g) {
            for (int r = 0; r < 3; ++r)
                text += std::to_string(r * 0.5) + " " + std::to_string(g * 0.5) + " " +
                        std::to_string(b * 0.5) + "\n";
        }
    }
    return text;
}

TEST(CliDomains, ApplyConvertAndInfoHonourTheDomainOfACube)
{
    CliRunner cli;
    FileIO::writeAtomically(cli / "half.cube", halvingCube());
    ImageLoader::writePNG(noise(40, 30, 3), cli / "noise.png", false);
    ASSERT_EQ(cli.run({"apply", "half.cube", "noise.png", "-o", "out.png"}).status, 0);
    // The .3dl holds the table resampled onto 0 … 1: the same halving.
    ASSERT_EQ(cli.run({"convert", "half.cube", "-o", "half.3dl"}).status, 0);
    ASSERT_EQ(cli.run({"apply", "half.3dl", "noise.png", "-o", "out3dl.png"}).status, 0);
    const PixelBuffer in = ImageLoader::loadExact(cli / "noise.png");
    for (const char* name : {"out.png", "out3dl.png"}) {
        const PixelBuffer out = ImageLoader::loadExact(cli / name);
        for (std::size_t i = 0; i < in.pixels().size(); i += 7) {
            ASSERT_NEAR(out.pixels()[i].r * 255.0f, in.pixels()[i].r * 255.0f / 2.0f, 0.51f)
                << name << " pixel " << i;
        }
    }
    // A converted .cube keeps the domain, so it means what the original meant.
    ASSERT_EQ(cli.run({"convert", "half.cube", "-o", "copy.cube"}).status, 0);
    const std::string copy = FileIO::readAll(cli / "copy.cube");
    EXPECT_NE(copy.find("DOMAIN_MAX 2.0 2.0 2.0"), std::string::npos) << copy;
    EXPECT_EQ(LUTReader::cube(copy).lut, LUTReader::cube(halvingCube()).lut);
    const CliResult info = cli.run({"info", "half.cube"});
    EXPECT_NE(info.out.find("Format: .cube, 3D table\nSize: 3 points per axis\nDomain: 0 to 2\n"),
              std::string::npos)
        << info.out;
    EXPECT_NE(info.out.find("white     1.0000 1.0000 1.0000 -> 0.5000 0.5000 0.5000"),
              std::string::npos);
}

// Tables whose domain does not cover a photo's code values, or whose entries leave 0 … 1: the
// strength still blends each pixel with its own value, so 0 is the photo itself, and info says
// what the clamping at the domain's edges does.
struct UncoveringTable {
    const char* name;
    LUTDomain domain;
    RGB (*entry)(const RGB&);  // of the input, not of the lattice place
    const char* clamped;       // info's line, or "" when 0 … 1 lies inside the domain
    float largestChange;
};

const UncoveringTable uncoveringTables[] = {
    {"narrow", LUTDomain::uniform(0.0f, 0.5f), [](const RGB& c) { return c; },
     "Clamped: inputs outside the domain are clamped to its edges, so black is looked up as 0 0 0 "
     "and white as 0.5 0.5 0.5\n",
     0.5f},
    {"offset",
     {{0.25f, 0.0f, 0.0f}, {1.0f, 0.75f, 1.0f}},
     [](const RGB& c) { return c; },
     "so black is looked up as 0.25 0 0 and white as 1 0.75 1\n",
     0.25f},
    {"out-of-range", LUTDomain::uniform(0.0f, 1.0f),
     [](const RGB& c) {
         return RGB{c.r * 2.0f - 0.5f, 1.5f, c.b};
     },
     "", 1.5f},
};

TEST(CliDomains, StrengthZeroIsThePhotoAndInfoSaysWhereInputsAreClamped)
{
    CliRunner cli;
    ImageLoader::writePNG(noise(40, 30, 5), cli / "photo.png", false);
    const PixelBuffer photo = ImageLoader::loadExact(cli / "photo.png");
    for (const UncoveringTable& table : uncoveringTables) {
        SCOPED_TRACE(table.name);
        const std::string file = std::string(table.name) + ".cube";
        const LUT3D lut = LUT3D::buildUnclamped(
            5, [&](const RGB& place) { return table.entry(table.domain.at(place)); }, table.domain);
        LUTWriter::writeCube(LUTStack(lut), table.name, cli / file);
        for (const char* interpolation : {"trilinear", "tetrahedral"}) {
            const CliResult applied =
                cli.run({"apply", file, "photo.png", "-o", "none.png", "--strength", "0",
                         "--interpolation", interpolation});
            ASSERT_EQ(applied.status, 0) << applied.err;
            EXPECT_TRUE(ImageLoader::loadExact(cli / "none.png").pixels() == photo.pixels());
        }
        const CliResult info = cli.run({"info", file});
        ASSERT_EQ(info.status, 0) << info.err;
        if (*table.clamped == '\0')
            EXPECT_EQ(info.out.find("Clamped:"), std::string::npos) << info.out;
        else
            EXPECT_NE(info.out.find(table.clamped), std::string::npos) << info.out;
        char change[64];
        std::snprintf(change, sizeof change, "Largest change from identity: %.6f\n",
                      static_cast<double>(table.largestChange));
        EXPECT_NE(info.out.find(change), std::string::npos) << info.out;
    }
}

TEST(CliDomains, ShaperFilesStayShapersInCubeAndAreBakedWithAWarningElsewhere)
{
    CliRunner cli;
    // Curves squaring −1 … 3 onto 0 … 1, then a table scaling by 2: out = 2 × ((x + 1) / 4)².
    std::string text = "LUT_1D_SIZE 65\nLUT_1D_INPUT_RANGE -1 3\nLUT_3D_SIZE 2\n";
    for (int i = 0; i <= 64; ++i) {
        const double t = i / 64.0;
        text += std::to_string(t * t) + " " + std::to_string(t * t) + " " + std::to_string(t * t) +
                "\n";
    }
    for (int b = 0; b < 2; ++b) {
        for (int g = 0; g < 2; ++g) {
            for (int r = 0; r < 2; ++r)
                text += std::to_string(2 * r) + " " + std::to_string(2 * g) + " " +
                        std::to_string(2 * b) + "\n";
        }
    }
    FileIO::writeAtomically(cli / "log.cube", text);
    ASSERT_EQ(cli.run({"convert", "log.cube", "-o", "copy.cube"}).status, 0);
    EXPECT_EQ(LUTReader::cube(FileIO::readAll(cli / "copy.cube")).lut, LUTReader::cube(text).lut);
    const CliResult baked = cli.run({"convert", "log.cube", "-o", "log.3dl"});
    ASSERT_EQ(baked.status, 0);
    EXPECT_NE(baked.err.find("baked"), std::string::npos) << baked.err;
    // Input 0.6: (1.6 / 4)² × 2 = 0.32, within the bake's lattice error.
    EXPECT_NEAR(LUTReader::read(cli / "log.3dl").table().sample({0.6f, 0.6f, 0.6f}).r, 0.32f,
                0.01f);
    const CliResult info = cli.run({"info", "log.cube"});
    EXPECT_NE(info.out.find("Format: .cube, 1D shaper then 3D table\n1D curves: 65 points per "
                            "channel, inputs -1 to 3\n"),
              std::string::npos)
        << info.out;
    EXPECT_NE(info.out.find("Grey axis: monotone in every channel"), std::string::npos);
    EXPECT_NE(info.out.find("Output range: 0 to 2 (beyond 0 to 1"), std::string::npos);
}

// "All three formats" changes none of the files when one of them may not be replaced, and says
// which one.
TEST(CliExport, OneReadOnlyFileKeepsAllThreeFormatsAsTheyWere)
{
    CliRunner cli;
    FileIO::writeAtomically(cli / "Look.cube", "the user's cube");
    FileIO::writeAtomically(cli / "Look.3dl", "the user's 3dl");
    std::filesystem::permissions(cli / "Look.3dl", std::filesystem::perms::owner_read |
                                                       std::filesystem::perms::group_read);
    const CliResult result = cli.run(
        {"look", CliRunner::sample("coffee.png").string(), "-o", "Look", "--format", "all"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("Couldn\u2019t save the LUT: \u201CLook.3dl\u201D is read-only."),
              std::string::npos)
        << result.err;
    EXPECT_EQ(result.out.find("Saved"), std::string::npos) << result.out;
    EXPECT_EQ(FileIO::readAll(cli / "Look.cube"), "the user's cube");
    EXPECT_EQ(FileIO::readAll(cli / "Look.3dl"), "the user's 3dl");
    EXPECT_EQ(cli.entries(), (std::vector<std::string>{"Look.3dl", "Look.cube"}));
}

// A dark grade (every output below 0.2) in our .3dl and, without our first comment line, in a
// foreign one: only the foreign file's depth is a guess, and each command says so once.
TEST(CliThreeDL, DarkForeignFilesWarnOnceAndOurOwnReadBackRight)
{
    CliRunner cli;
    const LUT3D dark = LUT3D::build(9, [](const RGB& c) { return warmGrade(c) * 0.2f; });
    const std::string ours = LUTWriter::threeDL(dark);
    FileIO::writeAtomically(cli / "ours.3dl", ours);
    FileIO::writeAtomically(cli / "foreign.3dl", ours.substr(LUTWriter::commentLine().size()));
    ImageLoader::writePNG(noise(8, 8, 3), cli / "photo.png", false);
    const std::string warning = "Warning: \u201Cforeign.3dl\u201D declares no output depth and "
                                "its values stay below 1024, so they were read as 10-bit; a dark "
                                "12-bit grade would come out four times too bright.\n";
    for (const std::string name : {"ours", "foreign"}) {
        SCOPED_TRACE(name);
        const std::vector<std::vector<std::string>> runs = {
            {"info", name + ".3dl"},
            {"convert", name + ".3dl", "-o", name + ".cube"},
            {"apply", name + ".3dl", "photo.png", "-o", name + ".png"}};
        for (const std::vector<std::string>& arguments : runs) {
            const CliResult result = cli.run(arguments);
            ASSERT_EQ(result.status, 0) << result.err;
            // apply always closes with its summary.
            const std::string summary =
                arguments[0] == "apply" ? "Applied the LUT to 1 of 1 image.\n" : "";
            EXPECT_EQ(result.err, (name == "ours" ? "" : warning) + summary) << arguments[0];
        }
    }
    EXPECT_LE(maxDifference(LUTReader::read(cli / "ours.cube").table(), dark),
              threeDLTolerance + cubeTolerance);
    // The foreign copy is read as 10-bit, as other readers do: about four times as bright.
    const LUT3D foreign = LUTReader::read(cli / "foreign.cube").table();
    EXPECT_NEAR(foreign(8, 8, 8).g, dark(8, 8, 8).g * 4095.0f / 1023.0f, 2e-3f);
}

TEST(CliThreeDL, TablesOverTheSizeLimitAreNeitherReadNorWritten)
{
    CliRunner cli;
    std::string shaper;
    for (int i = 0; i < 257; ++i)
        shaper += std::to_string(i * 4) + " ";
    FileIO::writeAtomically(cli / "huge.3dl", shaper + "\n0 0 0\n");
    const CliResult result = cli.run({"convert", "huge.3dl", "-o", "huge.cube"});
    EXPECT_EQ(result.status, 1);
    // A long even ramp is a finer shaper; the one entry then fills no table.
    EXPECT_EQ(result.err, "Couldn\u2019t read the LUT: huge.3dl: found 1 entries, which fill no "
                          "table of 2 to 256 points per axis.\n");
    EXPECT_FALSE(std::filesystem::exists(cli / "huge.cube"));
    LUTWriter::write(LUT3D::identity(2), LUTFormat::cube, "Small", cli / "small.cube");
    const CliResult tooLarge = cli.run({"convert", "small.cube", "-o", "x.3dl", "--size", "257"});
    EXPECT_EQ(tooLarge.status, 2);
    EXPECT_NE(tooLarge.err.find("--size must lie between 2 and 256"), std::string::npos);
}

TEST(CliInfo, DescribesSizeTitleAndMappings)
{
    CliRunner cli;
    LUTWriter::write(LUT3D::identity(5), LUTFormat::cube, "Plain", cli / "plain.cube");
    const CliResult result = cli.run({"info", "plain.cube"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("Size: 5 points per axis"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("Title: Plain"), std::string::npos);
    EXPECT_NE(result.out.find("Largest change from identity: 0.000000"), std::string::npos);
    EXPECT_NE(result.out.find("white     1.0000 1.0000 1.0000 -> 1.0000 1.0000 1.0000"),
              std::string::npos);
}

// How many times the file was opened while the command ran.
int opensDuring(const path& file, const std::function<void()>& command)
{
    const int watcher = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    EXPECT_GE(watcher, 0);
    // Closes are watched too: the kernel merges an event into an identical one still queued.
    EXPECT_GE(::inotify_add_watch(watcher, file.c_str(), IN_OPEN | IN_CLOSE), 0);
    command();
    int opens = 0;
    alignas(inotify_event) char events[4096];
    for (ssize_t count = 0; (count = ::read(watcher, events, sizeof events)) > 0;) {
        for (ssize_t at = 0; at < count;) {
            const auto* event = reinterpret_cast<const inotify_event*>(events + at);
            opens += (event->mask & IN_OPEN) != 0 ? 1 : 0;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    ::close(watcher);
    return opens;
}

// A large text is read once for its table and its title alike.
TEST(CliInfo, InfoAndConvertReadTheFileOnce)
{
    CliRunner cli;
    LUTWriter::write(LUT3D::build(17, warmGrade), LUTFormat::cube, "Warm", cli / "warm.cube");
    for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
             {"info", "warm.cube"}, {"convert", "warm.cube", "-o", "warm.3dl"}}) {
        CliResult result;
        EXPECT_EQ(opensDuring(cli / "warm.cube", [&] { result = cli.run(arguments); }), 1)
            << arguments[0];
        EXPECT_EQ(result.status, 0) << result.err;
    }
    EXPECT_EQ(LUTReader::read(cli / "warm.3dl").table().size(), 17);
}

// ---- Failures: exit status, the message, and nothing half-written ------------------------------

struct FailureCase {
    const char* name;
    std::vector<std::string> arguments;  // "@coffee" stands for that sample's path
    int status;
    std::string message;  // expected on standard error
};

class CliFailures : public ::testing::TestWithParam<FailureCase> {};

TEST_P(CliFailures, ExitWithTheMessageAndLeaveNoFileBehind)
{
    const FailureCase& c = GetParam();
    CliRunner cli;
    FileIO::writeAtomically(cli / "bad.cube", "LUT_3D_SIZE 2\n0 0 0\n1 x 0\n");
    LUTWriter::write(LUT3D::identity(2), LUTFormat::cube, "", cli / "good.cube");
    std::vector<std::string> arguments;
    for (const std::string& argument : c.arguments) {
        arguments.push_back(argument.starts_with("@")
                                ? CliRunner::sample(argument.substr(1) + ".png").string()
                                : argument);
    }
    const CliResult result = cli.run(arguments);
    EXPECT_EQ(result.status, c.status) << result.err;
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("terminate"), std::string::npos);
    EXPECT_EQ(cli.entries(), (std::vector<std::string>{"bad.cube", "good.cube"}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliFailures,
    ::testing::Values(
        FailureCase{
            "MissingImage",
            {"look", "missing.jpg", "-o", "x.cube"},
            1,
            "Couldn\u2019t open the image: \u201Cmissing.jpg\u201D could not be opened as an "
            "image."},
        FailureCase{"NotAHald", {"hald", "@coffee", "-o", "x.cube"}, 1, "is not a HALD CLUT"},
        FailureCase{
            "MalformedCube",
            {"apply", "bad.cube", "@coffee", "-o", "x.png"},
            1,
            "Couldn\u2019t read the LUT: bad.cube, line 3: unexpected line \u201C1 x 0\u201D."},
        FailureCase{"UnwritableLUT",
                    {"identity-hald", "missing/x.png"},
                    1,
                    "Couldn\u2019t save the HALD image: \u201Cx.png\u201D"},
        FailureCase{"UnwritableImage",
                    {"apply", "good.cube", "@chelsea", "-o", "good.cube/x.png"},
                    1,
                    "Couldn\u2019t save the image: \u201Cx.png\u201D could not be saved in "
                    "\u201Cgood.cube\u201D: not a directory."},
        FailureCase{"UnwritableConvert",
                    {"convert", "good.cube", "-o", "missing/x.3dl"},
                    1,
                    "Couldn\u2019t save the LUT: \u201Cx.3dl\u201D could not be saved"},
        FailureCase{"DifferentShapes",
                    {"edit", "@chelsea", "@astronaut", "-o", "x.cube"},
                    1,
                    "Couldn\u2019t analyse the images: The before and after images have different "
                    "shapes."},
        FailureCase{"UnknownGamutMapping",
                    {"look", "@coffee", "--gamut", "bogus"},
                    2,
                    "--gamut: bogus not in {preserve-lightness,smooth}"},
        FailureCase{"NoCommand", {}, 2, "A subcommand is required"},
        FailureCase{"UnknownCommand",
                    {"lok", "@coffee"},
                    2,
                    "unknown command 'lok'; did you mean 'look'?\nRun with --help"},
        FailureCase{"UnknownCommandFarFromAll",
                    {"paint", "@coffee"},
                    2,
                    "unknown command 'paint'\nRun with --help"},
        FailureCase{"UnknownAnalysis",
                    {"analyse", "mach", "@chelsea", "@coffee"},
                    2,
                    "unknown command 'mach'; did you mean 'match'?"},
        FailureCase{"NonFiniteIntensity",
                    {"look", "@coffee", "--intensity", "nan"},
                    2,
                    "The values of --intensity must be finite numbers."},
        FailureCase{"UnknownLUTExtension",
                    {"look", "@coffee", "-o", "x.txt"},
                    2,
                    "needs the extension .cube, .3dl, .png, .clf, .csp, .spi3d or .icc"},
        FailureCase{"UnknownImageExtension",
                    {"apply", "good.cube", "@coffee", "-o", "x.bmp"},
                    2,
                    "needs the extension .png, .jpg, .tif or .webp"},
        FailureCase{"ExportSize", {"look", "@coffee", "--size", "20"}, 2, "--size"},
        FailureCase{"FineTuneCount", {"look", "@coffee", "--finetune", "1,2,3"}, 2, "--finetune"},
        FailureCase{"SeveralImagesOneOutput",
                    {"apply", "good.cube", "@coffee", "@chelsea", "-o", "x.png"},
                    2,
                    "--out-dir"},
        FailureCase{"NoOutput", {"apply", "good.cube", "@coffee"}, 2, "Name the output"},
        FailureCase{"ConvertSize",
                    {"convert", "good.cube", "-o", "bad.cube", "--size", "1"},
                    2,
                    "--size must lie between 2 and 256"},
        FailureCase{"HaldLevel",
                    {"look", "@coffee", "--format", "all", "--hald-level", "17"},
                    2,
                    "The --hald-level must lie between 2 and 16.\n"},
        FailureCase{
            "LustreSize",
            {"convert", "good.cube", "-o", "x.3dl", "--3dl-flavour", "lustre", "--size", "16"},
            2,
            "A Lustre .3dl holds 2, 3, 5, 9, 17, 33, 65 or 129 points per axis, not 16; "
            "choose one with --size.\n"},
        FailureCase{"UnknownInterpolation",
                    {"apply", "good.cube", "@coffee", "-o", "x.png", "--interpolation", "cubic"},
                    2,
                    "--interpolation: cubic not in {trilinear,tetrahedral}"},
        FailureCase{"UnknownFlavour",
                    {"convert", "good.cube", "-o", "x.3dl", "--3dl-flavour", "flame"},
                    2,
                    "--3dl-flavour: flame not in {plain,lustre}"},
        FailureCase{
            "ImageSpaceNotSceneLinear",
            {"apply", "good.cube", "@coffee", "-o", "x.png", "--image-space", "slog3-sgamut3"},
            2,
            "The --image-space is wrong. Float images hold scene-linear values, and "
            "\u201Cslog3-sgamut3\u201D is not a scene-linear colour space; choose "
            "linear-rec709 or acescg.\n"},
        FailureCase{"UnknownImageSpace",
                    {"apply", "good.cube", "@coffee", "-o", "x.png", "--image-space", "xyz"},
                    2,
                    "The --image-space is wrong. There is no colour space called \u201Cxyz\u201D"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CliRanges, EveryAdjustmentOutsideItsControlsRangeIsRefusedWithTheRange)
{
    struct RangeCase {
        std::vector<std::string> command;
        std::string option;
        GradeRecipe::Range range;
        std::size_t count;
    };
    const std::string coffee = CliRunner::sample("coffee.png").string();
    const std::vector<RangeCase> cases{
        {{"look", coffee}, "--intensity", GradeRecipe::intensityRange, 1},
        {{"hald", coffee}, "--finetune", GradeRecipe::fineTuneRange, 4},
        {{"look", coffee}, "--look-settings", GradeRecipe::strengthRange, 4},
        {{"match", coffee, coffee}, "--match-settings", GradeRecipe::strengthRange, 2},
        {{"edit", coffee, coffee}, "--smoothing", GradeRecipe::smoothingRange, 1},
        {{"analyse", "edit", coffee, coffee}, "--smoothing", GradeRecipe::smoothingRange, 1},
        {{"apply", "any.cube", coffee, "-o", "out.png"},
         "--strength",
         GradeRecipe::applyStrengthRange,
         1},
    };
    CliRunner cli;
    for (const RangeCase& c : cases) {
        const double step = (c.range.upper - c.range.lower) / 100;
        for (const double outside : {c.range.lower - step, c.range.upper + step}) {
            // The other values sit on the range's ends, which are allowed.
            std::string values;
            for (std::size_t i = 1; i < c.count; ++i)
                values += numberText(i % 2 ? c.range.upper : c.range.lower) + ",";
            values += numberText(outside);
            std::vector<std::string> arguments = c.command;
            arguments.insert(arguments.end(), {c.option, values});
            const CliResult result = cli.run(arguments);
            const std::string subject = c.count == 1 ? c.option : c.option + " values";
            EXPECT_EQ(result.status, 2) << c.option << " " << values;
            EXPECT_EQ(result.err, "The " + subject + " must lie between " +
                                      numberText(c.range.lower) + " and " +
                                      numberText(c.range.upper) +
                                      ".\nRun with --help for more information.\n");
        }
    }
    EXPECT_TRUE(cli.entries().empty());
}

TEST(CliRanges, TheEndsOfEveryRangeAreAllowed)
{
    const auto ends = [](const GradeRecipe::Range& range, std::size_t count) {
        std::string values;
        for (std::size_t i = 0; i < count; ++i)
            values += (i ? "," : "") + numberText(i % 2 ? range.upper : range.lower);
        return values;
    };
    CliRunner cli;
    const std::string coffee = CliRunner::sample("coffee.png").string();
    const CliResult look = cli.run({"look", coffee, "--size", "17", "--intensity",
                                    numberText(GradeRecipe::intensityRange.upper), "--finetune",
                                    ends(GradeRecipe::fineTuneRange, 4), "--look-settings",
                                    ends(GradeRecipe::strengthRange, 4)});
    EXPECT_EQ(look.status, 0) << look.err;
    const CliResult match = cli.run({"match", coffee, coffee, "--size", "17", "--intensity",
                                     numberText(GradeRecipe::intensityRange.lower),
                                     "--match-settings", ends(GradeRecipe::strengthRange, 2)});
    EXPECT_EQ(match.status, 0) << match.err;
    const std::string chelsea = CliRunner::sample("chelsea.png").string();
    for (const double smoothing :
         {GradeRecipe::smoothingRange.lower, GradeRecipe::smoothingRange.upper}) {
        const CliResult edit =
            cli.run({"analyse", "edit", chelsea, chelsea, "--smoothing", numberText(smoothing)});
        EXPECT_EQ(edit.status, 0) << edit.err;
    }
}

TEST(CliFailuresApply, OneUnreadableImageDoesNotStopTheOthers)
{
    CliRunner cli;
    LUTWriter::write(LUT3D::identity(2), LUTFormat::cube, "", cli / "id.cube");
    const CliResult result = cli.run({"apply", "id.cube", "missing.png",
                                      CliRunner::sample("chelsea.png").string(), "--out-dir", "o"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("\u201Cmissing.png\u201D could not be opened"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(cli / "o/chelsea.png"));
    EXPECT_FALSE(std::filesystem::exists(cli / "o/missing.png"));
}

// A batch goes on past every bad file, names them all in the closing summary and exits 1; how
// many files run at once changes no byte of the outputs.
TEST(CliFailuresApply, ABatchNamesEveryFailedFileWhateverTheParallelism)
{
    CliRunner cli;
    LUTWriter::write(LUT3D::build(17, warmGrade), LUTFormat::cube, "", cli / "warm.cube");
    for (unsigned seed = 0; seed < 5; ++seed) {
        ImageLoader::writePNG(noise(64 + 7 * seed, 40, seed),
                              cli / ("p" + std::to_string(seed) + ".png"), seed % 2 == 1);
    }
    std::string cut = FileIO::readAll(cli / "p1.png");
    cut.resize(cut.size() / 2);
    FileIO::writeAtomically(cli / "cut.png", cut);
    const std::vector<std::string> inputs = {"p0.png",      "cut.png", "p2.png",
                                             "missing.png", "p3.png",  "p4.png"};
    std::vector<std::vector<std::string>> outputs;
    for (const char* jobs : {"1", "3"}) {
        std::vector<std::string> arguments = {"apply", "warm.cube"};
        arguments.insert(arguments.end(), inputs.begin(), inputs.end());
        const std::string folder = std::string("out") + jobs;
        for (const char* option : {"--out-dir", folder.c_str(), "--jobs", jobs})
            arguments.emplace_back(option);
        const CliResult result = cli.run(arguments);
        EXPECT_EQ(result.status, 1);
        EXPECT_NE(result.err.find("Applied the LUT to 4 of 6 images; \u201Ccut.png\u201D, "
                                  "\u201Cmissing.png\u201D failed.\n"),
                  std::string::npos)
            << result.err;
        // Progress lines are for a terminal only.
        EXPECT_EQ(result.err.find("[1/6]"), std::string::npos) << result.err;
        std::vector<std::string> written;
        for (const char* name : {"p0.png", "p2.png", "p3.png", "p4.png"})
            written.push_back(FileIO::readAll(cli / folder / name));
        EXPECT_FALSE(std::filesystem::exists(cli / folder / "cut.png"));
        outputs.push_back(written);
    }
    EXPECT_EQ(outputs[0], outputs[1]);
}

TEST(CliApply, JPEGQualityIs92UnlessAsked)
{
    CliRunner cli;
    ImageLoader::writePNG(noise(96, 64, 9), cli / "photo.png", false);
    LUTWriter::write(LUT3D::build(9, warmGrade), LUTFormat::cube, "", cli / "warm.cube");
    const auto applied = [&](const std::vector<std::string>& extra, const std::string& name) {
        std::vector<std::string> arguments = {"apply", "warm.cube", "photo.png", "-o", name};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        const CliResult result = cli.run(arguments);
        EXPECT_EQ(result.status, 0) << result.err;
        return FileIO::readAll(cli / name);
    };
    const std::string byDefault = applied({}, "default.jpg");
    EXPECT_EQ(byDefault, applied({"--quality", "92"}, "q92.jpg"));
    EXPECT_LT(applied({"--quality", "40"}, "q40.jpg").size(), byDefault.size());
    EXPECT_GT(applied({"--quality", "100"}, "q100.jpg").size(), byDefault.size());
    for (const char* outside : {"0", "101"}) {
        EXPECT_EQ(cli.run({"apply", "warm.cube", "photo.png", "-o", "x.jpg", "--quality", outside})
                      .status,
                  2)
            << outside;
    }
}

TEST(CliFailuresApply, NeverReplacesItsOwnInput)
{
    CliRunner cli;
    ImageLoader::writePNG(noise(8, 8, 3), cli / "photo.png", false);
    const auto before = ImageLoader::loadExact(cli / "photo.png");
    LUTWriter::write(LUT3D::build(2, warmGrade), LUTFormat::cube, "", cli / "warm.cube");
    const CliResult result = cli.run({"apply", "warm.cube", "photo.png", "-o", "./photo.png"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("is an input and would be replaced"), std::string::npos)
        << result.err;
    EXPECT_EQ(ImageLoader::loadExact(cli / "photo.png"), before);
}

// Neither a conversion nor a graded image may land on the LUT it came from, under any spelling
// of its path (the same name, "./", a hard link).
TEST(CliFailuresLUT, ConvertAndApplyNeverReplaceTheirLUT)
{
    CliRunner cli;
    LUTWriter::write(LUT3D::build(65, warmGrade), LUTFormat::cube, "Warm", cli / "warm.cube");
    ASSERT_EQ(cli.run({"identity-hald", "hald.png", "--level", "4"}).status, 0);
    std::filesystem::create_hard_link(cli / "warm.cube", cli / "linked.cube");
    std::filesystem::create_hard_link(cli / "hald.png", cli / "hald-link.png");
    ImageLoader::writePNG(noise(8, 8, 3), cli / "photo.png", false);
    const std::string cube = FileIO::readAll(cli / "warm.cube");
    const auto hald = ImageLoader::loadExact(cli / "hald.png");
    for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
             {"convert", "warm.cube", "-o", "warm.cube", "--size", "17"},
             {"convert", "warm.cube", "-o", "./linked.cube"},
             {"convert", "hald.png", "-o", "hald.png", "--size", "9"},
             {"apply", "hald.png", "photo.png", "-o", "hald.png"},
             {"apply", "hald.png", "photo.png", "-o", "./hald-link.png"}}) {
        const CliResult result = cli.run(arguments);
        EXPECT_EQ(result.status, 1) << arguments[0] << " " << arguments[3];
        EXPECT_NE(result.err.find("would be replaced"), std::string::npos) << result.err;
    }
    EXPECT_EQ(FileIO::readAll(cli / "warm.cube"), cube);
    EXPECT_EQ(ImageLoader::loadExact(cli / "hald.png"), hald);
}

TEST(CliFailuresLUT, AllFormatsNeverReplaceTheGradedHaldTheyWereMadeFrom)
{
    CliRunner cli;
    ASSERT_EQ(cli.run({"identity-hald", "graded.png", "--level", "2"}).status, 0);
    const auto before = ImageLoader::loadExact(cli / "graded.png");
    const CliResult result = cli.run({"hald", "graded.png", "--format", "all", "-o", "graded"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("\u201Cgraded.png\u201D is an input and would be replaced"),
              std::string::npos)
        << result.err;
    EXPECT_EQ(ImageLoader::loadExact(cli / "graded.png"), before);
    EXPECT_EQ(cli.entries(), (std::vector<std::string>{"graded.png"}));
}

// A FIFO would block every reader, /dev/zero would fill memory and a huge file would be held in
// memory in full; each is refused at once. The time limit keeps a regression from hanging.
TEST(CliFailuresLUT, WhatCannotBeALUTIsRefusedAtOnce)
{
    CliRunner cli;
    ASSERT_EQ(::mkfifo((cli / "pipe.cube").c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", cli / "zero.3dl");
    std::ofstream(cli / "huge.cube");
    std::filesystem::resize_file(cli / "huge.cube", 1'000'000'000);
    ImageLoader::writePNG(noise(8, 8, 3), cli / "photo.png", false);
    const std::pair<std::string, std::string> cases[] = {
        {"pipe.cube", "\u201Cpipe.cube\u201D is not a regular file."},
        {"zero.3dl", "\u201Czero.3dl\u201D is not a regular file."},
        {"huge.cube", "\u201Chuge.cube\u201D is too large to be a LUT (1.0 GB)."},
    };
    for (const auto& [name, message] : cases) {
        for (const std::vector<std::string>& arguments :
             std::vector<std::vector<std::string>>{{"info", name},
                                                   {"convert", name, "-o", "out.cube"},
                                                   {"apply", name, "photo.png", "-o", "out.png"}}) {
            const CliResult result = cli.run(arguments, std::chrono::seconds(20));
            EXPECT_EQ(result.status, 1) << arguments[0] << " " << name;
            EXPECT_NE(result.err.find(message), std::string::npos) << result.err;
        }
    }
    EXPECT_FALSE(std::filesystem::exists(cli / "out.cube"));
    EXPECT_FALSE(std::filesystem::exists(cli / "out.png"));
}

TEST(CliHelp, VersionNamesTheProgramAndTheProjectsVersion)
{
    CliRunner cli;
    const CliResult result = cli.run({"--version"});
    EXPECT_EQ(result.status, 0);
    // The commit, when built from a checkout, follows; tests/packaging checks the whole line.
    EXPECT_TRUE(result.out.starts_with("lumivert-cli " LUMIVERT_VERSION)) << result.out;
}

TEST(CliHelp, ASlipOfTheKeyboardSuggestsTheCommandAndOtherWordsNothing)
{
    const std::vector<std::string> names{"look",  "match",   "edit", "hald",          "analyse",
                                         "apply", "convert", "info", "identity-hald", "chart"};
    for (const std::string& name : names) {
        for (std::size_t i = 0; i <= name.size(); ++i) {
            std::string inserted = name;
            inserted.insert(i, 1, 'q');
            EXPECT_EQ(Commands::suggestion(inserted, names), name) << inserted;
            if (i == name.size())
                continue;
            std::string dropped = name;
            dropped.erase(i, 1);
            EXPECT_EQ(Commands::suggestion(dropped, names), name) << dropped;
            std::string replaced = name;
            replaced[i] = 'q';
            EXPECT_EQ(Commands::suggestion(replaced, names), name) << replaced;
        }
    }
    EXPECT_EQ(Commands::suggestion("analyze", names), "analyse");
    EXPECT_EQ(Commands::suggestion("look", names), "look");
    for (const char* far : {"", "x", "lk", "paint", "identity", "mtach-all"})
        EXPECT_EQ(Commands::suggestion(far, names), std::nullopt) << far;
}

TEST(CliHelp, EveryCommandHasHelpWithExamples)
{
    CliRunner cli;
    for (const char* command : {"look", "match", "edit", "hald", "analyse", "apply", "convert",
                                "info", "identity-hald", "chart", "compare"}) {
        const CliResult result = cli.run({command, "--help"});
        EXPECT_EQ(result.status, 0) << command;
        EXPECT_NE(result.out.find("Examples:"), std::string::npos) << command;
    }
}

}  // namespace
}  // namespace lumivert
