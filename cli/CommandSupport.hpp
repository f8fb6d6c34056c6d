#pragma once

// What several commands share: the checks of numeric options, the export plan with the
// command line's exit statuses, and writing the planned LUT files.

#include "color/LUT3D.hpp"
#include "lut/LUTWriter.hpp"
#include "recipe/ExportPlan.hpp"
#include "recipe/GradeRecipe.hpp"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lumivert::CommandSupport {

// As short as the number allows, so 0.001 and 1.5 read as typed.
std::string numberText(double value);

// “name.ext”
std::string quotedName(const std::filesystem::path& file);

// UsageError unless every value is finite: "The values of --finetune must be finite numbers."
void requireFinite(const std::vector<float>& values, const std::string& option);
// UsageError unless the value lies in the range: "The --level must lie between 2 and 16."
void requireWithin(double value, double lower, double upper, const std::string& option);
// Finite, then within the range: "The --intensity must lie between 0 and 1.5."
void requireWithin(float value, const GradeRecipe::Range& range, const std::string& option);
// Finite, then each value within the range: "The --finetune values must lie between -1 and 1."
void requireWithin(const std::vector<float>& values, const GradeRecipe::Range& range,
                   const std::string& option);

// The files that --output, the --format's choice and the title name, none of them one of the
// inputs: UsageError for a plan the command line cannot make, CommandFailure when it would replace
// an input.
ExportPlan::Plan plannedFiles(const std::optional<std::filesystem::path>& output,
                              std::optional<ExportPlan::ExportChoice> choice,
                              const std::string& title,
                              const std::vector<std::filesystem::path>& inputs);

// CommandFailure under the title when an output is one of the inputs.
void refuseReplacingInputs(std::span<const std::filesystem::path> outputs,
                           std::span<const std::filesystem::path> inputs, std::string_view title);

// -o/--output (its extension picks the format) and --format, stored into the strings; returns
// the two options, so that a command can tell whether they were given.
std::pair<CLI::Option*, CLI::Option*> addOutputAndFormat(CLI::App& command, std::string& output,
                                                         std::string& format);

// The --size help: what the default is, and the one size ffmpeg's lut3d filter reads in .3dl.
std::string sizeHelp(const std::string& defaultSize);

// --hald-level and --3dl-flavour, stored into the options.
void addWriterOptions(CLI::App& command, LUTWriter::Options& options);

// UsageError for a --hald-level outside 2 … 16, or for a Lustre .3dl in the plan whose table
// (of the size tableSize gives for its format) the Mesh line cannot declare.
void requireWritable(const ExportPlan::Plan& plan,
                     const std::function<std::int64_t(LUTFormat)>& tableSize,
                     const LUTWriter::Options& options);

// Whether "Saved …" names the points per axis of the file written.
enum class SavedLine : std::uint8_t { path, pathAndSize };

// Writes to every planned file the table that tableFor gives for its format, saying "Saved …"
// for each.
void writeLUTs(const std::function<LUT3D(LUTFormat)>& tableFor, const ExportPlan::Plan& plan,
               const std::string& title, const LUTWriter::Options& options,
               SavedLine saved = SavedLine::path);
// The same with a stack per format (ExportPlan::writeStacks): a .cube keeps its shaper.
void writeStacks(const std::function<LUTStack(LUTFormat)>& stackFor, const ExportPlan::Plan& plan,
                 const std::string& title, const LUTWriter::Options& options,
                 SavedLine saved = SavedLine::path);
// The same LUT to every planned file.
// The same, the grade baked as each file is written (ExportPlan::Bake).
void writeLUTs(const ExportPlan::Bake& bake, const ExportPlan::Plan& plan, const std::string& title,
               const LUTWriter::Options& options, SavedLine saved);
void writeLUTs(const LUT3D& lut, const ExportPlan::Plan& plan, const std::string& title,
               const LUTWriter::Options& options);

}  // namespace lumivert::CommandSupport
