#include "imaging/vips/VipsColour.hpp"

#include <vector>

namespace lumivert::VipsColour {

namespace {

using vips::VImage;

enum class Space { deviceRGB, linearRGB, grey, cmyk, colorimetric };

Space spaceOf(const VImage& image)
{
    if (image.bands() < 3)
        return Space::grey;
    switch (image.interpretation()) {
    case VIPS_INTERPRETATION_CMYK: return image.bands() >= 4 ? Space::cmyk : Space::deviceRGB;
    case VIPS_INTERPRETATION_scRGB: return Space::linearRGB;
    case VIPS_INTERPRETATION_XYZ:
    case VIPS_INTERPRETATION_LAB:
    case VIPS_INTERPRETATION_LABQ:
    case VIPS_INTERPRETATION_LABS:
    case VIPS_INTERPRETATION_LCH:
    case VIPS_INTERPRETATION_CMC:
    case VIPS_INTERPRETATION_YXY:
    case VIPS_INTERPRETATION_HSV: return Space::colorimetric;
    default: return Space::deviceRGB;  // sRGB, RGB, RGB16 and unlabelled bands
    }
}

bool sixteenBit(const VImage& image)
{
    return image.format() == VIPS_FORMAT_USHORT || image.format() == VIPS_FORMAT_SHORT;
}

// Grey (and grey + alpha) as RGB with equal channels, samples untouched.
VImage greyAsRGB(const VImage& image)
{
    const VImage grey = image.extract_band(0);
    std::vector<VImage> bands{grey, grey, grey};
    if (image.bands() > 1)
        bands.push_back(image.extract_band(1));
    return VImage::bandjoin(bands).copy(
        VImage::option()->set("interpretation", sixteenBit(image) ? VIPS_INTERPRETATION_RGB16
                                                                  : VIPS_INTERPRETATION_sRGB));
}

// Through lcms into sRGB at 16 bits. The embedded profile wins; CMYK without one is taken as
// libvips' built-in press profile.
VImage iccToSRGB(const VImage& image)
{
    return image.icc_transform("srgb", VImage::option()
                                           ->set("embedded", true)
                                           ->set("input_profile", "cmyk")
                                           ->set("intent", VIPS_INTENT_RELATIVE)
                                           ->set("depth", 16));
}

// Colours per space, before alpha.
constexpr int greyColours = 1;
constexpr int rgbColours = 3;
constexpr int cmykColours = 4;

}  // namespace

int heldChannels(const VImage& image)
{
    const VipsInterpretation interpretation = image.interpretation();
    if (interpretation == VIPS_INTERPRETATION_B_W || interpretation == VIPS_INTERPRETATION_GREY16)
        return greyColours + 1;
    switch (spaceOf(image)) {
    case Space::grey: return greyColours + 1;
    case Space::cmyk: return cmykColours + 1;
    default: return rgbColours + 1;
    }
}

VImage untaggedToSRGB(const VImage& image, bool keepLinear)
{
    switch (spaceOf(image)) {
    case Space::deviceRGB: return image;
    case Space::linearRGB: return keepLinear ? image : image.colourspace(VIPS_INTERPRETATION_RGB16);
    case Space::grey: return greyAsRGB(image);
    case Space::cmyk: return iccToSRGB(image);
    case Space::colorimetric: return image.colourspace(VIPS_INTERPRETATION_RGB16);
    }
    return image;
}

bool holdsSceneLinear(const VImage& image)
{
    const VipsBandFormat format = image.format();
    const Space space = spaceOf(image);
    return (format == VIPS_FORMAT_FLOAT || format == VIPS_FORMAT_DOUBLE) &&
           (space == Space::deviceRGB || space == Space::linearRGB || space == Space::grey);
}

VImage asRGB(const VImage& image)
{
    return spaceOf(image) == Space::grey ? greyAsRGB(image) : image;
}

VImage straightExr(const VImage& image)
{
    if (image.bands() != rgbColours + 1)
        return image;
    constexpr double exrAlphaScale = 255.0;
    const VImage alpha = image.extract_band(rgbColours) / exrAlphaScale;
    const VImage colours = image.extract_band(0, VImage::option()->set("n", rgbColours));
    const VImage straight = (alpha > 0.0).ifthenelse(colours / alpha, colours);
    return straight.bandjoin(alpha)
        .cast(image.format())
        .copy(VImage::option()->set("interpretation", image.interpretation()));
}

VImage taggedToSRGB(const VImage& image)
{
    if (image.get_typeof(VIPS_META_ICC_NAME) != 0) {
        try {
            return iccToSRGB(image);
        } catch (const vips::VError&) {
            vips_error_clear();
        }
    }
    return untaggedToSRGB(image, false);
}

}  // namespace lumivert::VipsColour
