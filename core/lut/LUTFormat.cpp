#include "lut/LUTFormat.hpp"

#include <algorithm>
#include <cctype>

namespace lumivert {

namespace {

struct FormatRow {
    LUTFormat::Value value;
    std::string_view rawValue;
    std::string_view title;
    std::string_view panelFilter;
    std::string_view compatibility;
};

// One row per format, in the order of LUTFormat::Value.
constexpr std::array<FormatRow, 3> kFormats = {{
    {LUTFormat::cube, "cube", ".cube", "Cube LUT (*.cube)",
     "Photoshop, Lightroom profiles, Premiere, After Effects, DaVinci Resolve, Final Cut Pro, "
     "Affinity Photo, Pixelmator Pro, Capture One"},
    {LUTFormat::threeDL, "3dl", ".3dl", "3DL LUT (*.3dl)",
     "Photoshop, Autodesk Flame and Lustre, Nuke, DaVinci Resolve"},
    {LUTFormat::hald, "png", "HALD .png", "PNG image (*.png)",
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

std::optional<LUTFormat> LUTFormat::fromPath(const std::filesystem::path& path)
{
    std::string extension = path.extension().string();
    if (extension.size() < 2)
        return std::nullopt;
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return fromRawValue(std::string_view(extension).substr(1));
}

std::string_view LUTFormat::panelFilter() const { return row(*this).panelFilter; }

std::string_view LUTFormat::rawValue() const { return row(*this).rawValue; }

std::string_view LUTFormat::title() const { return row(*this).title; }

std::string_view LUTFormat::compatibility() const { return row(*this).compatibility; }

}  // namespace lumivert
