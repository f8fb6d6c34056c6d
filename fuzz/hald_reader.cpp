// The HALD reader on decoded images. The input is an image as the loader hands it over: two
// bytes choose the width and the height, the rest are 16-bit samples (R, G, B, repeated as
// needed). An image that reads as a table has a HALD shape, holds its pixels in its own order,
// and lays out again as the very same image.

#include "FuzzSupport.hpp"

#include "lut/HaldCLUT.hpp"

#include <array>
#include <optional>
#include <vector>

namespace {

// Half of the shape bytes pick a HALD side (levels 2 to 5), the others any side up to 80, so that
// both the accepted shapes and their near misses come up often.
constexpr std::array<std::int64_t, 4> haldSides{8, 27, 64, 125};
constexpr int anySideBelow = 80;
constexpr std::size_t shapeBytes = 2;
constexpr std::size_t sampleBytes = 2;
constexpr float sampleScale = 65535.0f;

std::int64_t sideOf(std::uint8_t byte)
{
    return byte < 128 ? haldSides[byte % haldSides.size()] : 1 + byte % anySideBelow;
}

lumivert::PixelBuffer decodedImage(const std::uint8_t* data, std::size_t size)
{
    const std::int64_t width = sideOf(data[0]);
    const std::int64_t height = sideOf(data[1]);
    const std::uint8_t* samples = data + shapeBytes;
    const std::size_t sampleCount = (size - shapeBytes) / sampleBytes;
    const auto sample = [&](std::size_t i) {
        if (sampleCount == 0)
            return 0.0f;
        const std::size_t at = (i % sampleCount) * sampleBytes;
        return static_cast<float>(samples[at] | samples[at + 1] << 8) / sampleScale;
    };
    std::vector<lumivert::RGB> pixels(static_cast<std::size_t>(width * height));
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = {sample(3 * i), sample(3 * i + 1), sample(3 * i + 2)};
    return {width, height, std::move(pixels)};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace lumivert;
    if (size < shapeBytes)
        return 0;
    const PixelBuffer image = decodedImage(data, size);
    const std::optional<int> level = HaldCLUT::level(image.width(), image.height());
    std::optional<LUT3D> lut;
    try {
        lut = HaldCLUT::lut(image);
    } catch (const HaldError& error) {
        FuzzSupport::check(!level && error.width() == image.width() &&
                               error.height() == image.height(),
                           "only images without a HALD shape are refused, naming their size");
        return 0;
    }
    FuzzSupport::check(level.has_value(), "a table is read from a HALD shape only");
    FuzzSupport::check(lut->size() == static_cast<std::int64_t>(*level) * *level &&
                           lut->values() == image.pixels(),
                       "a HALD table holds the image's pixels in their order");
    FuzzSupport::check(HaldCLUT::image(*lut, *level) == image,
                       "a HALD table lays out as the image it was read from");
    return 0;
}
