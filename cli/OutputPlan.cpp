#include "cli/OutputPlan.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>

namespace lumivert::OutputPlan {

namespace {

using std::filesystem::path;

constexpr std::string_view kForbiddenCharacters = "/:\\?%*|\"<>";
constexpr std::string_view kTrimmed = " \t";
constexpr std::string_view kDefaultName = "Lumivert Look";

// --format choices and the formats each writes, in the app's export order.
const std::array<std::pair<std::string_view, std::vector<LUTFormat>>, 4>& formatTable()
{
    static const std::array<std::pair<std::string_view, std::vector<LUTFormat>>, 4> table = {{
        {"cube", {LUTFormat::cube}},
        {"3dl", {LUTFormat::threeDL}},
        {"hald", {LUTFormat::hald}},
        {"all", {LUTFormat::cube, LUTFormat::threeDL, LUTFormat::hald}},
    }};
    return table;
}

std::string lowerCased(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

path withExtension(path file, LUTFormat format)
{
    return file.replace_extension(std::string(format.fileExtension()));
}

}  // namespace

const std::vector<std::string>& formatChoices()
{
    static const std::vector<std::string> choices = [] {
        std::vector<std::string> names;
        for (const auto& [name, formats] : formatTable())
            names.emplace_back(name);
        return names;
    }();
    return choices;
}

std::optional<LUTFormat> formatOf(const path& file)
{
    const std::string extension = lowerCased(file.extension().string());
    if (extension.size() < 2)
        return std::nullopt;
    return LUTFormat::fromRawValue(std::string_view(extension).substr(1));
}

std::string sanitisedFileName(std::string_view name)
{
    std::string result;
    for (const char c : name)
        result += kForbiddenCharacters.find(c) == std::string_view::npos ? c : '-';
    const auto first = result.find_first_not_of(kTrimmed);
    if (first == std::string::npos)
        return {};
    return result.substr(first, result.find_last_not_of(kTrimmed) - first + 1);
}

std::vector<PlannedFile> files(const std::optional<path>& output,
                               const std::optional<std::string>& format, std::string_view title)
{
    std::string base = sanitisedFileName(title);
    if (base.empty())
        base = kDefaultName;
    if (!format) {
        const path file = output.value_or(path(base + ".cube"));
        const std::optional<LUTFormat> byExtension = formatOf(file);
        if (!byExtension) {
            throw UsageError("The output \u201C" + file.filename().string() +
                             "\u201D needs the extension .cube, .3dl or .png, or a --format.");
        }
        return {{file, *byExtension}};
    }
    const auto entry =
        std::find_if(formatTable().begin(), formatTable().end(),
                     [&](const auto& candidate) { return candidate.first == *format; });
    if (entry == formatTable().end())
        throw UsageError("The format \u201C" + *format + "\u201D is not cube, 3dl, hald or all.");
    // A base name such as "Teal.v2" keeps its dot: only a LUT extension is replaced.
    path file = output.value_or(path(base));
    if (!formatOf(file))
        file += ".cube";
    std::vector<PlannedFile> planned;
    for (const LUTFormat lutFormat : entry->second)
        planned.push_back({withExtension(file, lutFormat), lutFormat});
    return planned;
}

}  // namespace lumivert::OutputPlan
