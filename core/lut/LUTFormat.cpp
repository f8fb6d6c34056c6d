#include "lut/LUTFormat.hpp"

namespace lumivert {

namespace {

struct FormatRow {
    LUTFormat::Value value;
    std::string_view rawValue;
    std::string_view title;
    std::string_view compatibility;
};

// One row per format, in the order of LUTFormat::Value.
constexpr std::array<FormatRow, 3> kFormats = {{
    {LUTFormat::cube, "cube", ".cube",
     "Photoshop, Lightroom profiles, Premiere, After Effects, DaVinci Resolve, Final Cut Pro, "
     "Affinity Photo, Pixelmator Pro, Capture One"},
    {LUTFormat::threeDL, "3dl", ".3dl",
     "Photoshop, Autodesk Flame and Lustre, Nuke, DaVinci Resolve"},
    {LUTFormat::hald, "png", "HALD .png",
     "Affinity Photo, GIMP (G'MIC), darktable, RawTherapee, ImageMagick"},
}};

const FormatRow& row(LUTFormat format)
{
    return kFormats[static_cast<std::size_t>(static_cast<LUTFormat::Value>(format))];
}

}  // namespace

std::optional<LUTFormat> LUTFormat::fromRawValue(std::string_view rawValue)
{
    for (const FormatRow& candidate : kFormats) {
        if (candidate.rawValue == rawValue)
            return candidate.value;
    }
    return std::nullopt;
}

std::string_view LUTFormat::rawValue() const { return row(*this).rawValue; }

std::string_view LUTFormat::title() const { return row(*this).title; }

std::string_view LUTFormat::compatibility() const { return row(*this).compatibility; }

}  // namespace lumivert
