#pragma once

// Conversion of decoded images into sRGB: through their embedded ICC profile where they carry
// one, else by their interpretation.

#include <vips/vips8>

namespace lumivert::VipsColour {

// Colour-managed: an embedded profile is converted into sRGB. A profile that does not fit the
// pixels (a colour profile on a grey image, say) is ignored, as colour-managed viewers do.
vips::VImage taggedToSRGB(const vips::VImage& image);

// The channels an image of this colour space can hold: its colours and one alpha channel
// (grey 2, RGB and colorimetric spaces 4, CMYK 5). More are extra channels of unknown meaning.
int heldChannels(const vips::VImage& image);

// Untagged images: RGB is taken as sRGB, grey becomes RGB, the rest goes through libvips.
// keepLinear leaves linear-light RGB as stored (exact loading converts no RGB image).
vips::VImage untaggedToSRGB(const vips::VImage& image, bool keepLinear);

// Float RGB or grey samples, which hold scene-linear light (EXR, float TIFF); not a float image
// of a colorimetric space such as Lab.
bool holdsSceneLinear(const vips::VImage& image);

// Grey (and grey + alpha) as RGB with equal channels; RGB as it is. Samples untouched.
vips::VImage asRGB(const vips::VImage& image);

// An OpenEXR image as libvips reads it (colours premultiplied by alpha, alpha scaled to 0 … 255)
// with straight colours and alpha in 0 … 1, as float TIFF files hold them. Fully transparent
// pixels keep their colour.
vips::VImage straightExr(const vips::VImage& image);

}  // namespace lumivert::VipsColour
