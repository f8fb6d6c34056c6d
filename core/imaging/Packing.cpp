#include "imaging/Packing.hpp"

#include "color/Precondition.hpp"

#include <vector>

namespace lumivert::Packing {

namespace {

constexpr float k8BitMax = 255.0f;
constexpr float k16BitMax = 65535.0f;

template <typename Image>
std::vector<typename Image::SampleType> quantizedSamples(const PixelBuffer& pixels, float maxCode)
{
    using Sample = typename Image::SampleType;
    constexpr int channels = Image::channels;
    const std::vector<RGB>& source = pixels.pixels();
    const auto count = static_cast<std::int64_t>(source.size());
    std::vector<Sample> samples(static_cast<std::size_t>(checkedMul(count, channels)));
#pragma omp parallel for schedule(static)
    for (std::int64_t i = 0; i < count; ++i) {
        Sample* out = samples.data() + i * channels;
        const RGB& c = source[static_cast<std::size_t>(i)];
        out[0] = static_cast<Sample>(quantized(c.r, maxCode));
        out[1] = static_cast<Sample>(quantized(c.g, maxCode));
        out[2] = static_cast<Sample>(quantized(c.b, maxCode));
        if constexpr (channels == 4)
            out[3] = static_cast<Sample>(maxCode);
    }
    return samples;
}

}  // namespace

Image8 makeImage8(const PixelBuffer& pixels)
{
    return Image8(pixels.width(), pixels.height(), quantizedSamples<Image8>(pixels, k8BitMax));
}

Image16 makeImage16(const PixelBuffer& pixels)
{
    return Image16(pixels.width(), pixels.height(), quantizedSamples<Image16>(pixels, k16BitMax));
}

}  // namespace lumivert::Packing
