#pragma once

// The only place where image files are read or written (through libvips).
//
// load: bounded, upright, colour-managed decoding of the first image of a JPEG, PNG, TIFF, WebP,
// GIF, HEIF/AVIF or camera RAW file (through LibRaw, see RawDecoder) into sRGB floats in 0...1,
// plus its 8-bit display image. An embedded
// ICC profile is converted to sRGB; untagged RGB is taken as sRGB; greyscale and CMYK become RGB.
// Transparent pixels become black; partly transparent ones keep their straight colour.
// loadExact: the pixels as stored (no orientation, scaling or conversion of RGB images), for
// HALD images whose pixels are table data; 8-bit samples / 255, 16-bit samples / 65535. Camera
// RAW files are refused.
// loadFull: load() without the size bound, for whole photos that fit in memory.
// gradeFile: decodes, grades and encodes a photo of any size region by region on all cores,
// holding only the regions in flight, and keeps its metadata and alpha.
// Writing replaces the destination atomically: a failed write leaves an existing file untouched.

#include "color/PixelBuffer.hpp"
#include "color/ocio/ColorSpace.hpp"
#include "imaging/LoadedImage.hpp"
#include "imaging/PackedImage.hpp"
#include "imaging/RowGrader.hpp"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace lumivert {

class ImageLoaderError : public std::runtime_error {
public:
    enum class Kind { unreadable, cannotWrite };

    // “name.ext” could not be opened as an image.
    static ImageLoaderError unreadable(const std::filesystem::path& location);
    // “name.ext” is a camera RAW photo, which cannot hold table data (kind unreadable).
    static ImageLoaderError rawNotTableData(const std::filesystem::path& location);
    // “name.ext” has 5 channels, more than its colours and one alpha channel… (kind unreadable).
    static ImageLoaderError extraChannels(const std::filesystem::path& location, int channels);
    // “name.ext” could not be written.
    static ImageLoaderError cannotWrite(const std::filesystem::path& location);
    // The file system's own sentence, which says why (“name.ext” is read-only, could not be
    // saved in “folder”: No space left on device…), kind cannotWrite.
    static ImageLoaderError cannotWrite(const std::filesystem::path& location,
                                        const std::string& sentence);

    Kind kind() const { return kind_; }
    const std::filesystem::path& location() const { return location_; }

private:
    ImageLoaderError(Kind kind, const std::filesystem::path& location, const std::string& message);

    Kind kind_;
    std::filesystem::path location_;
};

enum class ImageFileType { png, jpeg, tiff, webp };

// Whether images may embed the sRGB profile when written (the app's own files carry none).
enum class ColourTag { none, sRGB };

// A whole photo and the depth of its stored samples, so that batch output can keep that depth.
struct FullImage {
    LoadedImage image;
    bool sixteenBit = false;  // the file stores more than 8 bits per sample
};

namespace ImageLoader {

// Files whose stored size exceeds these bounds are refused as unreadable before any pixel is
// decoded. load and gradeFile stream, so they allow far more than the loaders that hold the whole
// image in memory (loadExact, loadFull): for those the bound is on the bytes held, counting the
// stored samples (bands × sample size) and the float pixels made of them, so that a float RGBA
// file cannot take several times what an 8-bit one of the same size does.
inline constexpr std::int64_t maxStoredPixels = 500'000'000;
inline constexpr std::int64_t maxExactPixels = std::int64_t{1} << 26;
inline constexpr std::int64_t maxHeldBytes = std::int64_t{1} << 30;

// JPEG and WebP quality (1 … 100): of graded photos when none is given, and of the app's own
// images (writeImage), which a photographer hands on.
inline constexpr int defaultQuality = 92;
inline constexpr int writtenImageQuality = 95;
inline constexpr int minQuality = 1;
inline constexpr int maxQuality = 100;

// The longer side of the result is at most maxPixelSize (≥ 1, else stops); never scaled up.
// Throws ImageLoaderError::unreadable.
LoadedImage load(const std::filesystem::path& location, std::int64_t maxPixelSize);
// Full size as stored. Throws ImageLoaderError::unreadable.
PixelBuffer loadExact(const std::filesystem::path& location);
// Called with the stored width and height, read from the file's header, before any pixel is
// decoded or the size bound applies; it throws to refuse an image of the wrong shape.
using ShapeCheck = std::function<void(std::int64_t width, std::int64_t height)>;
// loadExact for images of one shape only: the check's exception is passed on as it is.
PixelBuffer loadExact(const std::filesystem::path& location, const ShapeCheck& checkShape);
// Upright and colour-managed like load, at the stored size; refused above maxExactPixels or
// maxHeldBytes.
// Throws ImageLoaderError::unreadable.
FullImage loadFull(const std::filesystem::path& location);

struct GradeFileOptions {
    int quality = defaultQuality;  // for JPEG and WebP; minQuality … maxQuality, else stops
    // The scene-linear space of a float file's values (SceneLinearFeed); another kind of space
    // throws ColorSpaceError.
    ColorSpace imageSpace = ColorSpace::linearRec709;
};
// The photo at `input`, upright and in sRGB as loadFull gives it, graded and written to
// `output` as `type`: the same samples as grading loadFull's pixels (8-bit files as 8-bit
// levels, deeper ones as floats quantised to 16 bits, then to 8 where the type holds no more),
// computed region by region. Float files (EXR, float TIFF) are the exception: their
// scene-linear values reach the grader unclamped as SceneLinearFeed says, and are written as
// 32-bit floats to TIFF, clamped only into 16- or 8-bit levels. Alpha is copied and a fully
// transparent pixel keeps its colour (JPEG drops alpha); EXIF, XMP and IPTC are kept, the
// orientation set to upright and the profile to sRGB's. `output` is replaced atomically. Throws
// ImageLoaderError::unreadable when the input cannot be decoded (also halfway), else
// ImageLoaderError::cannotWrite.
void gradeFile(const std::filesystem::path& input, const std::filesystem::path& output,
               ImageFileType type, const RowGrader& grader, const GradeFileOptions& options = {});

// The file type for an extension (".png", ".jpg"/".jpeg", ".tif"/".tiff", ".webp", any case).
std::optional<ImageFileType> fileType(const std::filesystem::path& location);
// Lower-case extensions (without the dot) of the files load reads: the libvips formats, then the
// camera RAW formats. For file panels and help texts.
std::vector<std::string_view> readableExtensions();
// PNG and TIFF keep 16-bit samples; JPEG and WebP hold 8 bits only.
bool holdsSixteenBits(ImageFileType type);

// Encode as `type` (8-bit or 16-bit RGB, no alpha, the sRGB profile only when tagged) and
// replace `location` atomically. A 16-bit image written as a type that holds 8 bits is
// quantised to 8 bits. Throws ImageLoaderError::cannotWrite.
void writeImage(const Image8& image, const std::filesystem::path& location, ImageFileType type,
                ColourTag tag = ColourTag::none);
void writeImage(const Image16& image, const std::filesystem::path& location, ImageFileType type,
                ColourTag tag = ColourTag::none);
// Packing::makeImage8 or makeImage16, then writeImage as PNG. Throws ImageLoaderError::cannotWrite.
void writePNG(const PixelBuffer& pixels, const std::filesystem::path& location, bool sixteenBit);
// The bytes writePNG would write, for writing together with other files; `location` is the file
// they are meant for, named in errors. Throws ImageLoaderError::cannotWrite.
std::string encodePNG(const PixelBuffer& pixels, bool sixteenBit,
                      const std::filesystem::path& location);

}  // namespace ImageLoader

}  // namespace lumivert
