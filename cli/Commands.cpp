#include "cli/Commands.hpp"

#include "cli/AnalysisJson.hpp"
#include "cli/BatchApply.hpp"
#include "cli/CommandFailure.hpp"
#include "cli/OutputPlan.hpp"
#include "color/ColorTransform.hpp"
#include "imaging/ImageLoader.hpp"
#include "imaging/TestChart.hpp"
#include "io/FileIO.hpp"
#include "learners/ColorMatcher.hpp"
#include "learners/EditLearner.hpp"
#include "learners/GradePipeline.hpp"
#include "learners/LookExtractor.hpp"
#include "learners/LookTransform.hpp"
#include "learners/MatchTransform.hpp"
#include "learners/StatusLine.hpp"
#include "lut/HaldCLUT.hpp"
#include "lut/LUTReader.hpp"
#include "lut/LUTWriter.hpp"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

namespace lumivert::Commands {

namespace {

using std::filesystem::path;

// The app's defaults: images analysed at most 1600 pixels on the long side, the edit fitted on
// a 33-point lattice, exports baked at 33 points.
constexpr std::int64_t kMaxPixelSize = 1600;
constexpr std::int64_t kEditGridSize = 33;
constexpr int kDefaultExportSize = 33;
constexpr float kDefaultSmoothing = 0.02f;
constexpr std::int64_t kMinConvertSize = 2;
constexpr std::int64_t kMaxConvertSize = 256;
constexpr std::int64_t kChartWidth = 1200;
constexpr std::int64_t kChartHeight = 800;
constexpr int kJsonIndent = 2;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr const char* kOpenTitle = "Couldn\u2019t open the image";
constexpr const char* kAnalyseTitle = "Couldn\u2019t analyse the images";
constexpr const char* kSaveLUTTitle = "Couldn\u2019t save the LUT";
constexpr const char* kSaveHaldTitle = "Couldn\u2019t save the HALD image";
constexpr const char* kSaveImageTitle = "Couldn\u2019t save the image";
constexpr const char* kReadLUTTitle = "Couldn\u2019t read the LUT";

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

std::string quotedName(const path& file) { return "\u201C" + file.filename().string() + "\u201D"; }

void requireFinite(const std::vector<float>& values, const std::string& option)
{
    if (!std::all_of(values.begin(), values.end(), [](float v) { return std::isfinite(v); }))
        throw UsageError("The values of " + option + " must be finite numbers.");
}

// ---- Options shared by the LUT-making commands -------------------------------------------------

struct GradeOptions {
    std::string output;
    std::string format;
    int size = kDefaultExportSize;
    std::string title;
    float intensity = 1.0f;
    std::vector<float> fineTune;
    std::vector<float> lookSettings;
    std::vector<float> matchSettings;
    float smoothing = kDefaultSmoothing;
    CLI::Option* outputOption = nullptr;
    CLI::Option* formatOption = nullptr;
    CLI::Option* titleOption = nullptr;
};

void addGradeOptions(CLI::App& command, GradeOptions& options)
{
    options.outputOption =
        command.add_option("-o,--output", options.output,
                           "LUT file to write; .cube, .3dl or .png (HALD) picks the format");
    options.formatOption =
        command.add_option("--format", options.format, "cube, 3dl, hald or all (the three)")
            ->check(CLI::IsMember(OutputPlan::formatChoices()));
    command.add_option("--size", options.size, "lattice points per axis (default 33)")
        ->check(CLI::IsMember({17, 33, 65}));
    options.titleOption =
        command.add_option("--title", options.title, "title inside the LUT and default file name");
    command.add_option("--intensity", options.intensity, "strength of the grade (default 1)");
    command
        .add_option("--finetune", options.fineTune,
                    "temperature, tint, contrast, saturation (default 0,0,0,0)")
        ->delimiter(',')
        ->expected(4);
}

FineTune fineTuneOf(const GradeOptions& options)
{
    requireFinite(options.fineTune, "--finetune");
    requireFinite({options.intensity}, "--intensity");
    if (options.fineTune.empty())
        return {};
    return {options.fineTune[0], options.fineTune[1], options.fineTune[2], options.fineTune[3]};
}

// The planned files, none of which may be one of the inputs: with --format all, a graded HALD
// named like the output would otherwise be replaced by the exported one.
std::vector<PlannedFile> planOf(const GradeOptions& options, const std::string& title,
                                const std::vector<std::string>& inputs)
{
    auto files = OutputPlan::files(
        options.outputOption->count() ? std::optional<path>(options.output) : std::nullopt,
        options.formatOption->count() ? std::optional(options.format) : std::nullopt, title);
    for (const PlannedFile& file : files) {
        for (const std::string& input : inputs) {
            std::error_code error;
            if (std::filesystem::equivalent(file.path, input, error)) {
                throw CommandFailure(kSaveLUTTitle,
                                     quotedName(file.path) +
                                         " is an input and would be replaced; choose another "
                                         "output.");
            }
        }
    }
    return files;
}

void writeLUTs(const LUT3D& lut, const std::vector<PlannedFile>& files, const std::string& title)
{
    for (const PlannedFile& file : files) {
        attempt(kSaveLUTTitle, [&] { LUTWriter::write(lut, file.format, title, file.path); });
        std::cout << "Saved " << file.path.string() << '\n';
    }
}

// Bakes the base through the grade pipeline at the export size and writes every planned file.
void finishGrade(const GradeOptions& options, std::shared_ptr<const ColorTransform> base,
                 const std::string& title, const std::vector<PlannedFile>& files,
                 const std::string& summary)
{
    const GradePipeline pipeline(std::move(base), options.intensity, fineTuneOf(options));
    std::cout << summary << '\n';
    writeLUTs(pipeline.makeLUT(options.size), files, title);
}

std::string titleOf(const GradeOptions& options, const std::string& automatic)
{
    return options.titleOption->count() ? options.title : automatic;
}

LoadedImage loadImage(const path& file)
{
    return attempt(kOpenTitle, [&] { return ImageLoader::load(file, kMaxPixelSize); });
}

LUT3D loadHald(const path& file)
{
    return attempt(kOpenTitle, [&] { return HaldCLUT::lut(ImageLoader::loadExact(file)); });
}

LookSettings lookSettingsOf(const std::vector<float>& values)
{
    requireFinite(values, "--look-settings");
    if (values.empty())
        return {};
    return {values[0], values[1], values[2], values[3]};
}

MatchSettings matchSettingsOf(const std::vector<float>& values)
{
    requireFinite(values, "--match-settings");
    if (values.empty())
        return {};
    return {values[0], values[1]};
}

float smoothingOf(float smoothing)
{
    if (!std::isfinite(smoothing) || smoothing < 0)
        throw UsageError("The --smoothing must be a number of 0 or more.");
    return smoothing;
}

EditFit fitEdit(const LoadedImage& before, const LoadedImage& after, float smoothing)
{
    return attempt(kAnalyseTitle, [&] {
        const EditSystem system =
            EditLearner::prepare(before.pixels(), after.pixels(), kEditGridSize);
        return EditLearner::solve(system, smoothing);
    });
}

// ---- Subcommands -------------------------------------------------------------------------------

void runLook(const GradeOptions& options, const std::string& reference)
{
    const LookSettings settings = lookSettingsOf(options.lookSettings);
    const LoadedImage image = loadImage(reference);
    const std::string title = titleOf(options, image.name() + " Look");
    const auto files = planOf(options, title, {reference});
    const LookAnalysis analysis = LookExtractor::analyse(image.pixels());
    finishGrade(options, std::make_shared<LookTransform>(analysis, settings), title, files,
                StatusLine::look(analysis));
}

void runMatch(const GradeOptions& options, const std::string& source, const std::string& reference)
{
    const MatchSettings settings = matchSettingsOf(options.matchSettings);
    const LoadedImage sourceImage = loadImage(source);
    const LoadedImage referenceImage = loadImage(reference);
    const std::string title = titleOf(options, referenceImage.name() + " Match");
    const auto files = planOf(options, title, {source, reference});
    const MatchAnalysis analysis =
        ColorMatcher::analyse(sourceImage.pixels(), referenceImage.pixels());
    finishGrade(options, std::make_shared<MatchTransform>(analysis, settings), title, files,
                StatusLine::match(sourceImage.name(), referenceImage.name()));
}

void runEdit(const GradeOptions& options, const std::string& before, const std::string& after)
{
    const float smoothing = smoothingOf(options.smoothing);
    const LoadedImage beforeImage = loadImage(before);
    const LoadedImage afterImage = loadImage(after);
    const std::string title = titleOf(options, afterImage.name() + " Edit");
    const auto files = planOf(options, title, {before, after});
    const EditFit fit = fitEdit(beforeImage, afterImage, smoothing);
    finishGrade(options, std::make_shared<LUT3D>(fit.lut), title, files,
                StatusLine::edit(fit.rmsError));
}

void runHald(const GradeOptions& options, const std::string& graded)
{
    const LUT3D lut = loadHald(graded);
    const std::string title = titleOf(options, path(graded).stem().string());
    const auto files = planOf(options, title, {graded});
    finishGrade(options, std::make_shared<LUT3D>(lut), title, files, StatusLine::hald(lut.size()));
}

void printJson(const nlohmann::json& document) { std::cout << document.dump(kJsonIndent) << '\n'; }

void analyseLook(const std::string& file)
{
    const LoadedImage image = loadImage(file);
    const LookAnalysis analysis = LookExtractor::analyse(image.pixels());
    printJson({{"image", image.name()},
               {"summary", StatusLine::look(analysis)},
               {"analysis", AnalysisJson::look(analysis)}});
}

void analyseMatch(const std::string& source, const std::string& reference)
{
    const LoadedImage sourceImage = loadImage(source);
    const LoadedImage referenceImage = loadImage(reference);
    const MatchAnalysis analysis =
        ColorMatcher::analyse(sourceImage.pixels(), referenceImage.pixels());
    printJson({{"source", sourceImage.name()},
               {"reference", referenceImage.name()},
               {"summary", StatusLine::match(sourceImage.name(), referenceImage.name())},
               {"analysis", AnalysisJson::match(analysis)}});
}

void analyseEdit(const std::string& before, const std::string& after, float smoothing)
{
    smoothing = smoothingOf(smoothing);
    const LoadedImage beforeImage = loadImage(before);
    const LoadedImage afterImage = loadImage(after);
    const EditSystem system = attempt(kAnalyseTitle, [&] {
        return EditLearner::prepare(beforeImage.pixels(), afterImage.pixels(), kEditGridSize);
    });
    const EditFit fit = EditLearner::solve(system, smoothing);
    printJson({{"before", beforeImage.name()},
               {"after", afterImage.name()},
               {"smoothness", AnalysisJson::number(smoothing)},
               {"summary", StatusLine::edit(fit.rmsError)},
               {"analysis", AnalysisJson::edit(fit, system.sampleCount())}});
}

LUT3D readLUT(const path& file)
{
    return attempt(kReadLUTTitle, [&] { return LUTReader::read(file); });
}

// The title stored in a .cube file, if any.
std::optional<std::string> cubeTitle(const path& file)
{
    if (OutputPlan::formatOf(file) != LUTFormat::cube)
        return std::nullopt;
    return attempt(kReadLUTTitle, [&] { return LUTReader::cube(FileIO::readAll(file)).title; });
}

void progressLine(std::size_t done, std::size_t total)
{
    std::fprintf(stderr, "\rApplied %zu of %zu images", done, total);
    if (done == total)
        std::fputc('\n', stderr);
    std::fflush(stderr);
}

struct ApplyOptions {
    std::string lut;
    std::vector<std::string> images;
    std::string output;
    std::string folder;
    CLI::Option* outputOption = nullptr;
    CLI::Option* folderOption = nullptr;
};

int runApply(const ApplyOptions& options)
{
    std::vector<path> inputs(options.images.begin(), options.images.end());
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
    const LUT3D lut = readLUT(options.lut);
    if (options.folderOption->count()) {
        std::error_code error;
        std::filesystem::create_directories(options.folder, error);
        if (error) {
            throw CommandFailure(kSaveImageTitle, "The folder " + quotedName(options.folder) +
                                                      " could not be created: " + error.message() +
                                                      ".");
        }
    }
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
    return failures.empty() ? 0 : kExitFailure;
}

void runConvert(const std::string& input, const std::string& output, std::int64_t size,
                const std::string* title)
{
    const auto files = OutputPlan::files(path(output), std::nullopt, "");
    LUT3D lut = readLUT(input);
    const std::string name =
        title ? *title : cubeTitle(input).value_or(path(input).stem().string());
    if (size != 0) {
        if (size < kMinConvertSize || size > kMaxConvertSize)
            throw UsageError("The --size must lie between 2 and 256.");
        lut = lut.resampled(size);
    }
    writeLUTs(lut, files, name);
}

void runInfo(const std::string& input)
{
    const LUT3D lut = readLUT(input);
    const std::optional<std::string> title = cubeTitle(input);
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
}

void requirePng(const path& output)
{
    if (ImageLoader::fileType(output) != ImageFileType::png)
        throw UsageError("The output " + quotedName(output) + " must be a .png file.");
}

void runIdentityHald(const std::string& output, int level)
{
    requirePng(output);
    if (level < HaldCLUT::minLevel || level > HaldCLUT::maxLevel)
        throw UsageError("The --level must lie between 2 and 16.");
    attempt(kSaveHaldTitle,
            [&] { ImageLoader::writePNG(HaldCLUT::identity(level), output, true); });
    std::cout << "Saved " << output << '\n';
}

void runChart(const std::string& output)
{
    requirePng(output);
    attempt(kSaveImageTitle, [&] {
        ImageLoader::writePNG(TestChart::make(kChartWidth, kChartHeight), output, false);
    });
    std::cout << "Saved " << output << '\n';
}

// ---- The command line --------------------------------------------------------------------------

CLI::App* addCommand(CLI::App& app, const char* name, const char* description, const char* examples)
{
    CLI::App* command = app.add_subcommand(name, description);
    command->footer(std::string("Examples:\n") + examples);
    return command;
}

int execute(const std::function<int()>& action)
{
    try {
        return action();
    } catch (const UsageError& error) {
        std::cerr << error.what() << "\nRun with --help for more information.\n";
        return kExitUsage;
    } catch (const std::bad_alloc&) {
        std::cerr << "There is not enough memory to finish.\n";
        return kExitFailure;
    } catch (const std::exception& error) {
        std::cerr << error.what() << '\n';
        return kExitFailure;
    }
}

}  // namespace

int run(int argc, const char* const* argv)
{
    CLI::App app("Makes 3D colour lookup tables (.cube, .3dl, HALD .png) from images and applies "
                 "them.",
                 "lumivert-cli");
    app.require_subcommand(1);
    app.footer("Run lumivert-cli COMMAND --help for the options and examples of each command.\n"
               "Exit status: 0 success, 1 a file could not be read or written, 2 a usage error.");
    std::function<int()> action;
    const auto does = [&action](std::function<void()> work) {
        return [&action, work = std::move(work)] {
            action = [work] {
                work();
                return 0;
            };
        };
    };

    GradeOptions look, match, edit, hald;
    std::vector<std::string> lookInputs, matchInputs, editInputs, haldInputs;

    CLI::App* lookCommand = addCommand(
        app, "look", "Capture the look of a reference photo as a LUT.",
        "  lumivert-cli look sunset.jpg -o Sunset.cube\n"
        "  lumivert-cli look film.png --format all --size 65 --look-settings 0.8,1,0.7,0.4\n");
    lookCommand->add_option("REFERENCE", lookInputs, "the photo whose colours you want")
        ->required()
        ->expected(1);
    addGradeOptions(*lookCommand, look);
    lookCommand
        ->add_option("--look-settings", look.lookSettings,
                     "tone, colour cast, colourfulness, palette (default 0.8,1,0.7,0.4)")
        ->delimiter(',')
        ->expected(4);
    lookCommand->callback(does([&] { runLook(look, lookInputs.front()); }));

    CLI::App* matchCommand = addCommand(
        app, "match", "Make a LUT that gives your photo the look of a reference photo.",
        "  lumivert-cli match mine.jpg reference.jpg -o Matched.cube\n"
        "  lumivert-cli match mine.jpg reference.jpg --match-settings 1,0.6 --format 3dl\n");
    matchCommand->add_option("SOURCE REFERENCE", matchInputs, "your photo, then the reference")
        ->required()
        ->expected(2);
    addGradeOptions(*matchCommand, match);
    matchCommand->add_option("--match-settings", match.matchSettings, "tone, colour (default 1,1)")
        ->delimiter(',')
        ->expected(2);
    matchCommand->callback(does([&] { runMatch(match, matchInputs.at(0), matchInputs.at(1)); }));

    CLI::App* editCommand =
        addCommand(app, "edit", "Learn the colour change between a photo before and after an edit.",
                   "  lumivert-cli edit original.jpg graded.jpg -o Grade.cube\n"
                   "  lumivert-cli edit before.png after.png --smoothing 0.05 --format all\n");
    editCommand->add_option("BEFORE AFTER", editInputs, "the original, then the edited photo")
        ->required()
        ->expected(2);
    addGradeOptions(*editCommand, edit);
    editCommand->add_option("--smoothing", edit.smoothing, "smoothness of the fit (default 0.02)");
    editCommand->callback(does([&] { runEdit(edit, editInputs.at(0), editInputs.at(1)); }));

    CLI::App* haldCommand = addCommand(
        app, "hald", "Turn a graded HALD image into a LUT.",
        "  lumivert-cli identity-hald \"Identity HALD 8.png\"   # grade this elsewhere, then:\n"
        "  lumivert-cli hald \"Identity HALD 8 graded.png\" -o Graded.cube\n");
    haldCommand->add_option("GRADED_HALD", haldInputs, "a HALD image graded in another editor")
        ->required()
        ->expected(1);
    addGradeOptions(*haldCommand, hald);
    haldCommand->callback(does([&] { runHald(hald, haldInputs.front()); }));

    CLI::App* analyse = addCommand(app, "analyse", "Print an analysis as JSON.",
                                   "  lumivert-cli analyse look sunset.jpg\n"
                                   "  lumivert-cli analyse match mine.jpg reference.jpg\n"
                                   "  lumivert-cli analyse edit before.png after.png\n");
    analyse->require_subcommand(1);
    std::vector<std::string> analyseLookInputs, analyseMatchInputs, analyseEditInputs;
    float analyseSmoothing = kDefaultSmoothing;
    CLI::App* analyseLookCommand =
        addCommand(*analyse, "look", "Levels, contrast, band tints, colourfulness and palette.",
                   "  lumivert-cli analyse look sunset.jpg > sunset.json\n");
    analyseLookCommand->add_option("IMAGE", analyseLookInputs, "the photo")
        ->required()
        ->expected(1);
    analyseLookCommand->callback(does([&] { analyseLook(analyseLookInputs.front()); }));
    CLI::App* analyseMatchCommand =
        addCommand(*analyse, "match", "Tone map, source ranks and the six colour bands.",
                   "  lumivert-cli analyse match mine.jpg reference.jpg\n");
    analyseMatchCommand
        ->add_option("SOURCE REFERENCE", analyseMatchInputs, "your photo, then the reference")
        ->required()
        ->expected(2);
    analyseMatchCommand->callback(
        does([&] { analyseMatch(analyseMatchInputs.at(0), analyseMatchInputs.at(1)); }));
    CLI::App* analyseEditCommand =
        addCommand(*analyse, "edit", "How well a LUT captures the edit, and why.",
                   "  lumivert-cli analyse edit before.png after.png --smoothing 0.05\n");
    analyseEditCommand
        ->add_option("BEFORE AFTER", analyseEditInputs, "the original, then the edited photo")
        ->required()
        ->expected(2);
    analyseEditCommand->add_option("--smoothing", analyseSmoothing,
                                   "smoothness of the fit (default 0.02)");
    analyseEditCommand->callback(does(
        [&] { analyseEdit(analyseEditInputs.at(0), analyseEditInputs.at(1), analyseSmoothing); }));

    ApplyOptions apply;
    CLI::App* applyCommand =
        addCommand(app, "apply", "Apply a .cube, .3dl or HALD LUT to images at full resolution.",
                   "  lumivert-cli apply Teal.cube photo.jpg -o photo-teal.jpg\n"
                   "  lumivert-cli apply Teal.3dl shoot/*.tif --out-dir graded/\n");
    applyCommand->add_option("LUT", apply.lut, "the LUT file")->required();
    applyCommand->add_option("IMAGE", apply.images, "one or more images")->required();
    apply.outputOption = applyCommand->add_option(
        "-o,--output", apply.output, "output image for one input (.png, .jpg, .tif, .webp)");
    apply.folderOption = applyCommand->add_option("--out-dir", apply.folder,
                                                  "folder for the outputs, named like the inputs");
    apply.outputOption->excludes(apply.folderOption);
    applyCommand->callback([&] { action = [&] { return runApply(apply); }; });

    std::string convertInput, convertOutput, convertTitle;
    std::int64_t convertSize = 0;
    CLI::App* convertCommand =
        addCommand(app, "convert", "Convert a LUT to another format, resampled when asked.",
                   "  lumivert-cli convert Teal.cube -o Teal.3dl\n"
                   "  lumivert-cli convert graded-hald.png -o Graded.cube --size 65\n");
    convertCommand->add_option("LUT", convertInput, "a .cube, .3dl or HALD .png file")->required();
    convertCommand->add_option("-o,--output", convertOutput, "a .cube, .3dl or .png file")
        ->required();
    convertCommand->add_option("--size", convertSize, "lattice points per axis (2 to 256)");
    CLI::Option* convertTitleOption =
        convertCommand->add_option("--title", convertTitle, "title for a .cube output");
    convertCommand->callback(does([&] {
        runConvert(convertInput, convertOutput, convertSize,
                   convertTitleOption->count() ? &convertTitle : nullptr);
    }));

    std::string infoInput;
    CLI::App* infoCommand =
        addCommand(app, "info", "Describe a LUT: size, title and a few mappings.",
                   "  lumivert-cli info Teal.cube\n");
    infoCommand->add_option("LUT", infoInput, "a .cube, .3dl or HALD .png file")->required();
    infoCommand->callback(does([&] { runInfo(infoInput); }));

    std::string identityOutput;
    int identityLevel = HaldCLUT::defaultLevel;
    CLI::App* identityCommand = addCommand(
        app, "identity-hald", "Write a neutral 16-bit HALD image to grade in another editor.",
        "  lumivert-cli identity-hald \"Identity HALD 8.png\"\n"
        "  lumivert-cli identity-hald small.png --level 6\n");
    identityCommand->add_option("OUTPUT", identityOutput, "a .png file")->required();
    identityCommand->add_option("--level", identityLevel, "HALD level, 2 to 16 (default 8)");
    identityCommand->callback(does([&] { runIdentityHald(identityOutput, identityLevel); }));

    std::string chartOutput;
    CLI::App* chartCommand = addCommand(app, "chart", "Write the 1200 x 800 test chart.",
                                        "  lumivert-cli chart chart.png\n");
    chartCommand->add_option("OUTPUT", chartOutput, "a .png file")->required();
    chartCommand->callback(does([&] { runChart(chartOutput); }));

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? 0 : kExitUsage;
    }
    return action ? execute(action) : kExitUsage;
}

}  // namespace lumivert::Commands
