#include "imaging/vips/VipsSamples.hpp"

#include "color/ColorMath.hpp"
#include "imaging/Packing.hpp"

#include <limits>
#include <memory>
#include <type_traits>

namespace lumivert::VipsSamples {

namespace {

using vips::VImage;

// 8- and 16-bit levels are converted once each, into tables, instead of once per sample.
template <typename T>
Converted convertSamples(const void* memory, const VImage& image, float maxValue, bool withDisplay)
{
    constexpr bool tabulated = std::is_same_v<T, std::uint8_t> || std::is_same_v<T, std::uint16_t>;
    std::vector<float> levels;
    std::vector<std::uint8_t> levelBytes;
    if constexpr (tabulated) {
        levels.resize(std::size_t{std::numeric_limits<T>::max()} + 1);
        levelBytes.resize(levels.size());
        for (std::size_t level = 0; level < levels.size(); ++level) {
            levels[level] = clamp01(static_cast<float>(level) / maxValue);
            levelBytes[level] =
                static_cast<std::uint8_t>(Packing::quantized(levels[level], k8BitMax));
        }
    }
    const auto toFloat = [&levels, maxValue](T sample) {
        if constexpr (tabulated)
            return levels[sample];
        else
            return clamp01(static_cast<float>(sample) / maxValue);
    };
    const auto toByte = [&levelBytes](T sample, float value) {
        if constexpr (tabulated)
            return levelBytes[sample];
        else
            return static_cast<std::uint8_t>(Packing::quantized(value, k8BitMax));
    };

    const auto* samples = static_cast<const T*>(memory);
    const std::int64_t count = std::int64_t{image.width()} * image.height();
    const int bands = image.bands();
    const bool alpha = image.has_alpha();
    Converted result{std::vector<RGB>(static_cast<std::size_t>(count)), {}};
    if (withDisplay)
        result.display.assign(static_cast<std::size_t>(count) * 4, 0);
    RGB* pixels = result.pixels.data();
    std::uint8_t* display = withDisplay ? result.display.data() : nullptr;
    // Serial on purpose: a few milliseconds of table lookups, and OpenMP workers spin-wait after
    // a parallel region, taking cores from libvips' own threads while they decode the next file.
    for (std::int64_t i = 0; i < count; ++i) {
        const T* s = samples + i * bands;
        const bool visible = !alpha || s[3] > 0;
        if (visible)
            pixels[i] = {toFloat(s[0]), toFloat(s[1]), toFloat(s[2])};
        if (display == nullptr)
            continue;
        std::uint8_t* out = display + 4 * i;
        if (visible) {
            out[0] = toByte(s[0], pixels[i].r);
            out[1] = toByte(s[1], pixels[i].g);
            out[2] = toByte(s[2], pixels[i].b);
        }
        out[3] = static_cast<std::uint8_t>(k8BitMax);
    }
    return result;
}

}  // namespace

Converted convert(const VImage& image, bool withDisplay)
{
    if (image.bands() < 3)
        throw vips::VError("an RGB image was expected");
    std::size_t size = 0;
    const std::unique_ptr<void, decltype(&g_free)> memory(image.write_to_memory(&size), &g_free);
    const void* samples = memory.get();
    switch (image.format()) {
    case VIPS_FORMAT_UCHAR:
        return convertSamples<std::uint8_t>(samples, image, k8BitMax, withDisplay);
    case VIPS_FORMAT_CHAR: return convertSamples<std::int8_t>(samples, image, 127.0f, withDisplay);
    case VIPS_FORMAT_USHORT:
        return convertSamples<std::uint16_t>(samples, image, k16BitMax, withDisplay);
    case VIPS_FORMAT_SHORT:
        return convertSamples<std::int16_t>(samples, image, 32767.0f, withDisplay);
    case VIPS_FORMAT_UINT:
        return convertSamples<std::uint32_t>(samples, image, 4294967295.0f, withDisplay);
    case VIPS_FORMAT_INT:
        return convertSamples<std::int32_t>(samples, image, 2147483647.0f, withDisplay);
    case VIPS_FORMAT_FLOAT: return convertSamples<float>(samples, image, 1.0f, withDisplay);
    case VIPS_FORMAT_DOUBLE: return convertSamples<double>(samples, image, 1.0f, withDisplay);
    default: throw vips::VError("complex samples are not an image");
    }
}

}  // namespace lumivert::VipsSamples
