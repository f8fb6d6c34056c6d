// Streaming grading of whole files: the samples match what grading the whole decoded photo
// gives, bit for bit, over every kind of input the loader converts; alpha and metadata survive.

#include "ImageFixtures.hpp"
#include "imaging/ImageLoader.hpp"
#include "imaging/Packing.hpp"
#include "imaging/RowGrader.hpp"
#include "imaging/SceneLinearFeed.hpp"
#include "support/ExternalTool.hpp"

#include <ImfRgbaFile.h>
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>

namespace lumivert {
namespace {

using fixtures::TemporaryFolder;
using std::filesystem::path;
using vips::VImage;

constexpr float eightBitMax = 255.0f;
constexpr float sixteenBitMax = 65535.0f;

// libvips decodes an image it must read out of order into memory, or, above this many bytes,
// into a temporary file. Set low before libvips first reads it, so that any such copy of a
// test-sized photo would reach the disk where the tests can see it.
const bool lowDiscThreshold = ::setenv("VIPS_DISC_THRESHOLD", "1k", 1) == 0;

// A grade that bends every channel differently, so that a swapped or skipped channel shows.
RGB bent(const RGB& c)
{
    return {std::pow(c.r, 0.7f) * 0.9f + 0.05f * c.b, c.g * c.g * 0.8f + 0.2f * c.r,
            1.0f - 0.85f * c.b + 0.1f * c.g * c.r};
}

struct Grade {
    const char* name;
    LUTStack lut;
};

std::vector<Grade> grades()
{
    std::vector<RGB> curve;
    for (int i = 0; i < 17; ++i) {
        const float x = static_cast<float>(i) / 16.0f;
        curve.push_back({std::sqrt(x), x * x, x});
    }
    return {
        {"plain table", LUTStack(LUT3D::build(17, bent))},
        {"curves and table", LUTStack(LUT1D(17, curve), LUT3D::build(9, bent))},
        {"table over a wider domain",
         LUTStack(LUT3D::buildUnclamped(
             9, [](const RGB& c) { return bent(c); }, LUTDomain::uniform(-0.25f, 1.5f)))},
    };
}

// What apply wrote before it streamed: the whole photo loaded, every pixel graded through the
// stack and quantised, the image written at once.
void gradeWhole(const LUTStack& lut, const path& input, const path& output, ImageFileType type)
{
    const FullImage full = ImageLoader::loadFull(input);
    const std::vector<RGB>& pixels = full.image.pixels().pixels();
    const std::int64_t width = full.image.pixels().width();
    const std::int64_t height = full.image.pixels().height();
    if (full.sixteenBit) {
        auto samples = std::make_unique<std::uint16_t[]>(pixels.size() * 3);
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            const RGB c = lut.apply(pixels[i]);
            samples[3 * i] = static_cast<std::uint16_t>(Packing::quantized(c.r, sixteenBitMax));
            samples[3 * i + 1] = static_cast<std::uint16_t>(Packing::quantized(c.g, sixteenBitMax));
            samples[3 * i + 2] = static_cast<std::uint16_t>(Packing::quantized(c.b, sixteenBitMax));
        }
        ImageLoader::writeImage(Image16(width, height, std::move(samples)), output, type,
                                ColourTag::sRGB);
        return;
    }
    const std::uint8_t* display = full.image.image().data();
    auto samples = std::make_unique<std::uint8_t[]>(pixels.size() * 4);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        const std::uint8_t* level = display + 4 * i;
        const RGB c =
            lut.apply({level[0] / eightBitMax, level[1] / eightBitMax, level[2] / eightBitMax});
        samples[4 * i] = static_cast<std::uint8_t>(Packing::quantized(c.r, eightBitMax));
        samples[4 * i + 1] = static_cast<std::uint8_t>(Packing::quantized(c.g, eightBitMax));
        samples[4 * i + 2] = static_cast<std::uint8_t>(Packing::quantized(c.b, eightBitMax));
        samples[4 * i + 3] = 255;
    }
    ImageLoader::writeImage(Image8(width, height, std::move(samples)), output, type,
                            ColourTag::sRGB);
}

struct Decoded {
    int width = 0;
    int height = 0;
    int bands = 0;
    VipsBandFormat format = VIPS_FORMAT_NOTSET;
    std::vector<unsigned char> bytes;
};

Decoded decoded(const path& location)
{
    const VImage image = VImage::new_from_file(location.c_str());
    std::size_t size = 0;
    const std::unique_ptr<void, decltype(&g_free)> memory(image.write_to_memory(&size), &g_free);
    const auto* bytes = static_cast<const unsigned char*>(memory.get());
    return {image.width(), image.height(), image.bands(), image.format(), {bytes, bytes + size}};
}

VImage noise(int width, int height, int seed)
{
    const auto band = [&](double mean, double sigma, int offset) {
        return VImage::gaussnoise(
            width, height,
            VImage::option()->set("mean", mean)->set("sigma", sigma)->set("seed", seed + offset));
    };
    return VImage::bandjoin({band(128, 70, 0), band(90, 80, 1), band(170, 60, 2)})
        .cast(VIPS_FORMAT_UCHAR)
        .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
}

struct Input {
    const char* name;
    VImage (*make)();
    const char* suffix;
};

// Odd sizes, so that regions end mid-row and mid-column.
const Input inputs[] = {
    {"8-bit.png", [] { return noise(203, 77, 1); }, ".png"},
    {"16-bit.png",
     [] {
         return (noise(131, 59, 4) * 257 + VImage::gaussnoise(131, 59).cast(VIPS_FORMAT_UCHAR))
             .cast(VIPS_FORMAT_USHORT)
             .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_RGB16));
     },
     ".png"},
    {"decoded.jpg", [] { return noise(250, 131, 7); }, ".jpg"},
    {"cmyk-profile.jpg",
     [] {
         return noise(96, 64, 10)
             .icc_transform("cmyk", VImage::option()->set("input_profile", "srgb"));
     },
     ".jpg"},
    {"rotated.jpg",
     [] {
         VImage turned = noise(80, 45, 13).copy();
         turned.set(VIPS_META_ORIENTATION, 6);
         return turned;
     },
     ".jpg"},
};

TEST(GradeFile, GivesTheSamplesOfGradingTheWholePhotoBitForBit)
{
    fixtures::startVips();
    TemporaryFolder folder;
    for (const Input& input : inputs) {
        const path source = folder / input.name;
        fixtures::writeBytes(source, fixtures::encode(input.make(), input.suffix));
        for (const Grade& grade : grades()) {
            const LUTStackGrader grader(grade.lut);
            for (const ImageFileType type : {ImageFileType::png, ImageFileType::jpeg}) {
                SCOPED_TRACE(std::string(input.name) + ", " + grade.name +
                             (type == ImageFileType::png ? ", to PNG" : ", to JPEG"));
                const path streamed = folder / (type == ImageFileType::png ? "s.png" : "s.jpg");
                const path whole = folder / (type == ImageFileType::png ? "w.png" : "w.jpg");
                // At writeImage's quality, so that equal samples give equal JPEG files.
                ImageLoader::gradeFile(source, streamed, type, grader,
                                       {ImageLoader::writtenImageQuality});
                gradeWhole(grade.lut, source, whole, type);
                const Decoded ours = decoded(streamed);
                const Decoded reference = decoded(whole);
                EXPECT_EQ(ours.width, reference.width);
                EXPECT_EQ(ours.height, reference.height);
                EXPECT_EQ(ours.bands, reference.bands);
                EXPECT_EQ(ours.format, reference.format);
                EXPECT_TRUE(ours.bytes == reference.bytes);
            }
        }
    }
}

// A transparent pixel keeps its colour and alpha; a partly transparent one is graded with its
// alpha untouched; 16-bit stays 16-bit.
TEST(GradeFile, PassesAlphaThroughAndLeavesTransparentColoursAlone)
{
    fixtures::startVips();
    TemporaryFolder folder;
    const LUTStack lut(LUT3D::build(17, bent));
    const LUTStackGrader grader(lut);
    for (const bool deep : {false, true}) {
        SCOPED_TRACE(deep ? "16-bit" : "8-bit");
        const double scale = deep ? 257.0 : 1.0;
        const VipsBandFormat format = deep ? VIPS_FORMAT_USHORT : VIPS_FORMAT_UCHAR;
        const VipsInterpretation space =
            deep ? VIPS_INTERPRETATION_RGB16 : VIPS_INTERPRETATION_sRGB;
        const VImage clear =
            fixtures::solid(8, 4, {200 * scale, 10 * scale, 30 * scale, 0}, format, space);
        const VImage half = fixtures::solid(
            8, 4, {60 * scale, 120 * scale, 240 * scale, 128 * scale}, format, space);
        fixtures::writeBytes(folder / "alpha.png",
                             fixtures::encode(clear.join(half, VIPS_DIRECTION_VERTICAL), ".png"));
        ImageLoader::gradeFile(folder / "alpha.png", folder / "out.png", ImageFileType::png,
                               grader);
        const VImage out = VImage::new_from_file((folder / "out.png").c_str());
        ASSERT_EQ(out.bands(), 4);
        EXPECT_EQ(out.format(), format);
        const std::vector<double> transparent = out.getpoint(3, 1);
        EXPECT_EQ(transparent, (std::vector<double>{200 * scale, 10 * scale, 30 * scale, 0}));
        const std::vector<double> graded = out.getpoint(3, 6);
        const float max = deep ? sixteenBitMax : eightBitMax;
        const RGB expected = lut.apply({60 / 255.0f, 120 / 255.0f, 240 / 255.0f});
        EXPECT_EQ(graded[0], Packing::quantized(expected.r, max));
        EXPECT_EQ(graded[1], Packing::quantized(expected.g, max));
        EXPECT_EQ(graded[2], Packing::quantized(expected.b, max));
        EXPECT_EQ(graded[3], 128 * scale);
    }
}

std::string run(const std::string& command)
{
    std::string output;
    const std::unique_ptr<FILE, decltype(&pclose)> pipe(popen(command.c_str(), "r"), &pclose);
    char buffer[512];
    while (pipe && fgets(buffer, sizeof buffer, pipe.get()))
        output += buffer;
    return output;
}

// The tags a photographer checks, as exiftool reads them: name → value.
std::map<std::string, std::string> photoTags(const path& file)
{
    const std::string text =
        run("exiftool -a -s -n -Make -Model -LensModel -DateTimeOriginal -GPSLatitude "
            "-GPSLongitude -Copyright -XMP-dc:Title -XMP-dc:Creator -IPTC:Keywords "
            "-IPTC:CopyrightNotice -IPTC:City '" +
            file.string() + "'");
    std::map<std::string, std::string> tags;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t colon = line.find(" : ");
        if (colon == std::string::npos)
            continue;
        std::string name = line.substr(0, colon);
        name.erase(name.find_last_not_of(' ') + 1);
        tags[name] = line.substr(colon + 3);
    }
    return tags;
}

// Every input kind into every output type: what exiftool reads before and after agrees on
// camera, lens, date, GPS, copyright, XMP and IPTC (WebP has no place for IPTC); the result is
// upright, by libvips' reading and exiftool's, and carries sRGB's profile.
TEST(GradeFile, KeepsThePhotosMetadata)
{
    if (!fixtures::findOnPath("exiftool"))
        GTEST_SKIP() << fixtures::missingTool("exiftool", "libimage-exiftool-perl");
    fixtures::startVips();
    TemporaryFolder folder;
    const VImage deep =
        (noise(48, 32, 30).cast(VIPS_FORMAT_USHORT) * 257)
            .cast(VIPS_FORMAT_USHORT)
            .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_RGB16));
    // The rotated photo is 32 × 48 as stored, 48 × 32 upright like the others.
    const std::vector<std::pair<const char*, VImage>> inputs = {{"photo.jpg", noise(48, 32, 31)},
                                                                {"deep.tif", deep},
                                                                {"photo.png", noise(48, 32, 32)},
                                                                {"rotated.jpg", noise(32, 48, 20)}};
    const LUTStackGrader grader(LUTStack(LUT3D::build(9, bent)));
    const std::set<std::string> iptc = {"Keywords", "CopyrightNotice", "City"};
    for (const auto& [name, image] : inputs) {
        const path source = folder / name;
        const bool rotated = source.filename() == "rotated.jpg";
        image.write_to_file(source.c_str());
        run(std::string("exiftool -q -overwrite_original -n ") +
            (rotated ? "-Orientation=6 " : "") +
            "-Make=Lumix -Model='DC-S5' "
            "'-LensModel=LUMIX S 50/F1.8' -DateTimeOriginal='2024:05:06 07:08:09' "
            "-GPSLatitude=48.85 -GPSLatitudeRef=N -GPSLongitude=2.35 -GPSLongitudeRef=E "
            "'-Copyright=Ann Example' -XMP-dc:Title=Harbour -XMP-dc:Creator=Ann "
            "-IPTC:Keywords=boats '-IPTC:CopyrightNotice=(c) Ann' -IPTC:City=Brest '" +
            source.string() + "'");
        const std::map<std::string, std::string> before = photoTags(source);
        ASSERT_EQ(before.size(), 12u) << name;
        for (const char* output : {"out.jpg", "out.png", "out.tif", "out.webp"}) {
            SCOPED_TRACE(std::string(name) + " to " + output);
            const path written = folder / output;
            ImageLoader::gradeFile(source, written, *ImageLoader::fileType(written), grader);
            std::map<std::string, std::string> expected = before;
            if (written.extension() == ".webp")
                std::erase_if(expected, [&](const auto& tag) { return iptc.contains(tag.first); });
            EXPECT_EQ(photoTags(written), expected);
            const VImage read = VImage::new_from_file(written.c_str());
            EXPECT_EQ(read.width(), 48);
            EXPECT_EQ(read.height(), 32);
            EXPECT_EQ(vips_image_get_orientation(read.get_image()), 1);
            EXPECT_NE(read.get_typeof(VIPS_META_XMP_NAME), 0);
            EXPECT_NE(read.get_typeof(VIPS_META_ICC_NAME), 0);
            const std::string upright =
                run("exiftool -s3 -n -Orientation -ProfileDescription '" + written.string() + "'");
            EXPECT_NE(upright.find("sRGB"), std::string::npos) << upright;
            if (rotated)
                EXPECT_TRUE(upright.starts_with("1\n")) << upright;
        }
    }
}

// ---- Float files -------------------------------------------------------------------------------

// Scene-linear values from 0.004 to 16 (2⁻⁸ … 2⁴ in stops, a different ramp per channel), one
// pixel each, and alpha on the last row: opaque, half, clear.
std::vector<float> sceneLinearSamples(int width, int height)
{
    std::vector<float> samples;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const float t = static_cast<float>(y * width + x) / static_cast<float>(width * height);
            const auto stops = [](float place) { return 0.004f * std::exp2(12.0f * place); };
            const float alpha =
                y + 1 < height ? 1.0f : (x % 3 == 0 ? 1.0f : (x % 3 == 1 ? 0.5f : 0.0f));
            samples.insert(samples.end(),
                           {stops(t), stops(1.0f - t), stops(std::fmod(3 * t, 1.0f)), alpha});
        }
    }
    return samples;
}

VImage floatImage(const std::vector<float>& samples, int width, int height)
{
    return VImage::new_from_memory(const_cast<float*>(samples.data()),
                                   samples.size() * sizeof(float), width, height, 4,
                                   VIPS_FORMAT_FLOAT)
        .copy_memory()
        .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_scRGB));
}

std::vector<float> floatsOf(const path& location)
{
    const VImage image = VImage::new_from_file(location.c_str()).cast(VIPS_FORMAT_FLOAT);
    std::size_t size = 0;
    const std::unique_ptr<void, decltype(&g_free)> memory(image.write_to_memory(&size), &g_free);
    const auto* floats = static_cast<const float*>(memory.get());
    return {floats, floats + size / sizeof(float)};
}

struct FloatGrade {
    const char* name;
    LUTStack lut;
    float strength;
};

// A scene-linear table (inputs 0 … 16), the same at strength 0, and a display table that takes
// sRGB code values.
std::vector<FloatGrade> floatGrades()
{
    const LUTStack scene(LUT3D::buildUnclamped(
        9,
        [](const RGB& c) {
            return RGB{c.r * 0.5f, c.g * c.g * 0.05f, 16.0f - c.b};
        },
        LUTDomain::uniform(0.0f, 16.0f)));
    return {{"scene-linear table", scene, 1.0f},
            {"scene-linear table at strength 0", scene, 0.0f},
            {"display table", LUTStack(LUT3D::build(17, bent)), 1.0f},
            {"display table at strength 0", LUTStack(LUT3D::build(17, bent)), 0.0f}};
}

// What each output sample must be: floats in the image's terms for a float TIFF, else levels.
float expectedSample(const FloatGrade& grade, const SceneLinearFeed& feed, const float* pixel,
                     int band, bool floats)
{
    const RGB value{pixel[0], pixel[1], pixel[2]};
    if (band == 3)
        return floats ? pixel[3] : static_cast<float>(Packing::quantized(pixel[3], sixteenBitMax));
    const RGB fed = feed.toLUT(value);
    const bool clear = pixel[3] == 0.0f;
    const RGB graded = clear ? fed : fed + (grade.lut.apply(fed) - fed) * grade.strength;
    const RGB out = floats ? (graded == fed ? value : feed.fromLUT(graded)) : graded;
    const float sample = band == 0 ? out.r : (band == 1 ? out.g : out.b);
    return floats ? sample : static_cast<float>(Packing::quantized(sample, sixteenBitMax));
}

// The samples as an EXR of half floats, which OpenEXR stores premultiplied by alpha; the samples
// become the straight values the file holds.
void writeHalfEXR(const path& location, std::vector<float>& samples, int width, int height)
{
    std::vector<Imf::Rgba> halves;
    for (std::size_t i = 0; i < samples.size(); i += 4) {
        const float alpha = samples[i + 3];
        const float by = alpha > 0.0f ? alpha : 1.0f;
        const Imf::Rgba& half =
            halves.emplace_back(samples[i] * by, samples[i + 1] * by, samples[i + 2] * by, alpha);
        const float stored = half.a;
        const float divisor = alpha > 0.0f ? stored : 1.0f;
        samples[i] = static_cast<float>(half.r) / divisor;
        samples[i + 1] = static_cast<float>(half.g) / divisor;
        samples[i + 2] = static_cast<float>(half.b) / divisor;
        samples[i + 3] = stored;
    }
    Imf::RgbaOutputFile file(location.c_str(), width, height, Imf::WRITE_RGBA);
    file.setFrameBuffer(halves.data(), 1, width);
    file.writePixels(height);
}

// Float TIFF and EXR inputs keep values above 1 up to the lookup: a scene-linear table gets them
// as they are, a display table sRGB-encoded; a TIFF output holds 32-bit floats (above 1 where
// the grade leaves them there), a PNG 16-bit levels, clamped. An EXR of half floats grades as a
// float TIFF of the same straight values does, sample for sample.
TEST(GradeFile, FloatAndEXRFilesReachTheLUTUnclampedAndStayFloatInTIFF)
{
    fixtures::startVips();
    TemporaryFolder folder;
    constexpr int width = 37;
    constexpr int height = 9;
    std::vector<float> samples = sceneLinearSamples(width, height);
    writeHalfEXR(folder / "linear.exr", samples, width, height);
    fixtures::writeBytes(folder / "linear.tif",
                         fixtures::encode(floatImage(samples, width, height), ".tif"));
    for (const FloatGrade& grade : floatGrades()) {
        const LUTStackGrader grader(grade.lut, Interpolation::trilinear, grade.strength);
        const SceneLinearFeed feed(ColorSpace::linearRec709, grader.takesSceneLinear());
        for (const ImageFileType type : {ImageFileType::tiff, ImageFileType::png}) {
            const bool floats = type == ImageFileType::tiff;
            SCOPED_TRACE(std::string(grade.name) + (floats ? ", to TIFF" : ", to PNG"));
            const path written = folder / (floats ? "out.tif" : "out.png");
            ImageLoader::gradeFile(folder / "linear.tif", written, type, grader);
            EXPECT_EQ(VImage::new_from_file(written.c_str()).format(),
                      floats ? VIPS_FORMAT_FLOAT : VIPS_FORMAT_USHORT);
            const std::vector<float> out = floatsOf(written);
            ASSERT_EQ(out.size(), samples.size());
            int mismatches = 0;
            for (std::size_t i = 0; i < samples.size(); ++i) {
                const float want = expectedSample(grade, feed, &samples[i - i % 4],
                                                  static_cast<int>(i % 4), floats);
                // The renderer's kernels round as the stack's lookup does, within a hair.
                const float tolerance = floats ? 2e-5f * std::max(1.0f, std::fabs(want)) : 1.0f;
                if (std::fabs(out[i] - want) > tolerance && ++mismatches < 5) {
                    ADD_FAILURE() << "sample " << i << ": " << out[i] << ", expected " << want;
                }
            }
            if (grade.strength == 0.0f && floats) {
                EXPECT_TRUE(out == samples) << "strength 0 changed a float";
            }
        }
        SCOPED_TRACE(std::string(grade.name) + ", EXR to TIFF");
        ImageLoader::gradeFile(folder / "linear.exr", folder / "exr.tif", ImageFileType::tiff,
                               grader);
        EXPECT_TRUE(floatsOf(folder / "exr.tif") == floatsOf(folder / "out.tif"));
    }
}

TEST(GradeFile, NamesTheInputWhenItCannotBeDecodedAndLeavesNoOutput)
{
    fixtures::startVips();
    TemporaryFolder folder;
    std::vector<unsigned char> bytes = fixtures::encode(noise(300, 200, 30), ".png");
    bytes.resize(bytes.size() / 2);
    fixtures::writeBytes(folder / "cut.png", bytes);
    const LUTStackGrader grader(LUTStack(LUT3D::identity(2)));
    try {
        ImageLoader::gradeFile(folder / "cut.png", folder / "out.png", ImageFileType::png, grader);
        FAIL() << "a truncated file was graded";
    } catch (const ImageLoaderError& error) {
        EXPECT_EQ(error.kind(), ImageLoaderError::Kind::unreadable);
        EXPECT_EQ(error.location(), folder / "cut.png");
    }
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"cut.png"});
}

// A grader that looks for libvips' scratch files while the photo streams through it, and notes
// every one that was not there before: in the temporary folder, and among the open files (libvips
// unlinks its scratch file as soon as it opens it, so the disk it takes shows only there).
class ScratchFileWatch final : public RowGrader {
public:
    ScratchFileWatch() : before_(libvipsFiles()) {}

    void grade(const std::uint8_t* in, std::uint8_t* out, std::int64_t count,
               int bands) const override
    {
        look();
        identity_.grade(in, out, count, bands);
    }
    void grade(const std::uint16_t* in, std::uint16_t* out, std::int64_t count,
               int bands) const override
    {
        look();
        identity_.grade(in, out, count, bands);
    }
    void grade(const float* in, float* out, std::int64_t count, int bands) const override
    {
        look();
        identity_.grade(in, out, count, bands);
    }

    int looks() const { return looks_; }
    // libvips files that appeared since the watch began.
    std::set<std::string> newFiles() const
    {
        const std::lock_guard lock(mutex_);
        return seen_;
    }
    std::set<std::string> newFilesNow() const
    {
        std::set<std::string> now = libvipsFiles();
        for (const std::string& name : before_)
            now.erase(name);
        return now;
    }

private:
    static std::set<std::string> libvipsFiles()
    {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(g_get_tmp_dir())) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("vips-", 0) == 0)
                names.insert(name);
        }
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", ignored)) {
            const std::string target =
                std::filesystem::read_symlink(entry.path(), ignored).string();
            if (target.find("/vips-") != std::string::npos)
                names.insert(target);
        }
        return names;
    }

    void look() const
    {
        ++looks_;
        const std::set<std::string> appeared = newFilesNow();
        const std::lock_guard lock(mutex_);
        seen_.insert(appeared.begin(), appeared.end());
    }

    LUTStackGrader identity_{LUTStack(LUT3D::identity(2))};
    std::set<std::string> before_;
    mutable std::mutex mutex_;
    mutable std::set<std::string> seen_;
    mutable std::atomic<int> looks_{0};
};

TEST(GradeFile, TurnsRotatedPhotosUprightWithoutAScratchFile)
{
    ASSERT_TRUE(lowDiscThreshold);
    fixtures::startVips();
    TemporaryFolder folder;
    for (const int orientation : {3, 6, 8}) {
        SCOPED_TRACE("orientation " + std::to_string(orientation));
        VImage turned = noise(300, 200, orientation).copy();
        turned.set(VIPS_META_ORIENTATION, orientation);
        const path input = folder / "turned.jpg";
        fixtures::writeBytes(input, fixtures::encode(turned, ".jpg"));
        const ScratchFileWatch watch;
        ImageLoader::gradeFile(input, folder / "upright.png", ImageFileType::png, watch);
        EXPECT_GT(watch.looks(), 0);
        EXPECT_EQ(watch.newFiles(), std::set<std::string>{});
        EXPECT_EQ(watch.newFilesNow(), std::set<std::string>{});
        const Decoded upright = decoded(folder / "upright.png");
        EXPECT_EQ(upright.width, orientation == 3 ? 300 : 200);
        EXPECT_EQ(upright.height, orientation == 3 ? 200 : 300);
    }
}

// A write the file system refuses names its reason, for every type the writer encodes (TIFF
// seeks back and reads what it wrote). The limit on a file's size stands in for a full disk.
TEST(GradeFile, AFailedWriteGivesTheFileSystemsReasonAndLeavesNoOutput)
{
    fixtures::startVips();
    TemporaryFolder folder;
    const path input = folder / "photo.png";
    fixtures::writeBytes(input, fixtures::encode(noise(400, 300, 21), ".png"));
    const LUTStackGrader grader(LUTStack(LUT3D::identity(2)));
    constexpr rlim_t sizeLimit = 16 << 10;
    rlimit original{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &original), 0);
    if (original.rlim_max != RLIM_INFINITY && original.rlim_max < sizeLimit)
        GTEST_SKIP() << "the file size limit is already below " << sizeLimit << " bytes";
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    for (const auto& [type, name] :
         {std::pair{ImageFileType::png, "out.png"}, std::pair{ImageFileType::jpeg, "out.jpg"},
          std::pair{ImageFileType::tiff, "out.tif"}, std::pair{ImageFileType::webp, "out.webp"}}) {
        SCOPED_TRACE(name);
        rlimit limited = original;
        limited.rlim_cur = sizeLimit;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
        try {
            ImageLoader::gradeFile(input, folder / name, type, grader);
            ADD_FAILURE() << "a file over the size limit was written";
        } catch (const ImageLoaderError& error) {
            EXPECT_EQ(error.kind(), ImageLoaderError::Kind::cannotWrite);
            EXPECT_EQ(error.what(), "\u201C" + std::string(name) +
                                        "\u201D could not be saved in \u201C" +
                                        folder.path().string() + "\u201D: file too large.");
        }
        ::setrlimit(RLIMIT_FSIZE, &original);
        EXPECT_EQ(folder.entries(), std::vector<std::string>{"photo.png"});
    }
    std::signal(SIGXFSZ, previousHandler);
}

// The whole-image loaders count bytes, not only pixels: a float RGBA file with no more pixels
// than they allow would expand to over a gigabyte, so they refuse it from its header, while the
// bounded preview still reads it.
TEST(GradeFile, HugeFloatFilesAreRefusedWholeButStreamed)
{
    fixtures::startVips();
    TemporaryFolder folder;
    // 16 stored and 12 decoded bytes a pixel: just over the bound on bytes held, well within the
    // one on pixels.
    constexpr int width = 8192;
    constexpr int height = 4800;
    static_assert(std::int64_t{width} * height <= ImageLoader::maxExactPixels);
    static_assert(std::int64_t{width} * height * 28 > ImageLoader::maxHeldBytes);
    const path input = folder / "float.tif";
    // A flat grey compresses to a small file; libvips writes it region by region.
    (VImage::black(width, height, VImage::option()->set("bands", 4)).cast(VIPS_FORMAT_FLOAT) + 0.5)
        .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB))
        .write_to_file((input.string() + "[compression=deflate,tile]").c_str());

    for (const auto& loadWhole : {+[](const path& p) { ImageLoader::loadFull(p); },
                                  +[](const path& p) { ImageLoader::loadExact(p); }}) {
        try {
            loadWhole(input);
            ADD_FAILURE() << "a 1 GB float image was loaded whole";
        } catch (const ImageLoaderError& error) {
            EXPECT_EQ(error.kind(), ImageLoaderError::Kind::unreadable);
        }
    }

    // The bounded preview streams it through libvips' shrink.
    const LoadedImage preview = ImageLoader::load(input, 256);
    EXPECT_EQ(preview.pixels().width(), 256);
    EXPECT_EQ(preview.pixels().height(), 150);
}

}  // namespace
}  // namespace lumivert
