#pragma once

// Where an export writes, for the window and the command line alike: the choices of format, the
// cleaned file name, one path per chosen format (each format's extension, in export order) and
// the guards that keep an export from replacing what it was made from.

#include "color/LUT3D.hpp"
#include "color/LUTStack.hpp"
#include "lut/LUTFormat.hpp"
#include "lut/LUTWriter.hpp"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace lumivert {
class LUT3D;
}

namespace lumivert::ExportPlan {

// ---- Choices -----------------------------------------------------------------------------------

// The three formats of the export panel and all of them first; then the other formats written.
enum class ExportChoice : std::uint8_t { cube, threeDL, hald, all, clf, csp, spi3d, icc };

struct ChoiceRecipe {
    ExportChoice choice;
    std::string_view name;               // "3dl": as the command line spells it
    std::string_view rawValue;           // "threeDL": as the window stores it
    std::span<const LUTFormat> formats;  // in export order
};

// In the order the export panel lists them.
const std::array<ChoiceRecipe, 8>& choices();
// Whether the choice is one of the other formats, which the panel lists under "More formats".
bool isMoreFormat(ExportChoice choice);
const ChoiceRecipe& recipe(ExportChoice choice);
std::optional<ExportChoice> choiceNamed(std::string_view name);
std::optional<ExportChoice> choiceFromRawValue(std::string_view rawValue);
std::span<const LUTFormat> formats(ExportChoice choice);

// ---- Files -------------------------------------------------------------------------------------

struct PlannedFile {
    std::filesystem::path path;
    LUTFormat format;

    friend bool operator==(const PlannedFile&, const PlannedFile&) = default;
};

using Plan = std::vector<PlannedFile>;

// A plan that cannot be written; the message is a full sentence naming the file.
class ExportPlanError : public std::runtime_error {
public:
    enum class Reason : std::uint8_t {
        unknownExtension,  // no choice, and the output's extension names no LUT format
        replacesInput,     // a planned file is one of the inputs
        sharedPath         // two planned files are one file
    };

    ExportPlanError(Reason reason, std::filesystem::path file, const std::string& message);

    Reason reason() const { return reason_; }
    const std::filesystem::path& file() const { return file_; }

private:
    Reason reason_;
    std::filesystem::path file_;
};

// The name with each of the ten characters /:\?%*|"<> turned into "-", trimmed of spaces and
// tabs, and of dots in front so that it names neither a hidden file nor a folder (".cube" gives
// "cube", ".." nothing).
std::string sanitisedFileName(std::string_view name);

// Without a choice the output's extension decides (ExportPlanError unknownExtension when it
// names no LUT format that is written); with one, a LUT extension on the output is replaced by each
// format's and any other suffix is kept ("Teal.v2" → "Teal.v2.cube"). Without an output the files
// are named after the sanitised name, or GradeRecipe::defaultLUTName when nothing is left of it.
Plan files(const std::optional<std::filesystem::path>& output, std::optional<ExportChoice> choice,
           std::string_view name);

// The outputs that are one of the inputs (sameFile), in output order: what writing them would
// replace of what they are made from.
std::vector<std::filesystem::path> replacedInputs(std::span<const std::filesystem::path> outputs,
                                                  std::span<const std::filesystem::path> inputs);
// "“a.png” is an input and would be replaced", "“a” and “b” are inputs and would be replaced":
// the one wording of that danger, for a refusal or a question.
std::string replacesInputsText(std::span<const std::string> quotedNames);
// ExportPlanError (replacesInput) naming the first output that is one of the inputs.
void refuseReplacingInputs(std::span<const std::filesystem::path> outputs,
                           std::span<const std::filesystem::path> inputs);

// Throws ExportPlanError when a planned file is one of the inputs (replacesInput) or two planned
// files are one file (sharedPath).
void refuseUnsafe(const Plan& plan, std::span<const std::filesystem::path> inputs);

// Writes the table in each planned format (the title kept by formats that store one). Every file
// is written in full before any takes its name, so on failure none of the planned files has
// changed and nothing is left beside them. Throws FileError, or ImageLoaderError when a HALD
// image cannot be encoded.
void write(const LUT3D& lut, const Plan& plan, std::string_view title,
           const LUTWriter::Options& options = {});
// The same with a table per format, asked for once per planned file in plan order (formats
// that resample, such as HALD, may take another size).
void write(const std::function<LUT3D(LUTFormat)>& tableFor, const Plan& plan,
           std::string_view title, const LUTWriter::Options& options = {});

// A grade baked as it is written, whole rows at a time (GradePipeline::makeRows).
struct Bake {
    std::function<std::int64_t(LUTFormat)> sizeFor;
    std::function<void(std::int64_t size, std::int64_t firstRow, std::span<RGB> out)> rows;
};
// The same for a grade whose table is too large to hold twice, such as a level-16 HALD's: a
// .cube takes its entries from the bake as it is written, holding neither the table nor its
// text; the other formats bake the table whole, once each.
void write(const Bake& bake, const Plan& plan, std::string_view title,
           const LUTWriter::Options& options = {});
// The same with a stack per format: a table alone is written as write() writes it; a .cube
// holds a shaper feeding its table whole, the other formats take that baked onto inputs 0 … 1
// at its table's size (clamped by .3dl and HALD, which hold no shaper).
void writeStacks(const std::function<LUTStack(LUTFormat)>& stackFor, const Plan& plan,
                 std::string_view title, const LUTWriter::Options& options = {});

// The planned files that exist already, in plan order: the ones an export would replace.
std::vector<std::filesystem::path> existingFiles(const Plan& plan);

}  // namespace lumivert::ExportPlan
