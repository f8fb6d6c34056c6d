#include "imaging/ImageLoader.hpp"

#include "color/ColorMath.hpp"
#include "color/Precondition.hpp"
#include "imaging/Packing.hpp"
#include "imaging/RawDecoder.hpp"
#include "io/FileDescriptor.hpp"
#include "io/FileIO.hpp"
#include "io/FileName.hpp"

#include <vips/vips8>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <limits>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace lumivert {

namespace {

using std::filesystem::path;
using vips::VImage;
using vips::VOption;
using vips::VSource;

constexpr float k8BitMax = 255.0f;
constexpr float k16BitMax = 65535.0f;

// The decoders (by type name) that libvips offers for untrusted files; it flags the rest as not
// hardened, and some of those, such as its matrix and CSV readers, accept plain text.
constexpr std::array<std::string_view, 6> kTrustedLoaders = {
    "VipsForeignLoadJpegSource", "VipsForeignLoadPngSource",   "VipsForeignLoadTiffSource",
    "VipsForeignLoadWebpSource", "VipsForeignLoadNsgifSource", "VipsForeignLoadHeifSource",
};
constexpr std::string_view kJpegLoader = "VipsForeignLoadJpegSource";
constexpr std::string_view kTiffLoader = "VipsForeignLoadTiffSource";
// JPEG decodes directly at 1/2, 1/4 or 1/8 size. A factor of two is left for the final
// resampling, as libvips' own thumbnailer does, so the result stays as sharp as a full decode.
constexpr int kMaxJpegShrink = 8;
constexpr int kResampleMargin = 2;

// libvips' encoder for each file type is chosen by a file suffix. Lossy types are saved at
// the quality asked for: the app's own images (writeImage) at one a photographer would hand on,
// not libvips' default of 75; graded photos at defaultQuality unless the caller chooses.
struct FileTypeEntry {
    ImageFileType type;
    const char* encoder;
    bool sixteenBit;
    bool lossy;
    bool alpha;
};
constexpr std::array<FileTypeEntry, 4> kFileTypes = {{
    {ImageFileType::png, ".png", true, false, true},
    {ImageFileType::jpeg, ".jpg", false, true, false},
    {ImageFileType::tiff, ".tif", true, false, true},
    {ImageFileType::webp, ".webp", false, true, true},
}};

// The file type each extension names (lower case, without the dot).
struct ExtensionEntry {
    std::string_view extension;
    ImageFileType type;
};
constexpr std::array<ExtensionEntry, 6> kExtensions = {{
    {"png", ImageFileType::png},
    {"jpg", ImageFileType::jpeg},
    {"jpeg", ImageFileType::jpeg},
    {"tif", ImageFileType::tiff},
    {"tiff", ImageFileType::tiff},
    {"webp", ImageFileType::webp},
}};

// What the trusted libvips decoders read, by extension; camera RAW files add RawDecoder's list.
constexpr auto kDecodedExtensions = std::to_array<std::string_view>(
    {"jpg", "jpeg", "png", "tif", "tiff", "webp", "gif", "heic", "heif", "avif"});

// libvips starts once per process. Its operation cache is off because files change on disk
// between loads under the same name; its warnings are dropped because failures arrive as
// exceptions and the system keeps no log.
bool vipsReady()
{
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] {
        ready = vips_init("lumivert") == 0;
        if (ready) {
            vips_cache_set_max(0);
            g_log_set_handler(
                "VIPS", G_LOG_LEVEL_WARNING,
                [](const gchar*, GLogLevelFlags, const gchar*, gpointer) {}, nullptr);
        }
    });
    return ready;
}

std::string quotedName(const path& location)
{
    const path name =
        location.has_filename() ? location.filename() : location.parent_path().filename();
    return "\u201C" + name.string() + "\u201D";
}

// ---- Decoding ----------------------------------------------------------------------------------

struct OpenedImage {
    VSource source;
    VImage image;  // the first image, header read, pixels decoded on demand in row order
    std::string loader;
    std::int64_t storedWidth;  // the file's size as stored, before scaling and orientation
    std::int64_t storedHeight;
    std::optional<Image16> rawPixels;  // a camera RAW file's decoded pixels, which image wraps
};

VImage openFirstImage(const VSource& source, VOption* extraOptions = nullptr)
{
    VOption* options = extraOptions ? extraOptions : VImage::option();
    return VImage::new_from_source(
        source, "",
        options->set("access", VIPS_ACCESS_SEQUENTIAL)->set("fail_on", VIPS_FAIL_ON_ERROR));
}

bool trusted(const char* loader)
{
    return std::find(kTrustedLoaders.begin(), kTrustedLoaders.end(), loader) !=
           kTrustedLoaders.end();
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

// Opens a trusted image file and refuses stored sizes above maxPixels (or that the shape check
// refuses) before decoding a pixel. A source (unlike a file name) is never parsed for libvips
// options, so any name is safe.
OpenedImage open(const path& location, std::int64_t maxPixels,
                 const ImageLoader::ShapeCheck& checkShape = {})
{
    std::error_code error;
    if (!vipsReady() || !std::filesystem::is_regular_file(location, error))
        throw ImageLoaderError::unreadable(location);
    VSource source = regularFileSource(location);
    const char* loader = vips_foreign_find_load_source(source.get_source());
    // A RAW file that LibRaw turned down is not read as TIFF either: that would be the sensor's
    // mosaic (a dark, grey-green image), not the photo.
    const bool rawAsTiff =
        loader != nullptr && loader == kTiffLoader && RawDecoder::hasRawExtension(location);
    if (loader == nullptr || !trusted(loader) || rawAsTiff) {
        vips_error_clear();
        throw ImageLoaderError::unreadable(location);
    }
    VImage image = openFirstImage(source);
    if (checkShape)
        checkShape(image.width(), image.height());
    if (std::int64_t{image.width()} * image.height() > maxPixels)
        throw ImageLoaderError::unreadable(location);
    return {source, image, loader, image.width(), image.height(), std::nullopt};
}

// Camera RAW files are decoded by LibRaw, at half size when the target allows, upright and in
// sRGB already; the rest of the loader sees a 16-bit RGB image. nullopt for any other file.
std::optional<OpenedImage> openRaw(const path& location, std::int64_t maxPixels,
                                   std::int64_t targetPixelSize)
{
    std::error_code error;
    if (!RawDecoder::hasRawExtension(location) || !vipsReady() ||
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

OpenedImage openAny(const path& location, std::int64_t maxPixels, std::int64_t targetPixelSize)
{
    if (std::optional<OpenedImage> raw = openRaw(location, maxPixels, targetPixelSize))
        return std::move(*raw);
    return open(location, maxPixels);
}

// Refuses an image whose whole decoding, `extraBytesPerPixel` per pixel besides its stored
// samples, would hold more than maxHeldBytes.
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
    while (shrink < kMaxJpegShrink && factor >= std::int64_t{kResampleMargin} * shrink * 2)
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

// Decoded at most maxPixelSize on the longer side, shrinking while decoding where the format
// can, then turned upright as its orientation tag says.
VImage decodeBounded(const OpenedImage& opened, std::int64_t maxPixelSize)
{
    VImage image = opened.image;
    const Size stored{image.width(), image.height()};
    const Size target = boundedSize(stored.width, stored.height, maxPixelSize);
    if (target.width != stored.width || target.height != stored.height) {
        if (opened.loader == kJpegLoader) {
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

// Untagged images: RGB is taken as sRGB, grey becomes RGB, the rest goes through libvips.
// keepLinear leaves linear-light RGB as stored (exact loading converts no RGB image).
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

// Colour-managed: an embedded profile is converted into sRGB. A profile that does not fit the
// pixels (a colour profile on a grey image, say) is ignored, as colour-managed viewers do.
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

// What decoding yields: the float pixels and, when asked for, their 8-bit display samples.
struct Converted {
    std::vector<RGB> pixels;
    std::vector<std::uint8_t> display;  // RGBX, empty unless asked for
};

// Samples of type T divided by maxValue and clamped into 0...1; where the fourth band is alpha,
// fully transparent pixels become black and the others keep their straight colour. The display
// samples are those floats quantised, as Packing::makeImage8 does. 8- and 16-bit levels are
// converted once each, into tables, instead of once per sample.
template <typename T>
Converted convertSamples(const void* memory, const VImage& image, float maxValue, bool withDisplay)
{
    constexpr bool tabulated = std::is_same_v<T, std::uint8_t> || std::is_same_v<T, std::uint16_t>;
    std::vector<float> levels;
    std::vector<std::uint8_t> levelBytes;
    if constexpr (tabulated) {
        levels.resize(std::size_t{std::numeric_limits<T>::max()} + 1);
        levelBytes.resize(levels.size());
        for (std::size_t level = 0; level < levels.size(); ++level) {
            levels[level] = clamp01(static_cast<float>(level) / maxValue);
            levelBytes[level] =
                static_cast<std::uint8_t>(Packing::quantized(levels[level], k8BitMax));
        }
    }
    const auto toFloat = [&levels, maxValue](T sample) {
        if constexpr (tabulated)
            return levels[sample];
        else
            return clamp01(static_cast<float>(sample) / maxValue);
    };
    const auto toByte = [&levelBytes](T sample, float value) {
        if constexpr (tabulated)
            return levelBytes[sample];
        else
            return static_cast<std::uint8_t>(Packing::quantized(value, k8BitMax));
    };

    const auto* samples = static_cast<const T*>(memory);
    const std::int64_t count = std::int64_t{image.width()} * image.height();
    const int bands = image.bands();
    const bool alpha = image.has_alpha();
    Converted result{std::vector<RGB>(static_cast<std::size_t>(count)), {}};
    if (withDisplay)
        result.display.assign(static_cast<std::size_t>(count) * 4, 0);
    RGB* pixels = result.pixels.data();
    std::uint8_t* display = withDisplay ? result.display.data() : nullptr;
    // Serial on purpose: a few milliseconds of table lookups, and OpenMP workers spin-wait after
    // a parallel region, taking cores from libvips' own threads while they decode the next file.
    for (std::int64_t i = 0; i < count; ++i) {
        const T* s = samples + i * bands;
        const bool visible = !alpha || s[3] > 0;
        if (visible)
            pixels[i] = {toFloat(s[0]), toFloat(s[1]), toFloat(s[2])};
        if (display == nullptr)
            continue;
        std::uint8_t* out = display + 4 * i;
        if (visible) {
            out[0] = toByte(s[0], pixels[i].r);
            out[1] = toByte(s[1], pixels[i].g);
            out[2] = toByte(s[2], pixels[i].b);
        }
        out[3] = static_cast<std::uint8_t>(k8BitMax);
    }
    return result;
}

Converted convert(const VImage& image, bool withDisplay)
{
    if (image.bands() < 3)
        throw vips::VError("an RGB image was expected");
    std::size_t size = 0;
    const std::unique_ptr<void, decltype(&g_free)> memory(image.write_to_memory(&size), &g_free);
    const void* samples = memory.get();
    switch (image.format()) {
    case VIPS_FORMAT_UCHAR:
        return convertSamples<std::uint8_t>(samples, image, k8BitMax, withDisplay);
    case VIPS_FORMAT_CHAR: return convertSamples<std::int8_t>(samples, image, 127.0f, withDisplay);
    case VIPS_FORMAT_USHORT:
        return convertSamples<std::uint16_t>(samples, image, k16BitMax, withDisplay);
    case VIPS_FORMAT_SHORT:
        return convertSamples<std::int16_t>(samples, image, 32767.0f, withDisplay);
    case VIPS_FORMAT_UINT:
        return convertSamples<std::uint32_t>(samples, image, 4294967295.0f, withDisplay);
    case VIPS_FORMAT_INT:
        return convertSamples<std::int32_t>(samples, image, 2147483647.0f, withDisplay);
    case VIPS_FORMAT_FLOAT: return convertSamples<float>(samples, image, 1.0f, withDisplay);
    case VIPS_FORMAT_DOUBLE: return convertSamples<double>(samples, image, 1.0f, withDisplay);
    default: throw vips::VError("complex samples are not an image");
    }
}

// ---- Encoding ----------------------------------------------------------------------------------

const FileTypeEntry& fileTypeEntry(ImageFileType type)
{
    const auto* entry =
        std::find_if(kFileTypes.begin(), kFileTypes.end(),
                     [type](const auto& candidate) { return candidate.type == type; });
    LUMIVERT_PRECONDITION(entry != kFileTypes.end(), "unknown image file type");
    return *entry;
}

// The suffix that picks libvips' encoder, with the quality for lossy types.
std::string encoderSuffix(ImageFileType type, int quality)
{
    const FileTypeEntry& entry = fileTypeEntry(type);
    std::string suffix = entry.encoder;
    if (entry.lossy)
        suffix += "[Q=" + std::to_string(quality) + "]";
    return suffix;
}

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

// Encodes 3-band pixels wrapped from `samples` (which must outlive the call) for the
// destination. libvips only reads wrapped memory; the const_cast is for its C signature.
std::string encode(const void* samples, std::size_t byteCount, std::int64_t width,
                   std::int64_t height, int bands, VipsBandFormat format,
                   VipsInterpretation interpretation, const path& destination, ImageFileType type,
                   ColourTag tag)
{
    if (!vipsReady())
        throw ImageLoaderError::cannotWrite(destination);
    void* encoded = nullptr;
    std::size_t encodedSize = 0;
    try {
        const VImage wrapped =
            VImage::new_from_memory(const_cast<void*>(samples), byteCount, static_cast<int>(width),
                                    static_cast<int>(height), bands, format);
        VImage rgb = wrapped.extract_band(0, VImage::option()->set("n", 3))
                         .copy(VImage::option()->set("interpretation", interpretation));
        if (tag == ColourTag::sRGB) {
            VipsBlob* profile = VImage::profile_load("srgb");
            std::size_t length = 0;
            const void* data = vips_blob_get(profile, &length);
            vips_image_set_blob_copy(rgb.get_image(), VIPS_META_ICC_NAME, data, length);
            vips_area_unref(VIPS_AREA(profile));
        }
        rgb.write_to_buffer(encoderSuffix(type, ImageLoader::writtenImageQuality).c_str(), &encoded,
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

// ---- Grading while streaming -------------------------------------------------------------------

// How the samples of a region reach the grader and leave it, decided once per file. Stored
// samples become exactly what convert() makes of them: 8-bit files the display levels, deeper
// files clamped floats, graded and quantised to 16 bits (then to 8 where the type holds no more,
// rounded as encodeImage rounds).
struct StreamGrading {
    const RowGrader* grader = nullptr;
    float maxValue = 1.0f;
    bool deep = false;
    bool eightBitOutput = true;
    int bands = 3;
    std::vector<std::uint8_t> byteOfLevel;  // 8- and 16-bit inputs: their display level
    std::vector<float> valueOfLevel;        // 8- and 16-bit inputs: their clamped value
    void (*gradeRow)(const StreamGrading&, const void*, void*, int) = nullptr;
    std::atomic<bool> inputFailed{false};
};

template <typename T>
constexpr bool kTabulated = std::is_same_v<T, std::uint8_t> || std::is_same_v<T, std::uint16_t>;

template <typename T> std::uint8_t byteOf(const StreamGrading& grading, T sample)
{
    if constexpr (kTabulated<T>)
        return grading.byteOfLevel[sample];
    else
        return static_cast<std::uint8_t>(
            Packing::quantized(clamp01(static_cast<float>(sample) / grading.maxValue), k8BitMax));
}

template <typename T> float valueOf(const StreamGrading& grading, T sample)
{
    if constexpr (kTabulated<T>)
        return grading.valueOfLevel[sample];
    else
        return clamp01(static_cast<float>(sample) / grading.maxValue);
}

// Scratch rows, one set per libvips worker thread, reused from region to region.
template <typename T> T* scratch(std::size_t count)
{
    thread_local std::vector<T> buffer;
    if (buffer.size() < count)
        buffer.resize(count);
    return buffer.data();
}

// A fully transparent pixel keeps the colour it had before grading.
template <typename T> void keepTransparentColours(const T* before, T* after, int width)
{
    for (int x = 0; x < width; ++x) {
        if (before[4 * x + 3] == T{0})
            std::copy_n(before + 4 * x, 3, after + 4 * x);
    }
}

template <typename T>
void gradeEightBitRow(const StreamGrading& grading, const void* in, void* out, int width)
{
    const auto* samples = static_cast<const T*>(in);
    const std::size_t count = static_cast<std::size_t>(width) * grading.bands;
    std::uint8_t* levels = scratch<std::uint8_t>(count);
    for (std::size_t i = 0; i < count; ++i)
        levels[i] = byteOf(grading, samples[i]);
    auto* graded = static_cast<std::uint8_t*>(out);
    grading.grader->grade(levels, graded, width, grading.bands);
    if (grading.bands == 4)
        keepTransparentColours(levels, graded, width);
}

template <typename T>
void gradeDeepRow(const StreamGrading& grading, const void* in, void* out, int width)
{
    const auto* samples = static_cast<const T*>(in);
    const std::size_t count = static_cast<std::size_t>(width) * grading.bands;
    float* values = scratch<float>(2 * count);
    float* graded = values + count;
    for (std::size_t i = 0; i < count; ++i)
        values[i] = valueOf(grading, samples[i]);
    grading.grader->grade(values, graded, width, grading.bands);
    if (grading.bands == 4)
        keepTransparentColours(values, graded, width);
    for (std::size_t i = 0; i < count; ++i) {
        const int deep = Packing::quantized(graded[i], k16BitMax);
        if (grading.eightBitOutput) {
            static_cast<std::uint8_t*>(out)[i] = static_cast<std::uint8_t>(
                Packing::quantized(static_cast<float>(deep) / k16BitMax, k8BitMax));
        } else {
            static_cast<std::uint16_t*>(out)[i] = static_cast<std::uint16_t>(deep);
        }
    }
}

template <typename T> void prepareFor(StreamGrading& grading, float maxValue)
{
    grading.maxValue = maxValue;
    grading.gradeRow = grading.deep ? gradeDeepRow<T> : gradeEightBitRow<T>;
    if constexpr (kTabulated<T>) {
        const std::size_t levels = std::size_t{std::numeric_limits<T>::max()} + 1;
        grading.valueOfLevel.resize(levels);
        grading.byteOfLevel.resize(levels);
        for (std::size_t level = 0; level < levels; ++level) {
            grading.valueOfLevel[level] = clamp01(static_cast<float>(level) / maxValue);
            grading.byteOfLevel[level] = static_cast<std::uint8_t>(
                Packing::quantized(grading.valueOfLevel[level], k8BitMax));
        }
    }
}

// The sample range of each format, as convert() takes it.
void prepareFor(StreamGrading& grading, VipsBandFormat format)
{
    switch (format) {
    case VIPS_FORMAT_UCHAR: return prepareFor<std::uint8_t>(grading, k8BitMax);
    case VIPS_FORMAT_CHAR: return prepareFor<std::int8_t>(grading, 127.0f);
    case VIPS_FORMAT_USHORT: return prepareFor<std::uint16_t>(grading, k16BitMax);
    case VIPS_FORMAT_SHORT: return prepareFor<std::int16_t>(grading, 32767.0f);
    case VIPS_FORMAT_UINT: return prepareFor<std::uint32_t>(grading, 4294967295.0f);
    case VIPS_FORMAT_INT: return prepareFor<std::int32_t>(grading, 2147483647.0f);
    case VIPS_FORMAT_FLOAT: return prepareFor<float>(grading, 1.0f);
    case VIPS_FORMAT_DOUBLE: return prepareFor<double>(grading, 1.0f);
    default: throw vips::VError("complex samples are not an image");
    }
}

// libvips calls this from its worker threads, each with its own input region; exceptions must
// not cross into C, and a failed decode is remembered so the error names the input.
int generateGraded(VipsRegion* out, void* sequence, void*, void* client, gboolean*)
{
    auto* region = static_cast<VipsRegion*>(sequence);
    auto* grading = static_cast<StreamGrading*>(client);
    const VipsRect& area = out->valid;
    if (vips_region_prepare(region, &area) != 0) {
        grading->inputFailed = true;
        return -1;
    }
    try {
        for (int y = area.top; y < area.top + area.height; ++y) {
            grading->gradeRow(*grading, VIPS_REGION_ADDR(region, area.left, y),
                              VIPS_REGION_ADDR(out, area.left, y), area.width);
        }
    } catch (...) {
        return -1;
    }
    return 0;
}

// `input` graded region by region as it is demanded; `input` and `grading` must outlive every
// use of the result.
VImage gradedImage(const VImage& input, StreamGrading& grading)
{
    VipsImage* out = vips_image_new();
    if (vips_image_pipelinev(out, VIPS_DEMAND_STYLE_THINSTRIP, input.get_image(), nullptr) != 0) {
        g_object_unref(out);
        throw vips::VError();
    }
    const bool bytes = !grading.deep || grading.eightBitOutput;
    out->BandFmt = bytes ? VIPS_FORMAT_UCHAR : VIPS_FORMAT_USHORT;
    out->Type = bytes ? VIPS_INTERPRETATION_sRGB : VIPS_INTERPRETATION_RGB16;
    if (vips_image_generate(out, vips_start_one, generateGraded, vips_stop_one, input.get_image(),
                            &grading) != 0) {
        g_object_unref(out);
        throw vips::VError();
    }
    return VImage(out);
}

// Upright without holding the image where it already is; a turned image is opened again for
// random access (rotation reads rows out of order), which libvips decodes into memory, or into a
// temporary file when it is large.
VImage uprightWhileStreaming(const OpenedImage& opened)
{
    if (vips_image_get_orientation(opened.image.get_image()) == 1)
        return opened.image;
    return VImage::new_from_source(opened.source, "",
                                   VImage::option()->set("fail_on", VIPS_FAIL_ON_ERROR))
        .autorot();
}

// The output's metadata: the input's EXIF, XMP and IPTC, which came along through the pipeline,
// with the orientation upright and sRGB's profile, since the pixels now are both.
void tagUprightSRGB(VImage& image)
{
    image.set(VIPS_META_ORIENTATION, 1);
    VipsBlob* profile = VImage::profile_load("srgb");
    std::size_t length = 0;
    const void* data = vips_blob_get(profile, &length);
    vips_image_set_blob_copy(image.get_image(), VIPS_META_ICC_NAME, data, length);
    vips_area_unref(VIPS_AREA(profile));
}

}  // namespace

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
        const OpenedImage opened = openAny(location, maxStoredPixels, maxPixelSize);
        const VImage upright = taggedToSRGB(decodeBounded(opened, maxPixelSize));
        Converted converted = convert(upright, true);
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
        const OpenedImage opened = open(location, maxExactPixels, checkShape);
        refuseAboveHeldBytes(opened, location, sizeof(RGB));
        const VImage stored = untaggedToSRGB(opened.image, true);
        return PixelBuffer(stored.width(), stored.height(), convert(stored, false).pixels);
    } catch (const vips::VError&) {
        vips_error_clear();
        throw ImageLoaderError::unreadable(location);
    }
}

FullImage loadFull(const path& location)
{
    try {
        const OpenedImage opened =
            openAny(location, maxExactPixels, std::numeric_limits<std::int64_t>::max());
        refuseAboveHeldBytes(opened, location, sizeof(RGB) + Image8::channels);
        const VipsBandFormat stored = opened.image.format();
        const bool deep = stored != VIPS_FORMAT_UCHAR && stored != VIPS_FORMAT_CHAR;
        const VImage upright =
            taggedToSRGB(decodeBounded(opened, std::numeric_limits<std::int64_t>::max()));
        Converted converted = convert(upright, true);
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

void gradeFile(const path& input, const path& output, ImageFileType type, const RowGrader& grader,
               const GradeFileOptions& options)
{
    LUMIVERT_PRECONDITION(options.quality >= minQuality && options.quality <= maxQuality,
                          "the quality is 1 to 100");
    const FileTypeEntry& entry = fileTypeEntry(type);
    StreamGrading grading;
    grading.grader = &grader;
    VImage upright;
    VImage graded;
    std::optional<Image16> rawPixels;  // a RAW file's developed pixels, read until written
    try {
        const OpenedImage opened =
            openAny(input, maxStoredPixels, std::numeric_limits<std::int64_t>::max());
        rawPixels = opened.rawPixels;
        const VipsBandFormat stored = opened.image.format();
        grading.deep = stored != VIPS_FORMAT_UCHAR && stored != VIPS_FORMAT_CHAR;
        grading.eightBitOutput = !entry.sixteenBit;
        upright = taggedToSRGB(uprightWhileStreaming(opened));
        if (upright.bands() < 3)
            throw vips::VError("an RGB image was expected");
        grading.bands = entry.alpha && upright.has_alpha() ? 4 : 3;
        if (upright.bands() != grading.bands)
            upright = upright.extract_band(0, VImage::option()->set("n", grading.bands));
        prepareFor(grading, upright.format());
        graded = gradedImage(upright, grading);
        tagUprightSRGB(graded);
    } catch (const vips::VError&) {
        vips_error_clear();
        throw ImageLoaderError::unreadable(input);
    }
    const std::string suffix = encoderSuffix(type, options.quality);
    bool encoderFailed = false;
    try {
        FileIO::writeAtomically(output, [&](int fd) {
            try {
                graded.write_to_target(suffix.c_str(), vips::VTarget::new_to_descriptor(fd));
                return true;
            } catch (const vips::VError&) {
                vips_error_clear();
                encoderFailed = true;
                errno = EIO;
                return false;
            }
        });
    } catch (const FileError& error) {
        if (grading.inputFailed)
            throw ImageLoaderError::unreadable(input);
        // The file system's reason, unless the encoder gave up, which it does not explain.
        if (encoderFailed)
            throw ImageLoaderError::cannotWrite(output);
        throw ImageLoaderError::cannotWrite(output, error.what());
    }
}

std::optional<ImageFileType> fileType(const path& location)
{
    const std::string extension = FileName::lowerCaseExtension(location);
    const auto* entry =
        std::find_if(kExtensions.begin(), kExtensions.end(), [&extension](const auto& candidate) {
            return candidate.extension == extension;
        });
    if (entry == kExtensions.end())
        return std::nullopt;
    return entry->type;
}

std::vector<std::string_view> readableExtensions()
{
    std::vector<std::string_view> extensions(kDecodedExtensions.begin(), kDecodedExtensions.end());
    const std::span<const std::string_view> raw = RawDecoder::extensions();
    extensions.insert(extensions.end(), raw.begin(), raw.end());
    return extensions;
}

bool holdsSixteenBits(ImageFileType type) { return fileTypeEntry(type).sixteenBit; }

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
