#pragma once
// How the automation reads the values of its LUMIVERT_ variables. Qt Core only, so that these
// parsers can be exercised on their own.
#include <QString>

#include <optional>
#include <vector>

namespace lumivert::AutomationValues {

// The text without leading and trailing spaces and tabs (other white space is kept).
QString trimmedOfSpacesAndTabs(const QString& text);
// A whole decimal literal, with no white space around it.
std::optional<double> wholeNumber(const QString& text);
// A whole base-10 integer, with no white space around it.
std::optional<qint64> wholeInteger(const QString& text);
// The numbers of a comma-separated list: empty pieces dropped, spaces and tabs trimmed, pieces
// that are not numbers skipped.
std::vector<float> floats(const QString& value);

}  // namespace lumivert::AutomationValues
