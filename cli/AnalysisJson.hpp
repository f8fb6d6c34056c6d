#pragma once

// The analyses as JSON for scripts. Every number is written with the fewest digits that read
// back as the same 32-bit float; non-finite numbers become null.

#include "learners/EditLearner.hpp"
#include "learners/LookAnalysis.hpp"
#include "learners/MatchAnalysis.hpp"

#include <nlohmann/json.hpp>

namespace lumivert::AnalysisJson {

// The float as the double nearest its shortest decimal form, so JSON shows that form.
nlohmann::json number(float value);

// Every field, palette colours with their Oklab colour, sRGB swatch, weight and pull hue.
nlohmann::json look(const LookAnalysis& analysis);
// toneMap and sourceRank as 1024-entry arrays, and the bands darkest first.
nlohmann::json match(const MatchAnalysis& analysis);
// rmsError, coverage, sampleCount, iterations and the verdict text.
nlohmann::json edit(const EditFit& fit, std::int64_t sampleCount);

}  // namespace lumivert::AnalysisJson
