#pragma once

// Applies a baked LUT3D to an 8-bit display image. Every output channel is the table's
// trilinear or tetrahedral lookup of the sRGB-encoded input (byte / 255) quantised back to 8
// bits: exactly LUT3D::sample (or sampleTetrahedral) followed by Packing::quantized(·, 255), bit
// for bit. It runs on every slider movement, so it uses every core and, on CPUs with AVX2, vector
// kernels with the same arithmetic in the same order.

#include "color/LUT3D.hpp"
#include "imaging/PackedImage.hpp"

#include <cstdint>
#include <memory>

namespace lumivert {

class PreviewRenderer {
public:
    // `portable` forces the plain C++ kernel (to compare kernels); `automatic` picks the fastest
    // kernel this CPU runs.
    enum class Kernel { automatic, portable };

    explicit PreviewRenderer(Kernel kernel = Kernel::automatic);

    // The graded image: same size, fourth byte 255. Holds no mutable state, so any number of
    // threads may render at once.
    Image8 render(const Image8& image, const LUT3D& lut,
                  Interpolation interpolation = Interpolation::trilinear) const;

    // A table laid out for the kernels once, for any number of rows on any number of threads
    // (a table over 0 … 1 only, else stops).
    class Prepared;
    std::shared_ptr<const Prepared>
    prepare(const LUT3D& lut, Interpolation interpolation = Interpolation::trilinear) const;

    // `count` interleaved pixels of `bands` samples (3, or 4 where the fourth is alpha and is
    // copied unchanged; else stops), on the calling thread only, for streaming pipelines that
    // hand out tiles themselves. Each colour is the table's lookup (LUT3D::sample or
    // sampleTetrahedral, as prepared) of the stored value over its range, quantised back:
    // 8-bit samples as level / 255, exactly as render; 16-bit as value / 65535; float samples
    // as they are, the output unclamped. `in` and `out` may be the same buffer.
    void renderPixels(const Prepared& table, const std::uint8_t* in, std::uint8_t* out,
                      std::int64_t count, int bands) const;
    void renderPixels(const Prepared& table, const std::uint16_t* in, std::uint16_t* out,
                      std::int64_t count, int bands) const;
    void renderPixels(const Prepared& table, const float* in, float* out, std::int64_t count,
                      int bands) const;

    bool usesVectorKernel() const { return vector_; }

private:
    bool vector_;
};

}  // namespace lumivert
