#include "lut/LUTFormat.hpp"

#include "color/ocio/OCIOFile.hpp"
#include "io/FileIO.hpp"
#include "io/FileName.hpp"
#include "lut/ICCProfile.hpp"
#include "lut/LUTReader.hpp"
#include "lut/LUTWriter.hpp"
#include "lut/SPI3D.hpp"

#include <utility>

namespace lumivert {

namespace {

// A 255-point CLUT of 16-bit entries, with room for the tags around it.
constexpr std::uintmax_t iccLargestFile = 128u << 20u;

struct FormatRow {
    LUTFormat::Value value;
    std::string_view rawValue;
    std::string_view title;
    std::string_view panelFilter;
    std::string_view compatibility;
    LUTFormat::Reader reader;
    LUTFormat::Writer writer;
    LUTFormat::Encoder encoder;
    bool clampsToUnitRange;
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

LUTStack readThroughOCIO(const std::filesystem::path& path)
{
    return LUTReader::readThroughOCIO(path).lut;
}

// Device links through LittleCMS, which evaluates any of them; other profiles through OpenColorIO.
LUTStack readICC(const std::filesystem::path& path)
{
    const std::string bytes = FileIO::readRegularFile(path, iccLargestFile, "an ICC profile");
    if (std::optional<LUT3D> table = ICCProfile::deviceLinkTable(bytes, OCIOFile::latticeSize))
        return std::move(*table);
    return readThroughOCIO(path);
}

std::string encodeCLF(const LUT3D& lut, std::string_view title, const std::filesystem::path&,
                      const LUTWriter::Options&)
{
    return OCIOFile::clf(lut, LUTWriter::cleanedTitle(title));
}

std::string encodeCSP(const LUT3D& lut, std::string_view, const std::filesystem::path&,
                      const LUTWriter::Options&)
{
    return OCIOFile::baked(lut, "cinespace");
}

std::string encodeSPI3D(const LUT3D& lut, std::string_view, const std::filesystem::path&,
                        const LUTWriter::Options&)
{
    return SPI3D::text(lut);
}

std::string encodeICC(const LUT3D& lut, std::string_view title, const std::filesystem::path&,
                      const LUTWriter::Options&)
{
    return ICCProfile::deviceLink(lut, LUTWriter::cleanedTitle(title));
}

// The formats written whole from their encoder's bytes.
template <LUTFormat::Encoder encode>
void writeEncoded(const LUT3D& lut, std::string_view title,
                  const std::filesystem::path& destination, const LUTWriter::Options& options)
{
    FileIO::writeAtomically(destination, encode(lut, title, destination, options));
}

// The tables are ours to read: OpenColorIO would not pick which correction of a .ccc.
constexpr std::string_view cdlReader = "ASC CDL (*.cc *.ccc *.cdl)";

// One row per format, in the order of LUTFormat::Value.
constexpr std::array<FormatRow, 20> formats = {{
    {LUTFormat::cube, "cube", ".cube", "Cube LUT (*.cube)",
     "Photoshop, Lightroom profiles, Premiere, After Effects, DaVinci Resolve, Final Cut Pro, "
     "Affinity Photo, Pixelmator Pro, Capture One",
     readCube, writeCube, encodeCube, false},
    {LUTFormat::threeDL, "3dl", ".3dl", "3DL LUT (*.3dl)",
     "Photoshop, Autodesk Flame and Lustre, Nuke, DaVinci Resolve", readThreeDL, writeThreeDL,
     encodeThreeDL, true},
    {LUTFormat::hald, "png", "HALD .png", "PNG image (*.png)",
     "Affinity Photo, GIMP (G'MIC), darktable, RawTherapee, ImageMagick", readHald, writeHald,
     encodeHald, true},
    {LUTFormat::clf, "clf", ".clf", "Common LUT Format (*.clf)",
     "DaVinci Resolve, Nuke, Autodesk Flame, OpenColorIO and ACES pipelines", readThroughOCIO,
     writeEncoded<encodeCLF>, encodeCLF, false},
    {LUTFormat::csp, "csp", ".csp", "Cinespace LUT (*.csp)",
     "Nuke, Cinespace, OpenColorIO applications", readThroughOCIO, writeEncoded<encodeCSP>,
     encodeCSP, false},
    {LUTFormat::spi3d, "spi3d", ".spi3d", "Imageworks 3D LUT (*.spi3d)",
     "Nuke, Katana, Mari, OpenColorIO applications", readThroughOCIO, writeEncoded<encodeSPI3D>,
     encodeSPI3D, false},
    {LUTFormat::icc, "icc", "ICC device link", "ICC profile (*.icc)",
     "Photoshop (Color Lookup), Affinity Photo, Capture One, GIMP and other LittleCMS "
     "applications",
     readICC, writeEncoded<encodeICC>, encodeICC, true},
    {LUTFormat::ctf, "ctf", ".ctf", "Color Transform Format (*.ctf)", "Autodesk Flame",
     readThroughOCIO, nullptr, nullptr, false},
    {LUTFormat::spi1d, "spi1d", ".spi1d", "Imageworks 1D LUT (*.spi1d)", "OpenColorIO",
     readThroughOCIO, nullptr, nullptr, false},
    {LUTFormat::spimtx, "spimtx", ".spimtx", "Imageworks matrix (*.spimtx)", "OpenColorIO",
     readThroughOCIO, nullptr, nullptr, false},
    {LUTFormat::cub, "cub", ".cub", "Truelight LUT (*.cub)", "FilmLight Truelight", readThroughOCIO,
     nullptr, nullptr, false},
    {LUTFormat::houdini, "lut", ".lut", "Houdini or Discreet LUT (*.lut)",
     "Houdini, Autodesk Discreet", readThroughOCIO, nullptr, nullptr, false},
    {LUTFormat::itx, "itx", ".itx", "IRIDAS LUT (*.itx)", "IRIDAS SpeedGrade", readThroughOCIO,
     nullptr, nullptr, false},
    {LUTFormat::look, "look", ".look", "IRIDAS look (*.look)", "IRIDAS SpeedGrade", readThroughOCIO,
     nullptr, nullptr, false},
    {LUTFormat::mga, "mga", ".mga", "Pandora LUT (*.mga)", "Pandora", readThroughOCIO, nullptr,
     nullptr, false},
    {LUTFormat::m3d, "m3d", ".m3d", "Pandora LUT (*.m3d)", "Pandora", readThroughOCIO, nullptr,
     nullptr, false},
    {LUTFormat::vf, "vf", ".vf", "Nuke vector field (*.vf)", "Nuke", readThroughOCIO, nullptr,
     nullptr, false},
    {LUTFormat::cc, "cc", ".cc", cdlReader, "Every grading application", LUTReader::readCorrection,
     nullptr, nullptr, false},
    {LUTFormat::ccc, "ccc", ".ccc", cdlReader, "Every grading application",
     LUTReader::readCorrection, nullptr, nullptr, false},
    {LUTFormat::cdl, "cdl", ".cdl", cdlReader, "Every grading application",
     LUTReader::readCorrection, nullptr, nullptr, false},
}};

template <std::size_t... index>
constexpr std::array<LUTFormat, sizeof...(index)> casesOf(std::index_sequence<index...>)
{
    return {formats[index].value...};
}

// Every case, in the order of LUTFormat::Value.
constexpr auto readable = casesOf(std::make_index_sequence<formats.size()>());

constexpr bool rowsInEnumOrder()
{
    for (std::size_t i = 0; i < formats.size(); ++i)
        if (static_cast<std::size_t>(formats[i].value) != i)
            return false;
    return true;
}
static_assert(rowsInEnumOrder(), "one row per LUTFormat::Value, in its order");
static_assert(OCIOFile::maxTableSize == LUTFormat::maxSize,
              "a table read through OpenColorIO is one a LUT file of ours can hold");
static_assert(LUTFormat::writableCases().size() == 7 && LUTFormat::icc + 1 == LUTFormat::ctf,
              "the written formats come first, the read-only ones after");

const FormatRow& row(LUTFormat format)
{
    return formats[static_cast<std::size_t>(static_cast<LUTFormat::Value>(format))];
}

}  // namespace

std::span<const LUTFormat> LUTFormat::readableCases() { return readable; }

std::string LUTFormat::extensionsText(std::span<const LUTFormat> formats)
{
    std::string text;
    for (std::size_t i = 0; i < formats.size(); ++i) {
        if (i > 0)
            text += i + 1 == formats.size() ? " or " : ", ";
        text += "." + std::string(formats[i].fileExtension());
    }
    return text;
}

bool LUTFormat::isReadThroughOCIO() const { return reader() == readThroughOCIO; }

bool LUTFormat::isCorrection() const { return reader() == LUTReader::readCorrection; }

bool LUTFormat::clampsToUnitRange() const { return row(*this).clampsToUnitRange; }

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
