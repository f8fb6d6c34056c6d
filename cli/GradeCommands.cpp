#include "cli/GradeCommands.hpp"

#include "cli/AnalysisJson.hpp"
#include "cli/CommandFailure.hpp"
#include "cli/CommandSupport.hpp"
#include "color/Precondition.hpp"
#include "lut/HaldCLUT.hpp"
#include "recipe/Adjustments.hpp"
#include "recipe/ClipWarning.hpp"
#include "recipe/ExportPlan.hpp"
#include "recipe/GradeRecipe.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <functional>
#include <iostream>
#include <memory>
#include <span>
#include <tuple>

namespace lumivert::GradeCommands {

namespace {

using CommandSupport::numberText;
using GradeRecipe::Mode;
using GradeRecipe::Slot;
using std::filesystem::path;

constexpr int jsonIndent = 2;

// What was typed for one adjustment's option.
struct AdjustmentInput {
    std::vector<float> values;  // an option of several values
    float value = 0;            // an option of one value
    std::string choice;
    bool on = false;
    CLI::Option* option = nullptr;  // null: the command does not offer it
};

// Every option of the LUT-making commands; each command declares the ones its mode reads.
struct GradeOptions {
    std::vector<std::string> inputs;
    std::string output;
    std::string format;
    std::int64_t size = GradeRecipe::defaultExportSize;
    std::string title;
    // One per row of the adjustments table, in its order.
    std::vector<AdjustmentInput> adjustments{GradeRecipe::adjustments().size()};
    LUTWriter::Options writer;
    CLI::Option* outputOption = nullptr;
    CLI::Option* sizeOption = nullptr;
    CLI::Option* formatOption = nullptr;
    CLI::Option* titleOption = nullptr;
    // A user's OpenColorIO config, whose colour-space names the space options then take.
    std::string ocioConfig;
    CLI::Option* ocioConfigOption = nullptr;
};

// Which adjustments a command offers: all those of its mode, or only those that change an
// analysis.
enum class Offered : std::uint8_t { grade, analysis };

// What the command line says about each mode besides the recipe.
struct ModeCommand {
    Mode mode;
    const char* description;
    const char* examples;
    const char* inputs;  // the positional arguments' name, one word per slot
    const char* inputsHelp;
};

struct AnalyseCommand {
    Mode mode;
    const char* description;
    const char* examples;
    const char* inputs;
    const char* inputsHelp;
    std::array<const char*, 2> keys;  // the JSON key of each slot's image name
};

std::string lowerCased(std::string_view text)
{
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

// "tone, colour (default 1,1)" for several values, "strength of the grade (default 1)" for one.
std::string numbersHelp(const GradeRecipe::Adjustment& row)
{
    std::string titles;
    std::string defaults;
    for (const GradeRecipe::AdjustmentValue& value : row.values) {
        titles += (titles.empty() ? "" : ", ") + lowerCased(value.title);
        defaults += (defaults.empty() ? "" : ",") + numberText(value.defaultValue());
    }
    return (row.values.size() == 1 ? std::string(row.help) : titles) + " (default " + defaults +
           ")";
}

// "how colours beyond sRGB come back: preserve-lightness (default) or smooth, which keeps …"
std::string choiceHelp(const GradeRecipe::Adjustment& row)
{
    std::string text = std::string(row.help) + ": ";
    for (std::size_t i = 0; i < row.choices.size(); ++i) {
        const GradeRecipe::Choice& choice = row.choices[i];
        text += (i == 0                        ? ""
                 : i + 1 == row.choices.size() ? " or "
                                               : ", ") +
                std::string(choice.id);
        if (i == 0)
            text += " (default)";
        else if (!choice.help.empty())
            text += ", which " + lowerCased(choice.help.substr(0, 1)) +
                    std::string(choice.help.substr(1, choice.help.size() - 2));
    }
    return text;
}

// The choices that name a colour space, which with --ocio-config name one of the config's.
bool namesSpace(const GradeRecipe::Adjustment& row)
{
    return row == GradeRecipe::adjustmentKeyed("inputSpace") ||
           row == GradeRecipe::adjustmentKeyed("outputSpace");
}

// The table's names, or with a config given any of its colour spaces (checked when it is read).
CLI::Validator choiceCheck(const GradeRecipe::Adjustment& row, std::vector<std::string> names,
                           const CLI::Option* config)
{
    // Kept as a plain validator: IsMember's own constructor would take a copy for a set.
    CLI::Validator member = CLI::IsMember(std::move(names));
    if (!config || !namesSpace(row))
        return member;
    return CLI::Validator(
        [member, config](std::string& value) mutable {
            return config->count() ? std::string() : member(value);
        },
        member.get_description());
}

CLI::Option* addAdjustment(CLI::App& command, const GradeRecipe::Adjustment& row,
                           AdjustmentInput& input, const CLI::Option* config)
{
    const std::string option(row.option);
    switch (row.kind) {
    case GradeRecipe::AdjustmentKind::numbers:
        if (row.values.size() == 1) {
            input.value = row.values[0].defaultValue();
            return command.add_option(option, input.value, numbersHelp(row));
        }
        return command.add_option(option, input.values, numbersHelp(row))
            ->delimiter(',')
            ->expected(static_cast<int>(row.values.size()));
    case GradeRecipe::AdjustmentKind::choice: {
        std::vector<std::string> names;
        for (const GradeRecipe::Choice& choice : row.choices)
            names.emplace_back(choice.id);
        input.choice = names.front();
        return command.add_option(option, input.choice, choiceHelp(row))
            ->check(choiceCheck(row, std::move(names), config));
    }
    case GradeRecipe::AdjustmentKind::toggle:
        return command.add_flag(option, input.on, std::string(row.help));
    }
    return nullptr;
}

// The options of the adjustments the mode offers, in the table's order.
void addAdjustments(CLI::App& command, Mode mode, Offered offered, GradeOptions& options)
{
    const auto rows = GradeRecipe::adjustments();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].modes.contains(mode) &&
            (offered == Offered::grade || rows[i].refits || rows[i].reanalyses))
            options.adjustments[i].option =
                addAdjustment(command, rows[i], options.adjustments[i], options.ocioConfigOption);
    }
}

// A mode whose input is a table (a graded HALD) keeps it whole unless --size is given.
bool keepsInputTable(Mode mode)
{
    return GradeRecipe::recipe(GradeRecipe::recipe(mode).slots.front()).holdsTable;
}

void addGradeOptions(CLI::App& command, Mode mode, GradeOptions& options)
{
    std::tie(options.outputOption, options.formatOption) =
        CommandSupport::addOutputAndFormat(command, options.output, options.format);
    const std::string defaultSize = std::to_string(GradeRecipe::defaultExportSize);
    const int haldLevel = HaldCLUT::defaultLevel;
    options.sizeOption =
        command
            .add_option("--size", options.size,
                        CommandSupport::sizeHelp(
                            keepsInputTable(mode)
                                ? "default: the HALD's own table, " +
                                      std::to_string(HaldCLUT::pointsPerAxis(haldLevel)) +
                                      " for level " + std::to_string(haldLevel) +
                                      ", where the format holds it, else " + defaultSize
                                : "default " + defaultSize))
            ->check(CLI::IsMember(std::vector<std::int64_t>(GradeRecipe::exportSizes.begin(),
                                                            GradeRecipe::exportSizes.end())));
    CommandSupport::addWriterOptions(command, options.writer);
    options.titleOption =
        command.add_option("--title", options.title, "title inside the LUT and default file name");
    if (GradeRecipe::spaceModes.contains(mode))
        options.ocioConfigOption =
            command
                .add_option("--ocio-config", options.ocioConfig,
                            "an OpenColorIO config: --input-space and --output-space then name "
                            "its colour spaces (or roles)")
                ->check(CLI::ExistingFile);
    addAdjustments(command, mode, Offered::grade, options);
}

// The typed adjustments, each within the range its control offers.
GradeRecipe::Settings settingsOf(const GradeOptions& options)
{
    GradeRecipe::Settings settings;
    const auto rows = GradeRecipe::adjustments();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const GradeRecipe::Adjustment& row = rows[i];
        const AdjustmentInput& input = options.adjustments[i];
        if (!input.option)
            continue;
        switch (row.kind) {
        case GradeRecipe::AdjustmentKind::numbers: {
            const std::vector<float> values =
                row.values.size() == 1 ? std::vector<float>{input.value} : input.values;
            if (values.empty())
                break;
            if (const auto problem = GradeRecipe::problemWith(row, values, row.option))
                throw UsageError(*problem);
            GradeRecipe::assign(row, values, settings);
            break;
        }
        case GradeRecipe::AdjustmentKind::choice:
            // The option's check admits only the table's names.
            for (std::size_t c = 0; c < row.choices.size(); ++c)
                if (row.choices[c].id == input.choice)
                    row.choose(settings, c);
            break;
        case GradeRecipe::AdjustmentKind::toggle: row.choose(settings, input.on ? 1 : 0); break;
        }
    }
    return settings;
}

// The typed spaces: the table's, or the config's named ones.
SpaceConversion spacesOf(Mode mode, const GradeOptions& options,
                         const GradeRecipe::Settings& settings)
{
    if (!options.ocioConfigOption || !options.ocioConfigOption->count())
        return GradeRecipe::spacesOf(mode, settings);
    const auto typed = [&](std::string_view key) -> const AdjustmentInput& {
        const auto rows = GradeRecipe::adjustments();
        const auto* row = &GradeRecipe::adjustmentKeyed(key);
        return options.adjustments[static_cast<std::size_t>(row - rows.data())];
    };
    const AdjustmentInput& input = typed("inputSpace");
    const AdjustmentInput& output = typed("outputSpace");
    if (!input.option->count() || !output.option->count())
        throw UsageError("With --ocio-config, name the config’s input and output colour "
                         "spaces with --input-space and --output-space.");
    return attempt(GradeRecipe::readConfigFailedTitle, [&] {
        return SpaceConversion::fromConfig(options.ocioConfig, input.choice, output.choice);
    });
}

// Tells what a file of the plan cannot hold of the LUT, and how much of it clips.
void warnAbout(const LUTStack& lut, const SpaceConversion& spaces, const ExportPlan::Plan& plan)
{
    for (const ExportPlan::PlannedFile& file : plan)
        if (const auto dropped = GradeRecipe::shaperDropped(lut, spaces, file.format))
            std::cerr << "Warning: " << *dropped << '\n';
    if (const auto warning = ClipWarning::warning(ClipWarning::measure(lut, spaces)))
        std::cerr << "Warning: " << *warning << '\n';
}

struct LoadedInputs {
    std::vector<path> files;
    std::vector<GradeRecipe::Input> inputs;
    GradeRecipe::SlotNames names;
};

// Each slot's file as the mode reads it, in slot order.
LoadedInputs loaded(Mode mode, const std::vector<std::string>& files)
{
    const auto slots = GradeRecipe::recipe(mode).slots;
    LUMIVERT_PRECONDITION(files.size() == slots.size(), "one file for every slot of the mode");
    LoadedInputs result;
    for (std::size_t i = 0; i < slots.size(); ++i) {
        result.files.emplace_back(files[i]);
        result.inputs.push_back(attempt(GradeRecipe::openFailedTitle, [&] {
            return GradeRecipe::load(slots[i], result.files.back());
        }));
        result.names[slots[i]] = result.inputs.back().image.name();
    }
    return result;
}

GradeRecipe::Analysis analysed(Mode mode, const LoadedInputs& loaded,
                               const GradeRecipe::Settings& settings, const SpaceConversion& spaces)
{
    return attempt(GradeRecipe::analyseFailedTitle,
                   [&] { return GradeRecipe::analyse(mode, loaded.inputs, settings, spaces); });
}

std::string statusOf(Mode mode, const GradeRecipe::Results& results,
                     const GradeRecipe::SlotNames& names)
{
    const std::optional<std::string> line = GradeRecipe::statusLine(mode, results, names);
    LUMIVERT_PRECONDITION(line.has_value(), "an analysed mode has a status line");
    return *line;
}

// Points per axis to bake for each format: --size, else the result's own table where the format
// holds it, else the default export size.
std::function<std::int64_t(LUTFormat)> sizesFor(Mode mode, const GradeRecipe::Results& results,
                                                const GradeOptions& options)
{
    const std::optional<std::int64_t> kept =
        options.sizeOption->count() ? std::nullopt : GradeRecipe::resultTableSize(mode, results);
    return [kept, &options](LUTFormat format) {
        return kept && LUTWriter::canWrite(format, *kept, options.writer) ? *kept : options.size;
    };
}

int makeLUT(Mode mode, const GradeOptions& options)
{
    const GradeRecipe::Settings settings = settingsOf(options);
    const SpaceConversion spaces = spacesOf(mode, options, settings);
    const LoadedInputs inputs = loaded(mode, options.inputs);
    const std::string title = options.titleOption->count()
                                  ? options.title
                                  : GradeRecipe::suggestedName(mode, inputs.names)
                                        .value_or(std::string(GradeRecipe::defaultLUTName));
    const ExportPlan::Plan plan = CommandSupport::plannedFiles(
        options.outputOption->count() ? std::optional<path>(options.output) : std::nullopt,
        options.formatOption->count() ? ExportPlan::choiceNamed(options.format) : std::nullopt,
        title, inputs.files);
    // Checked before the analysis, which may be slow; a kept table gives way to --size where a
    // format cannot hold it, so what passes here is writable after it too.
    CommandSupport::requireWritable(plan, sizesFor(mode, {}, options), options.writer);
    GradeRecipe::Results results;
    results.store(analysed(mode, inputs, settings, spaces));
    const auto sizeFor = sizesFor(mode, results, options);
    std::cout << statusOf(mode, results, inputs.names) << '\n';
    // Baked as each file is written: a level-16 HALD's table is too large to hold twice.
    const GradePipeline pipeline = GradeRecipe::pipeline(mode, results, settings);
    const CommandSupport::SavedLine saved = keepsInputTable(mode)
                                                ? CommandSupport::SavedLine::pathAndSize
                                                : CommandSupport::SavedLine::path;
    if (spaces.isIdentity()) {
        // Baked as each file is written: a level-16 HALD's table is too large to hold twice. The
        // first file's entries, which come first, are measured for clipping on the way.
        const std::int64_t measuredSize = sizeFor(plan.front().format);
        ClipWarning::Clipping clipping;
        const ExportPlan::Bake bake{
            sizeFor, [&](std::int64_t size, std::int64_t firstRow, std::span<RGB> out) {
                pipeline.makeRows(size, firstRow, out);
                if (clipping.total < measuredSize * measuredSize * measuredSize)
                    ClipWarning::addAgainstIdentity(clipping, size, firstRow * size, out);
            }};
        CommandSupport::writeLUTs(bake, plan, title, options.writer, saved);
        if (const auto warning = ClipWarning::warning(clipping))
            std::cerr << "Warning: " << *warning << '\n';
        return 0;
    }
    std::map<std::int64_t, LUTStack> baked;
    const auto stackFor = [&](LUTFormat format) {
        const std::int64_t size = sizeFor(format);
        if (!baked.contains(size))
            baked.emplace(size, GradeRecipe::bake(mode, pipeline, spaces, size));
        return baked.at(size);
    };
    warnAbout(stackFor(plan.front().format), spaces, plan);
    LUTWriter::Options writer = options.writer;
    writer.notes = GradeRecipe::spaceNotes(spaces);
    CommandSupport::writeStacks(stackFor, plan, title, writer, saved);
    return 0;
}

// The analysis's own fields, and the smoothing an edit was fitted with.
struct AnalysisFields {
    float smoothing;

    nlohmann::json operator()(const LookAnalysis& analysis) const
    {
        return {{"analysis", AnalysisJson::look(analysis)}};
    }
    nlohmann::json operator()(const MatchAnalysis& analysis) const
    {
        return {{"analysis", AnalysisJson::match(analysis)}};
    }
    nlohmann::json operator()(const GradeRecipe::EditAnalysis& analysis) const
    {
        return {{"analysis", AnalysisJson::edit(analysis.fit, analysis.system.sampleCount())},
                {"smoothness", AnalysisJson::number(smoothing)}};
    }
    nlohmann::json operator()(const std::shared_ptr<const LUT3D>&) const
    {
        LUMIVERT_PRECONDITION(false, "a graded HALD has no analysis to print");
        return {};
    }
};

int printAnalysis(const AnalyseCommand& command, const GradeOptions& options)
{
    const GradeRecipe::Settings settings = settingsOf(options);
    const LoadedInputs inputs = loaded(command.mode, options.inputs);
    GradeRecipe::Analysis analysis =
        analysed(command.mode, inputs, settings, GradeRecipe::spacesOf(command.mode, settings));
    nlohmann::json document = std::visit(AnalysisFields{settings.smoothing}, analysis);
    const auto slots = GradeRecipe::recipe(command.mode).slots;
    for (std::size_t i = 0; i < slots.size(); ++i)
        document[command.keys[i]] = inputs.names.at(slots[i]);
    GradeRecipe::Results results;
    results.store(std::move(analysis));
    document["summary"] = statusOf(command.mode, results, inputs.names);
    std::cout << document.dump(jsonIndent) << '\n';
    return 0;
}

CLI::Option* addInputs(CLI::App& command, Mode mode, const char* name, const char* help,
                       GradeOptions& options)
{
    return command.add_option(name, options.inputs, help)
        ->required()
        ->expected(static_cast<int>(GradeRecipe::recipe(mode).slots.size()));
}

const std::array<ModeCommand, 4> modeCommandRows{{
    {Mode::look, "Capture the look of a reference photo as a LUT.",
     "  lumivert-cli look sunset.jpg -o Sunset.cube\n"
     "  lumivert-cli look film.png --format all --size 65 --look-settings 1,0.5,1.2,0\n"
     "  lumivert-cli look lemons.jpg --gamut smooth -o Lemons.cube\n",
     "REFERENCE", "the photo whose colours you want"},
    {Mode::match, "Make a LUT that gives your photo the look of a reference photo.",
     "  lumivert-cli match mine.jpg reference.jpg -o Matched.cube\n"
     "  lumivert-cli match mine.jpg reference.jpg --match-settings 1,0.6 --format 3dl\n",
     "SOURCE REFERENCE", "your photo, then the reference"},
    {Mode::edit, "Learn the colour change between a photo before and after an edit.",
     "  lumivert-cli edit original.jpg graded.jpg -o Grade.cube\n"
     "  lumivert-cli edit before.png after.png --smoothing 0.05 --format all\n",
     "BEFORE AFTER", "the original, then the edited photo"},
    {Mode::hald, "Turn a graded HALD image into a LUT.",
     "  lumivert-cli identity-hald \"Identity HALD 8.png\"   # grade this elsewhere, then:\n"
     "  lumivert-cli hald \"Identity HALD 8 graded.png\" -o Graded.cube\n",
     "GRADED_HALD", "a HALD image graded in another editor"},
}};

const std::array<AnalyseCommand, 3> analyseCommands{{
    {Mode::look,
     "Levels, contrast, band tints, colourfulness and palette.",
     "  lumivert-cli analyse look sunset.jpg > sunset.json\n",
     "IMAGE",
     "the photo",
     {"image", nullptr}},
    {Mode::match,
     "Tone map, source ranks and the six colour bands.",
     "  lumivert-cli analyse match mine.jpg reference.jpg\n",
     "SOURCE REFERENCE",
     "your photo, then the reference",
     {"source", "reference"}},
    {Mode::edit,
     "How well a LUT captures the edit, and why.",
     "  lumivert-cli analyse edit before.png after.png --smoothing 0.05\n",
     "BEFORE AFTER",
     "the original, then the edited photo",
     {"before", "after"}},
}};

}  // namespace

std::vector<Command> modeCommands()
{
    std::vector<Command> commands;
    for (const ModeCommand& row : modeCommandRows) {
        const auto define = [&row](CLI::App& command) -> Action {
            auto options = std::make_shared<GradeOptions>();
            addInputs(command, row.mode, row.inputs, row.inputsHelp, *options);
            addGradeOptions(command, row.mode, *options);
            return [mode = row.mode, options] { return makeLUT(mode, *options); };
        };
        commands.push_back({std::string(GradeRecipe::recipe(row.mode).id),
                            row.description,
                            row.examples,
                            define,
                            {}});
    }
    return commands;
}

Command analyse()
{
    Command group{"analyse",
                  "Print an analysis as JSON.",
                  "  lumivert-cli analyse look sunset.jpg\n"
                  "  lumivert-cli analyse match mine.jpg reference.jpg\n"
                  "  lumivert-cli analyse edit before.png after.png\n",
                  {},
                  {}};
    for (const AnalyseCommand& row : analyseCommands) {
        const auto define = [&row](CLI::App& command) -> Action {
            auto options = std::make_shared<GradeOptions>();
            addInputs(command, row.mode, row.inputs, row.inputsHelp, *options);
            addAdjustments(command, row.mode, Offered::analysis, *options);
            return [&row, options] { return printAnalysis(row, *options); };
        };
        group.subcommands.push_back({std::string(GradeRecipe::recipe(row.mode).id),
                                     row.description,
                                     row.examples,
                                     define,
                                     {}});
    }
    return group;
}

}  // namespace lumivert::GradeCommands
