#include "cli/AnalysisJson.hpp"

#include "learners/StatusLine.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace lumivert::AnalysisJson {

namespace {

using nlohmann::json;

json chroma(const Chroma& c) { return {{"a", number(c.a)}, {"b", number(c.b)}}; }

json lab(const Lab& c) { return {{"L", number(c.L)}, {"a", number(c.a)}, {"b", number(c.b)}}; }

json rgb(const RGB& c) { return {{"r", number(c.r)}, {"g", number(c.g)}, {"b", number(c.b)}}; }

json curve(const Curve1D& curve)
{
    json values = json::array();
    for (const float value : curve.table())
        values.push_back(number(value));
    return values;
}

}  // namespace

json number(float value)
{
    if (!std::isfinite(value))
        return nullptr;
    std::array<char, 32> text{};
    const auto end = std::to_chars(text.data(), text.data() + text.size() - 1, value).ptr;
    *end = '\0';
    return std::strtod(text.data(), nullptr);
}

json look(const LookAnalysis& analysis)
{
    json tints = json::array();
    for (const Chroma& tint : analysis.tints)
        tints.push_back(chroma(tint));
    json palette = json::array();
    for (const PaletteColor& colour : analysis.palette) {
        palette.push_back({{"id", colour.id},
                           {"lab", lab(colour.lab)},
                           {"srgb", rgb(colour.srgb())},
                           {"weight", number(colour.weight)},
                           {"pullHue", number(colour.pullHue)}});
    }
    return {
        {"blackLevel", number(analysis.blackLevel)}, {"whiteLevel", number(analysis.whiteLevel)},
        {"contrast", number(analysis.contrast)},     {"tints", tints},
        {"saturation", number(analysis.saturation)}, {"palette", palette}};
}

json match(const MatchAnalysis& analysis)
{
    json bands = json::array();
    for (const BandTransfer& band : analysis.bands) {
        bands.push_back({{"sourceMean", chroma(band.sourceMean)},
                         {"referenceMean", chroma(band.referenceMean)},
                         {"matrix",
                          {{"m00", number(band.matrix.m00)},
                           {"m01", number(band.matrix.m01)},
                           {"m11", number(band.matrix.m11)}}}});
    }
    return {{"toneMap", curve(analysis.toneMap)},
            {"sourceRank", curve(analysis.sourceRank)},
            {"bands", bands}};
}

json edit(const EditFit& fit, std::int64_t sampleCount)
{
    return {{"rmsError", number(fit.rmsError)},
            {"coverage", number(fit.coverage)},
            {"sampleCount", sampleCount},
            {"iterations", fit.iterations},
            {"followsOverallEdit", fit.followsOverallEdit},
            {"verdict", StatusLine::editVerdict(fit.rmsError)}};
}

}  // namespace lumivert::AnalysisJson
