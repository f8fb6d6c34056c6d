#include "imaging/vips/VipsDecoder.hpp"

#include "imaging/vips/RawDecoder.hpp"
#include "imaging/vips/VipsColour.hpp"
#include "imaging/vips/VipsRuntime.hpp"
#include "io/FileDescriptor.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <span>
#include <string_view>
#include <utility>

namespace lumivert {

namespace {

using std::filesystem::path;
using vips::VImage;
using vips::VOption;
using vips::VSource;
using VipsDecoder::OpenedImage;

// The decoders (by type name) that libvips offers for untrusted files; it flags the rest as not
// hardened, and some of those, such as its matrix and CSV readers, accept plain text.
constexpr std::array<std::string_view, 6> trustedLoaders = {
    "VipsForeignLoadJpegSource", "VipsForeignLoadPngSource",   "VipsForeignLoadTiffSource",
    "VipsForeignLoadWebpSource", "VipsForeignLoadNsgifSource", "VipsForeignLoadHeifSource",
};
constexpr std::string_view jpegLoader = "VipsForeignLoadJpegSource";
// OpenEXR is read by name (libvips has no source loader for it), once its magic number says the
// file is one; the name is never parsed for options, since the loader is called directly.
constexpr std::string_view exrLoaderName = VipsDecoder::exrLoader;
constexpr std::array<unsigned char, 4> exrMagic = {0x76, 0x2F, 0x31, 0x01};
constexpr std::string_view tiffLoader = VipsDecoder::tiffLoader;
// JPEG decodes directly at 1/2, 1/4 or 1/8 size. A factor of two is left for the final
// resampling, as libvips' own thumbnailer does, so the result stays as sharp as a full decode.
constexpr int maxJpegShrink = 8;
constexpr int resampleMargin = 2;

// JPEG markers: the start of the image, the frame headers (SOF0 … SOF15 less the three codes
// that are not frames) and the first arithmetic-coded one. Every 8 × 8 block of a Huffman-coded
// JPEG costs at least one bit, so a file with fewer bits than its header's blocks has lost data.
constexpr unsigned char jpegMarker = 0xFF;
constexpr unsigned char startOfImage = 0xD8;
constexpr unsigned char firstFrame = 0xC0;
constexpr unsigned char lastFrame = 0xCF;
constexpr std::array<unsigned char, 3> notFrames = {0xC4, 0xC8, 0xCC};
constexpr unsigned char firstArithmeticFrame = 0xC9;
constexpr int jpegBlockSide = 8;
constexpr int bitsPerByte = 8;
constexpr int maxSegmentsBeforeFrame = 4096;

// What the trusted libvips decoders read, by extension; camera RAW files add RawDecoder's list.
constexpr auto decodedExtensions = std::to_array<std::string_view>(
    {"jpg", "jpeg", "png", "tif", "tiff", "webp", "gif", "heic", "heif", "avif", "exr"});

bool trusted(const char* loader)
{
    return std::find(trustedLoaders.begin(), trustedLoaders.end(), loader) != trustedLoaders.end();
}

// The file as a source, opened without blocking and checked again on its descriptor, so that a
// FIFO put in the file's place after the check cannot hang the load.
VSource regularFileSource(const path& location)
{
    const FileDescriptor descriptor(::open(location.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!descriptor.valid())
        throw ImageLoaderError::unreadable(location);
    struct stat info {};
    if (::fstat(descriptor.get(), &info) != 0 || !S_ISREG(info.st_mode))
        throw ImageLoaderError::unreadable(location);
    // The source keeps a duplicate of the descriptor.
    return VSource::new_from_descriptor(descriptor.get());
}

bool isOpenExr(const path& location)
{
    const FileDescriptor descriptor(::open(location.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    std::array<unsigned char, exrMagic.size()> bytes{};
    return descriptor.valid() &&
           ::pread(descriptor.get(), bytes.data(), bytes.size(), 0) ==
               static_cast<ssize_t>(bytes.size()) &&
           bytes == exrMagic;
}

VImage openExr(const path& location)
{
    return VImage::openexrload(location.c_str(), VImage::option()
                                                     ->set("access", VIPS_ACCESS_SEQUENTIAL)
                                                     ->set("fail_on", VIPS_FAIL_ON_ERROR));
}

// Whether the JPEG's frame is Huffman-coded, read from its markers (segment lengths only, so a
// few small reads); nullopt when no frame header is found.
std::optional<bool> huffmanCoded(int fd)
{
    std::array<unsigned char, 4> bytes{};
    if (::pread(fd, bytes.data(), 2, 0) != 2 || bytes[0] != jpegMarker || bytes[1] != startOfImage)
        return std::nullopt;
    off_t at = 2;
    for (int segment = 0; segment < maxSegmentsBeforeFrame; ++segment) {
        if (::pread(fd, bytes.data(), bytes.size(), at) != static_cast<ssize_t>(bytes.size()) ||
            bytes[0] != jpegMarker)
            return std::nullopt;
        const unsigned char marker = bytes[1];
        if (marker == jpegMarker) {  // fill byte
            ++at;
            continue;
        }
        if (marker >= firstFrame && marker <= lastFrame &&
            std::find(notFrames.begin(), notFrames.end(), marker) == notFrames.end())
            return marker < firstArithmeticFrame;
        at += 2 + ((bytes[2] << 8) | bytes[3]);
    }
    return std::nullopt;
}

// Refuses a Huffman-coded JPEG whose file holds fewer bits than its header has blocks: its data
// ends long before its pixels, which the decoder would fill with grey at full cost.
void refuseJpegWithoutData(const path& location, std::int64_t width, std::int64_t height)
{
    const FileDescriptor descriptor(::open(location.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info {};
    if (!descriptor.valid() || ::fstat(descriptor.get(), &info) != 0)
        throw ImageLoaderError::unreadable(location);
    const auto blocks = [](std::int64_t side) {
        return (side + jpegBlockSide - 1) / jpegBlockSide;
    };
    const std::int64_t bits = std::int64_t{info.st_size} * bitsPerByte;
    if (bits < blocks(width) * blocks(height) && huffmanCoded(descriptor.get()).value_or(true))
        throw ImageLoaderError::unreadable(location);
}

// Camera RAW files are decoded by LibRaw, at half size when the target allows, upright and in
// sRGB already; the rest of the loader sees a 16-bit RGB image. nullopt for any other file.
std::optional<OpenedImage> openRaw(const path& location, std::int64_t maxPixels,
                                   std::int64_t targetPixelSize)
{
    std::error_code error;
    if (!RawDecoder::hasRawExtension(location) || !VipsRuntime::ready() ||
        !std::filesystem::is_regular_file(location, error))
        return std::nullopt;
    std::optional<RawDecoder::Decoded> decoded =
        RawDecoder::decode(location, {maxPixels, targetPixelSize});
    if (!decoded)
        return std::nullopt;
    const Image16& pixels = decoded->image;
    const VImage image =
        VImage::new_from_memory(const_cast<std::uint16_t*>(pixels.data()),
                                pixels.samples().size_bytes(), static_cast<int>(pixels.width()),
                                static_cast<int>(pixels.height()), Image16::channels,
                                VIPS_FORMAT_USHORT)
            .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_RGB16));
    return OpenedImage{VSource(nullptr),      image, "LibRaw", decoded->storedWidth,
                       decoded->storedHeight, pixels};
}

// The opened image, once its shape, size and channels pass.
OpenedImage checkedImage(const path& location, const VImage& image, const VSource& source,
                         std::string_view loader, const ImageLoader::ShapeCheck& checkShape,
                         std::int64_t maxPixels)
{
    if (checkShape)
        checkShape(image.width(), image.height());
    if (std::int64_t{image.width()} * image.height() > maxPixels)
        throw ImageLoaderError::unreadable(location);
    if (loader == jpegLoader)
        refuseJpegWithoutData(location, image.width(), image.height());
    if (image.bands() > VipsColour::heldChannels(image))
        throw ImageLoaderError::extraChannels(location, image.bands());
    return {source, image, std::string(loader), image.width(), image.height(), std::nullopt};
}

struct Size {
    int width;
    int height;
};

// The longer side at most maxPixelSize, aspect kept (rounded), never enlarged.
Size boundedSize(int width, int height, std::int64_t maxPixelSize)
{
    const std::int64_t longer = std::max(width, height);
    if (longer <= maxPixelSize)
        return {width, height};
    const auto scaled = [&](std::int64_t side) {
        return static_cast<int>(
            std::max<std::int64_t>(1, (2 * side * maxPixelSize + longer) / (2 * longer)));
    };
    return {scaled(width), scaled(height)};
}

int jpegShrink(const Size& stored, const Size& target)
{
    const std::int64_t factor =
        std::max(stored.width / target.width, stored.height / target.height);
    int shrink = 1;
    while (shrink < maxJpegShrink && factor >= std::int64_t{resampleMargin} * shrink * 2)
        shrink *= 2;
    return shrink;
}

// Resampled to exactly `target`. Colours are premultiplied by alpha while they are averaged, so
// the colour of transparent pixels cannot bleed into their neighbours.
VImage resampled(VImage image, const Size& target)
{
    const bool alpha = image.has_alpha();
    const VipsBandFormat format = image.format();
    if (alpha)
        image = image.premultiply();
    image = image.resize(
        static_cast<double>(target.width) / image.width(),
        VImage::option()->set("vscale", static_cast<double>(target.height) / image.height()));
    if (alpha)
        image = image.unpremultiply().rint().cast(format);
    return image;
}

}  // namespace

namespace VipsDecoder {

VImage openFirstImage(const VSource& source, VOption* extraOptions)
{
    VOption* options = extraOptions ? extraOptions : VImage::option();
    return VImage::new_from_source(
        source, "",
        options->set("access", VIPS_ACCESS_SEQUENTIAL)->set("fail_on", VIPS_FAIL_ON_ERROR));
}

// A source (unlike a file name) is never parsed for libvips options, so any name is safe.
OpenedImage open(const path& location, std::int64_t maxPixels,
                 const ImageLoader::ShapeCheck& checkShape)
{
    std::error_code error;
    if (!VipsRuntime::ready() || !std::filesystem::is_regular_file(location, error))
        throw ImageLoaderError::unreadable(location);
    VSource source = regularFileSource(location);
    const char* loader = vips_foreign_find_load_source(source.get_source());
    if (loader == nullptr && isOpenExr(location)) {
        vips_error_clear();
        return checkedImage(location, openExr(location), source, exrLoaderName, checkShape,
                            maxPixels);
    }
    // A RAW file that LibRaw turned down is not read as TIFF either: that would be the sensor's
    // mosaic (a dark, grey-green image), not the photo.
    const bool rawAsTiff =
        loader != nullptr && loader == tiffLoader && RawDecoder::hasRawExtension(location);
    if (loader == nullptr || !trusted(loader) || rawAsTiff) {
        vips_error_clear();
        throw ImageLoaderError::unreadable(location);
    }
    return checkedImage(location, openFirstImage(source), source, loader, checkShape, maxPixels);
}

OpenedImage openAny(const path& location, std::int64_t maxPixels, std::int64_t targetPixelSize)
{
    if (std::optional<OpenedImage> raw = openRaw(location, maxPixels, targetPixelSize))
        return std::move(*raw);
    return open(location, maxPixels);
}

void refuseAboveHeldBytes(const OpenedImage& opened, const path& location,
                          std::int64_t extraBytesPerPixel)
{
    const VImage& image = opened.image;
    const std::int64_t stored =
        std::int64_t{image.bands()} * static_cast<std::int64_t>(vips_format_sizeof(image.format()));
    const std::int64_t pixels = std::int64_t{image.width()} * image.height();
    if (pixels > ImageLoader::maxHeldBytes / (stored + extraBytesPerPixel))
        throw ImageLoaderError::unreadable(location);
}

VImage decodeBounded(const OpenedImage& opened, std::int64_t maxPixelSize)
{
    VImage image = opened.image;
    const Size stored{image.width(), image.height()};
    const Size target = boundedSize(stored.width, stored.height, maxPixelSize);
    if (target.width != stored.width || target.height != stored.height) {
        if (opened.loader == jpegLoader) {
            const int shrink = jpegShrink(stored, target);
            if (shrink > 1)
                image = openFirstImage(opened.source, VImage::option()->set("shrink", shrink));
        }
        image = resampled(image, target);
    }
    // Rotation reads rows out of order, so a turned image is materialised first.
    if (vips_image_get_orientation(image.get_image()) != 1)
        image = image.copy_memory().autorot();
    return image;
}

}  // namespace VipsDecoder

namespace ImageLoader {

std::vector<std::string_view> readableExtensions()
{
    std::vector<std::string_view> extensions(decodedExtensions.begin(), decodedExtensions.end());
    const std::span<const std::string_view> raw = RawDecoder::extensions();
    extensions.insert(extensions.end(), raw.begin(), raw.end());
    return extensions;
}

}  // namespace ImageLoader

}  // namespace lumivert
