// The automation's value parsers on arbitrary text (UTF-8, invalid bytes replaced as Qt does).
// What they accept, printed again, parses to the same value: a value set by a script is the
// value that script would see written back.

#include "FuzzSupport.hpp"

#include "AutomationValues.hpp"

#include <QStringList>

#include <cmath>
#include <vector>

namespace {

// Enough significant digits to name every float and every double exactly.
constexpr int kFloatDigits = 9;
constexpr int kDoubleDigits = 17;

// Qt prints −0 as "0"; the sign of a zero setting means nothing.
template <typename Number> bool sameNumber(Number x, Number y)
{
    return (std::isnan(x) && std::isnan(y)) || x == y;
}

bool sameNumbers(const std::vector<float>& x, const std::vector<float>& y)
{
    return x.size() == y.size() && std::equal(x.begin(), x.end(), y.begin(), sameNumber<float>);
}

void checkList(const QString& text)
{
    using namespace lumivert;
    const std::vector<float> numbers = AutomationValues::floats(text);
    FuzzSupport::check(numbers.size() <= static_cast<std::size_t>(text.count(QLatin1Char(',')) + 1),
                       "a list holds no more numbers than pieces");
    QStringList printed;
    for (const float number : numbers)
        printed << QString::number(number, 'g', kFloatDigits);
    FuzzSupport::check(
        sameNumbers(AutomationValues::floats(printed.join(QStringLiteral(", \t"))), numbers),
        "a printed list of numbers reads as the same numbers");
}

void checkWholeValues(const QString& text)
{
    using namespace lumivert;
    const bool blankEnds = !text.isEmpty() && text.trimmed() != text;
    if (const auto number = AutomationValues::wholeNumber(text)) {
        FuzzSupport::check(!blankEnds, "a number has no white space around it");
        const auto again =
            AutomationValues::wholeNumber(QString::number(*number, 'g', kDoubleDigits));
        FuzzSupport::check(again && sameNumber(*again, *number),
                           "a printed number reads as the same number");
    }
    if (const auto integer = AutomationValues::wholeInteger(text)) {
        FuzzSupport::check(!blankEnds, "an integer has no white space around it");
        FuzzSupport::check(AutomationValues::wholeInteger(QString::number(*integer)) == integer,
                           "a printed integer reads as the same integer");
    }
}

void checkTrimming(const QString& text)
{
    using namespace lumivert;
    const QString trimmed = AutomationValues::trimmedOfSpacesAndTabs(text);
    const auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    FuzzSupport::check(trimmed.isEmpty() || (!blank(trimmed.front()) && !blank(trimmed.back())),
                       "trimming leaves no space or tab at either end");
    FuzzSupport::check(text.contains(trimmed) &&
                           AutomationValues::trimmedOfSpacesAndTabs(trimmed) == trimmed,
                       "trimming keeps the middle and is done once");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    checkList(text);
    checkWholeValues(text);
    checkTrimming(text);
    return 0;
}
