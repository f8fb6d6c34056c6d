#include "learners/StatusLine.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace lumivert::StatusLine {

namespace {

constexpr float liftedBlack = 0.02f;
constexpr float softWhite = 0.97f;
constexpr float contrastChange = 0.04f;
constexpr float mutedBelow = 0.85f;
constexpr float monochromeBelow = 0.25f;
// The analysis bounds colourfulness to 1, so this phrase shows only for analyses made otherwise.
constexpr float richAbove = 1.15f;
constexpr float castAbove = 0.008f;

constexpr float excellentBelow = 1.5f;
constexpr float goodBelow = 3.0f;
constexpr float fairBelow = 6.0f;
// Below this share of the lattice most colours come from the prior, so the status says so.
constexpr float lowCoverage = 0.10f;

const char* const openQuote = "\u201C";
const char* const closeQuote = "\u201D";

std::string joined(const std::vector<std::string>& phrases, std::string_view separator)
{
    std::string text;
    for (const std::string& phrase : phrases) {
        if (!text.empty())
            text += separator;
        text += phrase;
    }
    return text;
}

}  // namespace

std::string look(const LookAnalysis& analysis)
{
    std::vector<std::string> phrases;
    if (analysis.blackLevel > liftedBlack)
        phrases.emplace_back("blacks lifted");
    if (analysis.whiteLevel < softWhite)
        phrases.emplace_back("soft highlights");
    if (std::abs(analysis.contrast - 1.0f) > contrastChange)
        phrases.emplace_back(analysis.contrast > 1.0f ? "more contrast" : "less contrast");
    if (analysis.saturation < mutedBelow)
        phrases.emplace_back(analysis.saturation < monochromeBelow ? "monochrome" : "muted colour");
    else if (analysis.saturation > richAbove)
        phrases.emplace_back("rich colour");
    float strongestCast = 0;
    for (const Chroma& tint : analysis.tints)
        strongestCast = std::max(strongestCast, std::hypot(tint.a, tint.b));
    if (strongestCast > castAbove)
        phrases.emplace_back("colour cast");
    return phrases.empty() ? "A near-neutral look" : "Look: " + joined(phrases, ", ");
}

std::string match(std::string_view sourceName, std::string_view referenceName)
{
    return std::string("Matching ") + openQuote + std::string(sourceName) + closeQuote + " to " +
           openQuote + std::string(referenceName) + closeQuote;
}

std::string editVerdict(float rmsError)
{
    if (rmsError < excellentBelow)
        return "excellent";
    if (rmsError < goodBelow)
        return "good";
    if (rmsError < fairBelow)
        return "fair";
    return "poor: local edits or a different crop cannot be captured by a LUT";
}

std::string edit(float rmsError)
{
    char error[32] = {};
    std::snprintf(error, sizeof error, "%.1f", static_cast<double>(rmsError));
    return std::string("Fit error ") + error + " levels (" + editVerdict(rmsError) + ")";
}

std::string edit(float rmsError, float coverage, bool followsOverallEdit)
{
    std::string line = edit(rmsError);
    if (!(coverage < lowCoverage))
        return line;
    line += " \u00B7 covers " + StatusLine::coverage(coverage) + " of colours; others " +
            (followsOverallEdit ? "follow the overall edit" : "keep their values");
    return line;
}

std::string coverage(float coverage)
{
    const auto percent = static_cast<long>(std::floor(100.0f * coverage));
    return (percent < 1 ? std::string("under 1") : std::to_string(percent)) + " %";
}

std::string hald(std::int64_t lutSize)
{
    const auto level = std::llround(std::sqrt(static_cast<double>(lutSize)));
    return "HALD level " + std::to_string(level) + " \u00B7 " + std::to_string(lutSize) +
           "-point cube";
}

}  // namespace lumivert::StatusLine
