#pragma once
// Before/after pairs for the edit learner's tests and benchmarks: a photo-like frame, a known
// smooth grade, and the after image that grade gives, each saved in 8 bits.
#include "color/ColorMath.hpp"
#include "color/LUT3D.hpp"
#include "color/PixelBuffer.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace lumivert::fixtures {

inline float quantised(float x) { return std::round(clamp01(x) * 255.0f) / 255.0f; }
inline RGB quantised(const RGB& c) { return {quantised(c.r), quantised(c.g), quantised(c.b)}; }

// A photo-like frame: soft-edged objects of random colours, each with its own shading, over a
// sky-to-ground gradient, with mild noise, quantised to 8 bits like a decoded JPEG. The objects
// spread the colours through the cube rather than along one surface.
inline PixelBuffer photo(std::int64_t width, std::int64_t height)
{
    constexpr int objects = 100;
    struct Blob {
        float x, y, radius, hue, saturation, value, shade;
    };
    std::mt19937 random(2024);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::vector<Blob> blobs(objects);
    for (Blob& b : blobs)
        b = {unit(random),
             unit(random),
             0.03f + 0.12f * unit(random),
             unit(random),
             unit(random),
             0.1f + 0.9f * unit(random),
             0.6f * (unit(random) - 0.5f)};

    std::normal_distribution<float> noise(0.0f, 0.01f);
    const float aspect = static_cast<float>(width) / static_cast<float>(height);
    std::vector<RGB> pixels;
    pixels.reserve(static_cast<std::size_t>(width * height));
    for (std::int64_t y = 0; y < height; ++y) {
        const float v = static_cast<float>(y) / static_cast<float>(height - 1);
        for (std::int64_t x = 0; x < width; ++x) {
            const float u = static_cast<float>(x) / static_cast<float>(width - 1);
            RGB c = ColorMath::hsv(0.55f + 0.1f * u, 0.5f - 0.3f * v, 0.95f - 0.8f * v);
            for (const Blob& b : blobs) {
                const float dx = (u - b.x) * aspect / b.radius;
                const float dy = (v - b.y) / b.radius;
                const float d = std::sqrt(dx * dx + dy * dy);
                if (d >= 1.0f)
                    continue;
                const RGB object = ColorMath::hsv(b.hue + 0.05f * dx, b.saturation * (1 - 0.3f * d),
                                                  clamp01(b.value + b.shade * dy));
                c = lerp(c, object, std::min(1.0f, 4.0f * (1.0f - d)));
            }
            pixels.push_back(quantised(c + RGB{noise(random), noise(random), noise(random)}));
        }
    }
    return PixelBuffer(width, height, std::move(pixels));
}

// A smooth global grade that stays inside the cube: a gentle S-curve, warmer highlights,
// slightly less saturation.
inline RGB warmGrade(const RGB& c)
{
    auto curve = [](float x) { return x + 0.15f * x * (1.0f - x) * (2.0f * x - 1.0f); };
    const RGB toned = {0.02f + 0.96f * curve(c.r) + 0.02f * (c.g - c.b), 0.01f + 0.97f * curve(c.g),
                       0.04f + 0.9f * curve(c.b) + 0.03f * (c.g - c.r)};
    const RGB grey = RGB{1, 1, 1} * ColorMath::luma(toned);
    return grey + 0.92f * (toned - grey);
}

// The after image of an edit made elsewhere: the grade through its table, saved in 8 bits.
inline PixelBuffer edited(const PixelBuffer& before, const LUT3D& grade)
{
    std::vector<RGB> pixels;
    pixels.reserve(before.pixels().size());
    for (const RGB& c : before.pixels())
        pixels.push_back(quantised(grade.sample(c)));
    return PixelBuffer(before.width(), before.height(), std::move(pixels));
}

}  // namespace lumivert::fixtures
