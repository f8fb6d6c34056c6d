#pragma once

// Float buffers packed into the 8- and 16-bit images that leave the core for display and
// encoding. Every sample goes through quantized, so the display image, the written files and
// the preview agree bit for bit.

#include "color/PixelBuffer.hpp"
#include "imaging/PackedImage.hpp"

namespace lumivert::Packing {

// q(v) = round(min(v, 1) × maxCode) for v > 0, else 0 (NaN too); halves round away from zero.
// Inline and branch-free: it runs once per sample of every image the core makes.
inline int quantized(float value, float maxCode)
{
    const float clamped = value > 0.0f ? (value < 1.0f ? value : 1.0f) : 0.0f;
    const float scaled = clamped * maxCode;
    const int whole = static_cast<int>(scaled);
    // scaled − whole is exact, so this is round-half-away-from-zero without a library call.
    return whole + (scaled - static_cast<float>(whole) >= 0.5f ? 1 : 0);
}

// The 8-bit display image of a buffer: every channel quantised to 0...255, fourth byte 255.
// (With makeImage16, what the platform's makeCGImage(_:sixteenBit:) is elsewhere.)
Image8 makeImage8(const PixelBuffer& pixels);
// The 16-bit image of a buffer: every channel quantised to 0...65535.
Image16 makeImage16(const PixelBuffer& pixels);

}  // namespace lumivert::Packing
