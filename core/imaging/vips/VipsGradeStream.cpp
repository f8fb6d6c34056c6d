#include "imaging/ImageLoader.hpp"

#include "color/ColorMath.hpp"
#include "color/Precondition.hpp"
#include "imaging/Packing.hpp"
#include "imaging/SceneLinearFeed.hpp"
#include "imaging/vips/VipsColour.hpp"
#include "imaging/vips/VipsDecoder.hpp"
#include "imaging/vips/VipsEncoder.hpp"
#include "imaging/vips/VipsMetadata.hpp"
#include "imaging/vips/VipsSamples.hpp"
#include "imaging/vips/VipsUpright.hpp"
#include "io/FileIO.hpp"

#include <vips/vips8>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <limits>
#include <type_traits>
#include <vector>

// Grading while streaming: a photo of any size is decoded, graded and encoded region by region,
// holding only the regions in flight.

namespace lumivert {

namespace {

using std::filesystem::path;
using vips::VImage;
using VipsSamples::k16BitMax;
using VipsSamples::k8BitMax;

// What a graded region is written as: 8-bit levels, 16-bit levels, or floats as they come.
enum class Written { bytes, shorts, floats };

// How the samples of a region reach the grader and leave it, decided once per file. Stored
// samples become exactly what VipsSamples::convert makes of them: 8-bit files the display levels,
// deeper files clamped floats, graded and quantised to 16 bits (then to 8 where the type holds no
// more, rounded as the encoder's own 16-to-8-bit rounding does). Float files are scene-linear
// values that reach the grader unclamped through `feed`, and are clamped only where levels are
// written.
struct StreamGrading {
    const RowGrader* grader = nullptr;
    float maxValue = 1.0f;
    bool deep = false;
    bool floats = false;  // a float file's scene-linear values
    Written written = Written::bytes;
    int bands = 3;
    SceneLinearFeed feed;
    std::vector<std::uint8_t> byteOfLevel;  // 8- and 16-bit inputs: their display level
    std::vector<float> valueOfLevel;        // 8- and 16-bit inputs: their clamped value
    void (*gradeRow)(const StreamGrading&, const void*, void*, int) = nullptr;
    std::atomic<bool> inputFailed{false};
};

template <typename T>
constexpr bool tabulated = std::is_same_v<T, std::uint8_t> || std::is_same_v<T, std::uint16_t>;

template <typename T> std::uint8_t byteOf(const StreamGrading& grading, T sample)
{
    if constexpr (tabulated<T>)
        return grading.byteOfLevel[sample];
    else
        return static_cast<std::uint8_t>(
            Packing::quantized(clamp01(static_cast<float>(sample) / grading.maxValue), k8BitMax));
}

template <typename T> float valueOf(const StreamGrading& grading, T sample)
{
    if constexpr (tabulated<T>)
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

// Graded values as the written levels: 16-bit, then 8-bit where the type holds no more.
void writeLevels(const StreamGrading& grading, const float* graded, void* out, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        const int deep = Packing::quantized(graded[i], k16BitMax);
        if (grading.written == Written::bytes) {
            static_cast<std::uint8_t*>(out)[i] = static_cast<std::uint8_t>(
                Packing::quantized(static_cast<float>(deep) / k16BitMax, k8BitMax));
        } else {
            static_cast<std::uint16_t*>(out)[i] = static_cast<std::uint16_t>(deep);
        }
    }
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
    writeLevels(grading, graded, out, count);
}

// A float file's pixels: its values as the LUT takes them, graded, and written as floats (back in
// the image's own terms) or as levels. Alpha is copied; a fully transparent pixel keeps its value.
template <typename T>
void gradeFloatRow(const StreamGrading& grading, const void* in, void* out, int width)
{
    const auto* samples = static_cast<const T*>(in);
    const int bands = grading.bands;
    const std::size_t count = static_cast<std::size_t>(width) * bands;
    float* values = scratch<float>(2 * count);
    float* graded = values + count;
    for (std::size_t i = 0; i < count; i += bands) {
        const RGB fed =
            grading.feed.toLUT({static_cast<float>(samples[i]), static_cast<float>(samples[i + 1]),
                                static_cast<float>(samples[i + 2])});
        values[i] = fed.r;
        values[i + 1] = fed.g;
        values[i + 2] = fed.b;
        if (bands == 4)
            values[i + 3] = static_cast<float>(samples[i + 3]);
    }
    grading.grader->grade(values, graded, width, bands);
    if (grading.written != Written::floats) {
        if (bands == 4)
            keepTransparentColours(values, graded, width);
        writeLevels(grading, graded, out, count);
        return;
    }
    auto* written = static_cast<float*>(out);
    for (std::size_t i = 0; i < count; i += bands) {
        // A value the grade left as it was (strength 0, say) is written as the file held it,
        // not as it comes back through the encoding.
        const bool kept = (bands == 4 && samples[i + 3] == T{0}) ||
                          std::equal(graded + i, graded + i + 3, values + i);
        const RGB c = kept ? RGB{static_cast<float>(samples[i]), static_cast<float>(samples[i + 1]),
                                 static_cast<float>(samples[i + 2])}
                           : grading.feed.fromLUT({graded[i], graded[i + 1], graded[i + 2]});
        written[i] = c.r;
        written[i + 1] = c.g;
        written[i + 2] = c.b;
        if (bands == 4)
            written[i + 3] = static_cast<float>(samples[i + 3]);
    }
}

template <typename T> void prepareFor(StreamGrading& grading, float maxValue)
{
    grading.maxValue = maxValue;
    if constexpr (std::is_floating_point_v<T>)
        grading.gradeRow = grading.floats ? gradeFloatRow<T> : gradeDeepRow<T>;
    else
        grading.gradeRow = grading.deep ? gradeDeepRow<T> : gradeEightBitRow<T>;
    if constexpr (tabulated<T>) {
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

// The sample range of each format, as VipsSamples::convert takes it.
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
    switch (grading.written) {
    case Written::bytes:
        out->BandFmt = VIPS_FORMAT_UCHAR;
        out->Type = VIPS_INTERPRETATION_sRGB;
        break;
    case Written::shorts:
        out->BandFmt = VIPS_FORMAT_USHORT;
        out->Type = VIPS_INTERPRETATION_RGB16;
        break;
    case Written::floats:
        out->BandFmt = VIPS_FORMAT_FLOAT;
        out->Type = VIPS_INTERPRETATION_scRGB;
        break;
    }
    if (vips_image_generate(out, vips_start_one, generateGraded, vips_stop_one, input.get_image(),
                            &grading) != 0) {
        g_object_unref(out);
        throw vips::VError();
    }
    return VImage(out);
}

}  // namespace

namespace ImageLoader {

void gradeFile(const path& input, const path& output, ImageFileType type, const RowGrader& grader,
               const GradeFileOptions& options)
{
    LUMIVERT_PRECONDITION(options.quality >= minQuality && options.quality <= maxQuality,
                          "the quality is 1 to 100");
    const VipsEncoder::FileTypeEntry& entry = VipsEncoder::entryOf(type);
    StreamGrading grading;
    grading.grader = &grader;
    VImage upright;
    VImage graded;
    std::optional<Image16> rawPixels;  // a RAW file's developed pixels, read until written
    std::string pngChunk;              // the IPTC records, added to a PNG once it is written
    try {
        const VipsDecoder::OpenedImage opened =
            VipsDecoder::openAny(input, maxStoredPixels, std::numeric_limits<std::int64_t>::max());
        rawPixels = opened.rawPixels;
        const VipsBandFormat stored = opened.image.format();
        grading.deep = stored != VIPS_FORMAT_UCHAR && stored != VIPS_FORMAT_CHAR;
        grading.floats = VipsColour::holdsSceneLinear(opened.image);
        grading.written = !grading.deep || !entry.sixteenBit ? Written::bytes
                          : grading.floats && entry.floats   ? Written::floats
                                                             : Written::shorts;
        if (grading.floats)
            grading.feed = SceneLinearFeed(options.imageSpace, grader.takesSceneLinear());
        const VImage turned = VipsUpright::whileStreaming(opened);
        // Float values are the scene's light as they stand; a profile would clip them.
        upright = !grading.floats                           ? VipsColour::taggedToSRGB(turned)
                  : opened.loader == VipsDecoder::exrLoader ? VipsColour::straightExr(turned)
                                                            : VipsColour::asRGB(turned);
        if (upright.bands() < 3)
            throw vips::VError("an RGB image was expected");
        grading.bands = entry.alpha && upright.has_alpha() ? 4 : 3;
        if (upright.bands() != grading.bands)
            upright = upright.extract_band(0, VImage::option()->set("n", grading.bands));
        prepareFor(grading, upright.format());
        graded = gradedImage(upright, grading);
        VipsEncoder::tagUpright(graded, grading.written != Written::floats);
        pngChunk = VipsMetadata::placeIptc(graded, type);
        if (opened.loader == VipsDecoder::tiffLoader)
            VipsMetadata::readTiffExif(graded, input);
    } catch (const vips::VError&) {
        vips_error_clear();
        throw ImageLoaderError::unreadable(input);
    }
    const std::string suffix = VipsEncoder::encoderSuffix(type, options.quality);
    bool encoderFailed = false;
    try {
        FileIO::writeAtomically(output, [&](int fd) {
            int writeError = 0;
            if (VipsEncoder::saveToDescriptor(graded, suffix, fd, writeError))
                return type == ImageFileType::tiff ? VipsMetadata::writeTiffExif(graded, fd)
                       : pngChunk.empty()          ? true
                                                   : VipsMetadata::appendToPng(fd, pngChunk);
            encoderFailed = writeError == 0;
            errno = encoderFailed ? EIO : writeError;
            return false;
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

}  // namespace ImageLoader

}  // namespace lumivert
