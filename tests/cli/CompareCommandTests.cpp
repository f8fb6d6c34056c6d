#include "CliRunner.hpp"

#include "color/ColorDifference.hpp"
#include "imaging/HeatMap.hpp"
#include "imaging/ImageLoader.hpp"
#include "lut/LUTWriter.hpp"
#include "support/ExternalTool.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <random>

namespace lumivert {
namespace {

using testing::CliResult;
using testing::CliRunner;

PixelBuffer noise(std::int64_t width, std::int64_t height, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::vector<RGB> pixels(static_cast<std::size_t>(width * height));
    for (RGB& pixel : pixels)
        pixel = {unit(random), unit(random), unit(random)};
    return {width, height, std::move(pixels)};
}

RGB warmGrade(const RGB& c)
{
    return {std::pow(c.r, 0.8f) * 0.95f + 0.05f, std::pow(c.g, 0.9f), std::pow(c.b, 1.1f) * 0.9f};
}

nlohmann::json figures(const CliRunner& cli, const std::vector<std::string>& arguments,
                       const std::vector<std::string>& environment = {})
{
    std::vector<std::string> all{"compare"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    all.push_back("--json");
    const CliResult result = cli.runProgram(LUMIVERT_CLI_PATH, all, environment);
    EXPECT_EQ(result.status, 0) << result.err;
    return nlohmann::json::parse(result.out);
}

// A photo, the same photo graded directly by a function, and a 17-point LUT of that function.
struct GradedPair {
    explicit GradedPair(const CliRunner& cli)
    {
        const PixelBuffer photo =
            ImageLoader::loadFull(CliRunner::sample("coffee.png")).image.pixels();
        ImageLoader::writePNG(photo, cli / "before.png", false);
        std::vector<RGB> graded = photo.pixels();
        for (RGB& pixel : graded)
            pixel = warmGrade(pixel);
        ImageLoader::writePNG(PixelBuffer(photo.width(), photo.height(), std::move(graded)),
                              cli / "after.png", false);
        LUTWriter::writeCube(LUT3D::build(17, warmGrade), "Warm", cli / "warm.cube");
    }
};

TEST(CliCompare, AnImageAgainstItselfDiffersByNothing)
{
    CliRunner cli;
    const CliResult result =
        cli.run({"compare", CliRunner::sample("chelsea.png"), CliRunner::sample("chelsea.png")});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("(451 \u00D7 300 pixels)"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("RMS difference: 0.00 levels"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("\u0394E2000 95th percentile: 0.00"), std::string::npos);
    const nlohmann::json same =
        figures(cli, {CliRunner::sample("chelsea.png"), CliRunner::sample("chelsea.png")});
    EXPECT_EQ(same["width"], 451);
    EXPECT_EQ(same["height"], 300);
    for (const char* key : {"mean", "median", "percentile95", "max"})
        EXPECT_EQ(same["deltaE2000"][key], 0.0) << key;
}

TEST(CliCompare, ThroughALUTMeasuresWhatApplyWrites)
{
    CliRunner cli;
    const GradedPair pair(cli);
    ASSERT_EQ(cli.run({"apply", "warm.cube", "before.png", "-o", "applied.png"}).status, 0);
    const nlohmann::json throughLUT =
        figures(cli, {"--lut", "warm.cube", "before.png", "after.png"});
    const nlohmann::json ofFiles = figures(cli, {"applied.png", "after.png"});
    EXPECT_EQ(throughLUT, ofFiles);
    // A 17-point lattice of a smooth grade is close to it; without the LUT the pair is far apart.
    const nlohmann::json ungraded = figures(cli, {"before.png", "after.png"});
    EXPECT_LT(throughLUT["deltaE2000"]["mean"].get<double>(), 1.0);
    EXPECT_GT(ungraded["deltaE2000"]["mean"].get<double>(), 5.0);
    EXPECT_GT(ungraded["rmsLevels"].get<double>(), 10 * throughLUT["rmsLevels"].get<double>());
    const auto& d = throughLUT["deltaE2000"];
    EXPECT_LE(d["median"].get<double>(), d["percentile95"].get<double>());
    EXPECT_LE(d["percentile95"].get<double>(), d["max"].get<double>());
}

TEST(CliCompare, FiguresDoNotDependOnTheThreadCount)
{
    CliRunner cli;
    const GradedPair pair(cli);
    const std::vector<std::string> arguments{"--lut", "warm.cube", "before.png", "after.png"};
    EXPECT_EQ(figures(cli, arguments, {"OMP_NUM_THREADS=1"}),
              figures(cli, arguments, {"OMP_NUM_THREADS=3"}));
}

TEST(CliCompare, HeatMapShowsWhereTheImagesDifferAboveItsLegend)
{
    CliRunner cli;
    const PixelBuffer photo = noise(320, 200, 11);
    PixelBuffer edited = photo;
    for (std::int64_t y = 50; y < 100; ++y)
        for (std::int64_t x = 200; x < 260; ++x)
            edited.set(x, y, {1, 1, 0});  // a local edit no LUT could make
    ImageLoader::writePNG(photo, cli / "photo.png", false);
    ImageLoader::writePNG(edited, cli / "edited.png", false);
    const CliResult result =
        cli.run({"compare", "photo.png", "edited.png", "--map", "difference.png"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("Saved difference.png"), std::string::npos);
    const PixelBuffer map = ImageLoader::loadExact(cli / "difference.png");
    ASSERT_EQ(map.width(), 320);
    ASSERT_EQ(map.height(), 200 + HeatMap::legendHeight(320));
    const auto level = [](const RGB& c) {
        return RGB{std::round(c.r * 255), std::round(c.g * 255), std::round(c.b * 255)};
    };
    const auto expected = [&](double deltaE) { return level(HeatMap::colour(deltaE)); };
    EXPECT_EQ(level(map(10, 10)), expected(0));
    EXPECT_EQ(level(map(319, 199)), expected(0));
    for (const auto& [x, y] : {std::pair{200, 50}, std::pair{259, 99}, std::pair{230, 70}}) {
        const double deltaE = ColorDifference::deltaE2000(photo(x, y), edited(x, y));
        EXPECT_EQ(level(map(x, y)), expected(deltaE)) << x << "," << y;
    }
    // With --json the document alone goes to standard output.
    const CliResult json =
        cli.run({"compare", "photo.png", "edited.png", "--map", "again.png", "--json"});
    ASSERT_EQ(json.status, 0);
    EXPECT_TRUE(nlohmann::json::accept(json.out)) << json.out;
    EXPECT_NE(json.err.find("Saved again.png"), std::string::npos);
}

TEST(CliCompare, RmsAgreesWithImageMagick)
{
    const auto tool = fixtures::findOnPath("compare");
    if (!tool)
        GTEST_SKIP() << fixtures::missingTool("ImageMagick compare", "imagemagick");
    CliRunner cli;
    ImageLoader::writePNG(noise(120, 80, 1), cli / "x.png", false);
    ImageLoader::writePNG(noise(120, 80, 2), cli / "y.png", false);
    // ImageMagick prints "absolute (normalised)" on standard error and exits 1 for different
    // images.
    const CliResult magick = cli.runProgram(*tool, {"-metric", "RMSE", "x.png", "y.png", "null:"});
    const auto open = magick.err.find('(');
    ASSERT_NE(open, std::string::npos) << magick.err;
    const double normalised = std::stod(magick.err.substr(open + 1));
    const double ours = figures(cli, {"x.png", "y.png"})["rmsLevels"].get<double>();
    EXPECT_NEAR(ours, normalised * 255, 0.01);
}

TEST(CliCompare, RefusesWhatItCannotCompareWithASentence)
{
    CliRunner cli;
    ImageLoader::writePNG(noise(40, 30, 1), cli / "wide.png", false);
    ImageLoader::writePNG(noise(30, 40, 1), cli / "tall.png", false);
    const CliResult sizes = cli.run({"compare", "wide.png", "tall.png"});
    EXPECT_EQ(sizes.status, 1);
    EXPECT_NE(sizes.err.find("Couldn\u2019t compare the images: \u201Cwide.png\u201D is 40 \u00D7 "
                             "30 pixels and \u201Ctall.png\u201D is 30 \u00D7 40; compare two "
                             "images of one size."),
              std::string::npos)
        << sizes.err;
    const CliResult type = cli.run({"compare", "wide.png", "wide.png", "--map", "map.jpg"});
    EXPECT_EQ(type.status, 2);
    EXPECT_NE(type.err.find("The map \u201Cmap.jpg\u201D must be a .png file."), std::string::npos);
    const auto before = std::filesystem::last_write_time(cli / "wide.png");
    const CliResult input = cli.run({"compare", "wide.png", "wide.png", "--map", "./wide.png"});
    EXPECT_EQ(input.status, 1);
    EXPECT_NE(input.err.find("would be replaced"), std::string::npos) << input.err;
    EXPECT_EQ(std::filesystem::last_write_time(cli / "wide.png"), before);
    EXPECT_EQ(cli.run({"compare", "wide.png", "missing.png"}).status, 1);
    EXPECT_FALSE(std::filesystem::exists(cli / "map.jpg"));
}

}  // namespace
}  // namespace lumivert
