#include "imaging/ImageLoader.hpp"

#include "color/Precondition.hpp"
#include "imaging/vips/RawDecoder.hpp"
#include "imaging/vips/VipsColour.hpp"
#include "imaging/vips/VipsDecoder.hpp"
#include "imaging/vips/VipsRuntime.hpp"
#include "imaging/vips/VipsSamples.hpp"

#include <vips/vips8>

#include <limits>
#include <utility>

// The loaders that hold a whole image: bounded for display, exact for table data, full size for
// photos that fit in memory.

namespace lumivert {

using std::filesystem::path;
using vips::VImage;
using VipsRuntime::quotedName;

ImageLoaderError::ImageLoaderError(Kind kind, const path& location, const std::string& message)
    : std::runtime_error(message), kind_(kind), location_(location)
{
}

ImageLoaderError ImageLoaderError::unreadable(const path& location)
{
    return {Kind::unreadable, location, quotedName(location) + " could not be opened as an image."};
}

ImageLoaderError ImageLoaderError::rawNotTableData(const path& location)
{
    return {Kind::unreadable, location,
            quotedName(location) + " is a camera RAW photo, which cannot hold table data."};
}

ImageLoaderError ImageLoaderError::extraChannels(const path& location, int channels)
{
    return {Kind::unreadable, location,
            quotedName(location) + " has " + std::to_string(channels) +
                " channels, more than its colours and one alpha channel; save it without the "
                "extra channels to open it."};
}

ImageLoaderError ImageLoaderError::cannotWrite(const path& location)
{
    return {Kind::cannotWrite, location, quotedName(location) + " could not be written."};
}

ImageLoaderError ImageLoaderError::cannotWrite(const path& location, const std::string& sentence)
{
    return {Kind::cannotWrite, location, sentence};
}

namespace ImageLoader {

LoadedImage load(const path& location, std::int64_t maxPixelSize)
{
    LUMIVERT_PRECONDITION(maxPixelSize >= 1, "the maximum pixel size must be positive");
    try {
        const VipsDecoder::OpenedImage opened =
            VipsDecoder::openAny(location, maxStoredPixels, maxPixelSize);
        const VImage upright =
            VipsColour::taggedToSRGB(VipsDecoder::decodeBounded(opened, maxPixelSize));
        VipsSamples::Converted converted = VipsSamples::convert(upright, true);
        return LoadedImage(
            location, location.stem().string(),
            Image8(upright.width(), upright.height(), std::move(converted.display)),
            PixelBuffer(upright.width(), upright.height(), std::move(converted.pixels)),
            opened.storedWidth, opened.storedHeight);
    } catch (const vips::VError&) {
        vips_error_clear();
        throw ImageLoaderError::unreadable(location);
    }
}

PixelBuffer loadExact(const path& location) { return loadExact(location, {}); }

PixelBuffer loadExact(const path& location, const ShapeCheck& checkShape)
{
    if (RawDecoder::hasRawExtension(location) && RawDecoder::identifies(location))
        throw ImageLoaderError::rawNotTableData(location);
    try {
        const VipsDecoder::OpenedImage opened =
            VipsDecoder::open(location, maxExactPixels, checkShape);
        VipsDecoder::refuseAboveHeldBytes(opened, location, sizeof(RGB));
        const VImage stored = VipsColour::untaggedToSRGB(opened.image, true);
        return PixelBuffer(
            stored.width(), stored.height(),
            VipsSamples::convert(stored, false, VipsSamples::Decoding::rowByRow).pixels);
    } catch (const vips::VError&) {
        vips_error_clear();
        throw ImageLoaderError::unreadable(location);
    }
}

FullImage loadFull(const path& location)
{
    try {
        const VipsDecoder::OpenedImage opened = VipsDecoder::openAny(
            location, maxExactPixels, std::numeric_limits<std::int64_t>::max());
        VipsDecoder::refuseAboveHeldBytes(opened, location, sizeof(RGB) + Image8::channels);
        const VipsBandFormat stored = opened.image.format();
        const bool deep = stored != VIPS_FORMAT_UCHAR && stored != VIPS_FORMAT_CHAR;
        const VImage upright = VipsColour::taggedToSRGB(
            VipsDecoder::decodeBounded(opened, std::numeric_limits<std::int64_t>::max()));
        VipsSamples::Converted converted = VipsSamples::convert(upright, true);
        LoadedImage image(
            location, location.stem().string(),
            Image8(upright.width(), upright.height(), std::move(converted.display)),
            PixelBuffer(upright.width(), upright.height(), std::move(converted.pixels)),
            opened.storedWidth, opened.storedHeight);
        return {std::move(image), deep};
    } catch (const vips::VError&) {
        vips_error_clear();
        throw ImageLoaderError::unreadable(location);
    }
}

}  // namespace ImageLoader

}  // namespace lumivert
