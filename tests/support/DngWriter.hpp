#pragma once

// Small DNG files written with libtiff, for the camera RAW tests and benchmarks: a Bayer mosaic
// (RGGB) or linear RGB, 16-bit, uncompressed. The camera's colour space is linear sRGB (the
// colour matrix is the published XYZ-to-linear-sRGB matrix), so a decoder that applies the
// white balance and the matrix must give back the scene colours, sRGB-encoded.

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>

namespace lumivert::fixtures {

struct DngScene {
    enum class Layout { bayer, linear };

    int width = 64;
    int height = 48;
    Layout layout = Layout::bayer;
    // The scene's linear sRGB colour at (x, y), each in 0...1, as the photo should decode.
    std::function<std::array<double, 3>(int x, int y)> colour;
    // The camera's response to white: recorded samples are the scene times this, and the file
    // says so in AsShotNeutral (the largest should be 1 so no sample clips).
    std::array<double, 3> neutral{1.0, 1.0, 1.0};
    int orientation = 1;  // the TIFF orientation tag (1 upright, 6 turned a quarter clockwise…)
    std::uint16_t blackLevel = 0;
    std::uint16_t whiteLevel = 65535;
};

// Writes the scene as a DNG file; throws std::runtime_error when libtiff fails.
void writeDng(const std::filesystem::path& location, const DngScene& scene);

// sRGB encoding of a linear value (IEC 61966-2-1), for the expected decoded colours.
double srgbEncoded(double linear);

}  // namespace lumivert::fixtures
