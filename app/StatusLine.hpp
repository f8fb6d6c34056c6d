#pragma once
// The one-line summaries of each mode's result that the preview's status chip shows.
#include "learners/LookAnalysis.hpp"

#include <QString>

#include <cstdint>

namespace lumivert::StatusLine {

// "A near-neutral look", or "Look: " and the phrases for lifted blacks, soft highlights,
// contrast, colourfulness and a colour cast, in that order.
QString look(const LookAnalysis& analysis);
// “source” to “reference”.
QString match(const QString& sourceName, const QString& referenceName);
// "Fit error 2.3 levels (good)": excellent below 1.5, good below 3, fair below 6, else poor.
QString edit(float rmsError);
// "HALD level 8 · 64-point cube".
QString hald(std::int64_t lutSize);

}  // namespace lumivert::StatusLine
