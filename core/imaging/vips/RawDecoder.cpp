#include "imaging/vips/RawDecoder.hpp"

#include "imaging/ImageLoader.hpp"
#include "io/FileName.hpp"

#include <libraw/libraw.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>

namespace lumivert::RawDecoder {

namespace {

using std::filesystem::path;

constexpr auto rawExtensions = std::to_array<std::string_view>({
    "3fr", "arw", "cr2", "cr3", "crw", "dcr", "dng", "erf", "fff", "iiq", "kdc", "mef", "mos",
    "mrw", "nef", "nrw", "orf", "pef", "raf", "raw", "rw2", "rwl", "sr2", "srf", "srw", "x3f",
});

// sRGB's transfer curve in LibRaw's terms: the power of the curved part and the slope of the
// linear toe (IEC 61966-2-1).
constexpr double srgbPower = 1.0 / 2.4;
constexpr double srgbToeSlope = 12.92;
constexpr int outputSRGB = 1;
constexpr int outputBits = 16;
constexpr int rgb = 3;

// LibRaw reports damaged data through this callback and carries on with whatever it has; such
// a photo is refused rather than shown with made-up pixels.
void recordDataError(void* failed, const char*, const int) { *static_cast<bool*>(failed) = true; }

// The file, noting every read that ends early. LibRaw takes a cut-off file's missing tag values
// and pixels as zeros, so a short read is the surest sign of a truncated file.
// Some cameras write tags that point past the end of the file; LibRaw skips those, so only a
// DNG (written by converters to the TIFF rules) is judged by its header reads.
class CheckedFile : public LibRaw_bigfile_datastream {
public:
    explicit CheckedFile(const path& location) : LibRaw_bigfile_datastream(location.c_str()) {}

    int read(void* data, size_t size, size_t count) override
    {
        const int got = LibRaw_bigfile_datastream::read(data, size, count);
        if (size > 0 && (got < 0 || static_cast<size_t>(got) < count))
            shortRead_ = true;
        return got;
    }
    bool shortRead() const { return shortRead_; }
    void forgetShortReads() { shortRead_ = false; }

private:
    bool shortRead_ = false;
};

// A LibRaw processor for one file; its buffers are freed as soon as the pixels are copied out.
class Processor {
public:
    explicit Processor(const path& location)
        : file_(location), raw_(std::make_unique<LibRaw>(LIBRAW_OPTIONS_NONE))
    {
        raw_->set_dataerror_handler(&recordDataError, &dataError_);
        libraw_output_params_t& params = raw_->imgdata.params;
        params.use_camera_wb = 1;
        params.use_camera_matrix = 1;
        params.output_color = outputSRGB;
        params.output_bps = outputBits;
        params.gamm[0] = srgbPower;
        params.gamm[1] = srgbToeSlope;
        params.no_auto_bright = 1;
    }
    ~Processor() { raw_->recycle(); }
    Processor(const Processor&) = delete;
    Processor& operator=(const Processor&) = delete;

    // Whether LibRaw recognises the file as RAW; the header is read, no pixel.
    bool open()
    {
        if (!file_.valid() || raw_->open_datastream(&file_) != LIBRAW_SUCCESS)
            return false;
        if (raw_->imgdata.idata.dng_version == 0)
            file_.forgetShortReads();
        return true;
    }
    bool damaged() const { return dataError_ || file_.shortRead(); }

    LibRaw& operator*() { return *raw_; }
    LibRaw* operator->() { return raw_.get(); }

private:
    CheckedFile file_;
    std::unique_ptr<LibRaw> raw_;
    bool dataError_ = false;
};

// One sample per pixel (monochrome sensors) repeated into R, G and B.
void greyToRGB(std::uint16_t* samples, std::int64_t pixelCount)
{
    for (std::int64_t i = pixelCount - 1; i >= 0; --i)
        std::fill_n(samples + rgb * i, rgb, samples[i]);
}

Image16 copyOut(Processor& raw, const path& location)
{
    int width = 0;
    int height = 0;
    int colours = 0;
    int bits = 0;
    raw->get_mem_image_format(&width, &height, &colours, &bits);
    if (width <= 0 || height <= 0 || bits != outputBits || (colours != 1 && colours != rgb))
        throw ImageLoaderError::unreadable(location);
    const std::int64_t pixelCount = std::int64_t{width} * height;
    auto samples = std::make_unique<std::uint16_t[]>(static_cast<std::size_t>(pixelCount * rgb));
    const int stride = width * colours * static_cast<int>(sizeof(std::uint16_t));
    if (raw->copy_mem_image(samples.get(), stride, 0) != LIBRAW_SUCCESS)
        throw ImageLoaderError::unreadable(location);
    if (colours == 1)
        greyToRGB(samples.get(), pixelCount);
    return Image16(width, height, std::move(samples));
}

}  // namespace

std::span<const std::string_view> extensions() { return rawExtensions; }

bool hasRawExtension(const path& location)
{
    const std::string extension = FileName::lowerCaseExtension(location);
    return std::find(rawExtensions.begin(), rawExtensions.end(), extension) != rawExtensions.end();
}

bool identifies(const path& location)
{
    Processor raw(location);
    return raw.open();
}

std::optional<Decoded> decode(const path& location, const Request& request)
{
    Processor raw(location);
    if (!raw.open())
        return std::nullopt;
    if (raw.damaged())
        throw ImageLoaderError::unreadable(location);
    const libraw_image_sizes_t& sizes = raw->imgdata.sizes;
    const std::int64_t sensorPixels = std::int64_t{sizes.raw_width} * sizes.raw_height;
    const std::int64_t outputPixels = std::int64_t{sizes.width} * sizes.height;
    if (sizes.width <= 0 || sizes.height <= 0 ||
        std::max(sensorPixels, outputPixels) > request.maxPixels)
        throw ImageLoaderError::unreadable(location);

    // Read before decoding, which may change them.
    const std::int64_t storedWidth = sizes.width;
    const std::int64_t storedHeight = sizes.height;
    const bool halfSize = request.targetPixelSize <= std::max(storedWidth, storedHeight) / 2;
    raw->imgdata.params.half_size = halfSize ? 1 : 0;
    if (raw->unpack() != LIBRAW_SUCCESS || raw.damaged() ||
        raw->dcraw_process() != LIBRAW_SUCCESS || raw.damaged())
        throw ImageLoaderError::unreadable(location);
    return Decoded{copyOut(raw, location), storedWidth, storedHeight, halfSize};
}

}  // namespace lumivert::RawDecoder
