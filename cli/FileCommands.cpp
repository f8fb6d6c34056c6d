#include "cli/FileCommands.hpp"

#include "cli/BatchApply.hpp"
#include "cli/CommandFailure.hpp"
#include "cli/CommandSupport.hpp"
#include "imaging/ImageLoader.hpp"
#include "imaging/TestChart.hpp"
#include "lut/HaldCLUT.hpp"
#include "lut/LUTReader.hpp"
#include "lut/LUTWriter.hpp"
#include "recipe/GradeRecipe.hpp"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>

namespace lumivert::FileCommands {

namespace {

using CommandSupport::quotedName;
using std::filesystem::path;

// Inputs whose mappings `info` prints: the ends of the grey axis, mid and 18 % grey, the
// primaries and a skin tone.
struct NamedColour {
    const char* name;
    RGB colour;
};
constexpr std::array<NamedColour, 8> kInfoSamples = {{
    {"black", {0, 0, 0}},
    {"18% grey", {0.46f, 0.46f, 0.46f}},
    {"mid grey", {0.5f, 0.5f, 0.5f}},
    {"white", {1, 1, 1}},
    {"red", {1, 0, 0}},
    {"green", {0, 1, 0}},
    {"blue", {0, 0, 1}},
    {"skin", {0.87f, 0.67f, 0.55f}},
}};

// The table, and the title a .cube file stores, from one reading of the file. A .3dl depth
// guessed from dark values may be wrong by a factor of four; only the user can tell.
LUTReader::CubeContents readLUT(const path& file)
{
    return attempt(GradeRecipe::readLUTFailedTitle, [&]() -> LUTReader::CubeContents {
        if (LUTFormat::fromPath(file) != LUTFormat::threeDL)
            return LUTReader::readContents(file);
        LUTReader::ThreeDLContents contents = LUTReader::readThreeDL(file);
        if (contents.guessedTenBit)
            std::cerr << "Warning: " << quotedName(file)
                      << " declares no output depth and its values stay below 1024, so they were "
                         "read as 10-bit; a dark 12-bit grade would come out four times too "
                         "bright.\n";
        return {std::move(contents.lut), std::nullopt};
    });
}

void requirePng(const path& output)
{
    if (ImageLoader::fileType(output) != ImageFileType::png)
        throw UsageError("The output " + quotedName(output) + " must be a .png file.");
}

void progressLine(std::size_t done, std::size_t total)
{
    std::fprintf(stderr, "\rApplied %zu of %zu images", done, total);
    if (done == total)
        std::fputc('\n', stderr);
    std::fflush(stderr);
}

// ---- apply -------------------------------------------------------------------------------------

struct ApplyOptions {
    std::string lut;
    std::vector<std::string> images;
    std::string output;
    std::string folder;
    CLI::Option* outputOption = nullptr;
    CLI::Option* folderOption = nullptr;
};

std::vector<BatchApply::Job> jobsOf(const ApplyOptions& options)
{
    const std::vector<path> inputs(options.images.begin(), options.images.end());
    std::vector<BatchApply::Job> jobs;
    if (options.outputOption->count()) {
        if (inputs.size() != 1)
            throw UsageError("With several images, name an output folder with --out-dir.");
        jobs.push_back({inputs.front(), options.output});
    } else if (options.folderOption->count()) {
        jobs = BatchApply::jobsInFolder(inputs, options.folder);
    } else {
        throw UsageError("Name the output with -o OUTPUT or an output folder with --out-dir.");
    }
    for (const BatchApply::Job& job : jobs) {
        if (!ImageLoader::fileType(job.output))
            throw UsageError("The output " + quotedName(job.output) +
                             " needs the extension .png, .jpg, .tif or .webp.");
    }
    return jobs;
}

void createFolder(const path& folder)
{
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        throw CommandFailure(GradeRecipe::saveImageFailedTitle,
                             "The folder " + quotedName(folder) +
                                 " could not be created: " + error.message() + ".");
    }
}

// An output that is the LUT file itself would replace the grade with a graded photo.
void refuseToReplaceTheLUT(const std::vector<BatchApply::Job>& jobs, const path& lut)
{
    for (const BatchApply::Job& job : jobs) {
        std::error_code error;
        if (std::filesystem::equivalent(job.output, lut, error)) {
            throw CommandFailure(GradeRecipe::saveImageFailedTitle,
                                 quotedName(job.output) +
                                     " is the LUT and would be replaced; choose another output.");
        }
    }
}

int apply(const ApplyOptions& options)
{
    const std::vector<BatchApply::Job> jobs = jobsOf(options);
    refuseToReplaceTheLUT(jobs, options.lut);
    const LUT3D lut = readLUT(options.lut).lut;
    if (options.folderOption->count())
        createFolder(options.folder);
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    const auto failures =
        BatchApply::applyAll(lut, jobs, [terminal](std::size_t done, std::size_t total) {
            if (terminal)
                progressLine(done, total);
        });
    for (const BatchApply::Job& job : jobs) {
        const bool failed = std::any_of(failures.begin(), failures.end(),
                                        [&](const auto& f) { return f.input == job.input; });
        if (!failed)
            std::cout << "Saved " << job.output.string() << '\n';
    }
    for (const BatchApply::Failure& failure : failures)
        std::cerr << failure.message << '\n';
    return failures.empty() ? 0 : 1;
}

Action defineApply(CLI::App& command)
{
    auto options = std::make_shared<ApplyOptions>();
    command.add_option("LUT", options->lut, "the LUT file")->required();
    command.add_option("IMAGE", options->images, "one or more images")->required();
    options->outputOption = command.add_option(
        "-o,--output", options->output, "output image for one input (.png, .jpg, .tif, .webp)");
    options->folderOption = command.add_option("--out-dir", options->folder,
                                               "folder for the outputs, named like the inputs");
    options->outputOption->excludes(options->folderOption);
    return [options] { return apply(*options); };
}

// ---- convert -----------------------------------------------------------------------------------

struct ConvertOptions {
    std::string input;
    std::string output;
    std::string title;
    std::int64_t size = 0;  // 0 keeps the input's size
    LUTWriter::Options writer;
    CLI::Option* titleOption = nullptr;
};

int convert(const ConvertOptions& options)
{
    // Converting onto the input would lose the original table (a 65-point one resampled to 17).
    const auto plan =
        CommandSupport::plannedFiles(path(options.output), std::nullopt, "", {options.input});
    auto [lut, storedTitle] = readLUT(options.input);
    const std::string title = options.titleOption->count()
                                  ? options.title
                                  : storedTitle.value_or(path(options.input).stem().string());
    if (options.size != 0) {
        CommandSupport::requireWithin(static_cast<double>(options.size),
                                      static_cast<double>(LUTFormat::minSize),
                                      static_cast<double>(LUTFormat::maxSize), "--size");
        lut = lut.resampled(options.size);
    }
    CommandSupport::requireWritable(
        plan, [&lut](LUTFormat) { return lut.size(); }, options.writer);
    CommandSupport::writeLUTs(lut, plan, title, options.writer);
    return 0;
}

Action defineConvert(CLI::App& command)
{
    auto options = std::make_shared<ConvertOptions>();
    command.add_option("LUT", options->input, "a .cube, .3dl or HALD .png file")->required();
    command.add_option("-o,--output", options->output, "a .cube, .3dl or .png file")->required();
    command.add_option("--size", options->size,
                       CommandSupport::sizeHelp("2 to 256; default: the input's"));
    CommandSupport::addWriterOptions(command, options->writer);
    options->titleOption =
        command.add_option("--title", options->title, "title for a .cube output");
    return [options] { return convert(*options); };
}

// ---- info --------------------------------------------------------------------------------------

int info(const std::string& input)
{
    const auto [lut, title] = readLUT(input);
    std::cout << "File: " << input << '\n' << "Size: " << lut.size() << " points per axis\n";
    if (title)
        std::cout << "Title: " << *title << '\n';
    std::printf("Largest change from identity: %.6f\n",
                static_cast<double>(lut.maxDeviationFromIdentity()));
    std::fflush(stdout);
    std::cout << "Sample mappings (sRGB-encoded):\n";
    for (const NamedColour& sample : kInfoSamples) {
        const RGB out = lut.sample(sample.colour);
        std::printf("  %-9s %.4f %.4f %.4f -> %.4f %.4f %.4f\n", sample.name,
                    static_cast<double>(sample.colour.r), static_cast<double>(sample.colour.g),
                    static_cast<double>(sample.colour.b), static_cast<double>(out.r),
                    static_cast<double>(out.g), static_cast<double>(out.b));
    }
    std::fflush(stdout);
    return 0;
}

Action defineInfo(CLI::App& command)
{
    auto input = std::make_shared<std::string>();
    command.add_option("LUT", *input, "a .cube, .3dl or HALD .png file")->required();
    return [input] { return info(*input); };
}

// ---- identity-hald and chart -------------------------------------------------------------------

struct IdentityOptions {
    std::string output;
    int level = HaldCLUT::defaultLevel;
};

int identityHald(const IdentityOptions& options)
{
    requirePng(options.output);
    CommandSupport::requireWithin(options.level, HaldCLUT::minLevel, HaldCLUT::maxLevel, "--level");
    attempt(GradeRecipe::saveHaldFailedTitle, [&] {
        ImageLoader::writePNG(HaldCLUT::identity(options.level), options.output, true);
    });
    std::cout << "Saved " << options.output << '\n';
    return 0;
}

Action defineIdentityHald(CLI::App& command)
{
    auto options = std::make_shared<IdentityOptions>();
    command.add_option("OUTPUT", options->output, "a .png file")->required();
    command.add_option("--level", options->level,
                       "HALD level, " + std::to_string(HaldCLUT::minLevel) + " to " +
                           std::to_string(HaldCLUT::maxLevel) + " (default " +
                           std::to_string(HaldCLUT::defaultLevel) + ")");
    return [options] { return identityHald(*options); };
}

int chart(const std::string& output)
{
    requirePng(output);
    attempt(GradeRecipe::saveImageFailedTitle, [&] {
        ImageLoader::writePNG(TestChart::make(GradeRecipe::chartWidth, GradeRecipe::chartHeight),
                              output, false);
    });
    std::cout << "Saved " << output << '\n';
    return 0;
}

Action defineChart(CLI::App& command)
{
    auto output = std::make_shared<std::string>();
    command.add_option("OUTPUT", *output, "a .png file")->required();
    return [output] { return chart(*output); };
}

}  // namespace

std::vector<Command> commands()
{
    return {
        {"apply",
         "Apply a .cube, .3dl or HALD LUT to images at full resolution.",
         "  lumivert-cli apply Teal.cube photo.jpg -o photo-teal.jpg\n"
         "  lumivert-cli apply Teal.3dl shoot/*.tif --out-dir graded/\n",
         defineApply,
         {}},
        {"convert",
         "Convert a LUT to another format, resampled when asked.",
         "  lumivert-cli convert Teal.cube -o Teal.3dl\n"
         "  lumivert-cli convert graded-hald.png -o Graded.cube --size 65\n"
         "  lumivert-cli convert Teal.cube -o Teal-ffmpeg.3dl --size 17\n"
         "  lumivert-cli convert Teal.cube -o Teal-lustre.3dl --3dl-flavour lustre --size 33\n"
         "  lumivert-cli convert Teal.cube -o Teal-hald12.png --hald-level 12\n",
         defineConvert,
         {}},
        {"info",
         "Describe a LUT: size, title and a few mappings.",
         "  lumivert-cli info Teal.cube\n",
         defineInfo,
         {}},
        {"identity-hald",
         "Write a neutral 16-bit HALD image to grade in another editor.",
         "  lumivert-cli identity-hald \"Identity HALD 8.png\"\n"
         "  lumivert-cli identity-hald small.png --level 6\n",
         defineIdentityHald,
         {}},
        {"chart",
         "Write the " + std::to_string(GradeRecipe::chartWidth) + " x " +
             std::to_string(GradeRecipe::chartHeight) + " test chart.",
         "  lumivert-cli chart chart.png\n",
         defineChart,
         {}},
    };
}

}  // namespace lumivert::FileCommands
