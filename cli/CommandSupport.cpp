#include "cli/CommandSupport.hpp"

#include "cli/CommandFailure.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <map>

namespace lumivert::CommandSupport {

namespace {

using std::filesystem::path;

constexpr const char* haldLevelOption = "--hald-level";
// As --3dl-flavour spells LUTWriter::ThreeDLFlavour's cases, in their order.
const std::vector<std::string> flavourNames{"plain", "lustre"};

std::string between(double lower, double upper)
{
    return "between " + numberText(lower) + " and " + numberText(upper) + ".";
}

// "2, 3, 5, 9, 17, 33, 65 or 129"
std::string lustreSizes()
{
    std::vector<std::string> sizes;
    for (std::int64_t size = LUTFormat::minSize; size <= LUTFormat::maxSize; ++size) {
        if (LUTWriter::canWrite(LUTWriter::ThreeDLFlavour::lustre, size))
            sizes.push_back(std::to_string(size));
    }
    std::string text = sizes.front();
    for (std::size_t i = 1; i < sizes.size(); ++i)
        text += (i + 1 == sizes.size() ? " or " : ", ") + sizes[i];
    return text;
}

// "512 x 512 pixels, 64 points per axis"
std::string defaultHaldShape()
{
    const std::string side = std::to_string(HaldCLUT::sideLength(HaldCLUT::defaultLevel));
    return side + " x " + side + " pixels, " +
           std::to_string(HaldCLUT::pointsPerAxis(HaldCLUT::defaultLevel)) + " points per axis";
}

}  // namespace

std::string numberText(double value)
{
    char text[32] = {};
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::string quotedName(const path& file) { return "\u201C" + file.filename().string() + "\u201D"; }

void requireFinite(const std::vector<float>& values, const std::string& option)
{
    if (!std::all_of(values.begin(), values.end(), [](float v) { return std::isfinite(v); }))
        throw UsageError("The values of " + option + " must be finite numbers.");
}

void requireWithin(double value, double lower, double upper, const std::string& option)
{
    if (!(value >= lower && value <= upper))
        throw UsageError("The " + option + " must lie " + between(lower, upper));
}

void requireWithin(float value, const GradeRecipe::Range& range, const std::string& option)
{
    requireFinite({value}, option);
    requireWithin(value, range.lower, range.upper, option);
}

void requireWithin(const std::vector<float>& values, const GradeRecipe::Range& range,
                   const std::string& option)
{
    requireFinite(values, option);
    if (!std::all_of(values.begin(), values.end(), [&](float v) { return range.contains(v); }))
        throw UsageError("The " + option + " values must lie " + between(range.lower, range.upper));
}

ExportPlan::Plan plannedFiles(const std::optional<path>& output,
                              std::optional<ExportPlan::ExportChoice> choice,
                              const std::string& title, const std::vector<path>& inputs)
{
    using Reason = ExportPlan::ExportPlanError::Reason;
    try {
        ExportPlan::Plan plan = ExportPlan::files(output, choice, title);
        ExportPlan::refuseUnsafe(plan, inputs);
        return plan;
    } catch (const ExportPlan::ExportPlanError& error) {
        switch (error.reason()) {
        case Reason::unknownExtension:
            throw UsageError("The output " + quotedName(error.file()) + " needs the extension " +
                             LUTFormat::extensionsText(LUTFormat::writableCases()) +
                             ", or a --format.");
        case Reason::sharedPath: throw UsageError(error.what());
        case Reason::replacesInput:
            throw CommandFailure(GradeRecipe::saveLUTFailedTitle, error.what());
        }
        throw;
    }
}

void refuseReplacingInputs(std::span<const path> outputs, std::span<const path> inputs,
                           std::string_view title)
{
    try {
        ExportPlan::refuseReplacingInputs(outputs, inputs);
    } catch (const ExportPlan::ExportPlanError& error) {
        throw CommandFailure(title, error.what());
    }
}

std::pair<CLI::Option*, CLI::Option*> addOutputAndFormat(CLI::App& command, std::string& output,
                                                         std::string& format)
{
    std::vector<std::string> formatNames;
    for (const ExportPlan::ChoiceRecipe& row : ExportPlan::choices())
        formatNames.emplace_back(row.name);
    std::string names;
    for (std::size_t i = 0; i < formatNames.size(); ++i)
        names += (i == 0 ? "" : i + 1 == formatNames.size() ? " or " : ", ") + formatNames[i];
    CLI::Option* const outputOption =
        command.add_option("-o,--output", output,
                           "LUT file to write; its extension (" +
                               LUTFormat::extensionsText(LUTFormat::writableCases()) +
                               ", a .png being HALD) picks the format");
    CLI::Option* const formatOption =
        command.add_option("--format", format, names + " (all: .cube, .3dl and HALD .png)")
            ->check(CLI::IsMember(formatNames));
    return {outputOption, formatOption};
}

std::string sizeHelp(const std::string& defaultSize)
{
    return "lattice points per axis (" + defaultSize +
           "); ffmpeg's lut3d filter reads only 17-point .3dl files (others come out wrong "
           "without an error), so use 17 for it";
}

void addWriterOptions(CLI::App& command, LUTWriter::Options& options)
{
    command.add_option(haldLevelOption, options.haldLevel,
                       "level of a HALD .png output, " + std::to_string(HaldCLUT::minLevel) +
                           " to " + std::to_string(HaldCLUT::maxLevel) + " (default " +
                           std::to_string(HaldCLUT::defaultLevel) + ": " + defaultHaldShape() +
                           ")");
    command.add_option("--3dl-flavour")
        ->type_name("TEXT")
        ->description("layout of a .3dl output: plain (default; read by most applications and "
                      "ffmpeg) or lustre (Autodesk Lustre's 3DMESH header; sizes " +
                      lustreSizes() + ")")
        ->check(CLI::IsMember(flavourNames))
        ->each([&options](const std::string& name) {
            const auto found = std::find(flavourNames.begin(), flavourNames.end(), name);
            options.threeDLFlavour =
                static_cast<LUTWriter::ThreeDLFlavour>(found - flavourNames.begin());
        });
}

void requireWritable(const ExportPlan::Plan& plan,
                     const std::function<std::int64_t(LUTFormat)>& tableSize,
                     const LUTWriter::Options& options)
{
    requireWithin(options.haldLevel, HaldCLUT::minLevel, HaldCLUT::maxLevel, haldLevelOption);
    for (const ExportPlan::PlannedFile& file : plan) {
        const std::int64_t size = tableSize(file.format);
        if (!LUTWriter::canWrite(file.format, size, options)) {
            throw UsageError("A Lustre .3dl holds " + lustreSizes() + " points per axis, not " +
                             std::to_string(size) + "; choose one with --size.");
        }
    }
}

namespace {

// A format holding only 0 … 1 changes wider entries: say how many, and how far they reached.
void reportClamping(const LUTWriter::Clamping& clamping, const path& file)
{
    if (clamping.entries == 0)
        return;
    std::cerr << "Note: " << clamping.entries << " of " << clamping.total << " entries of "
              << quotedName(file) << " were clamped into 0 to 1, which is all the format holds; "
              << "their values ranged from " << numberText(clamping.lowest) << " to "
              << numberText(clamping.highest) << ".\n";
}

// Every file is written before any takes its name, so the lines come after the commit.
void sayWritten(const ExportPlan::Plan& plan, const std::vector<std::int64_t>& sizes,
                const std::vector<LUTWriter::Clamping>& clamped, SavedLine saved)
{
    for (std::size_t i = 0; i < plan.size(); ++i) {
        std::cout << "Saved " << plan[i].path.string();
        if (saved == SavedLine::pathAndSize)
            std::cout << " (" << sizes[i] << " points per axis)";
        std::cout << '\n';
        reportClamping(clamped[i], plan[i].path);
    }
}

}  // namespace

void writeLUTs(const std::function<LUT3D(LUTFormat)>& tableFor, const ExportPlan::Plan& plan,
               const std::string& title, const LUTWriter::Options& options, SavedLine saved)
{
    writeStacks([&](LUTFormat format) { return LUTStack(tableFor(format)); }, plan, title, options,
                saved);
}

void writeStacks(const std::function<LUTStack(LUTFormat)>& stackFor, const ExportPlan::Plan& plan,
                 const std::string& title, const LUTWriter::Options& options, SavedLine saved)
{
    std::vector<std::int64_t> sizes;
    std::vector<LUTWriter::Clamping> clamped;
    attempt(GradeRecipe::saveLUTFailedTitle, [&] {
        ExportPlan::writeStacks(
            [&](LUTFormat format) {
                LUTStack lut = stackFor(format);
                const std::int64_t size = lut.table().size();
                sizes.push_back(LUTWriter::writtenSize(size, format, options));
                // What a format without a shaper holds is the stack baked onto 0 … 1.
                const bool baked = lut.hasCurves() && format != LUTFormat::cube;
                clamped.push_back(!format.clampsToUnitRange() ? LUTWriter::Clamping{}
                                  : baked ? LUTWriter::clamping(lut.bakedOnUnitDomain(size))
                                          : LUTWriter::clamping(lut.table()));
                return lut;
            },
            plan, title, options);
    });
    sayWritten(plan, sizes, clamped, saved);
}

void writeLUTs(const ExportPlan::Bake& bake, const ExportPlan::Plan& plan, const std::string& title,
               const LUTWriter::Options& options, SavedLine saved)
{
    std::vector<std::int64_t> sizes;
    for (const ExportPlan::PlannedFile& file : plan)
        sizes.push_back(LUTWriter::writtenSize(bake.sizeFor(file.format), file.format, options));
    attempt(GradeRecipe::saveLUTFailedTitle,
            [&] { ExportPlan::write(bake, plan, title, options); });
    // A bake gives entries within 0 … 1 only: no format clamps any.
    sayWritten(plan, sizes, std::vector<LUTWriter::Clamping>(plan.size()), saved);
}

void writeLUTs(const LUT3D& lut, const ExportPlan::Plan& plan, const std::string& title,
               const LUTWriter::Options& options)
{
    writeLUTs([&lut](LUTFormat) { return lut; }, plan, title, options);
}

}  // namespace lumivert::CommandSupport
