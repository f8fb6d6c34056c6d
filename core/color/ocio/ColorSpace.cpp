#include "color/ocio/ColorSpace.hpp"

#include "color/Precondition.hpp"

#include <algorithm>

namespace lumivert {

namespace {

constexpr std::string_view srgbDisplay = "DISPLAY - CIE-XYZ-D65_to_sRGB";
constexpr std::string_view rec709Display = "DISPLAY - CIE-XYZ-D65_to_REC.1886-REC.709";
constexpr std::string_view rec2020Display = "DISPLAY - CIE-XYZ-D65_to_REC.1886-REC.2020";

constexpr ColorSpaceRow displayRow(ColorSpace space, std::string_view key, std::string_view title,
                                   std::string_view display)
{
    return {.space = space,
            .key = key,
            .title = title,
            .kind = ColorSpaceKind::display,
            .display = display,
            .toAces = {},
            .stepCount = 0};
}

constexpr ColorSpaceRow sceneRow(ColorSpace space, std::string_view key, std::string_view title,
                                 ColorSpaceKind kind, std::string_view toAces)
{
    return {.space = space,
            .key = key,
            .title = title,
            .kind = kind,
            .display = {},
            .toAces = {BuiltinStep{toAces}},
            .stepCount = 1};
}

// Rows in enumeration order, so row() is an index.
constexpr std::array rows{
    displayRow(ColorSpace::srgb, "srgb", "sRGB", srgbDisplay),
    displayRow(ColorSpace::rec709, "rec709", "Rec.709", rec709Display),
    displayRow(ColorSpace::rec2020, "rec2020", "Rec.2020", rec2020Display),
    // No camera built-in for it: linear Rec.709 reaches ACES2065-1 through AP1 by the
    // registry's Bradford-adapted matrices, as the ACES configs define it.
    ColorSpaceRow{.space = ColorSpace::linearRec709,
                  .key = "linear-rec709",
                  .title = "Linear Rec.709",
                  .kind = ColorSpaceKind::sceneLinear,
                  .display = {},
                  .toAces = {BuiltinStep{"UTILITY - ACES-AP1_to_LINEAR-REC709_BFD", true},
                             BuiltinStep{"ACEScg_to_ACES2065-1"}},
                  .stepCount = 2},
    sceneRow(ColorSpace::acescg, "acescg", "ACEScg", ColorSpaceKind::sceneLinear,
             "ACEScg_to_ACES2065-1"),
    sceneRow(ColorSpace::acescct, "acescct", "ACEScct", ColorSpaceKind::log,
             "ACEScct_to_ACES2065-1"),
    sceneRow(ColorSpace::slog3SGamut3Cine, "slog3-sgamut3cine", "S-Log3 / S-Gamut3.Cine",
             ColorSpaceKind::log, "SONY_SLOG3-SGAMUT3.CINE_to_ACES2065-1"),
    sceneRow(ColorSpace::slog3SGamut3, "slog3-sgamut3", "S-Log3 / S-Gamut3", ColorSpaceKind::log,
             "SONY_SLOG3-SGAMUT3_to_ACES2065-1"),
    sceneRow(ColorSpace::logC3AWG, "logc3-awg", "ARRI LogC3 (EI 800) / ALEXA Wide Gamut",
             ColorSpaceKind::log, "ARRI_ALEXA-LOGC-EI800-AWG_to_ACES2065-1"),
    sceneRow(ColorSpace::clog2CinemaGamut, "clog2-cinemagamut", "Canon Log 2 / Cinema Gamut",
             ColorSpaceKind::log, "CANON_CLOG2-CGAMUT_to_ACES2065-1"),
    sceneRow(ColorSpace::clog3CinemaGamut, "clog3-cinemagamut", "Canon Log 3 / Cinema Gamut",
             ColorSpaceKind::log, "CANON_CLOG3-CGAMUT_to_ACES2065-1"),
    sceneRow(ColorSpace::vlogVGamut, "vlog-vgamut", "Panasonic V-Log / V-Gamut",
             ColorSpaceKind::log, "PANASONIC_VLOG-VGAMUT_to_ACES2065-1"),
    sceneRow(ColorSpace::log3G10RWG, "log3g10-rwg", "RED Log3G10 / REDWideGamutRGB",
             ColorSpaceKind::log, "RED_LOG3G10-RWG_to_ACES2065-1"),
};

constexpr bool rowsInEnumerationOrder()
{
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (static_cast<std::size_t>(rows[i].space) != i)
            return false;
    return true;
}
static_assert(rowsInEnumerationOrder(), "row(space) indexes the table by the enumeration");

constexpr std::array outputSpaces{ColorSpace::srgb, ColorSpace::rec709, ColorSpace::rec2020};

std::string keyList(bool outputOnly)
{
    std::string keys;
    for (const ColorSpaceRow& entry : rows) {
        if (outputOnly && entry.kind != ColorSpaceKind::display)
            continue;
        keys += keys.empty() ? "" : ", ";
        keys += entry.key;
    }
    return keys;
}

}  // namespace

namespace ColorSpaces {

std::span<const ColorSpaceRow> all() { return rows; }

const ColorSpaceRow& row(ColorSpace space)
{
    const auto index = static_cast<std::size_t>(space);
    LUMIVERT_PRECONDITION(index < rows.size(), "a colour space has a row");
    return rows[index];
}

std::span<const ColorSpace> outputs() { return outputSpaces; }

bool isOutput(ColorSpace space) { return row(space).kind == ColorSpaceKind::display; }

std::optional<ColorSpace> fromKey(std::string_view key)
{
    const auto* found = std::find_if(rows.begin(), rows.end(),
                                     [&](const ColorSpaceRow& entry) { return entry.key == key; });
    if (found == rows.end())
        return std::nullopt;
    return found->space;
}

ColorSpace parse(std::string_view key, bool outputOnly)
{
    const std::optional<ColorSpace> space = fromKey(key);
    if (space && (!outputOnly || isOutput(*space)))
        return *space;
    const std::string what = outputOnly ? "output colour space" : "colour space";
    throw ColorSpaceError("There is no " + what + " called \u201C" + std::string(key) +
                          "\u201D; choose one of " + keyList(outputOnly) + ".");
}

std::vector<BuiltinStep> chain(ColorSpace input, ColorSpace output)
{
    LUMIVERT_PRECONDITION(isOutput(output), "a LUT's output is a display colour space");
    if (input == output)
        return {};
    const ColorSpaceRow& from = row(input);
    const BuiltinStep encode{row(output).display};
    // Display to display: decode to CIE XYZ, re-encode; the same white, so no adaptation.
    if (from.kind == ColorSpaceKind::display)
        return {BuiltinStep{from.display, true}, encode};
    std::vector<BuiltinStep> steps(from.acesSteps().begin(), from.acesSteps().end());
    steps.push_back(BuiltinStep{acesOutput});
    steps.push_back(encode);
    return steps;
}

std::vector<BuiltinStep> inverse(std::span<const BuiltinStep> steps)
{
    std::vector<BuiltinStep> undone;
    for (auto step = steps.rbegin(); step != steps.rend(); ++step)
        undone.push_back({step->style, !step->inverse});
    return undone;
}

}  // namespace ColorSpaces

}  // namespace lumivert
