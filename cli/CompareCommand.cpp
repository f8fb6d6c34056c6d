#include "cli/CompareCommand.hpp"

#include "cli/AnalysisJson.hpp"
#include "cli/CommandFailure.hpp"
#include "cli/CommandSupport.hpp"
#include "imaging/HeatMap.hpp"
#include "imaging/ImageDifference.hpp"
#include "imaging/ImageLoader.hpp"
#include "lut/LUTReader.hpp"
#include "recipe/BatchApply.hpp"
#include "recipe/GradeRecipe.hpp"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>

namespace lumivert::CompareCommand {

namespace {

using CommandSupport::quotedName;
using std::filesystem::path;

struct Options {
    std::string first;
    std::string second;
    std::string lut;
    std::string map;
    bool json = false;
    CLI::Option* lutOption = nullptr;
    CLI::Option* mapOption = nullptr;
};

std::string sizeText(const PixelBuffer& pixels)
{
    return std::to_string(pixels.width()) + " \u00D7 " + std::to_string(pixels.height());
}

void requireOneSize(const PixelBuffer& x, const path& first, const PixelBuffer& y,
                    const path& second)
{
    if (x.width() == y.width() && x.height() == y.height())
        return;
    throw CommandFailure(GradeRecipe::compareFailedTitle, quotedName(first) + " is " + sizeText(x) +
                                                              " pixels and " + quotedName(second) +
                                                              " is " + sizeText(y) +
                                                              "; compare two images of one size.");
}

// The map is a PNG and never one of the files it is made from.
void requireMapFile(const Options& options)
{
    const path map(options.map);
    if (ImageLoader::fileType(map) != ImageFileType::png)
        throw UsageError("The map " + quotedName(map) + " must be a .png file.");
    std::vector<path> inputs;
    for (const std::string& input : {options.first, options.second, options.lut})
        if (!input.empty())
            inputs.emplace_back(input);
    CommandSupport::refuseReplacingInputs({&map, 1}, inputs, GradeRecipe::saveImageFailedTitle);
}

FullImage loaded(const path& file)
{
    return attempt(GradeRecipe::openFailedTitle, [&] { return ImageLoader::loadFull(file); });
}

nlohmann::json report(const ImageDifferenceResult& result)
{
    const auto number = [](double value) {
        return AnalysisJson::number(static_cast<float>(value));
    };
    const DifferenceStats& stats = result.stats;
    return {{"width", result.width},
            {"height", result.height},
            {"rmsLevels", number(stats.rmsLevels)},
            {"deltaE2000",
             {{"mean", number(stats.meanDeltaE)},
              {"median", number(stats.medianDeltaE)},
              {"percentile95", number(stats.percentile95DeltaE)},
              {"max", number(stats.maxDeltaE)}}}};
}

void printReport(const ImageDifferenceResult& result, const std::string& heading)
{
    const DifferenceStats& stats = result.stats;
    std::cout << heading << " (" << result.width << " \u00D7 " << result.height << " pixels)\n";
    std::printf("RMS difference: %.2f levels\n"
                "\u0394E2000 mean: %.2f\n"
                "\u0394E2000 median: %.2f\n"
                "\u0394E2000 95th percentile: %.2f\n"
                "\u0394E2000 maximum: %.2f\n",
                stats.rmsLevels, stats.meanDeltaE, stats.medianDeltaE, stats.percentile95DeltaE,
                stats.maxDeltaE);
}

int compare(const Options& options)
{
    const bool throughLUT = options.lutOption->count() > 0;
    if (options.mapOption->count())
        requireMapFile(options);
    std::optional<LUTStack> lut;
    if (throughLUT)
        lut =
            attempt(GradeRecipe::readLUTFailedTitle, [&] { return LUTReader::read(options.lut); });
    const FullImage first = loaded(options.first);
    const FullImage second = loaded(options.second);
    // Through the LUT, the first image is graded exactly as apply would write it.
    const PixelBuffer x = lut ? BatchApply::gradedPixels(first, *lut) : first.image.pixels();
    const PixelBuffer& y = second.image.pixels();
    requireOneSize(x, options.first, y, options.second);
    const ImageDifferenceResult result = ImageDifference::measure(x, y);

    if (options.json) {
        std::cout << report(result).dump(2) << '\n';
    } else {
        printReport(result,
                    throughLUT
                        ? quotedName(options.first) + " through " + quotedName(options.lut) +
                              " against " + quotedName(options.second)
                        : quotedName(options.first) + " against " + quotedName(options.second));
    }
    if (options.mapOption->count()) {
        attempt(GradeRecipe::saveImageFailedTitle, [&] {
            ImageLoader::writePNG(HeatMap::pictureWithLegend(result), options.map, false);
        });
        // Standard output stays a JSON document when one was asked for.
        (options.json ? std::cerr : std::cout) << "Saved " << options.map << '\n';
    }
    return 0;
}

Action define(CLI::App& command)
{
    auto options = std::make_shared<Options>();
    command.add_option("A", options->first, "an image, or with --lut the image before grading")
        ->required();
    command.add_option("B", options->second, "an image of the same size: the target")->required();
    options->lutOption = command.add_option(
        "--lut", options->lut, "apply this .cube, .3dl or HALD LUT to A first, as apply does");
    options->mapOption = command.add_option(
        "--map", options->map,
        "write a .png heat map of the per-pixel \u0394E2000 (0 to " +
            std::to_string(static_cast<int>(HeatMap::scaleTop)) + "+, with a legend)");
    command.add_flag("--json", options->json, "print the figures as JSON");
    return [options] { return compare(*options); };
}

}  // namespace

Command command()
{
    return {"compare",
            "Measure how far image A is from image B, or a LUT applied to A from B: RMS in 8-bit "
            "levels and CIEDE2000 mean, median, 95th percentile and maximum.",
            "  lumivert-cli compare graded.png target.png\n"
            "  lumivert-cli compare --lut Teal.cube before.jpg after.jpg --map difference.png\n"
            "  lumivert-cli compare --lut Teal.cube before.jpg after.jpg --json\n",
            define,
            {}};
}

}  // namespace lumivert::CompareCommand
