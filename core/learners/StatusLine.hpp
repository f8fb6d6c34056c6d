#pragma once

// The one-line summaries of each mode's result: the app's status chip and the command line
// both use these, so that scripts and the app describe a result the same way.

#include "learners/LookAnalysis.hpp"

#include <cstdint>
#include <string>
#include <string_view>

namespace lumivert::StatusLine {

// "A near-neutral look", or "Look: " and the phrases for lifted blacks, soft highlights,
// contrast, colourfulness and a colour cast, in that order.
std::string look(const LookAnalysis& analysis);
// Matching “source” to “reference”.
std::string match(std::string_view sourceName, std::string_view referenceName);
// "excellent", "good", "fair" or the "poor: …" verdict for an RMS error in 8-bit levels.
std::string editVerdict(float rmsError);
// "Fit error 1.2 levels (excellent)".
std::string edit(float rmsError);
// The same, followed for a fit that covers under 10 % of the lattice by
// " · covers 4 % of colours; others keep their values" (or "… others follow the overall edit").
std::string edit(float rmsError, float coverage, bool followsOverallEdit);
// The share of the lattice a fit covers, as the status line and the analysis card both say it:
// "4 %", rounded down so a share just under a threshold never reads as reaching it, or
// "under 1 %".
std::string coverage(float coverage);
// "HALD level 8 · 64-point cube".
std::string hald(std::int64_t lutSize);

}  // namespace lumivert::StatusLine
