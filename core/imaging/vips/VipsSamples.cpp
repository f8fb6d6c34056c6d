#include "imaging/vips/VipsSamples.hpp"

#include "color/ColorMath.hpp"
#include "imaging/Packing.hpp"

#include <algorithm>
#include <limits>
#include <memory>
#include <type_traits>

namespace lumivert::VipsSamples {

namespace {

using vips::VImage;

// Rows decoded at a time: the stored samples are read strip by strip into the result, so only
// one strip of them is held besides the floats.
constexpr int stripRows = 64;

// 8- and 16-bit levels are converted once each, into tables, instead of once per sample.
template <typename T> class SampleConversion {
public:
    explicit SampleConversion(float maxValue) : maxValue_(maxValue)
    {
        if constexpr (tabulated) {
            levels_.resize(std::size_t{std::numeric_limits<T>::max()} + 1);
            levelBytes_.resize(levels_.size());
            for (std::size_t level = 0; level < levels_.size(); ++level) {
                levels_[level] = clamp01(static_cast<float>(level) / maxValue);
                levelBytes_[level] =
                    static_cast<std::uint8_t>(Packing::quantized(levels_[level], k8BitMax));
            }
        }
    }

    // `count` pixels of `bands` samples each into pixels and, unless null, display.
    void convert(const T* samples, std::int64_t count, int bands, bool alpha, RGB* pixels,
                 std::uint8_t* display) const
    {
        // Serial on purpose: a few milliseconds of table lookups, and OpenMP workers spin-wait
        // after a parallel region, taking cores from libvips' own threads while they decode the
        // next file.
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
    }

private:
    static constexpr bool tabulated =
        std::is_same_v<T, std::uint8_t> || std::is_same_v<T, std::uint16_t>;

    float toFloat(T sample) const
    {
        if constexpr (tabulated)
            return levels_[sample];
        else
            return clamp01(static_cast<float>(sample) / maxValue_);
    }
    std::uint8_t toByte(T sample, float value) const
    {
        if constexpr (tabulated)
            return levelBytes_[sample];
        else
            return static_cast<std::uint8_t>(Packing::quantized(value, k8BitMax));
    }

    float maxValue_;
    std::vector<float> levels_;
    std::vector<std::uint8_t> levelBytes_;
};

// Samples of type T divided by maxValue and clamped into 0...1. Decoded whole, libvips' threads
// share the work; decoded strip by strip in row order (which a sequentially read file allows),
// on this thread, only one strip of stored samples is held besides the floats.
template <typename T>
Converted convertSamples(const VImage& image, float maxValue, bool withDisplay, Decoding decoding)
{
    const SampleConversion<T> conversion(maxValue);
    const int width = image.width();
    const int height = image.height();
    const int bands = image.bands();
    const bool alpha = image.has_alpha();
    const std::int64_t count = std::int64_t{width} * height;
    Converted result{std::vector<RGB>(static_cast<std::size_t>(count)), {}};
    if (withDisplay)
        result.display.assign(static_cast<std::size_t>(count) * 4, 0);
    std::uint8_t* display = withDisplay ? result.display.data() : nullptr;
    if (decoding == Decoding::whole) {
        std::size_t size = 0;
        const std::unique_ptr<void, decltype(&g_free)> memory(image.write_to_memory(&size),
                                                              &g_free);
        conversion.convert(static_cast<const T*>(memory.get()), count, bands, alpha,
                           result.pixels.data(), display);
        return result;
    }
    const std::unique_ptr<VipsRegion, decltype(&g_object_unref)> region(
        vips_region_new(image.get_image()), &g_object_unref);
    for (int top = 0; top < height; top += stripRows) {
        VipsRect strip{0, top, width, std::min(stripRows, height - top)};
        if (vips_region_prepare(region.get(), &strip) != 0)
            throw vips::VError();
        for (int y = strip.top; y < strip.top + strip.height; ++y) {
            const std::int64_t first = std::int64_t{y} * width;
            conversion.convert(reinterpret_cast<const T*>(VIPS_REGION_ADDR(region.get(), 0, y)),
                               width, bands, alpha, result.pixels.data() + first,
                               display ? display + 4 * first : nullptr);
        }
    }
    return result;
}

}  // namespace

Converted convert(const VImage& image, bool withDisplay, Decoding decoding)
{
    if (image.bands() < 3)
        throw vips::VError("an RGB image was expected");
    switch (image.format()) {
    case VIPS_FORMAT_UCHAR:
        return convertSamples<std::uint8_t>(image, k8BitMax, withDisplay, decoding);
    case VIPS_FORMAT_CHAR: return convertSamples<std::int8_t>(image, 127.0f, withDisplay, decoding);
    case VIPS_FORMAT_USHORT:
        return convertSamples<std::uint16_t>(image, k16BitMax, withDisplay, decoding);
    case VIPS_FORMAT_SHORT:
        return convertSamples<std::int16_t>(image, 32767.0f, withDisplay, decoding);
    case VIPS_FORMAT_UINT:
        return convertSamples<std::uint32_t>(image, 4294967295.0f, withDisplay, decoding);
    case VIPS_FORMAT_INT:
        return convertSamples<std::int32_t>(image, 2147483647.0f, withDisplay, decoding);
    case VIPS_FORMAT_FLOAT: return convertSamples<float>(image, 1.0f, withDisplay, decoding);
    case VIPS_FORMAT_DOUBLE: return convertSamples<double>(image, 1.0f, withDisplay, decoding);
    default: throw vips::VError("complex samples are not an image");
    }
}

}  // namespace lumivert::VipsSamples
