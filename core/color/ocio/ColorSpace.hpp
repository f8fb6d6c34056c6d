#pragma once

// The colour spaces a LUT can take its input in and give its output in, one row each: key (the
// command line's word), title (the LUT file's comment and the window's menus), kind, and the
// chain of OpenColorIO built-in transforms that reaches ACES2065-1 (camera log and scene-linear
// spaces) or CIE XYZ D65 on the display side (display spaces). Only display spaces are outputs.

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace lumivert {

enum class ColorSpace {
    srgb,
    rec709,
    rec2020,
    linearRec709,
    acescg,
    acescct,
    slog3SGamut3Cine,
    slog3SGamut3,
    logC3AWG,
    clog2CinemaGamut,
    clog3CinemaGamut,
    vlogVGamut,
    log3G10RWG,
};

// display: code values a screen shows (decoded, converted, encoded; never tone mapped).
// log and sceneLinear: camera or working spaces, rendered through the ACES output transform.
enum class ColorSpaceKind { display, log, sceneLinear };

// One OpenColorIO built-in transform (a style name of its registry), forwards or inverted.
struct BuiltinStep {
    std::string_view style;
    bool inverse = false;

    friend bool operator==(const BuiltinStep&, const BuiltinStep&) = default;
};

struct ColorSpaceRow {
    ColorSpace space;
    std::string_view key;
    std::string_view title;
    ColorSpaceKind kind;
    // Display spaces: the built-in from CIE XYZ D65 to the display's code values. Others: the
    // steps to ACES2065-1, the first `stepCount` of `toAces`.
    std::string_view display;
    std::array<BuiltinStep, 2> toAces;
    std::size_t stepCount;

    std::span<const BuiltinStep> acesSteps() const { return std::span(toAces).first(stepCount); }
};

// A key no row has: the message names the key and every key there is.
class ColorSpaceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

namespace ColorSpaces {

// The ACES 1.0 SDR video output transform every scene space is rendered through.
inline constexpr std::string_view acesOutput =
    "ACES-OUTPUT - ACES2065-1_to_CIE-XYZ-D65 - SDR-VIDEO_1.0";

// Every row, in menu order: the display spaces (the outputs) first, srgb the default.
std::span<const ColorSpaceRow> all();
const ColorSpaceRow& row(ColorSpace space);
std::span<const ColorSpace> outputs();
inline constexpr ColorSpace defaultSpace = ColorSpace::srgb;

bool isOutput(ColorSpace space);
std::optional<ColorSpace> fromKey(std::string_view key);
// fromKey(), throwing ColorSpaceError for an unknown key; outputOnly refuses non-display rows.
ColorSpace parse(std::string_view key, bool outputOnly = false);

// The built-ins from input code values to output code values, in order (output must be a
// display space, else stops). Empty when input and output are the same display space.
std::vector<BuiltinStep> chain(ColorSpace input, ColorSpace output);
// The same steps undone: in reverse order, each one's direction flipped.
std::vector<BuiltinStep> inverse(std::span<const BuiltinStep> steps);

}  // namespace ColorSpaces

}  // namespace lumivert
