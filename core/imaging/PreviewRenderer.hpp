#pragma once

// Applies a baked LUT3D to an 8-bit display image. Every output channel is the table's trilinear
// lookup of the sRGB-encoded input (byte / 255) quantised back to 8 bits: exactly
// LUT3D::sample followed by Packing::quantized(·, 255), bit for bit. It runs on every slider
// movement, so it uses every core and, on CPUs with AVX2, a vector kernel with the same
// arithmetic in the same order.

#include "color/LUT3D.hpp"
#include "imaging/PackedImage.hpp"

namespace lumivert {

class PreviewRenderer {
public:
    // `portable` forces the plain C++ kernel (to compare kernels); `automatic` picks the fastest
    // kernel this CPU runs.
    enum class Kernel { automatic, portable };

    explicit PreviewRenderer(Kernel kernel = Kernel::automatic);

    // The graded image: same size, fourth byte 255. Holds no mutable state, so any number of
    // threads may render at once.
    Image8 render(const Image8& image, const LUT3D& lut) const;

    bool usesVectorKernel() const { return vector_; }

private:
    bool vector_;
};

}  // namespace lumivert
