#pragma once

// The tonal distribution of a display image: how many pixels take each 8-bit level in red, green,
// blue and luminance. The counts are integers, so they are the same whatever the thread count.

#include "imaging/PackedImage.hpp"

#include <array>
#include <cstdint>
#include <span>

namespace lumivert {

struct Histogram {
    static constexpr int levels = 256;
    // In this order in `counts`; luminance is Rec. 709 luma of the encoded values.
    enum Channel { red, green, blue, luminance, channelCount };

    std::array<std::array<std::uint32_t, levels>, channelCount> counts{};
    std::int64_t pixels = 0;

    // The largest count of a channel's levels, the ends left out: clipped shadows or highlights
    // would otherwise flatten everything between them.
    std::uint32_t peak(Channel channel) const;
    // The mean level of a channel, 0 to 255; 0 without pixels.
    double mean(Channel channel) const;

    friend bool operator==(const Histogram&, const Histogram&) = default;
};

namespace Histograms {

// The luma level of an encoded colour: weights 54, 183 and 19 out of 256 (Rec. 709's 0.2126,
// 0.7152 and 0.0722), so a grey keeps its level.
constexpr std::uint8_t luma(std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    return static_cast<std::uint8_t>((54u * r + 183u * g + 19u * b + 128u) >> 8);
}

// Over packed pixels of four samples (R, G, B and one ignored); a size that is not a multiple of
// four stops.
Histogram of(std::span<const std::uint8_t> rgbx);
Histogram of(const Image8& image);

}  // namespace Histograms

}  // namespace lumivert
