#pragma once

// The one-line summaries the app shows in its status chip, word for word, so that scripts and
// the app describe a result the same way.

#include "learners/LookAnalysis.hpp"

#include <cstdint>
#include <string>
#include <string_view>

namespace lumivert::StatusLine {

// "A near-neutral look", or "Look: " and the phrases that apply (blacks lifted, …).
std::string look(const LookAnalysis& analysis);
// Matching “source” to “reference”.
std::string match(std::string_view sourceName, std::string_view referenceName);
// "excellent", "good", "fair" or the "poor: …" verdict for an RMS error in 8-bit levels.
std::string editVerdict(float rmsError);
// "Fit error 1.2 levels (excellent)".
std::string edit(float rmsError);
// "HALD level 8 · 64-point cube".
std::string hald(std::int64_t lutSize);

}  // namespace lumivert::StatusLine
