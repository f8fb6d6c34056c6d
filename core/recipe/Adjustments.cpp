#include "recipe/Adjustments.hpp"

#include "color/Precondition.hpp"
#include "color/ocio/ColorSpace.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <system_error>

namespace lumivert::GradeRecipe {

namespace {

// A slider has this many key presses from one end to the other.
constexpr double stepsPerRange = 40;

constexpr double stepOf(const Range& range) { return (range.upper - range.lower) / stepsPerRange; }
// The smoothing slider moves along its logarithmic position, 0 … 1.
constexpr double coarsenessStep = 1 / stepsPerRange;

constexpr std::array<AdjustmentValue, 4> lookValues{{
    {"tone", "Tone", "Black lift, highlight roll-off and contrast",
     [](Settings& s) -> float& { return s.look.tone; }},
    {"colourCast", "Colour cast", "The tint in shadows, mid-tones and highlights",
     [](Settings& s) -> float& { return s.look.colourCast; }},
    {"saturation", "Colourfulness", "How muted or vivid the look is",
     [](Settings& s) -> float& { return s.look.saturation; }},
    {"palette", "Palette", "Pulls hues towards the photo\u2019s dominant colours",
     [](Settings& s) -> float& { return s.look.palette; }},
}};

constexpr std::array<AdjustmentValue, 2> matchValues{{
    {"tone", "Tone", "Match brightness and contrast",
     [](Settings& s) -> float& { return s.match.tone; }},
    {"colour", "Colour", "Match colour balance and saturation per tonal range",
     [](Settings& s) -> float& { return s.match.colour; }},
}};

constexpr std::array<AdjustmentValue, 1> smoothingValue{{
    {"smoothing", "Smoothing", "Low follows every pixel, high irons out noise and JPEG artefacts",
     [](Settings& s) -> float& { return s.smoothing; }},
}};

constexpr std::array<AdjustmentValue, 1> intensityValue{{
    {"intensity", "Intensity", "", [](Settings& s) -> float& { return s.intensity; }},
}};

constexpr std::array<AdjustmentValue, 4> fineTuneValues{{
    {"temperature", "Temperature", "",
     [](Settings& s) -> float& { return s.fineTune.temperature; }},
    {"tint", "Tint", "", [](Settings& s) -> float& { return s.fineTune.tint; }},
    {"contrast", "Contrast", "", [](Settings& s) -> float& { return s.fineTune.contrast; }},
    {"saturation", "Saturation", "", [](Settings& s) -> float& { return s.fineTune.saturation; }},
}};

constexpr std::array<Choice, 2> extendChoices{{
    {0, "off", "Off", ""},
    {1, "on", "Extend to colours not in the photos",
     "Colours the photos do not contain follow the overall edit instead of keeping their values"},
}};

// One choice per row of the colour-space table that passes the filter, in the table's order.
std::vector<Choice> spaceChoices(bool outputsOnly)
{
    std::vector<Choice> choices;
    for (const ColorSpaceRow& row : ColorSpaces::all())
        if (!outputsOnly || ColorSpaces::isOutput(row.space))
            choices.push_back({static_cast<std::uint8_t>(row.space), row.key, row.title, ""});
    return choices;
}

const std::vector<Choice>& inputSpaces()
{
    static const std::vector<Choice> rows = spaceChoices(false);
    return rows;
}

const std::vector<Choice>& outputSpaces()
{
    static const std::vector<Choice> rows = spaceChoices(true);
    return rows;
}

std::size_t indexOf(const std::vector<Choice>& choices, ColorSpace space)
{
    for (std::size_t i = 0; i < choices.size(); ++i)
        if (choices[i].value == static_cast<std::uint8_t>(space))
            return i;
    LUMIVERT_PRECONDITION(false, "a colour space among the choices");
    return 0;
}

std::size_t noChoice(const Settings&) { return 0; }
void chooseNothing(Settings&, std::size_t) {}

const std::array<Adjustment, 9>& table()
{
    static const std::array<Adjustment, 9> rows{{
        {.key = "lookSettings",
         .title = "Look strengths",
         .help = "",
         .kind = AdjustmentKind::numbers,
         .modes = {Mode::look},
         .card = AdjustmentCard::mode,
         .scale = AdjustmentScale::percent,
         .range = strengthRange,
         .step = stepOf(strengthRange),
         .undoName = "Look Strengths",
         .option = "--look-settings",
         .variable = "LUMIVERT_LOOK_SETTINGS",
         .storedKey = "",
         .refits = false,
         .reanalyses = false,
         .values = lookValues,
         .choices = {},
         .chosen = noChoice,
         .choose = chooseNothing},
        {.key = "matchSettings",
         .title = "Match strengths",
         .help = "",
         .kind = AdjustmentKind::numbers,
         .modes = {Mode::match},
         .card = AdjustmentCard::mode,
         .scale = AdjustmentScale::percent,
         .range = strengthRange,
         .step = stepOf(strengthRange),
         .undoName = "Match Strengths",
         .option = "--match-settings",
         .variable = "LUMIVERT_MATCH_SETTINGS",
         .storedKey = "",
         .refits = false,
         .reanalyses = false,
         .values = matchValues,
         .choices = {},
         .chosen = noChoice,
         .choose = chooseNothing},
        {.key = "editSmoothness",
         .title = "Smoothing",
         .help = "smoothness of the fit",
         .kind = AdjustmentKind::numbers,
         .modes = {Mode::edit},
         .card = AdjustmentCard::mode,
         .scale = AdjustmentScale::coarseness,
         .range = smoothingRange,
         .step = coarsenessStep,
         .undoName = "Smoothing",
         .option = "--smoothing",
         .variable = "LUMIVERT_SMOOTHING",
         .storedKey = "",
         .refits = true,
         .reanalyses = false,
         .values = smoothingValue,
         .choices = {},
         .chosen = noChoice,
         .choose = chooseNothing},
        {.key = "intensity",
         .title = "Intensity",
         .help = "strength of the grade",
         .kind = AdjustmentKind::numbers,
         .modes = ModeSet::all(),
         .card = AdjustmentCard::mode,
         .scale = AdjustmentScale::percent,
         .range = intensityRange,
         .step = stepOf(intensityRange),
         .undoName = "Intensity",
         .option = "--intensity",
         .variable = "LUMIVERT_INTENSITY",
         .storedKey = "",
         .refits = false,
         .reanalyses = false,
         .values = intensityValue,
         .choices = {},
         .chosen = noChoice,
         .choose = chooseNothing},
        {.key = "extendEdit",
         .title = "Extend Edit",
         .help = "extend the edit to colours not in the photos: they follow the overall edit "
                 "instead of keeping their values",
         .kind = AdjustmentKind::toggle,
         .modes = {Mode::edit},
         .card = AdjustmentCard::mode,
         .scale = AdjustmentScale::percent,
         .range = {0, 1, 0},
         .step = 1,
         .undoName = "Extend Edit",
         .option = "--extend",
         .variable = "LUMIVERT_EXTEND",
         .storedKey = "extendEdit",
         .refits = true,
         .reanalyses = false,
         .values = {},
         .choices = extendChoices,
         .chosen = [](const Settings& s) -> std::size_t { return s.extendEdit ? 1 : 0; },
         .choose = [](Settings& s, std::size_t index) { s.extendEdit = index != 0; }},
        {.key = "inputSpace",
         .title = "Input space",
         .help = "the colour space of the footage the LUT is for",
         .kind = AdjustmentKind::choice,
         .modes = spaceModes,
         .card = AdjustmentCard::mode,
         .scale = AdjustmentScale::percent,
         .range = {0, 1, 0},
         .step = 1,
         .undoName = "Input Space",
         .option = "--input-space",
         .variable = "LUMIVERT_INPUT_SPACE",
         .storedKey = "",
         .refits = false,
         .reanalyses = true,
         .values = {},
         .choices = inputSpaces(),
         .chosen = [](const Settings& s) { return indexOf(inputSpaces(), s.inputSpace); },
         .choose =
             [](Settings& s, std::size_t index) {
                 s.inputSpace = static_cast<ColorSpace>(inputSpaces().at(index).value);
             }},
        {.key = "outputSpace",
         .title = "Output space",
         .help = "the display the LUT's output is for",
         .kind = AdjustmentKind::choice,
         .modes = spaceModes,
         .card = AdjustmentCard::mode,
         .scale = AdjustmentScale::percent,
         .range = {0, 1, 0},
         .step = 1,
         .undoName = "Output Space",
         .option = "--output-space",
         .variable = "LUMIVERT_OUTPUT_SPACE",
         .storedKey = "",
         .refits = false,
         .reanalyses = false,
         .values = {},
         .choices = outputSpaces(),
         .chosen = [](const Settings& s) { return indexOf(outputSpaces(), s.outputSpace); },
         .choose =
             [](Settings& s, std::size_t index) {
                 s.outputSpace = static_cast<ColorSpace>(outputSpaces().at(index).value);
             }},
        {.key = "fineTune",
         .title = "Fine tune",
         .help = "",
         .kind = AdjustmentKind::numbers,
         .modes = ModeSet::all(),
         .card = AdjustmentCard::fineTune,
         .scale = AdjustmentScale::signedPercent,
         .range = fineTuneRange,
         .step = stepOf(fineTuneRange),
         .undoName = "Fine Tune",
         .option = "--finetune",
         .variable = "LUMIVERT_FINETUNE",
         .storedKey = "",
         .refits = false,
         .reanalyses = false,
         .values = fineTuneValues,
         .choices = {},
         .chosen = noChoice,
         .choose = chooseNothing},
        {.key = "gamutMapping",
         .title = "Highlight-Safe Colour",
         .help = "how colours beyond sRGB come back",
         .kind = AdjustmentKind::choice,
         .modes = {Mode::look, Mode::match},
         .card = AdjustmentCard::fineTune,
         .scale = AdjustmentScale::percent,
         .range = {0, 1, 0},
         .step = 1,
         .undoName = "Highlight-Safe Colour",
         .option = "--gamut",
         .variable = "LUMIVERT_GAMUT",
         .storedKey = "gamutMapping",
         .refits = false,
         .reanalyses = false,
         .values = {},
         .choices = gamutMappings(),
         .chosen = [](const Settings& s) { return static_cast<std::size_t>(s.gamut); },
         .choose =
             [](Settings& s, std::size_t index) {
                 s.gamut = static_cast<GamutMapping>(gamutMappings().at(index).value);
             }},
    }};
    return rows;
}

std::string numberText(double value)
{
    char text[32] = {};
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::string quoted(std::string_view text) { return "\u201C" + std::string(text) + "\u201D"; }

std::string_view trimmed(std::string_view text)
{
    constexpr std::string_view blanks = " \t";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// The comma-separated pieces, empty ones dropped.
std::vector<std::string_view> pieces(std::string_view text)
{
    std::vector<std::string_view> result;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string_view piece = text.substr(start, comma - start);
        if (!piece.empty())
            result.push_back(piece);
        start = comma + 1;
    }
    return result;
}

// "one number", "4 numbers separated by commas"
std::string countText(std::size_t count)
{
    return count == 1 ? "a number" : std::to_string(count) + " numbers separated by commas";
}

// "preserve-lightness or smooth"
std::string choicesText(std::span<const Choice> choices)
{
    std::string text;
    for (std::size_t i = 0; i < choices.size(); ++i)
        text += (i == 0                    ? ""
                 : i + 1 == choices.size() ? " or "
                                           : ", ") +
                std::string(choices[i].id);
    return text;
}

// An optional plus sign, as the command line's numbers take one.
std::string_view withoutPlus(std::string_view text)
{
    return text.size() > 1 && text.front() == '+' && text[1] != '-' ? text.substr(1) : text;
}

}  // namespace

float AdjustmentValue::of(const Settings& settings) const
{
    // The accessor only reads here.
    return field(const_cast<Settings&>(settings));
}

bool Adjustment::same(const Settings& x, const Settings& y) const
{
    if (kind != AdjustmentKind::numbers)
        return chosen(x) == chosen(y);
    return std::all_of(values.begin(), values.end(),
                       [&](const AdjustmentValue& value) { return value.of(x) == value.of(y); });
}

void Adjustment::copy(const Settings& from, Settings& to) const
{
    if (kind != AdjustmentKind::numbers) {
        choose(to, chosen(from));
        return;
    }
    for (const AdjustmentValue& value : values)
        value.field(to) = value.of(from);
}

std::span<const Adjustment> adjustments() { return table(); }

const Adjustment& adjustmentKeyed(std::string_view key)
{
    for (const Adjustment& row : table())
        if (row.key == key)
            return row;
    LUMIVERT_PRECONDITION(false, "an adjustment of the table");
    return table().front();
}

std::vector<const Adjustment*> adjustmentsOf(Mode mode, AdjustmentCard card)
{
    std::vector<const Adjustment*> rows;
    for (const Adjustment& row : table())
        if (row.card == card && row.modes.contains(mode))
            rows.push_back(&row);
    return rows;
}

std::vector<const Adjustment*> differences(const Settings& x, const Settings& y)
{
    std::vector<const Adjustment*> rows;
    for (const Adjustment& row : table())
        if (!row.same(x, y))
            rows.push_back(&row);
    return rows;
}

std::optional<std::string> problemWith(const Adjustment& adjustment, std::span<const float> values,
                                       std::string_view name)
{
    const bool several = adjustment.values.size() > 1;
    if (!std::all_of(values.begin(), values.end(), [](float v) { return std::isfinite(v); }))
        return "The values of " + std::string(name) + " must be finite numbers.";
    const Range& range = adjustment.range;
    if (!std::all_of(values.begin(), values.end(), [&](float v) { return range.contains(v); }))
        return "The " + std::string(name) + (several ? " values" : "") + " must lie between " +
               numberText(range.lower) + " and " + numberText(range.upper) + ".";
    return std::nullopt;
}

void assign(const Adjustment& adjustment, std::span<const float> values, Settings& settings)
{
    LUMIVERT_PRECONDITION(adjustment.kind == AdjustmentKind::numbers &&
                              values.size() == adjustment.values.size(),
                          "one value for every value of the adjustment");
    for (std::size_t i = 0; i < values.size(); ++i)
        adjustment.values[i].field(settings) = values[i];
}

std::optional<std::string> assignText(const Adjustment& adjustment, std::string_view text,
                                      Settings& settings)
{
    const std::string name(adjustment.variable);
    switch (adjustment.kind) {
    case AdjustmentKind::toggle: adjustment.choose(settings, 1); return std::nullopt;
    case AdjustmentKind::choice:
        for (std::size_t i = 0; i < adjustment.choices.size(); ++i) {
            if (adjustment.choices[i].id == text) {
                adjustment.choose(settings, i);
                return std::nullopt;
            }
        }
        return "The " + name + " must be " + choicesText(adjustment.choices) + ", not " +
               quoted(text) + ".";
    case AdjustmentKind::numbers: break;
    }
    const std::size_t count = adjustment.values.size();
    const std::string expected = "The " + name + " must be " + countText(count) + " between " +
                                 numberText(adjustment.range.lower) + " and " +
                                 numberText(adjustment.range.upper) + ", not " + quoted(text) + ".";
    const std::vector<std::string_view> parts =
        count == 1 ? std::vector<std::string_view>{text} : pieces(text);
    if (parts.size() != count)
        return expected;
    std::vector<float> values;
    for (const std::string_view part : parts) {
        const auto number = wholeNumber(count == 1 ? part : trimmed(part));
        if (!number || std::abs(*number) > std::numeric_limits<float>::max())
            return expected;
        values.push_back(static_cast<float>(*number));
    }
    if (problemWith(adjustment, values, name))
        return expected;
    assign(adjustment, values, settings);
    return std::nullopt;
}

std::optional<double> wholeNumber(std::string_view text)
{
    const std::string_view digits = withoutPlus(text);
    double value = 0;
    const char* end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(digits.data(), end, value);
    if (digits.empty() || error != std::errc() || stop != end || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<std::int64_t> wholeInteger(std::string_view text)
{
    const std::string_view digits = withoutPlus(text);
    std::int64_t value = 0;
    const char* end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(digits.data(), end, value);
    if (digits.empty() || error != std::errc() || stop != end)
        return std::nullopt;
    return value;
}

}  // namespace lumivert::GradeRecipe
