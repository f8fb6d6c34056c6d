#include "lut/LUTFacts.hpp"

#include "lut/LUTFormat.hpp"
#include "lut/LUTReader.hpp"
#include "lut/LUTWriter.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <optional>
#include <string_view>
#include <utility>

namespace lumivert::LUTFacts {

namespace {

using std::filesystem::path;

struct NamedColour {
    const char* name;
    RGB colour;
};
// The ends of the grey axis, mid and 18 % grey, the primaries and a skin tone.
constexpr std::array<NamedColour, 8> referenceColours = {{
    {"black", {0, 0, 0}},
    {"18% grey", {0.46f, 0.46f, 0.46f}},
    {"mid grey", {0.5f, 0.5f, 0.5f}},
    {"white", {1, 1, 1}},
    {"red", {1, 0, 0}},
    {"green", {0, 1, 0}},
    {"blue", {0, 0, 1}},
    {"skin", {0.87f, 0.67f, 0.55f}},
}};

// Inputs along the grey axis of the domain at which the transform is checked.
constexpr int greySteps = 1024;
// A fall smaller than this is rounding in the file, not a reversal.
constexpr float monotoneTolerance = 1e-6f;
// Curves feeding a table are measured on a grid of this many points per axis.
constexpr std::int64_t sampledGridSize = 33;

std::string formatOf(const path& file, const LUTStack& lut)
{
    const std::optional<LUTFormat> format = LUTFormat::fromPath(file);
    if (!format || *format == LUTFormat::hald)
        return "HALD image, level " +
               std::to_string(static_cast<int>(std::lround(std::sqrt(lut.table().size()))));
    const std::string title(format->title());
    if (format->isCorrection())
        return title + ", ASC CDL evaluated on a " + std::to_string(lut.table().size()) +
               "-point lattice";
    // A profile's transform is evaluated by LittleCMS, whatever tables it holds.
    if (*format == LUTFormat::icc)
        return title + ", evaluated on a " + std::to_string(lut.table().size()) + "-point lattice";
    if (!lut.hasTable())
        return title + ", 1D curves";
    return title + (lut.hasCurves() ? ", 1D shaper then 3D table" : ", 3D table");
}

// Formats OpenColorIO reads, whose layout it tells.
bool readThroughOCIO(const path& file)
{
    const std::optional<LUTFormat> format = LUTFormat::fromPath(file);
    return format && format->isReadThroughOCIO();
}

std::string range(float lo, float hi)
{
    char text[64];
    std::snprintf(text, sizeof text, "%g to %g", static_cast<double>(lo), static_cast<double>(hi));
    return text;
}

std::string domainText(const LUTDomain& domain)
{
    if (domain.isUniform())
        return range(domain.min.r, domain.max.r);
    return "red " + range(domain.min.r, domain.max.r) + ", green " +
           range(domain.min.g, domain.max.g) + ", blue " + range(domain.min.b, domain.max.b);
}

// "monotone in every channel", or where the first channel falls.
std::string greyAxisText(const LUTStack& lut)
{
    const LUTDomain& domain = lut.domain();
    RGB previous = lut.apply(domain.at({0, 0, 0}));
    for (int step = 1; step <= greySteps; ++step) {
        const float t = static_cast<float>(step) / greySteps;
        const RGB input = domain.at({t, t, t});
        const RGB out = lut.apply(input);
        const std::array<std::pair<const char*, float>, 3> falls = {{{"red", previous.r - out.r},
                                                                     {"green", previous.g - out.g},
                                                                     {"blue", previous.b - out.b}}};
        for (const auto& [name, fall] : falls) {
            if (fall > monotoneTolerance) {
                char text[128];
                std::snprintf(text, sizeof text, "not monotone: %s falls near grey input %.4f",
                              name, static_cast<double>(input.r));
                return text;
            }
        }
        previous = out;
    }
    return "monotone in every channel";
}

// Entries pinned at 0 or 1 whose own input is not: colours that clip there.
struct Clipping {
    std::int64_t entries = 0;
    std::int64_t total = 0;
    float lowest = 0.0f;
    float highest = 0.0f;
};

void countClipping(const std::vector<RGB>& values, const std::function<RGB(std::size_t)>& inputOf,
                   Clipping& clipping)
{
    const auto clips = [](float out, float in) {
        return (out <= 0.0f && in > 0.0f) || (out >= 1.0f && in < 1.0f);
    };
    for (std::size_t i = 0; i < values.size(); ++i) {
        const RGB& v = values[i];
        const RGB in = inputOf(i);
        if (clips(v.r, in.r) || clips(v.g, in.g) || clips(v.b, in.b))
            ++clipping.entries;
        clipping.lowest = std::min({clipping.lowest, v.r, v.g, v.b});
        clipping.highest = std::max({clipping.highest, v.r, v.g, v.b});
    }
    clipping.total += static_cast<std::int64_t>(values.size());
}

Clipping clippingOf(const LUTStack& lut)
{
    Clipping clipping;
    const RGB first =
        lut.hasCurves() ? lut.curves().values().front() : lut.table().values().front();
    clipping.lowest = clipping.highest = first.r;
    if (lut.hasCurves()) {
        const LUT1D& curves = lut.curves();
        const float last = static_cast<float>(curves.size() - 1);
        countClipping(
            curves.values(),
            [&](std::size_t i) {
                const float t = static_cast<float>(i) / last;
                return curves.domain().at({t, t, t});
            },
            clipping);
    }
    if (lut.hasTable()) {
        const LUT3D& table = lut.table();
        const std::vector<float> axis = LUT3D::latticeAxis(table.size());
        const auto n = static_cast<std::size_t>(table.size());
        countClipping(
            table.values(),
            [&](std::size_t i) {
                return table.domain().at({axis[i % n], axis[i / n % n], axis[i / (n * n)]});
            },
            clipping);
    }
    return clipping;
}

// The inputs a LUT is measured over: its domain and the 0 … 1 of every image's code values,
// which a narrower domain clamps to its edges.
LUTDomain measuredInputs(const LUTDomain& domain)
{
    const auto lower = [](float a) { return std::min(a, 0.0f); };
    const auto upper = [](float a) { return std::max(a, 1.0f); };
    return {{lower(domain.min.r), lower(domain.min.g), lower(domain.min.b)},
            {upper(domain.max.r), upper(domain.max.g), upper(domain.max.b)}};
}

// Largest change of the whole transform over measuredInputs: exact on a plain table's or curves'
// own entries when their domain holds 0 … 1, else sampled on a grid of those inputs.
float largestChange(const LUTStack& lut)
{
    const LUTDomain& domain = lut.domain();
    if (domain.containsUnit()) {
        if (!lut.hasCurves())
            return lut.table().maxDeviationFromIdentity();
        if (!lut.hasTable())
            return lut.curves().maxDeviationFromIdentity();
        return lut.baked(sampledGridSize).maxDeviationFromIdentity();
    }
    const LUTDomain inputs = measuredInputs(domain);
    const std::vector<float> axis = LUT3D::latticeAxis(sampledGridSize);
    float change = 0.0f;
    for (const float b : axis) {
        for (const float g : axis) {
            for (const float r : axis) {
                const RGB in = inputs.at({r, g, b});
                const RGB out = lut.apply(in);
                change = std::max({change, std::fabs(out.r - in.r), std::fabs(out.g - in.g),
                                   std::fabs(out.b - in.b)});
            }
        }
    }
    return change;
}

// Said when some code values of 0 … 1 lie outside the domain: where white is looked up.
std::optional<std::string> clampedText(const LUTDomain& domain)
{
    if (domain.containsUnit())
        return std::nullopt;
    const RGB white = domain.at(domain.normalised({1.0f, 1.0f, 1.0f}));
    const RGB black = domain.at(domain.normalised({0.0f, 0.0f, 0.0f}));
    char text[256];
    std::snprintf(text, sizeof text,
                  "inputs outside the domain are clamped to its edges, so black is looked up as "
                  "%g %g %g and white as %g %g %g",
                  static_cast<double>(black.r), static_cast<double>(black.g),
                  static_cast<double>(black.b), static_cast<double>(white.r),
                  static_cast<double>(white.g), static_cast<double>(white.b));
    return text;
}

// The spaces a LUT's own comment lines name ("Input: S-Log3 / S-Gamut3.Cine"); LUTs without them
// take and give sRGB.
void addSpaces(std::vector<Fact>& rows, const std::vector<std::string>& comments)
{
    constexpr std::array<std::pair<std::string_view, std::string_view>, 2> notes{{
        {LUTWriter::inputNote, "Input space"},
        {LUTWriter::outputNote, "Output space"},
    }};
    for (const auto& [note, label] : notes)
        for (const std::string& comment : comments)
            if (comment.starts_with(note))
                rows.push_back({std::string(label), comment.substr(note.size())});
}

std::string clippingText(const Clipping& clipping)
{
    if (clipping.entries == 0)
        return "none";
    char text[128];
    std::snprintf(text, sizeof text, "%lld of %lld entries at 0 or 1 (%.1f %%)",
                  static_cast<long long>(clipping.entries), static_cast<long long>(clipping.total),
                  100.0 * static_cast<double>(clipping.entries) /
                      static_cast<double>(clipping.total));
    return text;
}

}  // namespace

LUTFile read(const path& file)
{
    if (readThroughOCIO(file)) {
        LUTReader::OCIOContents contents = LUTReader::readThroughOCIO(file);
        return {std::move(contents.lut),
                std::nullopt,
                {},
                std::string(LUTFormat::fromPath(file)->title()) + ", " + contents.layout,
                false};
    }
    if (LUTFormat::fromPath(file) != LUTFormat::threeDL) {
        LUTReader::CubeContents contents = LUTReader::readContents(file);
        std::string format = formatOf(file, contents.lut);
        return {std::move(contents.lut), std::move(contents.title), std::move(contents.comments),
                std::move(format), false};
    }
    LUTReader::ThreeDLContents contents = LUTReader::readThreeDL(file);
    return {std::move(contents.lut), std::nullopt, std::move(contents.comments),
            ".3dl, " + std::to_string(contents.outputBits) + "-bit outputs",
            contents.guessedTenBit};
}

std::vector<Fact> facts(const LUTFile& file)
{
    const LUTStack& lut = file.lut;
    std::vector<Fact> rows{{"Format", file.format}};
    if (lut.hasCurves())
        rows.push_back({"1D curves", std::to_string(lut.curves().size()) +
                                         " points per channel, inputs " +
                                         domainText(lut.curves().domain())});
    if (lut.hasTable()) {
        rows.push_back({"Size", std::to_string(lut.table().size()) + " points per axis"});
        rows.push_back({"Domain", domainText(lut.table().domain())});
    }
    if (file.title)
        rows.push_back({"Title", *file.title});
    for (const std::string& comment : file.comments)
        rows.push_back({"Comment", comment});
    addSpaces(rows, file.comments);
    const Clipping clipping = clippingOf(lut);
    if (const std::optional<std::string> clamped = clampedText(lut.domain()))
        rows.push_back({"Clamped", *clamped});
    char change[32];
    std::snprintf(change, sizeof change, "%.6f", static_cast<double>(largestChange(lut)));
    rows.push_back({"Largest change from identity", change});
    rows.push_back({"Output range", range(clipping.lowest, clipping.highest) +
                                        (clipping.lowest < 0.0f || clipping.highest > 1.0f
                                             ? " (beyond 0 to 1: clamped only where an image "
                                               "is written)"
                                             : "")});
    rows.push_back({"Grey axis", greyAxisText(lut)});
    rows.push_back({"Clipping", clippingText(clipping)});
    return rows;
}

std::vector<Sample> samples(const LUTStack& lut)
{
    std::vector<Sample> rows;
    for (const NamedColour& colour : referenceColours)
        rows.push_back({colour.name, colour.colour, lut.apply(colour.colour)});
    return rows;
}

}  // namespace lumivert::LUTFacts
