#pragma once

// What every mode's grade goes through before it is previewed or exported: the base transform,
// blended with the untouched input by an intensity, then the fine tune. Outputs lie in [0, 1].

#include "color/ColorTransform.hpp"
#include "color/LUT3D.hpp"
#include "learners/FineTune.hpp"

#include <cstdint>
#include <memory>

namespace lumivert {

class GradePipeline final : public ColorTransform {
public:
    // Transforms are immutable once built, so the base is shared rather than copied; a null
    // base stops the program. `gamut` brings the fine tune's colours back into sRGB.
    GradePipeline(std::shared_ptr<const ColorTransform> base, float intensity, FineTune fineTune,
                  GamutMapping gamut = defaultGamutMapping);

    const std::shared_ptr<const ColorTransform>& base() const { return base_; }
    void setBase(std::shared_ptr<const ColorTransform> base);
    // 1 is the base's output, 0 the input, values between blend and above 1 extrapolate.
    float intensity() const { return intensity_; }
    void setIntensity(float intensity) { intensity_ = intensity; }
    const FineTune& fineTune() const { return fineTune_; }
    GamutMapping gamut() const { return gamut_; }
    void setFineTune(const FineTune& fineTune);

    RGB apply(const RGB& colour) const override;
    // The pipeline on the size³ lattice, baked on every core; entry for entry equal to apply()
    // at the lattice inputs. A size below 2 stops the program.
    LUT3D makeLUT(std::int64_t size) const;
    // The rows of makeLUT(size) from firstRow on into `out`, a block at a time (see
    // LUT3D::buildRowsInto): the same entries without holding the whole table.
    void makeRows(std::int64_t size, std::int64_t firstRow, std::span<RGB> out) const;

private:
    // The steps after the base: blend with the input, clamp, fine tune, clamp.
    RGB finish(const RGB& colour, const RGB& output) const;
    // What makes one lattice row of a bake of this size.
    LUT3D::RowFunction rowMaker(std::int64_t size) const;

    std::shared_ptr<const ColorTransform> base_;
    float intensity_;
    FineTune fineTune_;
    GamutMapping gamut_;
    FineTune::Prepared tune_;  // fineTune_'s constants, so apply() does not redo them per colour
};

}  // namespace lumivert
