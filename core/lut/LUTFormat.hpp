#pragma once

// The LUT file formats: the three of the export panel, the others Lumivert writes, then those it
// only reads. A small value type wrapping an enumeration: LUTFormat::cube converts to it, switch
// statements work on it, and each format knows its raw value (the file extension), its panel
// title, the applications that read it, and how its files are read and written. One table holds
// all of it: routing by extension, reading, writing and the file panels all go through it.

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace lumivert {

class LUT3D;
class LUTStack;

namespace LUTWriter {
struct Options;
}

class LUTFormat {
public:
    // The export panel's own three; the others written (.clf, .csp, .spi3d, an ICC device link);
    // then those only read. All but the first three, the ICC device links and the ASC CDL files
    // are read through OpenColorIO.
    enum Value : std::uint8_t {
        cube,
        threeDL,
        hald,
        clf,
        csp,
        spi3d,
        icc,
        ctf,
        spi1d,
        spimtx,
        cub,
        houdini,
        itx,
        look,
        mga,
        m3d,
        vf,
        cc,
        ccc,
        cdl
    };

    constexpr LUTFormat(Value value) : value_(value) {}
    constexpr operator Value() const { return value_; }

    // The three formats of the export panel, in its order.
    static constexpr std::array<LUTFormat, 3> allCases() { return {cube, threeDL, hald}; }
    // Every format a LUT can be written in: the three, then the others.
    static constexpr std::array<LUTFormat, 7> writableCases()
    {
        return {cube, threeDL, hald, clf, csp, spi3d, icc};
    }
    // Every format a LUT can be read from.
    static std::span<const LUTFormat> readableCases();

    // Points per axis that every format reads and every conversion may write, so no file we
    // write is one we refuse to read (a level-16 HALD image holds 256).
    static constexpr std::int64_t minSize = 2;
    static constexpr std::int64_t maxSize = 256;

    // A format's raw value, such as "cube", "3dl", "png" or "clf" (case-sensitive); anything
    // else gives nothing.
    static std::optional<LUTFormat> fromRawValue(std::string_view rawValue);

    // Such as "cube", "3dl" or "png": also the format's id and file extension (without the dot).
    std::string_view rawValue() const;
    std::string_view id() const { return rawValue(); }
    std::string_view fileExtension() const { return rawValue(); }
    // The format a file's extension names (".cube", ".3dl", ".png", ".clf" …, in any case), or
    // nothing.
    static std::optional<LUTFormat> fromPath(const std::filesystem::path& path);
    // ".cube, .3dl, .png, … or .cdl": the extensions of the cases given, for messages.
    static std::string extensionsText(std::span<const LUTFormat> formats);

    // The file panels' filter, such as "Cube LUT (*.cube)".
    std::string_view panelFilter() const;
    // Short label for the export panel, such as ".cube" or "HALD .png".
    std::string_view title() const;
    // Help text naming the applications that read the format.
    std::string_view compatibility() const;

    // Reads a file of the format, whatever its extension; throws as LUTReader::read does.
    using Reader = LUTStack (*)(const std::filesystem::path& path);
    // Writes a file of the format atomically; the title is kept by formats that store one, the
    // domain by .cube (the others hold the table resampled onto inputs 0 … 1), and each format
    // reads the options that concern it.
    using Writer = void (*)(const LUT3D& lut, std::string_view title,
                            const std::filesystem::path& destination,
                            const LUTWriter::Options& options);
    // The bytes a writer would write; the destination is only named in errors.
    using Encoder = std::string (*)(const LUT3D& lut, std::string_view title,
                                    const std::filesystem::path& destination,
                                    const LUTWriter::Options& options);
    Reader reader() const;
    // Both null for the formats that are only read.
    Writer writer() const;
    Encoder encoder() const;
    bool isWritable() const { return writer() != nullptr; }
    // Whether files of the format are read through OpenColorIO (LUTReader::readThroughOCIO).
    bool isReadThroughOCIO() const;
    // Whether the format holds an ASC CDL correction (LUTReader::readCorrection).
    bool isCorrection() const;
    // Whether the format stores entries within 0 … 1 only, so that wider ones are clamped.
    bool clampsToUnitRange() const;

private:
    Value value_;
};

}  // namespace lumivert

template <> struct std::hash<lumivert::LUTFormat> {
    std::size_t operator()(lumivert::LUTFormat format) const noexcept
    {
        return std::hash<int>{}(static_cast<int>(static_cast<lumivert::LUTFormat::Value>(format)));
    }
};
