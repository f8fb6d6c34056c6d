#include "AutomationValues.hpp"

#include <QStringList>

namespace lumivert::AutomationValues {

QString trimmedOfSpacesAndTabs(const QString& text)
{
    const auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && blank(text[first]))
        ++first;
    while (last > first && blank(text[last - 1]))
        --last;
    return text.mid(first, last - first);
}

// Qt's parsers skip surrounding white space, which is not allowed here.
std::optional<double> wholeNumber(const QString& text)
{
    if (text.isEmpty() || text.trimmed() != text)
        return std::nullopt;
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok ? std::optional<double>(value) : std::nullopt;
}

std::optional<qint64> wholeInteger(const QString& text)
{
    if (text.isEmpty() || text.trimmed() != text)
        return std::nullopt;
    bool ok = false;
    const qint64 value = text.toLongLong(&ok, 10);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

std::vector<float> floats(const QString& value)
{
    std::vector<float> numbers;
    for (const QString& piece : value.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const float number = trimmedOfSpacesAndTabs(piece).toFloat(&ok);
        if (ok)
            numbers.push_back(number);
    }
    return numbers;
}

}  // namespace lumivert::AutomationValues
