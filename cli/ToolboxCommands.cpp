#include "cli/ToolboxCommands.hpp"

#include "cli/CommandFailure.hpp"
#include "cli/CommandSupport.hpp"
#include "lut/ASCCDL.hpp"
#include "lut/LUTAlgebra.hpp"
#include "lut/LUTReader.hpp"
#include "lut/LUTWriter.hpp"
#include "recipe/ExportPlan.hpp"
#include "recipe/GradeRecipe.hpp"

#include <charconv>
#include <cmath>
#include <iostream>
#include <memory>
#include <optional>
#include <tuple>

namespace lumivert::ToolboxCommands {

namespace {

using CommandSupport::quotedName;
using std::filesystem::path;

// What every toolbox command writes through: -o, --format, --size, --title and the writer's own.
struct OutputOptions {
    std::string output;
    std::string format;
    std::string title;
    std::int64_t size = 0;
    LUTWriter::Options writer;
    CLI::Option* outputOption = nullptr;
    CLI::Option* formatOption = nullptr;
    CLI::Option* sizeOption = nullptr;
    CLI::Option* titleOption = nullptr;
};

void addOutputOptions(CLI::App& command, OutputOptions& options, const std::string& defaultSize)
{
    std::tie(options.outputOption, options.formatOption) =
        CommandSupport::addOutputAndFormat(command, options.output, options.format);
    options.sizeOption =
        command.add_option("--size", options.size, CommandSupport::sizeHelp(defaultSize));
    CommandSupport::addWriterOptions(command, options.writer);
    options.titleOption =
        command.add_option("--title", options.title, "title inside the LUT and default file name");
}

// The files to write, none of them an input, named after the title when no -o is given.
ExportPlan::Plan planOf(const OutputOptions& options, const std::string& title,
                        const std::vector<path>& inputs)
{
    return CommandSupport::plannedFiles(
        options.outputOption->count() ? std::optional<path>(options.output) : std::nullopt,
        options.formatOption->count() ? ExportPlan::choiceNamed(options.format) : std::nullopt,
        title, inputs);
}

std::int64_t sizeOf(const OutputOptions& options, std::int64_t byDefault)
{
    if (options.sizeOption->count() == 0)
        return byDefault;
    CommandSupport::requireWithin(static_cast<double>(options.size),
                                  static_cast<double>(LUTFormat::minSize),
                                  static_cast<double>(LUTFormat::maxSize), "--size");
    return options.size;
}

std::string titleOf(const OutputOptions& options, const std::string& byDefault)
{
    return options.titleOption->count() ? options.title : byDefault;
}

// A lone .cube keeps curves and domains as they are; other formats get one table over 0 … 1.
void writeResult(const LUTStack& lut, const ExportPlan::Plan& plan, const std::string& title,
                 const LUTWriter::Options& writer)
{
    const std::int64_t size = lut.hasTable() ? lut.table().size() : GradeRecipe::defaultExportSize;
    CommandSupport::requireWritable(
        plan, [size](LUTFormat) { return size; }, writer);
    if (plan.size() == 1 && plan.front().format == LUTFormat::cube && lut.hasCurves()) {
        attempt(GradeRecipe::saveLUTFailedTitle,
                [&] { LUTWriter::writeCube(lut, title, plan.front().path); });
        std::cout << "Saved " << plan.front().path.string() << '\n';
        return;
    }
    CommandSupport::writeLUTs(lut.hasCurves() ? lut.bakedOnUnitDomain(size) : lut.table(), plan,
                              title, writer);
}

LUTStack readLUT(const path& file)
{
    return attempt(GradeRecipe::readLUTFailedTitle, [&] { return LUTReader::read(file); });
}

// ---- combine -----------------------------------------------------------------------------------

struct CombineOptions {
    std::vector<std::string> inputs;
    OutputOptions output;
};

int combine(const CombineOptions& options)
{
    const std::vector<path> inputs(options.inputs.begin(), options.inputs.end());
    std::string joined;
    for (const path& input : inputs)
        joined += (joined.empty() ? "" : " + ") + input.stem().string();
    const std::string title = titleOf(options.output, joined);
    const ExportPlan::Plan plan = planOf(options.output, title, inputs);
    std::vector<LUTStack> luts;
    for (const path& input : inputs)
        luts.push_back(readLUT(input));
    const std::int64_t size =
        sizeOf(options.output, LUTAlgebra::largestSize(luts, GradeRecipe::defaultExportSize));
    writeResult(LUTAlgebra::combine(luts, size), plan, title, options.output.writer);
    return 0;
}

Action defineCombine(CLI::App& command)
{
    auto options = std::make_shared<CombineOptions>();
    command.add_option("LUT", options->inputs, "two or more LUT files, applied in this order")
        ->required()
        ->expected(2, -1);
    addOutputOptions(command, options->output, "default: the largest table's");
    return [options] { return combine(*options); };
}

// ---- invert ------------------------------------------------------------------------------------

struct InvertOptions {
    std::string input;
    OutputOptions output;
};

int invert(const InvertOptions& options)
{
    const path input(options.input);
    const std::string title = titleOf(options.output, input.stem().string() + " inverse");
    const ExportPlan::Plan plan = planOf(options.output, title, {input});
    const LUTStack lut = readLUT(input);
    const std::int64_t byDefault =
        lut.hasTable() ? lut.table().size() : GradeRecipe::defaultExportSize;
    const std::int64_t size = sizeOf(options.output, byDefault);
    // Curves in front are inverted with the table they feed, as one table over their domain.
    const LUT3D table = lut.hasCurves() ? lut.baked(byDefault) : lut.table();
    const LUT3D inverse =
        attempt(GradeRecipe::saveLUTFailedTitle, [&] { return LUTAlgebra::invert(table, size); });
    writeResult(inverse, plan, title, options.output.writer);
    return 0;
}

Action defineInvert(CLI::App& command)
{
    auto options = std::make_shared<InvertOptions>();
    command.add_option("LUT", options->input, "a LUT whose outputs rise with each input")
        ->required();
    addOutputOptions(command, options->output, "default: the LUT's own");
    return [options] { return invert(*options); };
}

// ---- cdl ---------------------------------------------------------------------------------------

struct CDLOptions {
    std::string file;
    std::string id;
    std::string slope;
    std::string offset;
    std::string power;
    float saturation = 1.0f;
    CLI::Option* fileOption = nullptr;
    CLI::Option* idOption = nullptr;
    std::vector<CLI::Option*> valueOptions;
    OutputOptions output;
};

// "1.1,1,0.9" as three numbers, or UsageError naming the option.
RGB triple(const std::string& text, const std::string& option)
{
    std::array<float, 3> values{};
    std::size_t count = 0;
    std::size_t start = 0;
    bool valid = true;
    while (valid && start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        float value = 0.0f;
        const char* last = text.data() + comma;
        const auto [end, error] = std::from_chars(text.data() + start, last, value);
        valid = error == std::errc() && end == last && std::isfinite(value) && count < 3;
        if (valid)
            values[count++] = value;
        start = comma + 1;
    }
    if (!valid || count != 3)
        throw UsageError("The " + option +
                         " takes three numbers as R,G,B, such as 1.1,1,0.9; found \u201C" + text +
                         "\u201D.");
    return {values[0], values[1], values[2]};
}

ASCCDL cdlOf(const CDLOptions& options)
{
    const bool fromValues = std::any_of(options.valueOptions.begin(), options.valueOptions.end(),
                                        [](const CLI::Option* o) { return o->count() != 0; });
    if (options.fileOption->count() && fromValues)
        throw UsageError("Give either a CDL file or --slope, --offset, --power and --saturation, "
                         "not both.");
    if (options.idOption->count() && !options.fileOption->count())
        throw UsageError("The --id picks a correction of a CDL file; name the file too.");
    if (options.fileOption->count()) {
        return attempt(GradeRecipe::readLUTFailedTitle, [&] {
            const std::vector<ASCCDL> corrections = ASCCDLReader::read(options.file);
            try {
                return ASCCDLReader::chosen(corrections, options.idOption->count()
                                                             ? std::optional(options.id)
                                                             : std::nullopt);
            } catch (const LUTFormatError& error) {
                throw error.inFile(options.file);
            }
        });
    }
    ASCCDL cdl;
    if (options.valueOptions[0]->count())
        cdl.slope = triple(options.slope, "--slope");
    if (options.valueOptions[1]->count())
        cdl.offset = triple(options.offset, "--offset");
    if (options.valueOptions[2]->count())
        cdl.power = triple(options.power, "--power");
    cdl.saturation = options.saturation;
    if (const auto problem = cdl.problem())
        throw UsageError("The CDL cannot be made into a LUT: " + *problem + ".");
    return cdl;
}

int cdl(const CDLOptions& options)
{
    const ASCCDL correction = cdlOf(options);
    std::vector<path> inputs;
    if (options.fileOption->count())
        inputs.emplace_back(options.file);
    const std::string byDefault = !correction.id.empty()
                                      ? correction.id
                                      : (inputs.empty() ? "CDL" : inputs.front().stem().string());
    const std::string title = titleOf(options.output, byDefault);
    const ExportPlan::Plan plan = planOf(options.output, title, inputs);
    const std::int64_t size = sizeOf(options.output, GradeRecipe::defaultExportSize);
    writeResult(correction.lut(size), plan, title, options.output.writer);
    return 0;
}

Action defineCDL(CLI::App& command)
{
    auto options = std::make_shared<CDLOptions>();
    options->fileOption =
        command.add_option("FILE", options->file, "a .cc, .ccc or .cdl file (or give the values)");
    options->idOption =
        command.add_option("--id", options->id, "the ColorCorrection to use (default: the first)");
    options->valueOptions = {
        command.add_option("--slope", options->slope, "R,G,B (default 1,1,1)"),
        command.add_option("--offset", options->offset, "R,G,B (default 0,0,0)"),
        command.add_option("--power", options->power, "R,G,B, above 0 (default 1,1,1)"),
        command.add_option("--saturation", options->saturation, "0 or more (default 1)")};
    addOutputOptions(command, options->output,
                     "default " + std::to_string(GradeRecipe::defaultExportSize));
    return [options] { return cdl(*options); };
}

}  // namespace

std::vector<Command> commands()
{
    return {
        {"combine",
         "Chain LUTs into one table: each applied to the one before's output",
         "  lumivert-cli combine log-to-rec709.cube look.cube -o graded.cube\n"
         "  lumivert-cli combine a.cube b.3dl c.png --size 65 --format all\n",
         defineCombine,
         {}},
        {"invert",
         "Invert a LUT whose outputs rise with each input: the table that undoes it",
         "  lumivert-cli invert log-to-rec709.cube -o rec709-to-log.cube\n"
         "  lumivert-cli invert look.3dl --size 65 -o undo-look.cube\n",
         defineInvert,
         {}},
        {"cdl",
         "Turn an ASC CDL (values or a .cc, .ccc or .cdl file) into a LUT",
         "  lumivert-cli cdl --slope 1.1,1,0.9 --offset 0.02,0,-0.01 --power 1,1,1.1 "
         "--saturation 1.2 -o grade.cube\n"
         "  lumivert-cli cdl shots.ccc --id shot042 -o shot042.3dl\n",
         defineCDL,
         {}},
    };
}

}  // namespace lumivert::ToolboxCommands
