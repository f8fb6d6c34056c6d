#pragma once

// Fixture files for the imaging tests, generated with libvips into a temporary folder that is
// removed with its contents when the test ends.

#include <vips/vips8>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace lumivert::fixtures {

class TemporaryFolder {
public:
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    // Names of everything in the folder, sorted.
    std::vector<std::string> entries() const;

private:
    std::filesystem::path path_;
};

// Starts libvips for the fixture writers (harmless when the loader has started it already).
void startVips();

// A width × height image with every pixel equal to `values` (one per band).
vips::VImage solid(int width, int height, const std::vector<double>& values,
                   VipsBandFormat format = VIPS_FORMAT_UCHAR,
                   VipsInterpretation interpretation = VIPS_INTERPRETATION_sRGB);

// The image encoded as the file type of `suffix` (".jpg", ".png"…), with saver options.
std::vector<unsigned char> encode(const vips::VImage& image, const char* suffix,
                                  vips::VOption* options = nullptr);

void writeBytes(const std::filesystem::path& location, const std::vector<unsigned char>& bytes);
std::vector<unsigned char> readBytes(const std::filesystem::path& location);

// The encoded image with its header changed to claim width × height pixels, its data unchanged.
std::vector<unsigned char> withPngSize(std::vector<unsigned char> bytes, std::uint32_t width,
                                       std::uint32_t height);
std::vector<unsigned char> withJpegSize(std::vector<unsigned char> bytes, std::uint16_t width,
                                        std::uint16_t height);

// A PNG whose header claims width × height pixels, followed by a few bytes of image data.
std::vector<unsigned char> pngClaiming(std::uint32_t width, std::uint32_t height);

}  // namespace lumivert::fixtures
