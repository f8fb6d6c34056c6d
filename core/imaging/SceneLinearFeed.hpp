#pragma once

// How the values of a float image (EXR, float TIFF) meet a LUT. They are scene-linear, in the
// primaries of the image's colour space (linear Rec.709 unless the user says otherwise), and
// nothing clips them before the lookup:
// - a LUT made for scene-linear values (its domain or shaper reaches above 1) gets them as they
//   are, and its outputs are written as they come;
// - any other LUT takes sRGB code values: the values are converted to linear Rec.709 primaries
//   and sRGB-encoded, unclamped (the lookup clamps at the table's own domain), and where a float
//   file is written its outputs are decoded back into the image's space.

#include "color/Triples.hpp"
#include "color/ocio/ColorSpace.hpp"

#include <array>

namespace lumivert {

class SceneLinearFeed {
public:
    // Values as they are, in and out.
    SceneLinearFeed() = default;
    // Throws ColorSpaceError, with a sentence naming the spaces a float image may be in, when
    // `imageSpace` is not scene-linear.
    SceneLinearFeed(ColorSpace imageSpace, bool lutTakesSceneLinear);

    // Whether values pass to the LUT and back unchanged.
    bool passesValues() const { return passes_; }
    // A value of the image as the LUT takes it.
    RGB toLUT(const RGB& value) const;
    // A LUT output as a float file holds it: back in the image's space.
    RGB fromLUT(const RGB& output) const;

private:
    using Matrix = std::array<RGB, 3>;  // rows
    bool passes_ = true;
    bool rec709_ = true;  // already in linear Rec.709's primaries
    Matrix toRec709_{RGB{1, 0, 0}, RGB{0, 1, 0}, RGB{0, 0, 1}};
    Matrix fromRec709_{RGB{1, 0, 0}, RGB{0, 1, 0}, RGB{0, 0, 1}};
};

namespace SceneLinear {

// The image space's primaries to linear Rec.709's, as OpenColorIO's built-ins define them
// (evaluated on the three unit colours); ColorSpaceError for a space that is not scene-linear.
std::array<RGB, 3> toLinearRec709(ColorSpace imageSpace);

}  // namespace SceneLinear

}  // namespace lumivert
