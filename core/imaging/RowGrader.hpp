#pragma once

// Grades runs of interleaved pixels for pipelines that hand out pieces of an image themselves
// (the streaming writer grades each region of an image on whichever thread computes it).
// Samples are 8-bit, 16-bit or float, in 3 bands, or 4 where the fourth is alpha: alpha is copied
// unchanged. `in` and `out` may be the same buffer. Implementations hold no mutable state, so any
// number of threads may grade at once.

#include "color/LUTStack.hpp"
#include "imaging/PreviewRenderer.hpp"

#include <cstdint>
#include <memory>

namespace lumivert {

class RowGrader {
public:
    virtual ~RowGrader() = default;

    // Levels as level / 255, quantised back to 8 bits.
    virtual void grade(const std::uint8_t* in, std::uint8_t* out, std::int64_t count,
                       int bands) const = 0;
    // Levels as level / 65535, quantised back to 16 bits.
    virtual void grade(const std::uint16_t* in, std::uint16_t* out, std::int64_t count,
                       int bands) const = 0;
    // Values as they are; the output is not clamped.
    virtual void grade(const float* in, float* out, std::int64_t count, int bands) const = 0;
};

// A LUT file's transform. A plain table over 0 … 1 goes through the preview renderer's kernels;
// curves, and tables over other domains, through LUTStack::apply a pixel at a time (the same
// arithmetic, without the renderer's lattice layout).
class LUTStackGrader final : public RowGrader {
public:
    explicit LUTStackGrader(LUTStack lut, Interpolation interpolation = Interpolation::trilinear);

    void grade(const std::uint8_t* in, std::uint8_t* out, std::int64_t count,
               int bands) const override;
    void grade(const std::uint16_t* in, std::uint16_t* out, std::int64_t count,
               int bands) const override;
    void grade(const float* in, float* out, std::int64_t count, int bands) const override;

    // Whether the renderer's kernels do the work.
    bool usesRenderer() const { return prepared_ != nullptr; }

private:
    LUTStack lut_;
    Interpolation interpolation_;
    PreviewRenderer renderer_;
    std::shared_ptr<const PreviewRenderer::Prepared> prepared_;  // null: LUTStack::apply
};

}  // namespace lumivert
