#include "recipe/ExportPlan.hpp"

#include "color/LUT3D.hpp"
#include "io/StagedFiles.hpp"
#include "recipe/GradeRecipe.hpp"

#include <algorithm>
#include <system_error>
#include <utility>

namespace lumivert::ExportPlan {

namespace {

using std::filesystem::path;

constexpr std::string_view kForbiddenCharacters = "/:\\?%*|\"<>";
constexpr std::string_view kTrimmed = " \t";
// Also dots in front: they would hide the file, and "." and ".." name folders.
constexpr std::string_view kTrimmedInFront = " \t.";

constexpr std::array<LUTFormat, 1> kCube{LUTFormat::cube};
constexpr std::array<LUTFormat, 1> kThreeDL{LUTFormat::threeDL};
constexpr std::array<LUTFormat, 1> kHald{LUTFormat::hald};
constexpr std::array<LUTFormat, 3> kAll{LUTFormat::cube, LUTFormat::threeDL, LUTFormat::hald};

// One row per choice, in the order of ExportChoice.
const std::array<ChoiceRecipe, 4> kChoices{{
    {ExportChoice::cube, "cube", "cube", kCube},
    {ExportChoice::threeDL, "3dl", "threeDL", kThreeDL},
    {ExportChoice::hald, "hald", "hald", kHald},
    {ExportChoice::all, "all", "all", kAll},
}};

std::string quotedName(const path& file) { return "\u201C" + file.filename().string() + "\u201D"; }

// ".cube, .3dl or .png"
std::string extensionsText()
{
    std::string text;
    const auto all = LUTFormat::allCases();
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (i > 0)
            text += i + 1 == all.size() ? " or " : ", ";
        text += "." + std::string(all[i].fileExtension());
    }
    return text;
}

path withExtension(path file, LUTFormat format)
{
    return file.replace_extension(std::string(format.fileExtension()));
}

// Where the path leads once "..", "." and symbolic links are resolved, as far as it exists.
path resolved(const path& file)
{
    std::error_code error;
    path result = std::filesystem::weakly_canonical(file, error);
    if (error)
        return std::filesystem::absolute(file, error).lexically_normal();
    return result;
}

// One file under two names: the same resolved path, or hard links to one file.
bool sameFile(const path& a, const path& b)
{
    std::error_code error;
    return std::filesystem::equivalent(a, b, error) || resolved(a) == resolved(b);
}

}  // namespace

ExportPlanError::ExportPlanError(Reason reason, path file, const std::string& message)
    : std::runtime_error(message), reason_(reason), file_(std::move(file))
{
}

const std::array<ChoiceRecipe, 4>& choices() { return kChoices; }

const ChoiceRecipe& recipe(ExportChoice choice)
{
    return kChoices[static_cast<std::size_t>(choice)];
}

std::optional<ExportChoice> choiceNamed(std::string_view name)
{
    for (const ChoiceRecipe& row : kChoices)
        if (row.name == name)
            return row.choice;
    return std::nullopt;
}

std::optional<ExportChoice> choiceFromRawValue(std::string_view rawValue)
{
    for (const ChoiceRecipe& row : kChoices)
        if (row.rawValue == rawValue)
            return row.choice;
    return std::nullopt;
}

std::span<const LUTFormat> formats(ExportChoice choice) { return recipe(choice).formats; }

std::string sanitisedFileName(std::string_view name)
{
    std::string result;
    for (const char c : name)
        result += kForbiddenCharacters.find(c) == std::string_view::npos ? c : '-';
    const auto first = result.find_first_not_of(kTrimmedInFront);
    if (first == std::string::npos)
        return {};
    return result.substr(first, result.find_last_not_of(kTrimmed) - first + 1);
}

Plan files(const std::optional<path>& output, std::optional<ExportChoice> choice,
           std::string_view name)
{
    std::string base = sanitisedFileName(name);
    if (base.empty())
        base = GradeRecipe::defaultLUTName;
    if (!choice) {
        const path file = output.value_or(path(base + ".cube"));
        const std::optional<LUTFormat> byExtension = LUTFormat::fromPath(file);
        if (!byExtension) {
            throw ExportPlanError(ExportPlanError::Reason::unknownExtension, file,
                                  "The output " + quotedName(file) + " needs the extension " +
                                      extensionsText() + ".");
        }
        return {{file, *byExtension}};
    }
    // A base name such as "Teal.v2" keeps its dot: only a LUT extension is replaced.
    path file = output.value_or(path(base));
    if (!LUTFormat::fromPath(file))
        file += ".cube";
    Plan planned;
    for (const LUTFormat format : formats(*choice))
        planned.push_back({withExtension(file, format), format});
    return planned;
}

void refuseUnsafe(const Plan& plan, std::span<const path> inputs)
{
    for (auto file = plan.begin(); file != plan.end(); ++file) {
        for (const path& input : inputs) {
            std::error_code error;
            if (std::filesystem::equivalent(file->path, input, error)) {
                throw ExportPlanError(ExportPlanError::Reason::replacesInput, file->path,
                                      quotedName(file->path) +
                                          " is an input and would be replaced; choose another "
                                          "output.");
            }
        }
        for (auto earlier = plan.begin(); earlier != file; ++earlier) {
            if (sameFile(earlier->path, file->path)) {
                throw ExportPlanError(ExportPlanError::Reason::sharedPath, file->path,
                                      "Two formats would both be written to " +
                                          quotedName(file->path) + "; choose another output.");
            }
        }
    }
}

std::vector<path> existingFiles(const Plan& plan)
{
    std::vector<path> existing;
    for (const PlannedFile& file : plan) {
        std::error_code error;
        if (std::filesystem::exists(file.path, error))
            existing.push_back(file.path);
    }
    return existing;
}

void write(const LUT3D& lut, const Plan& plan, std::string_view title,
           const LUTWriter::Options& options)
{
    write([&lut](LUTFormat) { return lut; }, plan, title, options);
}

void write(const std::function<LUT3D(LUTFormat)>& tableFor, const Plan& plan,
           std::string_view title, const LUTWriter::Options& options)
{
    StagedFiles staged;
    for (const PlannedFile& file : plan)
        staged.stage(file.path,
                     file.format.encoder()(tableFor(file.format), title, file.path, options));
    staged.commit();
}

}  // namespace lumivert::ExportPlan
