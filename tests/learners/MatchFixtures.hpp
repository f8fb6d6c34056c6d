#pragma once

// Buffers made in code for the match and pipeline tests: images described in Oklab, so a test
// states the lightness spread and chroma it wants directly.

#include "color/ColorMath.hpp"
#include "color/PixelBuffer.hpp"

#include <cstdint>
#include <functional>
#include <random>
#include <vector>

namespace lumivert::fixtures {

// Pixel i of a width × height image gets colour(i, count), converted to sRGB with gamut mapping.
inline PixelBuffer oklabImage(std::int64_t width, std::int64_t height,
                              const std::function<Lab(std::int64_t, std::int64_t)>& colour)
{
    const std::int64_t count = width * height;
    std::vector<RGB> pixels;
    pixels.reserve(static_cast<std::size_t>(count));
    for (std::int64_t i = 0; i < count; ++i)
        pixels.push_back(ColorMath::oklabToSRGB(colour(i, count)));
    return PixelBuffer(width, height, std::move(pixels));
}

// Lightness evenly spread over [low, high] in raster order, chroma = cast(L) plus seeded
// Gaussian noise of the given spread on each axis.
inline PixelBuffer spreadImage(std::int64_t width, std::int64_t height, float low, float high,
                               float noise, std::uint32_t seed,
                               const std::function<Chroma(float)>& cast = {})
{
    std::mt19937 random(seed);
    std::normal_distribution<float> jitter(0.0f, 1.0f);
    return oklabImage(width, height, [&](std::int64_t i, std::int64_t count) {
        const float t = (static_cast<float>(i) + 0.5f) / static_cast<float>(count);
        const float L = low + (high - low) * t;
        const Chroma offset = cast ? cast(L) : Chroma{};
        return Lab{L, offset.a + noise * jitter(random), offset.b + noise * jitter(random)};
    });
}

}  // namespace lumivert::fixtures
