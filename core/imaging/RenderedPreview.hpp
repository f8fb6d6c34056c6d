#pragma once

// The result of one preview rebuild: the table that was baked and the graded image, which is
// absent when there was no source image.

#include "color/LUT3D.hpp"
#include "imaging/PackedImage.hpp"

#include <optional>
#include <utility>

namespace lumivert {

class RenderedPreview {
public:
    RenderedPreview(LUT3D lut, std::optional<Image8> image)
        : lut_(std::move(lut)), image_(std::move(image))
    {
    }

    const LUT3D& lut() const { return lut_; }
    const std::optional<Image8>& image() const { return image_; }

private:
    LUT3D lut_;
    std::optional<Image8> image_;
};

}  // namespace lumivert
