#pragma once

// The result of one preview rebuild: the table that was baked and the graded image, which is
// absent when there was no source image, and the source as a display shows it when that is not
// the source itself (camera log footage, seen through its rendering).

#include "color/LUT3D.hpp"
#include "imaging/PackedImage.hpp"

#include <optional>
#include <utility>

namespace lumivert {

class RenderedPreview {
public:
    RenderedPreview(LUT3D lut, std::optional<Image8> image,
                    std::optional<Image8> original = std::nullopt)
        : lut_(std::move(lut)), image_(std::move(image)), original_(std::move(original))
    {
    }

    const LUT3D& lut() const { return lut_; }
    const std::optional<Image8>& image() const { return image_; }
    const std::optional<Image8>& original() const { return original_; }

private:
    LUT3D lut_;
    std::optional<Image8> image_;
    std::optional<Image8> original_;
};

}  // namespace lumivert
