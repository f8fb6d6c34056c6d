#include "cli/FileCommands.hpp"

#include "cli/CommandFailure.hpp"
#include "cli/CommandSupport.hpp"
#include "imaging/ImageLoader.hpp"
#include "imaging/SceneLinearFeed.hpp"
#include "imaging/TestChart.hpp"
#include "lut/HaldCLUT.hpp"
#include "lut/LUTFacts.hpp"
#include "lut/LUTReader.hpp"
#include "lut/LUTWriter.hpp"
#include "recipe/BatchApply.hpp"
#include "recipe/ExportPlan.hpp"
#include "recipe/GradeRecipe.hpp"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>

namespace lumivert::FileCommands {

namespace {

using CommandSupport::quotedName;
using std::filesystem::path;

using LUTFacts::LUTFile;

// The table, and the title a .cube file stores, from one reading of the file. A .3dl depth
// guessed from dark values may be wrong by a factor of four; only the user can tell.
LUTFile readLUT(const path& file)
{
    LUTFile contents =
        attempt(GradeRecipe::readLUTFailedTitle, [&] { return LUTFacts::read(file); });
    if (contents.guessedTenBit)
        std::cerr << "Warning: " << quotedName(file)
                  << " declares no output depth and its values stay below 1024, so they were "
                     "read as 10-bit; a dark 12-bit grade would come out four times too "
                     "bright.\n";
    return contents;
}

void requirePng(const path& output)
{
    if (ImageLoader::fileType(output) != ImageFileType::png)
        throw UsageError("The output " + quotedName(output) + " must be a .png file.");
}

// ---- apply -------------------------------------------------------------------------------------

struct ApplyOptions {
    std::string lut;
    std::vector<std::string> images;
    std::string output;
    std::string folder;
    BatchApply::Options batch;
    std::optional<std::string> imageSpace;  // a key of the colour-space table
    bool quiet = false;
    CLI::Option* outputOption = nullptr;
    CLI::Option* folderOption = nullptr;
    CLI::Option* qualityOption = nullptr;
    CLI::Option* jobsOption = nullptr;
};

std::vector<std::string> interpolationIds()
{
    std::vector<std::string> ids;
    for (const InterpolationName& row : interpolationNames)
        ids.emplace_back(row.id);
    return ids;
}

// The scene-linear spaces, "linear-rec709 or acescg".
std::string imageSpaceKeys()
{
    std::string keys;
    for (const ColorSpaceRow& row : ColorSpaces::all()) {
        if (row.kind == ColorSpaceKind::sceneLinear)
            keys += (keys.empty() ? "" : " or ") + std::string(row.key);
    }
    return keys;
}

std::vector<BatchApply::Job> jobsOf(const ApplyOptions& options)
{
    const std::vector<path> inputs(options.images.begin(), options.images.end());
    std::vector<BatchApply::Job> jobs;
    if (options.outputOption->count()) {
        if (inputs.size() != 1)
            throw UsageError("With several images, name an output folder with --out-dir.");
        jobs.push_back({inputs.front(), options.output});
    } else if (options.folderOption->count()) {
        try {
            jobs = BatchApply::jobsInFolder(inputs, options.folder);
        } catch (const ExportPlan::ExportPlanError& error) {
            throw UsageError(error.what());
        }
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

// "Applied the LUT to 3 of 4 images; “b.png” failed.": the one line every run ends with.
std::string summaryOf(std::size_t total, const std::vector<BatchApply::Failure>& failures)
{
    std::string line = "Applied the LUT to " + std::to_string(total - failures.size()) + " of " +
                       std::to_string(total) + (total == 1 ? " image" : " images");
    if (failures.empty())
        return line + ".";
    line += "; ";
    for (std::size_t i = 0; i < failures.size(); ++i)
        line += (i > 0 ? ", " : "") + quotedName(failures[i].input);
    return line + " failed.";
}

bool takesQuality(const path& output)
{
    const auto type = ImageLoader::fileType(output);
    return type == ImageFileType::jpeg || type == ImageFileType::webp;
}

// A --quality that no output uses is a slip (a usage error); one that only some use is said.
void checkQualityUse(const ApplyOptions& options, const std::vector<BatchApply::Job>& jobs)
{
    if (options.qualityOption->count() == 0)
        return;
    std::vector<path> lossless;
    for (const BatchApply::Job& job : jobs)
        if (!takesQuality(job.output))
            lossless.push_back(job.output);
    if (lossless.empty())
        return;
    if (lossless.size() == jobs.size())
        throw UsageError("The --quality sets JPEG and WebP compression only; " +
                         quotedName(lossless.front()) +
                         " is written without loss, so leave it out.");
    std::cerr << "Warning: --quality sets JPEG and WebP compression only; " << lossless.size()
              << (lossless.size() == 1 ? " output is" : " outputs are")
              << " written without loss, such as " << quotedName(lossless.front()) << ".\n";
}

int apply(const ApplyOptions& options)
{
    CommandSupport::requireWithin(options.batch.strength, GradeRecipe::applyStrengthRange,
                                  "--strength");
    BatchApply::Options batch = options.batch;
    try {
        if (options.imageSpace)
            batch.imageSpace = ColorSpaces::parse(*options.imageSpace);
        SceneLinear::toLinearRec709(batch.imageSpace);
    } catch (const ColorSpaceError& error) {
        throw UsageError("The --image-space is wrong. " + std::string(error.what()));
    }
    if (options.jobsOption->count() != 0 && options.batch.jobs < 1)
        throw UsageError("The --jobs must be a whole number of at least 1.");
    const std::vector<BatchApply::Job> jobs = jobsOf(options);
    checkQualityUse(options, jobs);
    // An output that is the LUT file itself would replace the grade with a graded photo.
    std::vector<path> outputs;
    for (const BatchApply::Job& job : jobs)
        outputs.push_back(job.output);
    const path lutFile(options.lut);
    CommandSupport::refuseReplacingInputs(outputs, {&lutFile, 1},
                                          GradeRecipe::saveImageFailedTitle);
    const LUTStack lut = readLUT(options.lut).lut;
    if (options.folderOption->count())
        createFolder(options.folder);
    const bool showProgress = !options.quiet && ::isatty(STDERR_FILENO) == 1;
    const auto failures = BatchApply::applyAll(
        lut, jobs, batch,
        [showProgress](std::size_t done, std::size_t total, const BatchApply::Job& job) {
            if (showProgress) {
                std::fprintf(stderr, "[%zu/%zu] %s\n", done, total, job.input.filename().c_str());
            }
        });
    for (const BatchApply::Job& job : jobs) {
        const bool failed = std::any_of(failures.begin(), failures.end(),
                                        [&](const auto& f) { return f.input == job.input; });
        if (!failed)
            std::cout << "Saved " << job.output.string() << '\n';
    }
    for (const BatchApply::Failure& failure : failures)
        std::cerr << failure.message << '\n';
    std::cerr << summaryOf(jobs.size(), failures) << '\n';
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
    options->qualityOption =
        command
            .add_option("--quality", options->batch.quality,
                        "JPEG and WebP quality, 1 to 100 (default " +
                            std::to_string(ImageLoader::defaultQuality) + ")")
            ->check(CLI::Range(ImageLoader::minQuality, ImageLoader::maxQuality));
    options->jobsOption =
        command.add_option("--jobs", options->batch.jobs,
                           "files at once, 1 or more (default: one per core, " +
                               std::to_string(BatchApply::defaultJobs()) + " here)");
    command.add_flag("--quiet", options->quiet, "no progress lines, only the summary");
    command.add_option("--interpolation")
        ->type_name("TEXT")
        ->description("how the table blends its entries: " +
                      std::string(nameOf(Interpolation::trilinear).id) + " (default) or " +
                      std::string(nameOf(Interpolation::tetrahedral).id) +
                      " (as most grading applications and OpenColorIO do)")
        ->check(CLI::IsMember(interpolationIds()))
        ->each([options](const std::string& name) {
            options->batch.interpolation = interpolationNamed(name).value();
        });
    command.add_option("--image-space")
        ->type_name("SPACE")
        ->description("the colour space of float images' scene-linear values (EXR, float TIFF): " +
                      imageSpaceKeys() + " (default " +
                      std::string(ColorSpaces::row(ColorSpace::linearRec709).key) + ")")
        ->each([options](const std::string& key) { options->imageSpace = key; });
    command.add_option(
        "--strength", options->batch.strength,
        "how much of the LUT's change to keep, " + GradeRecipe::applyStrengthRange.text() +
            " (default " +
            CommandSupport::numberText(GradeRecipe::applyStrengthRange.defaultValue) + ")");
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

// What a format without curves or a domain receives: the table itself (the writer maps its
// domain onto 0 … 1), or the whole transform baked into one table.
LUT3D tableFor(const LUTStack& lut, const std::string& input)
{
    if (!lut.hasCurves())
        return lut.table();
    std::cerr << "Warning: " << quotedName(input)
              << " holds 1D curves, which only a .cube output keeps; they were baked into the 3D "
                 "table, which changes its precision.\n";
    // Curves bend between the table's points, so a small table gets the export lattice.
    const std::int64_t size = lut.hasTable() ? lut.table().size() : 0;
    return lut.bakedOnUnitDomain(std::max(size, GradeRecipe::defaultExportSize));
}

int convert(const ConvertOptions& options)
{
    // Converting onto the input would lose the original table (a 65-point one resampled to 17).
    const auto plan =
        CommandSupport::plannedFiles(path(options.output), std::nullopt, "", {options.input});
    LUTFile file = readLUT(options.input);
    const std::string title = options.titleOption->count()
                                  ? options.title
                                  : file.title.value_or(path(options.input).stem().string());
    LUTStack lut = std::move(file.lut);
    if (options.size != 0) {
        CommandSupport::requireWithin(static_cast<double>(options.size),
                                      static_cast<double>(LUTFormat::minSize),
                                      static_cast<double>(LUTFormat::maxSize), "--size");
        // A plain 3D table of that size over the input's domain; curves are baked into it.
        lut = LUTStack(lut.baked(options.size));
    }
    // One output: a .cube keeps curves and domains as they are; other formats get one table.
    std::optional<LUT3D> table;
    if (plan.front().format != LUTFormat::cube)
        table = tableFor(lut, options.input);
    CommandSupport::requireWritable(
        plan, [&table](LUTFormat) { return table ? table->size() : LUTFormat::maxSize; },
        options.writer);
    if (table) {
        CommandSupport::writeLUTs(*table, plan, title, options.writer);
        return 0;
    }
    attempt(GradeRecipe::saveLUTFailedTitle,
            [&] { LUTWriter::writeCube(lut, title, plan.front().path); });
    std::cout << "Saved " << plan.front().path.string() << '\n';
    return 0;
}

Action defineConvert(CLI::App& command)
{
    auto options = std::make_shared<ConvertOptions>();
    command
        .add_option("LUT", options->input,
                    "a LUT file: " + LUTFormat::extensionsText(LUTFormat::readableCases()) +
                        ", or a HALD image")
        ->required();
    command
        .add_option("-o,--output", options->output,
                    "a " + LUTFormat::extensionsText(LUTFormat::writableCases()) + " file")
        ->required();
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
    const LUTFile file = readLUT(input);
    std::cout << "File: " << input << '\n';
    for (const LUTFacts::Fact& fact : LUTFacts::facts(file))
        std::cout << fact.label << ": " << fact.value << '\n';
    std::cout << "Sample mappings (sRGB-encoded):\n";
    for (const LUTFacts::Sample& sample : LUTFacts::samples(file.lut)) {
        std::printf("  %-9s %.4f %.4f %.4f -> %.4f %.4f %.4f\n", sample.name,
                    static_cast<double>(sample.input.r), static_cast<double>(sample.input.g),
                    static_cast<double>(sample.input.b), static_cast<double>(sample.output.r),
                    static_cast<double>(sample.output.g), static_cast<double>(sample.output.b));
    }
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
         "Describe a LUT: format, size, domain, title and comments, how far it moves colours, "
         "whether the grey axis stays monotone, clipping, and a few mappings.",
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
