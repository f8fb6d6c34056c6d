#include "ImageFixtures.hpp"

#include <algorithm>
#include <array>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string_view>

namespace lumivert::fixtures {

namespace {

// PNG layout: 8-byte signature, then the IHDR chunk (length, type, 13 data bytes, CRC).
constexpr std::size_t ihdrType = 12;
constexpr std::size_t ihdrWidth = 16;
constexpr std::size_t ihdrCrc = 29;
constexpr std::size_t ihdrCrcSpan = 17;  // type and data
// Bytes kept after the start of the first IDAT chunk: its length, its type and a little data.
constexpr std::size_t keptImageData = 16;
constexpr std::string_view imageDataType = "IDAT";
constexpr std::size_t chunkLengthBytes = 4;
// A baseline or progressive JPEG frame header: the marker, its length, the sample precision,
// then the height and the width as 16-bit big-endian numbers.
constexpr unsigned char jpegMarker = 0xFF;
constexpr std::array<unsigned char, 2> frameHeaders = {0xC0, 0xC2};
constexpr std::size_t frameHeight = 5;

std::uint32_t crc32(const unsigned char* data, std::size_t size)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void putBigEndian(std::vector<unsigned char>& bytes, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + static_cast<std::size_t>(i)] = static_cast<unsigned char>(value >> (24 - 8 * i));
}

}  // namespace

TemporaryFolder::TemporaryFolder()
{
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() /
            ("lumivert-imaging-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(path_);
}

TemporaryFolder::~TemporaryFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> TemporaryFolder::entries() const
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void startVips()
{
    static const bool started = vips_init("lumivert-tests") == 0;
    if (!started)
        throw std::runtime_error("libvips did not start");
}

vips::VImage solid(int width, int height, const std::vector<double>& values, VipsBandFormat format,
                   VipsInterpretation interpretation)
{
    startVips();
    return vips::VImage::black(width, height)
        .cast(format)
        .new_from_image(values)
        .copy(vips::VImage::option()->set("interpretation", interpretation));
}

std::vector<unsigned char> encode(const vips::VImage& image, const char* suffix,
                                  vips::VOption* options)
{
    void* data = nullptr;
    std::size_t size = 0;
    image.write_to_buffer(suffix, &data, &size, options);
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::vector<unsigned char> result(bytes, bytes + size);
    g_free(data);
    return result;
}

void writeBytes(const std::filesystem::path& location, const std::vector<unsigned char>& bytes)
{
    std::ofstream file(location, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

std::vector<unsigned char> readBytes(const std::filesystem::path& location)
{
    std::ifstream file(location, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::vector<unsigned char> withPngSize(std::vector<unsigned char> bytes, std::uint32_t width,
                                       std::uint32_t height)
{
    putBigEndian(bytes, ihdrWidth, width);
    putBigEndian(bytes, ihdrWidth + 4, height);
    putBigEndian(bytes, ihdrCrc, crc32(bytes.data() + ihdrType, ihdrCrcSpan));
    return bytes;
}

std::vector<unsigned char> withJpegSize(std::vector<unsigned char> bytes, std::uint16_t width,
                                        std::uint16_t height)
{
    for (std::size_t at = 0; at + frameHeight + 4 <= bytes.size(); ++at) {
        if (bytes[at] != jpegMarker || std::find(frameHeaders.begin(), frameHeaders.end(),
                                                 bytes[at + 1]) == frameHeaders.end())
            continue;
        bytes[at + frameHeight] = static_cast<unsigned char>(height >> 8);
        bytes[at + frameHeight + 1] = static_cast<unsigned char>(height & 0xFF);
        bytes[at + frameHeight + 2] = static_cast<unsigned char>(width >> 8);
        bytes[at + frameHeight + 3] = static_cast<unsigned char>(width & 0xFF);
        return bytes;
    }
    throw std::runtime_error("the encoded JPEG has no frame header");
}

std::vector<unsigned char> pngClaiming(std::uint32_t width, std::uint32_t height)
{
    std::vector<unsigned char> bytes =
        withPngSize(encode(solid(1, 1, {0, 0, 0}), ".png"), width, height);
    // The chunks before the image data stay whole, so that the header reads as it would in a
    // real file; the data itself ends early, so that any decode fails.
    const auto data =
        std::search(bytes.begin(), bytes.end(), imageDataType.begin(), imageDataType.end());
    if (data == bytes.end())
        throw std::runtime_error("the encoded PNG has no image data");
    bytes.resize(static_cast<std::size_t>(data - bytes.begin()) - chunkLengthBytes + keptImageData);
    return bytes;
}

}  // namespace lumivert::fixtures
