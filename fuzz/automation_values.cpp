// The automation's value parsing on arbitrary text, for every adjustment of the table: what it
// accepts is finite, within the adjustment's range and, printed again, reads as the same
// settings; what it refuses leaves the settings untouched and says why in a sentence.

#include "FuzzSupport.hpp"

#include "recipe/Adjustments.hpp"

#include <cstdio>

namespace {

using namespace lumivert;

// Enough significant digits to name every float and every double exactly.
constexpr int floatDigits = 9;
constexpr int doubleDigits = 17;

std::string printed(double value, int digits)
{
    char text[64] = {};
    std::snprintf(text, sizeof text, "%.*g", digits, value);
    return text;
}

void checkAdjustment(const GradeRecipe::Adjustment& row, std::string_view text)
{
    GradeRecipe::Settings settings;
    const auto problem = GradeRecipe::assignText(row, text, settings);
    if (problem) {
        FuzzSupport::check(settings == GradeRecipe::Settings{}, "a refused value changes nothing");
        FuzzSupport::check(!problem->empty() && problem->back() == '.', "a refusal is a sentence");
        return;
    }
    if (row.kind != GradeRecipe::AdjustmentKind::numbers)
        return;
    std::string again;
    for (const GradeRecipe::AdjustmentValue& value : row.values) {
        const float number = value.of(settings);
        FuzzSupport::check(std::isfinite(number) && row.range.contains(number),
                           "an accepted value is finite and within its range");
        again += (again.empty() ? "" : ", \t") + printed(number, floatDigits);
    }
    GradeRecipe::Settings reread;
    FuzzSupport::check(!GradeRecipe::assignText(row, again, reread) && reread == settings,
                       "printed values read as the same settings");
}

void checkWholeValues(std::string_view text)
{
    if (const auto number = GradeRecipe::wholeNumber(text)) {
        FuzzSupport::check(std::isfinite(*number), "a whole number is finite");
        FuzzSupport::check(GradeRecipe::wholeNumber(printed(*number, doubleDigits)) == number,
                           "a printed number reads as the same number");
    }
    if (const auto integer = GradeRecipe::wholeInteger(text))
        FuzzSupport::check(GradeRecipe::wholeInteger(std::to_string(*integer)) == integer,
                           "a printed integer reads as the same integer");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text = FuzzSupport::text(data, size);
    for (const GradeRecipe::Adjustment& row : GradeRecipe::adjustments())
        checkAdjustment(row, text);
    checkWholeValues(text);
    return 0;
}
