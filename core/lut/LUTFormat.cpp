#include "lut/LUTFormat.hpp"

#include "io/FileName.hpp"
#include "lut/LUTReader.hpp"
#include "lut/LUTWriter.hpp"

namespace lumivert {

namespace {

struct FormatRow {
    LUTFormat::Value value;
    std::string_view rawValue;
    std::string_view title;
    std::string_view panelFilter;
    std::string_view compatibility;
    LUTFormat::Reader reader;
    LUTFormat::Writer writer;
    LUTFormat::Encoder encoder;
};

// The readers and writers in the table's shape.
LUTStack readCube(const std::filesystem::path& path) { return LUTReader::readCube(path).lut; }

LUTStack readThreeDL(const std::filesystem::path& path) { return LUTReader::readThreeDL(path).lut; }

LUTStack readHald(const std::filesystem::path& path) { return LUTReader::readHald(path); }

void writeCube(const LUT3D& lut, std::string_view title, const std::filesystem::path& destination,
               const LUTWriter::Options& options)
{
    LUTWriter::writeCube(lut, title, destination, options.notes);
}

void writeThreeDL(const LUT3D& lut, std::string_view, const std::filesystem::path& destination,
                  const LUTWriter::Options& options)
{
    LUTWriter::writeThreeDL(lut, destination, options.threeDLFlavour, options.notes);
}

void writeHald(const LUT3D& lut, std::string_view, const std::filesystem::path& destination,
               const LUTWriter::Options& options)
{
    LUTWriter::writeHald(lut, destination, options.haldLevel);
}

std::string encodeCube(const LUT3D& lut, std::string_view title, const std::filesystem::path&,
                       const LUTWriter::Options& options)
{
    return LUTWriter::cube(lut, title, options.notes);
}

std::string encodeThreeDL(const LUT3D& lut, std::string_view, const std::filesystem::path&,
                          const LUTWriter::Options& options)
{
    return LUTWriter::threeDL(lut, options.threeDLFlavour, options.notes);
}

std::string encodeHald(const LUT3D& lut, std::string_view, const std::filesystem::path& destination,
                       const LUTWriter::Options& options)
{
    return LUTWriter::hald(lut, destination, options.haldLevel);
}

// One row per format, in the order of LUTFormat::Value.
constexpr std::array<FormatRow, 3> formats = {{
    {LUTFormat::cube, "cube", ".cube", "Cube LUT (*.cube)",
     "Photoshop, Lightroom profiles, Premiere, After Effects, DaVinci Resolve, Final Cut Pro, "
     "Affinity Photo, Pixelmator Pro, Capture One",
     readCube, writeCube, encodeCube},
    {LUTFormat::threeDL, "3dl", ".3dl", "3DL LUT (*.3dl)",
     "Photoshop, Autodesk Flame and Lustre, Nuke, DaVinci Resolve", readThreeDL, writeThreeDL,
     encodeThreeDL},
    {LUTFormat::hald, "png", "HALD .png", "PNG image (*.png)",
     "Affinity Photo, GIMP (G'MIC), darktable, RawTherapee, ImageMagick", readHald, writeHald,
     encodeHald},
}};

const FormatRow& row(LUTFormat format)
{
    return formats[static_cast<std::size_t>(static_cast<LUTFormat::Value>(format))];
}

}  // namespace

std::optional<LUTFormat> LUTFormat::fromRawValue(std::string_view rawValue)
{
    for (const FormatRow& candidate : formats) {
        if (candidate.rawValue == rawValue)
            return candidate.value;
    }
    return std::nullopt;
}

std::optional<LUTFormat> LUTFormat::fromPath(const std::filesystem::path& path)
{
    return fromRawValue(FileName::lowerCaseExtension(path));
}

std::string_view LUTFormat::panelFilter() const { return row(*this).panelFilter; }

std::string_view LUTFormat::rawValue() const { return row(*this).rawValue; }

std::string_view LUTFormat::title() const { return row(*this).title; }

std::string_view LUTFormat::compatibility() const { return row(*this).compatibility; }

LUTFormat::Reader LUTFormat::reader() const { return row(*this).reader; }

LUTFormat::Writer LUTFormat::writer() const { return row(*this).writer; }

LUTFormat::Encoder LUTFormat::encoder() const { return row(*this).encoder; }

}  // namespace lumivert
