#pragma once

// A streamed image turned upright without holding it whole, in memory or on disk. Rows of the
// upright image are stored columns (or stored rows in reverse) for most orientations, so the
// image is turned one strip of upright rows at a time: each strip decodes the file again in
// row order, keeps only the stored area the strip needs, and turns that in memory.

#include "imaging/vips/VipsDecoder.hpp"

#include <vips/vips8>

#include <cstdint>

namespace lumivert::VipsUpright {

// Bytes of stored samples held for one strip; two strips are held at a time, the one being read
// and the one before it, for threads that still finish their last rows there.
inline constexpr std::int64_t defaultStripBytes = std::int64_t{96} << 20;

// The opened image upright as its orientation tag says, its pixels computed as they are demanded
// in row order (stripBytes ≥ 1, else stops). An image already upright is returned as it is.
// A decoding failure surfaces when the pixels are demanded, as libvips' error.
vips::VImage whileStreaming(const VipsDecoder::OpenedImage& opened,
                            std::int64_t stripBytes = defaultStripBytes);

}  // namespace lumivert::VipsUpright
