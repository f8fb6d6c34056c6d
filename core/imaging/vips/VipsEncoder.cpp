#include "imaging/vips/VipsEncoder.hpp"

#include "color/Precondition.hpp"
#include "imaging/Packing.hpp"
#include "imaging/vips/VipsRuntime.hpp"
#include "imaging/vips/VipsSamples.hpp"
#include "io/FileIO.hpp"
#include "io/FileName.hpp"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

namespace lumivert {

namespace {

using std::filesystem::path;
using vips::VImage;
using VipsEncoder::FileTypeEntry;
using VipsSamples::k16BitMax;
using VipsSamples::k8BitMax;

// Lossy types are saved at the quality asked for: the app's own images (writeImage) at one a
// photographer would hand on, not libvips' default of 75; graded photos at defaultQuality unless
// the caller chooses.
constexpr std::array<FileTypeEntry, 4> fileTypes = {{
    {ImageFileType::png, ".png", true, false, true, false},
    {ImageFileType::jpeg, ".jpg", false, true, false, false},
    {ImageFileType::tiff, ".tif", true, false, true, true},
    {ImageFileType::webp, ".webp", false, true, true, false},
}};

// The file type each extension names (lower case, without the dot).
struct ExtensionEntry {
    std::string_view extension;
    ImageFileType type;
};
constexpr std::array<ExtensionEntry, 6> extensions = {{
    {"png", ImageFileType::png},
    {"jpg", ImageFileType::jpeg},
    {"jpeg", ImageFileType::jpeg},
    {"tif", ImageFileType::tiff},
    {"tiff", ImageFileType::tiff},
    {"webp", ImageFileType::webp},
}};

// Replaces the destination atomically, so a failure leaves any existing file untouched; the
// shared writer's error becomes ours.
void replaceFile(const path& destination, std::string_view bytes)
{
    try {
        FileIO::writeAtomically(destination, bytes);
    } catch (const FileError& error) {
        throw ImageLoaderError::cannotWrite(destination, error.what());
    }
}

void attachSRGBProfile(VImage& image)
{
    VipsBlob* profile = VImage::profile_load("srgb");
    std::size_t length = 0;
    const void* data = vips_blob_get(profile, &length);
    vips_image_set_blob_copy(image.get_image(), VIPS_META_ICC_NAME, data, length);
    vips_area_unref(VIPS_AREA(profile));
}

// Encodes 3-band pixels wrapped from `samples` (which must outlive the call) for the
// destination. libvips only reads wrapped memory; the const_cast is for its C signature.
std::string encode(const void* samples, std::size_t byteCount, std::int64_t width,
                   std::int64_t height, int bands, VipsBandFormat format,
                   VipsInterpretation interpretation, const path& destination, ImageFileType type,
                   ColourTag tag)
{
    if (!VipsRuntime::ready())
        throw ImageLoaderError::cannotWrite(destination);
    void* encoded = nullptr;
    std::size_t encodedSize = 0;
    try {
        const VImage wrapped =
            VImage::new_from_memory(const_cast<void*>(samples), byteCount, static_cast<int>(width),
                                    static_cast<int>(height), bands, format);
        VImage rgb = wrapped.extract_band(0, VImage::option()->set("n", 3))
                         .copy(VImage::option()->set("interpretation", interpretation));
        if (tag == ColourTag::sRGB)
            attachSRGBProfile(rgb);
        rgb.write_to_buffer(
            VipsEncoder::encoderSuffix(type, ImageLoader::writtenImageQuality).c_str(), &encoded,
            &encodedSize);
    } catch (const vips::VError&) {
        throw ImageLoaderError::cannotWrite(destination);
    }
    const std::unique_ptr<void, decltype(&g_free)> owner(encoded, &g_free);
    return {static_cast<const char*>(encoded), encodedSize};
}

std::string encodeImage(const Image8& image, const path& location, ImageFileType type,
                        ColourTag tag)
{
    return encode(image.data(), image.samples().size_bytes(), image.width(), image.height(),
                  Image8::channels, VIPS_FORMAT_UCHAR, VIPS_INTERPRETATION_sRGB, location, type,
                  tag);
}

std::string encodeImage(const Image16& image, const path& location, ImageFileType type,
                        ColourTag tag)
{
    if (!ImageLoader::holdsSixteenBits(type)) {
        // Rounded here rather than by the encoder, which truncates 16-bit samples to 8 bits.
        const std::span<const std::uint16_t> deep = image.samples();
        std::vector<std::uint8_t> samples(deep.size());
        std::transform(deep.begin(), deep.end(), samples.begin(), [](std::uint16_t sample) {
            return static_cast<std::uint8_t>(
                Packing::quantized(static_cast<float>(sample) / k16BitMax, k8BitMax));
        });
        return encode(samples.data(), samples.size(), image.width(), image.height(),
                      Image16::channels, VIPS_FORMAT_UCHAR, VIPS_INTERPRETATION_sRGB, location,
                      type, tag);
    }
    return encode(image.data(), image.samples().size_bytes(), image.width(), image.height(),
                  Image16::channels, VIPS_FORMAT_USHORT, VIPS_INTERPRETATION_RGB16, location, type,
                  tag);
}

// ---- A target on a descriptor that keeps the reason of a failed write ---------------------------

// libvips reports a failed write only as its own message, so the target is ours: each call goes
// straight to the descriptor, and the first error number is kept.
struct DescriptorTarget {
    int fd = -1;
    int writeError = 0;
};

gint64 writeToTarget(VipsTargetCustom*, gpointer data, gint64 length, gpointer user)
{
    auto* target = static_cast<DescriptorTarget*>(user);
    const auto* bytes = static_cast<const char*>(data);
    gint64 left = length;
    while (left > 0) {
        const ssize_t written = ::write(target->fd, bytes, static_cast<std::size_t>(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            target->writeError = written < 0 ? errno : EIO;
            return -1;
        }
        bytes += written;
        left -= written;
    }
    return length;
}

// TIFF is written with seeks back to its directory, and libtiff reads what it wrote.
gint64 readFromTarget(VipsTargetCustom*, gpointer buffer, gint64 length, gpointer user)
{
    const auto* target = static_cast<const DescriptorTarget*>(user);
    for (;;) {
        const ssize_t count = ::read(target->fd, buffer, static_cast<std::size_t>(length));
        if (count >= 0 || errno != EINTR)
            return count;
    }
}

gint64 seekInTarget(VipsTargetCustom*, gint64 offset, int whence, gpointer user)
{
    return ::lseek(static_cast<const DescriptorTarget*>(user)->fd, offset, whence);
}

int endTarget(VipsTargetCustom*, gpointer) { return 0; }

}  // namespace

namespace VipsEncoder {

const FileTypeEntry& entryOf(ImageFileType type)
{
    const auto* entry =
        std::find_if(fileTypes.begin(), fileTypes.end(),
                     [type](const auto& candidate) { return candidate.type == type; });
    LUMIVERT_PRECONDITION(entry != fileTypes.end(), "unknown image file type");
    return *entry;
}

std::string encoderSuffix(ImageFileType type, int quality)
{
    const FileTypeEntry& entry = entryOf(type);
    std::string suffix = entry.encoder;
    if (entry.lossy)
        suffix += "[Q=" + std::to_string(quality) + "]";
    return suffix;
}

void tagUpright(VImage& image, bool srgbProfile)
{
    image.set(VIPS_META_ORIENTATION, 1);
    if (srgbProfile)
        attachSRGBProfile(image);
    else
        vips_image_remove(image.get_image(), VIPS_META_ICC_NAME);
}

bool saveToDescriptor(const VImage& image, const std::string& suffix, int fd, int& writeError)
{
    DescriptorTarget state{fd, 0};
    VipsTargetCustom* custom = vips_target_custom_new();
    g_signal_connect(custom, "write", G_CALLBACK(writeToTarget), &state);
    g_signal_connect(custom, "read", G_CALLBACK(readFromTarget), &state);
    g_signal_connect(custom, "seek", G_CALLBACK(seekInTarget), &state);
    g_signal_connect(custom, "end", G_CALLBACK(endTarget), &state);
    const vips::VTarget target(VIPS_TARGET(custom));
    try {
        image.write_to_target(suffix.c_str(), target);
        return true;
    } catch (const vips::VError&) {
        vips_error_clear();
        writeError = state.writeError;
        return false;
    }
}

}  // namespace VipsEncoder

namespace ImageLoader {

std::optional<ImageFileType> fileType(const path& location)
{
    const std::string extension = FileName::lowerCaseExtension(location);
    const auto* entry =
        std::find_if(extensions.begin(), extensions.end(), [&extension](const auto& candidate) {
            return candidate.extension == extension;
        });
    if (entry == extensions.end())
        return std::nullopt;
    return entry->type;
}

bool holdsSixteenBits(ImageFileType type) { return VipsEncoder::entryOf(type).sixteenBit; }

void writeImage(const Image8& image, const path& location, ImageFileType type, ColourTag tag)
{
    replaceFile(location, encodeImage(image, location, type, tag));
}

void writeImage(const Image16& image, const path& location, ImageFileType type, ColourTag tag)
{
    replaceFile(location, encodeImage(image, location, type, tag));
}

std::string encodePNG(const PixelBuffer& pixels, bool sixteenBit, const path& location)
{
    if (sixteenBit)
        return encodeImage(Packing::makeImage16(pixels), location, ImageFileType::png,
                           ColourTag::none);
    return encodeImage(Packing::makeImage8(pixels), location, ImageFileType::png, ColourTag::none);
}

void writePNG(const PixelBuffer& pixels, const path& location, bool sixteenBit)
{
    replaceFile(location, encodePNG(pixels, sixteenBit, location));
}

}  // namespace ImageLoader

}  // namespace lumivert
