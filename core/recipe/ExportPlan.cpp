#include "recipe/ExportPlan.hpp"

#include "color/LUT3D.hpp"
#include "io/SameFile.hpp"
#include "io/StagedFiles.hpp"
#include "recipe/GradeRecipe.hpp"

#include <algorithm>
#include <system_error>
#include <utility>

namespace lumivert::ExportPlan {

namespace {

using std::filesystem::path;

constexpr std::string_view forbiddenCharacters = "/:\\?%*|\"<>";
constexpr std::string_view trimmed = " \t";
// Also dots in front: they would hide the file, and "." and ".." name folders.
constexpr std::string_view trimmedInFront = " \t.";

constexpr std::array<LUTFormat, 1> cubeOnly{LUTFormat::cube};
constexpr std::array<LUTFormat, 1> threeDLOnly{LUTFormat::threeDL};
constexpr std::array<LUTFormat, 1> haldOnly{LUTFormat::hald};
constexpr std::array<LUTFormat, 3> allFormats{LUTFormat::cube, LUTFormat::threeDL, LUTFormat::hald};
constexpr std::array<LUTFormat, 1> clfOnly{LUTFormat::clf};
constexpr std::array<LUTFormat, 1> cspOnly{LUTFormat::csp};
constexpr std::array<LUTFormat, 1> spi3dOnly{LUTFormat::spi3d};
constexpr std::array<LUTFormat, 1> iccOnly{LUTFormat::icc};

// One row per choice, in the order of ExportChoice.
const std::array<ChoiceRecipe, 8> choiceRows{{
    {ExportChoice::cube, "cube", "cube", cubeOnly},
    {ExportChoice::threeDL, "3dl", "threeDL", threeDLOnly},
    {ExportChoice::hald, "hald", "hald", haldOnly},
    {ExportChoice::all, "all", "all", allFormats},
    {ExportChoice::clf, "clf", "clf", clfOnly},
    {ExportChoice::csp, "csp", "csp", cspOnly},
    {ExportChoice::spi3d, "spi3d", "spi3d", spi3dOnly},
    {ExportChoice::icc, "icc", "icc", iccOnly},
}};

std::string quotedName(const path& file) { return "\u201C" + file.filename().string() + "\u201D"; }

// ".cube, .3dl, .png, .clf, .csp, .spi3d or .icc"
std::string extensionsText() { return LUTFormat::extensionsText(LUTFormat::writableCases()); }

// The format an output's extension names, when that format is written.
std::optional<LUTFormat> writtenFormat(const path& file)
{
    const std::optional<LUTFormat> format = LUTFormat::fromPath(file);
    return format && format->isWritable() ? format : std::nullopt;
}

path withExtension(path file, LUTFormat format)
{
    return file.replace_extension(std::string(format.fileExtension()));
}

}  // namespace

ExportPlanError::ExportPlanError(Reason reason, path file, const std::string& message)
    : std::runtime_error(message), reason_(reason), file_(std::move(file))
{
}

const std::array<ChoiceRecipe, 8>& choices() { return choiceRows; }

bool isMoreFormat(ExportChoice choice) { return choice > ExportChoice::all; }

const ChoiceRecipe& recipe(ExportChoice choice)
{
    return choiceRows[static_cast<std::size_t>(choice)];
}

std::optional<ExportChoice> choiceNamed(std::string_view name)
{
    for (const ChoiceRecipe& row : choiceRows)
        if (row.name == name)
            return row.choice;
    return std::nullopt;
}

std::optional<ExportChoice> choiceFromRawValue(std::string_view rawValue)
{
    for (const ChoiceRecipe& row : choiceRows)
        if (row.rawValue == rawValue)
            return row.choice;
    return std::nullopt;
}

std::span<const LUTFormat> formats(ExportChoice choice) { return recipe(choice).formats; }

std::string sanitisedFileName(std::string_view name)
{
    std::string result;
    for (const char c : name)
        result += forbiddenCharacters.find(c) == std::string_view::npos ? c : '-';
    const auto first = result.find_first_not_of(trimmedInFront);
    if (first == std::string::npos)
        return {};
    return result.substr(first, result.find_last_not_of(trimmed) - first + 1);
}

Plan files(const std::optional<path>& output, std::optional<ExportChoice> choice,
           std::string_view name)
{
    std::string base = sanitisedFileName(name);
    if (base.empty())
        base = GradeRecipe::defaultLUTName;
    if (!choice) {
        const path file = output.value_or(path(base + ".cube"));
        const std::optional<LUTFormat> byExtension = writtenFormat(file);
        if (!byExtension) {
            throw ExportPlanError(ExportPlanError::Reason::unknownExtension, file,
                                  "The output " + quotedName(file) + " needs the extension " +
                                      extensionsText() + ".");
        }
        return {{file, *byExtension}};
    }
    // A base name such as "Teal.v2" keeps its dot: only a LUT extension is replaced.
    path file = output.value_or(path(base));
    if (!writtenFormat(file))
        file += ".cube";
    Plan planned;
    for (const LUTFormat format : formats(*choice))
        planned.push_back({withExtension(file, format), format});
    return planned;
}

std::vector<path> replacedInputs(std::span<const path> outputs, std::span<const path> inputs)
{
    std::vector<path> replaced;
    for (const path& output : outputs)
        if (std::any_of(inputs.begin(), inputs.end(),
                        [&output](const path& input) { return sameFile(output, input); }))
            replaced.push_back(output);
    return replaced;
}

std::string replacesInputsText(std::span<const std::string> quotedNames)
{
    std::string names;
    for (std::size_t i = 0; i < quotedNames.size(); ++i)
        names += (i == 0 ? "" : i + 1 == quotedNames.size() ? " and " : ", ") + quotedNames[i];
    return names + (quotedNames.size() == 1 ? " is an input and would be replaced"
                                            : " are inputs and would be replaced");
}

void refuseReplacingInputs(std::span<const path> outputs, std::span<const path> inputs)
{
    const std::vector<path> replaced = replacedInputs(outputs, inputs);
    if (replaced.empty())
        return;
    const std::string name = quotedName(replaced.front());
    throw ExportPlanError(ExportPlanError::Reason::replacesInput, replaced.front(),
                          replacesInputsText({&name, 1}) + "; choose another output.");
}

void refuseUnsafe(const Plan& plan, std::span<const path> inputs)
{
    for (auto file = plan.begin(); file != plan.end(); ++file) {
        refuseReplacingInputs({&file->path, 1}, inputs);
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

void write(const Bake& bake, const Plan& plan, std::string_view title,
           const LUTWriter::Options& options)
{
    StagedFiles staged;
    for (const PlannedFile& file : plan) {
        const std::int64_t size = bake.sizeFor(file.format);
        if (file.format == LUTFormat::cube) {
            const LUTWriter::EntryBlock fill = [&](std::int64_t first, std::span<RGB> entries) {
                bake.rows(size, first / size, entries);
            };
            staged.stage(file.path, [&](int fd) {
                return LUTWriter::streamCube(size, fill, title, fd, options.notes);
            });
            continue;
        }
        std::vector<RGB> values(static_cast<std::size_t>(size * size * size));
        bake.rows(size, 0, values);
        staged.stage(file.path, file.format.encoder()(LUT3D(size, std::move(values)), title,
                                                      file.path, options));
    }
    staged.commit();
}

void writeStacks(const std::function<LUTStack(LUTFormat)>& stackFor, const Plan& plan,
                 std::string_view title, const LUTWriter::Options& options)
{
    StagedFiles staged;
    for (const PlannedFile& file : plan) {
        const LUTStack stack = stackFor(file.format);
        std::string bytes;
        if (!stack.hasCurves())
            bytes = file.format.encoder()(stack.table(), title, file.path, options);
        else if (file.format == LUTFormat::cube)
            bytes = LUTWriter::cube(stack, title, options.notes);
        else
            bytes = file.format.encoder()(stack.bakedOnUnitDomain(stack.table().size()), title,
                                          file.path, options);
        staged.stage(file.path, std::move(bytes));
    }
    staged.commit();
}

}  // namespace lumivert::ExportPlan
