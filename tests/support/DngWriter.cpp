#include "DngWriter.hpp"

#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace lumivert::fixtures {

namespace {

constexpr std::uint16_t photometricCFA = 32803;
constexpr std::uint16_t photometricLinearRaw = 34892;
constexpr std::uint16_t illuminantD65 = 21;
constexpr std::array<std::uint8_t, 4> dngVersion{1, 4, 0, 0};
constexpr std::array<std::uint8_t, 4> backwardVersion{1, 1, 0, 0};
// RGGB, in the order of the 2 × 2 tile's rows; 0 red, 1 green, 2 blue.
constexpr std::array<std::uint8_t, 4> bayerPattern{0, 1, 1, 2};
// XYZ (D65) to linear sRGB, IEC 61966-2-1.
constexpr std::array<float, 9> xyzToLinearSrgb{3.2406f, -1.5372f, -0.4986f, -0.9689f, 1.8758f,
                                               0.0415f, 0.0557f,  -0.2040f, 1.0570f};

void check(bool ok, const char* what)
{
    if (!ok)
        throw std::runtime_error(std::string("The DNG fixture could not be written: ") + what +
                                 ".");
}

std::uint16_t recorded(double light, double neutral, const DngScene& scene)
{
    const double range = scene.whiteLevel - scene.blackLevel;
    const double value = scene.blackLevel + std::clamp(light * neutral, 0.0, 1.0) * range;
    return static_cast<std::uint16_t>(std::lround(value));
}

std::vector<std::uint16_t> row(const DngScene& scene, int y)
{
    const bool bayer = scene.layout == DngScene::Layout::bayer;
    std::vector<std::uint16_t> samples(static_cast<std::size_t>(scene.width) * (bayer ? 1 : 3));
    for (int x = 0; x < scene.width; ++x) {
        const std::array<double, 3> colour = scene.colour(x, y);
        if (bayer) {
            const std::size_t channel = bayerPattern[static_cast<std::size_t>(2 * (y % 2) + x % 2)];
            samples[static_cast<std::size_t>(x)] =
                recorded(colour[channel], scene.neutral[channel], scene);
            continue;
        }
        for (std::size_t c = 0; c < 3; ++c)
            samples[3 * static_cast<std::size_t>(x) + c] =
                recorded(colour[c], scene.neutral[c], scene);
    }
    return samples;
}

void setTags(TIFF* tiff, const DngScene& scene)
{
    const bool bayer = scene.layout == DngScene::Layout::bayer;
    const std::uint16_t bayerDims[2] = {2, 2};
    const std::array<float, 3> neutral{static_cast<float>(scene.neutral[0]),
                                       static_cast<float>(scene.neutral[1]),
                                       static_cast<float>(scene.neutral[2])};
    const float black = scene.blackLevel;
    const std::uint32_t white = scene.whiteLevel;
    bool ok =
        TIFFSetField(tiff, TIFFTAG_SUBFILETYPE, 0) &&
        TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, scene.width) &&
        TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, scene.height) &&
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 16) &&
        TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE) &&
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, bayer ? photometricCFA : photometricLinearRaw) &&
        TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, bayer ? 1 : 3) &&
        TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, scene.height) &&
        TIFFSetField(tiff, TIFFTAG_ORIENTATION, scene.orientation) &&
        TIFFSetField(tiff, TIFFTAG_MAKE, "Lumivert") &&
        TIFFSetField(tiff, TIFFTAG_MODEL, "Test Camera") &&
        TIFFSetField(tiff, TIFFTAG_DNGVERSION, dngVersion.data()) &&
        TIFFSetField(tiff, TIFFTAG_DNGBACKWARDVERSION, backwardVersion.data()) &&
        TIFFSetField(tiff, TIFFTAG_UNIQUECAMERAMODEL, "Lumivert Test Camera") &&
        TIFFSetField(tiff, TIFFTAG_COLORMATRIX1, 9, xyzToLinearSrgb.data()) &&
        TIFFSetField(tiff, TIFFTAG_CALIBRATIONILLUMINANT1, illuminantD65) &&
        TIFFSetField(tiff, TIFFTAG_ASSHOTNEUTRAL, 3, neutral.data()) &&
        TIFFSetField(tiff, TIFFTAG_BLACKLEVEL, 1, &black) &&
        TIFFSetField(tiff, TIFFTAG_WHITELEVEL, 1, &white);
    if (bayer)
        ok = ok && TIFFSetField(tiff, TIFFTAG_CFAREPEATPATTERNDIM, bayerDims) &&
             TIFFSetField(tiff, TIFFTAG_CFAPATTERN, 4, bayerPattern.data());
    check(ok, "a tag was refused");
}

}  // namespace

void writeDng(const std::filesystem::path& location, const DngScene& scene)
{
    const std::unique_ptr<TIFF, decltype(&TIFFClose)> tiff(TIFFOpen(location.c_str(), "w"),
                                                           &TIFFClose);
    check(tiff != nullptr, "the file could not be created");
    setTags(tiff.get(), scene);
    for (int y = 0; y < scene.height; ++y) {
        std::vector<std::uint16_t> samples = row(scene, y);
        check(TIFFWriteScanline(tiff.get(), samples.data(), static_cast<std::uint32_t>(y), 0) == 1,
              "a row was refused");
    }
}

double srgbEncoded(double linear)
{
    const double v = std::clamp(linear, 0.0, 1.0);
    return v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055;
}

}  // namespace lumivert::fixtures
