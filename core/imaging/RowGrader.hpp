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

    // Whether the grade was made for scene-linear values (its inputs reach beyond 1), so that a
    // float image's values go in as they are rather than sRGB-encoded.
    virtual bool takesSceneLinear() const { return false; }
};

// A LUT file's transform. A plain table over 0 … 1 goes through the preview renderer's kernels;
// curves, and tables over other domains, through LUTStack::apply a pixel at a time (the same
// arithmetic, without the renderer's lattice layout).
//
// The strength blends each pixel with its own value: input + (output − input) × strength, so 0
// leaves every pixel as it was whatever the table's domain or shaper. 8- and 16-bit levels all lie
// in 0 … 1, so where the table's domain holds 0 … 1 the blend is folded into its entries (the same
// mapping on the fast kernels, up to float rounding, and the bytes apply wrote before); so are
// rows of floats within 0 … 1 at strengths other than 0. Other floats are blended one by one.
class LUTStackGrader final : public RowGrader {
public:
    explicit LUTStackGrader(LUTStack lut, Interpolation interpolation = Interpolation::trilinear,
                            float strength = 1.0f);

    void grade(const std::uint8_t* in, std::uint8_t* out, std::int64_t count,
               int bands) const override;
    void grade(const std::uint16_t* in, std::uint16_t* out, std::int64_t count,
               int bands) const override;
    void grade(const float* in, float* out, std::int64_t count, int bands) const override;

    // A domain or shaper that reaches above 1.
    bool takesSceneLinear() const override;

    // Whether the renderer's kernels do the work.
    bool usesRenderer() const { return prepared_ != nullptr; }

private:
    LUTStack lut_;     // at full strength
    LUTStack folded_;  // the strength folded in: exact for inputs inside the table's domain
    Interpolation interpolation_;
    float strength_;
    bool foldCoversLevels_;  // every 8- and 16-bit input lies where folded_ is exact
    PreviewRenderer renderer_;
    std::shared_ptr<const PreviewRenderer::Prepared> prepared_;  // folded_'s; null: LUTStack::apply
    std::shared_ptr<const PreviewRenderer::Prepared> full_;      // lut_'s, when strength ≠ 1
};

}  // namespace lumivert
