#include "ImageFixtures.hpp"

#include "imaging/ImageLoader.hpp"
#include "imaging/Packing.hpp"
#include "imaging/RowGrader.hpp"

#include "support/ColorExpectations.hpp"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <functional>
#include <limits>
#include <random>

namespace lumivert {
namespace {

using fixtures::TemporaryFolder;
using vips::VImage;

constexpr float naN = std::numeric_limits<float>::quiet_NaN();

RGB bytes(double r, double g, double b)
{
    return {static_cast<float>(r / 255.0), static_cast<float>(g / 255.0),
            static_cast<float>(b / 255.0)};
}

// An image wrapped from samples, copied so it outlives the vector.
template <typename T>
VImage fromSamples(const std::vector<T>& samples, int width, int height, int bands,
                   VipsBandFormat format, VipsInterpretation interpretation)
{
    fixtures::startVips();
    return VImage::new_from_memory(const_cast<T*>(samples.data()), samples.size() * sizeof(T),
                                   width, height, bands, format)
        .copy_memory()
        .copy(VImage::option()->set("interpretation", interpretation));
}

// Four quadrants: red top left, green top right, blue bottom left, yellow bottom right.
const std::vector<double> red{220, 30, 30}, green{30, 200, 40}, blue{30, 40, 210},
    yellow{230, 220, 40};

VImage quadrants(int width, int height)
{
    const int w = width / 2, h = height / 2;
    return fixtures::solid(width, height, red)
        .insert(fixtures::solid(width - w, h, green), w, 0)
        .insert(fixtures::solid(w, height - h, blue), 0, h)
        .insert(fixtures::solid(width - w, height - h, yellow), w, h);
}

VImage withOrientation(VImage image, int orientation)
{
    image = image.copy();
    image.set("orientation", orientation);
    return image;
}

VImage noise(int width, int height)
{
    fixtures::startVips();
    return VImage::gaussnoise(width, height, VImage::option()->set("mean", 128)->set("sigma", 60))
        .bandjoin_const({0, 0})
        .cast(VIPS_FORMAT_UCHAR)
        .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
}

// ---- Bounded, upright loading ------------------------------------------------------------------

struct BoundingCase {
    const char* name;
    int width;
    int height;
    int orientation;
    std::int64_t maxPixelSize;
    std::int64_t expectedWidth;
    std::int64_t expectedHeight;
};

class ImageLoaderBounding : public ::testing::TestWithParam<BoundingCase> {};

TEST_P(ImageLoaderBounding, LongerSideAtMostTheMaximumWithStoredSizeKept)
{
    const BoundingCase c = GetParam();
    TemporaryFolder folder;
    const auto location = folder / c.name;
    withOrientation(quadrants(c.width, c.height), c.orientation).write_to_file(location.c_str());

    const LoadedImage loaded = ImageLoader::load(location, c.maxPixelSize);
    EXPECT_EQ(loaded.pixels().width(), c.expectedWidth);
    EXPECT_EQ(loaded.pixels().height(), c.expectedHeight);
    EXPECT_EQ(loaded.image().width(), c.expectedWidth);
    EXPECT_EQ(loaded.image().height(), c.expectedHeight);
    EXPECT_EQ(loaded.originalWidth(), c.width);
    EXPECT_EQ(loaded.originalHeight(), c.height);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, ImageLoaderBounding,
    ::testing::Values(BoundingCase{"landscape.jpg", 6000, 4000, 1, 1600, 1600, 1067},
                      BoundingCase{"quarter-turn.jpg", 6000, 4000, 6, 1600, 1067, 1600},
                      BoundingCase{"small.jpg", 800, 600, 1, 1600, 800, 600},
                      BoundingCase{"small-turned.jpg", 800, 600, 8, 1600, 600, 800},
                      BoundingCase{"shrunk-on-load.jpg", 3000, 2000, 1, 700, 700, 467},
                      BoundingCase{"odd.jpg", 1001, 333, 1, 100, 100, 33},
                      BoundingCase{"portrait.jpg", 333, 1001, 1, 100, 33, 100},
                      BoundingCase{"sliver.png", 5000, 10, 1, 64, 64, 1},
                      BoundingCase{"odd.png", 1201, 799, 1, 120, 120, 80}),
    [](const auto& info) {
        std::string name = info.param.name;
        std::replace_if(
            name.begin(), name.end(), [](char c) { return !std::isalnum(c); }, '_');
        return name;
    });

class ImageLoaderFormats : public ::testing::TestWithParam<const char*> {};

TEST_P(ImageLoaderFormats, EveryTrustedFormatLoads)
{
    TemporaryFolder folder;
    const auto location = folder / (std::string("quadrants") + GetParam());
    try {
        quadrants(64, 48).write_to_file(location.c_str());
    } catch (const vips::VError& error) {
        GTEST_SKIP() << "libvips here cannot write " << GetParam() << ": " << error.what();
    }
    const LoadedImage loaded = ImageLoader::load(location, 1600);
    ASSERT_EQ(loaded.pixels().width(), 64);
    expectNear(loaded.pixels()(8, 8), bytes(220, 30, 30), 0.06f);
    expectNear(loaded.pixels()(56, 40), bytes(230, 220, 40), 0.06f);
    expectNear(ImageLoader::loadExact(location)(8, 40), bytes(30, 40, 210), 0.06f);
}

// AVIF stands for the HEIF family: libvips reads HEIC and AVIF with one loader (and writing
// HEIC fixtures goes through an HEVC encoder that leaks under the sanitizers).
INSTANTIATE_TEST_SUITE_P(Suffixes, ImageLoaderFormats,
                         ::testing::Values(".jpg", ".png", ".tif", ".webp", ".gif", ".avif"),
                         [](const auto& info) { return std::string(info.param + 1); });

TEST(ImageLoaderOrientation, QuarterTurnPutsTheStoredBottomLeftAtTheTopLeft)
{
    TemporaryFolder folder;
    const auto location = folder / "turned.jpg";
    withOrientation(quadrants(64, 48), 6)
        .jpegsave(location.c_str(), VImage::option()->set("Q", 95));

    const LoadedImage loaded = ImageLoader::load(location, 1000);
    ASSERT_EQ(loaded.pixels().width(), 48);
    ASSERT_EQ(loaded.pixels().height(), 64);
    const auto colour = [](const std::vector<double>& v) { return bytes(v[0], v[1], v[2]); };
    expectNear(loaded.pixels()(12, 16), colour(blue), 0.05f);
    expectNear(loaded.pixels()(36, 16), colour(red), 0.05f);
    expectNear(loaded.pixels()(12, 48), colour(yellow), 0.05f);
    expectNear(loaded.pixels()(36, 48), colour(green), 0.05f);
}

TEST(ImageLoaderOrientation, ExactLoadingIgnoresTheOrientationTag)
{
    TemporaryFolder folder;
    const auto location = folder / "turned.png";
    withOrientation(quadrants(64, 48), 6).pngsave(location.c_str());
    const PixelBuffer pixels = ImageLoader::loadExact(location);
    EXPECT_EQ(pixels.width(), 64);
    EXPECT_EQ(pixels.height(), 48);
    EXPECT_EQ(pixels(0, 0), bytes(220, 30, 30));
}

TEST(ImageLoaderRecord, NameUrlAndDisplayImageFollowTheFile)
{
    TemporaryFolder folder;
    const auto location = folder / "Sunset.final.png";
    quadrants(40, 30).pngsave(location.c_str());
    const LoadedImage loaded = ImageLoader::load(location, 1600);
    EXPECT_EQ(loaded.name(), "Sunset.final");
    EXPECT_EQ(loaded.url(), location);
    EXPECT_EQ(loaded.image(), Packing::makeImage8(loaded.pixels()));
}

TEST(ImageLoaderRecord, FileNamesAreNeverReadAsLoaderOptions)
{
    TemporaryFolder folder;
    const auto location = folder / "odd[name].png";
    quadrants(40, 30).pngsave(location.c_str());
    EXPECT_EQ(ImageLoader::load(location, 1600).pixels()(0, 0), bytes(220, 30, 30));
}

TEST(ImageLoaderFullSize, KeepsTheStoredSizeTurnsUprightAndReportsTheDepth)
{
    TemporaryFolder folder;
    const auto turned = folder / "turned.jpg";
    withOrientation(quadrants(2400, 40), 6).jpegsave(turned.c_str());
    const FullImage full = ImageLoader::loadFull(turned);
    EXPECT_EQ(full.image.pixels().width(), 40);
    EXPECT_EQ(full.image.pixels().height(), 2400);
    EXPECT_FALSE(full.sixteenBit);
    EXPECT_EQ(full.image.image(), Packing::makeImage8(full.image.pixels()));

    const auto deep = folder / "deep.png";
    fixtures::solid(8, 8, {40000, 20000, 0}, VIPS_FORMAT_USHORT, VIPS_INTERPRETATION_RGB16)
        .pngsave(deep.c_str());
    const FullImage deepImage = ImageLoader::loadFull(deep);
    EXPECT_TRUE(deepImage.sixteenBit);
    EXPECT_EQ(deepImage.image.pixels()(3, 3), (RGB{40000.0f / 65535.0f, 20000.0f / 65535.0f, 0}));
    EXPECT_THROW(ImageLoader::loadFull(folder / "missing.png"), ImageLoaderError);
}

// ---- Samples, bit depths, alpha and colour spaces -----------------------------------------------

TEST(ImageLoaderSamples, EightBitRGBIsTakenAsSRGBExactly)
{
    std::vector<std::uint8_t> samples;
    for (int i = 0; i < 16 * 16; ++i) {
        samples.push_back(static_cast<std::uint8_t>(i));
        samples.push_back(static_cast<std::uint8_t>(255 - i));
        samples.push_back(static_cast<std::uint8_t>((7 * i) % 256));
    }
    TemporaryFolder folder;
    const auto location = folder / "levels.png";
    fromSamples(samples, 16, 16, 3, VIPS_FORMAT_UCHAR, VIPS_INTERPRETATION_sRGB)
        .pngsave(location.c_str());

    const PixelBuffer loaded = ImageLoader::load(location, 1600).pixels();
    const PixelBuffer exact = ImageLoader::loadExact(location);
    for (std::size_t i = 0; i < 256; ++i) {
        const RGB want{static_cast<float>(samples[3 * i]) / 255.0f,
                       static_cast<float>(samples[3 * i + 1]) / 255.0f,
                       static_cast<float>(samples[3 * i + 2]) / 255.0f};
        ASSERT_EQ(loaded.pixels()[i], want) << i;
        ASSERT_EQ(exact.pixels()[i], want) << i;
    }
}

TEST(ImageLoaderSamples, SixteenBitPngKeepsEverySample)
{
    std::vector<std::uint16_t> samples;
    for (int i = 0; i < 64 * 32; ++i) {
        samples.push_back(static_cast<std::uint16_t>(i * 31 + 1));
        samples.push_back(static_cast<std::uint16_t>(65535 - i * 17));
        samples.push_back(static_cast<std::uint16_t>((i * 7919) % 65536));
    }
    TemporaryFolder folder;
    const auto location = folder / "deep.png";
    fromSamples(samples, 64, 32, 3, VIPS_FORMAT_USHORT, VIPS_INTERPRETATION_RGB16)
        .pngsave(location.c_str());

    const PixelBuffer loaded = ImageLoader::load(location, 1600).pixels();
    const PixelBuffer exact = ImageLoader::loadExact(location);
    for (std::size_t i = 0; i < samples.size() / 3; ++i) {
        const RGB want{static_cast<float>(samples[3 * i]) / 65535.0f,
                       static_cast<float>(samples[3 * i + 1]) / 65535.0f,
                       static_cast<float>(samples[3 * i + 2]) / 65535.0f};
        ASSERT_EQ(loaded.pixels()[i], want) << i;
        ASSERT_EQ(exact.pixels()[i], want) << i;
    }
}

TEST(ImageLoaderAlpha, TransparentPixelsAreBlackAndPartlyTransparentOnesKeepTheirColour)
{
    const std::vector<std::uint8_t> samples{128, 128, 128, 128, 200, 10, 10, 0, 10, 20, 30, 255};
    TemporaryFolder folder;
    const auto location = folder / "alpha.png";
    fromSamples(samples, 3, 1, 4, VIPS_FORMAT_UCHAR, VIPS_INTERPRETATION_sRGB)
        .pngsave(location.c_str());

    for (const PixelBuffer& pixels :
         {ImageLoader::load(location, 1600).pixels(), ImageLoader::loadExact(location)}) {
        EXPECT_EQ(pixels(0, 0), (RGB{128 / 255.0f, 128 / 255.0f, 128 / 255.0f}));
        EXPECT_EQ(pixels(1, 0), (RGB{0, 0, 0}));
        EXPECT_EQ(pixels(2, 0), (RGB{10 / 255.0f, 20 / 255.0f, 30 / 255.0f}));
    }
}

TEST(ImageLoaderAlpha, HiddenColoursDoNotBleedWhenShrinking)
{
    // Left half transparent red, right half opaque blue.
    TemporaryFolder folder;
    const auto location = folder / "edge.png";
    fixtures::solid(64, 32, {255, 0, 0, 0})
        .insert(fixtures::solid(32, 32, {0, 0, 255, 255}), 32, 0)
        .pngsave(location.c_str());

    const PixelBuffer pixels = ImageLoader::load(location, 16).pixels();
    ASSERT_EQ(pixels.width(), 16);
    for (std::int64_t x = 0; x < 16; ++x) {
        const RGB p = pixels(x, 4);
        EXPECT_LT(p.r, 0.01f) << x;
        if (x >= 9)
            expectNear(p, {0, 0, 1}, 0.01f);
        if (x <= 2) {
            EXPECT_EQ(p, (RGB{0, 0, 0})) << x;
        }
    }
}

TEST(ImageLoaderColourSpaces, GreyBecomesRGBWithEqualChannels)
{
    TemporaryFolder folder;
    const auto grey8 = folder / "grey.png";
    const auto grey16 = folder / "grey16.png";
    const auto greyAlpha = folder / "grey-alpha.png";
    fixtures::solid(8, 8, {100}, VIPS_FORMAT_UCHAR, VIPS_INTERPRETATION_B_W).pngsave(grey8.c_str());
    fixtures::solid(8, 8, {40000}, VIPS_FORMAT_USHORT, VIPS_INTERPRETATION_GREY16)
        .pngsave(grey16.c_str());
    fixtures::solid(8, 8, {100, 0}, VIPS_FORMAT_UCHAR, VIPS_INTERPRETATION_B_W)
        .insert(fixtures::solid(4, 8, {60, 255}, VIPS_FORMAT_UCHAR, VIPS_INTERPRETATION_B_W), 4, 0)
        .pngsave(greyAlpha.c_str());

    const float g8 = 100 / 255.0f, g16 = 40000 / 65535.0f, g60 = 60 / 255.0f;
    EXPECT_EQ(ImageLoader::load(grey8, 1600).pixels()(3, 3), (RGB{g8, g8, g8}));
    EXPECT_EQ(ImageLoader::loadExact(grey8)(3, 3), (RGB{g8, g8, g8}));
    EXPECT_EQ(ImageLoader::load(grey16, 1600).pixels()(3, 3), (RGB{g16, g16, g16}));
    EXPECT_EQ(ImageLoader::loadExact(grey16)(3, 3), (RGB{g16, g16, g16}));
    const PixelBuffer withAlpha = ImageLoader::load(greyAlpha, 1600).pixels();
    EXPECT_EQ(withAlpha(1, 1), (RGB{0, 0, 0}));
    EXPECT_EQ(withAlpha(6, 1), (RGB{g60, g60, g60}));
}

// sRGB colours stored in a Display P3 file: a colour-managed load must give them back.
class ImageLoaderDisplayP3 : public ::testing::Test {
protected:
    static constexpr int patch = 16;
    const std::vector<std::vector<double>> patches{{255, 0, 0}, {150, 100, 60}, {40, 170, 220}};

    void SetUp() override
    {
        VImage srgb = fixtures::solid(patch * 3, patch, patches[0]);
        for (int i = 1; i < 3; ++i)
            srgb = srgb.insert(fixtures::solid(patch, patch, patches[i]), patch * i, 0);
        srgb.icc_transform(
                "p3",
                VImage::option()->set("input_profile", "srgb")->set("intent", VIPS_INTENT_RELATIVE))
            .jpegsave(location.c_str(), VImage::option()->set("Q", 100)->set(
                                            "subsample_mode", VIPS_FOREIGN_SUBSAMPLE_OFF));
    }

    TemporaryFolder folder;
    std::filesystem::path location = folder / "p3.jpg";
};

TEST_F(ImageLoaderDisplayP3, LoadConvertsToTheSRGBColoursAViewerShows)
{
    const PixelBuffer pixels = ImageLoader::load(location, 1600).pixels();
    for (int i = 0; i < 3; ++i) {
        const auto& p = patches[static_cast<std::size_t>(i)];
        expectNear(pixels(patch * i + patch / 2, patch / 2), bytes(p[0], p[1], p[2]),
                   4.0f / 255.0f);
    }
}

TEST_F(ImageLoaderDisplayP3, ExactLoadingKeepsTheStoredP3Values)
{
    // sRGB red is about (0.917, 0.200, 0.139) in Display P3.
    expectNear(ImageLoader::loadExact(location)(patch / 2, patch / 2), {0.917f, 0.200f, 0.139f},
               0.01f);
}

TEST(ImageLoaderColourSpaces, CmykJpegBecomesSRGB)
{
    const std::vector<double> colour{150, 100, 60};
    const VImage cmyk = fixtures::solid(32, 32, colour)
                            .icc_transform("cmyk", VImage::option()
                                                       ->set("input_profile", "srgb")
                                                       ->set("intent", VIPS_INTENT_RELATIVE));
    ASSERT_EQ(cmyk.interpretation(), VIPS_INTERPRETATION_CMYK);
    TemporaryFolder folder;
    const auto tagged = folder / "tagged-cmyk.jpg";
    const auto untagged = folder / "untagged-cmyk.jpg";
    cmyk.jpegsave(tagged.c_str(), VImage::option()->set("Q", 100));
    cmyk.jpegsave(untagged.c_str(), VImage::option()->set("Q", 100)->set("strip", true));

    for (const auto& location : {tagged, untagged}) {
        expectNear(ImageLoader::load(location, 1600).pixels()(16, 16),
                   bytes(colour[0], colour[1], colour[2]), 4.0f / 255.0f);
        expectNear(ImageLoader::loadExact(location)(16, 16), bytes(colour[0], colour[1], colour[2]),
                   4.0f / 255.0f);
    }
}

// ---- Unreadable files --------------------------------------------------------------------------

struct UnreadableCase {
    const char* name;
    std::function<void(const std::filesystem::path&)> make;
};

class ImageLoaderUnreadable : public ::testing::TestWithParam<UnreadableCase> {};

void expectUnreadable(const std::function<void()>& call, const std::filesystem::path& location,
                      const std::string& name)
{
    try {
        call();
        ADD_FAILURE() << "no error for " << name;
    } catch (const ImageLoaderError& error) {
        EXPECT_EQ(error.kind(), ImageLoaderError::Kind::unreadable);
        EXPECT_EQ(error.location(), location);
        EXPECT_STREQ(error.what(),
                     ("\u201C" + name + "\u201D could not be opened as an image.").c_str());
    }
}

TEST_P(ImageLoaderUnreadable, FailsWithTheFileNameInTheMessage)
{
    const UnreadableCase c = GetParam();
    TemporaryFolder folder;
    const auto location = folder / c.name;
    c.make(location);
    expectUnreadable([&] { ImageLoader::load(location, 1600); }, location, c.name);
    expectUnreadable([&] { ImageLoader::loadExact(location); }, location, c.name);
}

std::vector<unsigned char> text(const std::string& s) { return {s.begin(), s.end()}; }

std::vector<unsigned char> firstHalf(std::vector<unsigned char> bytes)
{
    bytes.resize(bytes.size() / 2);
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Files, ImageLoaderUnreadable,
    ::testing::Values(
        UnreadableCase{"notes.jpg",
                       [](const auto& at) {
                           fixtures::writeBytes(at, text("These are my notes, not a photo.\n"));
                       }},
        UnreadableCase{"empty.png", [](const auto& at) { fixtures::writeBytes(at, {}); }},
        UnreadableCase{"truncated.jpg",
                       [](const auto& at) {
                           fixtures::writeBytes(
                               at, firstHalf(fixtures::encode(noise(256, 256), ".jpg")));
                       }},
        UnreadableCase{"truncated.png",
                       [](const auto& at) {
                           fixtures::writeBytes(
                               at, firstHalf(fixtures::encode(noise(256, 256), ".png")));
                       }},
        UnreadableCase{"missing.jpg", [](const auto&) {}},
        UnreadableCase{"folder.jpg", [](const auto& at) { std::filesystem::create_directory(at); }},
        UnreadableCase{"huge.png",
                       [](const auto& at) {
                           fixtures::writeBytes(at, fixtures::pngClaiming(100'000, 100'000));
                       }},
        UnreadableCase{"matrix.png",
                       [](const auto& at) { fixtures::writeBytes(at, text("2 2\n1 2\n3 4\n")); }},
        UnreadableCase{"drawing.png",
                       [](const auto& at) {
                           fixtures::writeBytes(
                               at, text("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"8\" "
                                        "height=\"8\"><rect width=\"8\" height=\"8\"/></svg>"));
                       }}),
    [](const auto& info) {
        std::string name = info.param.name;
        std::replace(name.begin(), name.end(), '.', '_');
        return name;
    });

// ---- Extra channels ----------------------------------------------------------------------------

// TIFF stores any number of samples a pixel. Colours and one alpha channel are read; channels
// beyond those have no meaning the loader could keep, so such a file is refused, not cut down.
struct ChannelsCase {
    const char* name;
    int bands;
    VipsInterpretation interpretation;
    bool refused;
};

class ImageLoaderChannels : public ::testing::TestWithParam<ChannelsCase> {};

TEST_P(ImageLoaderChannels, ExtraChannelsAreRefusedWithASentence)
{
    const ChannelsCase& c = GetParam();
    TemporaryFolder folder;
    const auto location = folder / (std::string(c.name) + ".tif");
    const std::vector<double> values(static_cast<std::size_t>(c.bands), 200.0);
    fixtures::solid(24, 16, values, VIPS_FORMAT_UCHAR, c.interpretation)
        .write_to_file(location.c_str());
    ASSERT_EQ(VImage::new_from_file(location.c_str()).bands(), c.bands);
    const LUTStackGrader grader(LUTStack(LUT3D::identity(2)));
    const std::vector<std::function<void()>> readers = {
        [&] { ImageLoader::load(location, 1600); },
        [&] { ImageLoader::loadExact(location); },
        [&] { ImageLoader::loadFull(location); },
        [&] { ImageLoader::gradeFile(location, folder / "out.tif", ImageFileType::tiff, grader); },
    };
    const std::string sentence = "\u201C" + location.filename().string() + "\u201D has " +
                                 std::to_string(c.bands) +
                                 " channels, more than its colours and one alpha channel; save "
                                 "it without the extra channels to open it.";
    for (std::size_t reader = 0; reader < readers.size(); ++reader) {
        SCOPED_TRACE("reader " + std::to_string(reader));
        if (!c.refused) {
            EXPECT_NO_THROW(readers[reader]());
            continue;
        }
        try {
            readers[reader]();
            ADD_FAILURE() << "a file with extra channels was read";
        } catch (const ImageLoaderError& error) {
            EXPECT_EQ(error.kind(), ImageLoaderError::Kind::unreadable);
            EXPECT_EQ(error.what(), sentence);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Tiff, ImageLoaderChannels,
    ::testing::Values(ChannelsCase{"grey_alpha", 2, VIPS_INTERPRETATION_B_W, false},
                      ChannelsCase{"grey_extra", 3, VIPS_INTERPRETATION_B_W, true},
                      ChannelsCase{"rgba", 4, VIPS_INTERPRETATION_sRGB, false},
                      ChannelsCase{"rgba_extra", 5, VIPS_INTERPRETATION_sRGB, true},
                      ChannelsCase{"rgba_two_extra", 6, VIPS_INTERPRETATION_sRGB, true},
                      ChannelsCase{"cmyk_alpha", 5, VIPS_INTERPRETATION_CMYK, false},
                      ChannelsCase{"cmyk_extra", 6, VIPS_INTERPRETATION_CMYK, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ImageLoaderUnreadableSize, ExactLoadingRefusesImagesTooLargeToHold)
{
    TemporaryFolder folder;
    const auto location = folder / "large.png";
    fixtures::writeBytes(location, fixtures::pngClaiming(10'000, 10'000));
    ASSERT_GT(std::int64_t{10'000} * 10'000, ImageLoader::maxExactPixels);
    expectUnreadable([&] { ImageLoader::loadExact(location); }, location, "large.png");
}

// The header's size reaches the check before the size bound or any decoding; the claimed image
// has a few bytes of data only, so a decode would fail instead.
TEST(ImageLoaderShapeCheck, SeesTheStoredSizeBeforeAnyPixelIsDecoded)
{
    struct WrongShape {
        std::int64_t width;
        std::int64_t height;
    };
    const auto refuseAll = [](std::int64_t width, std::int64_t height) {
        throw WrongShape{width, height};
    };
    TemporaryFolder folder;
    for (const auto& [width, height] : {std::pair{8192u, 8192u}, std::pair{100'000u, 3u}}) {
        const auto location = folder / "claimed.png";
        fixtures::writeBytes(location, fixtures::pngClaiming(width, height));
        try {
            ImageLoader::loadExact(location, refuseAll);
            ADD_FAILURE() << "the shape check was not called";
        } catch (const WrongShape& refused) {
            EXPECT_EQ(refused.width, width);
            EXPECT_EQ(refused.height, height);
        }
        const auto acceptAll = [](std::int64_t, std::int64_t) {};
        EXPECT_THROW(ImageLoader::loadExact(location, acceptAll), ImageLoaderError);
    }
    const auto stored = folder / "stored.png";
    fixtures::writeBytes(stored, fixtures::encode(noise(24, 16), ".png"));
    std::vector<std::pair<std::int64_t, std::int64_t>> seen;
    const PixelBuffer checked = ImageLoader::loadExact(
        stored, [&](std::int64_t width, std::int64_t height) { seen.emplace_back(width, height); });
    EXPECT_EQ(seen, (std::vector<std::pair<std::int64_t, std::int64_t>>{{24, 16}}));
    EXPECT_EQ(checked, ImageLoader::loadExact(stored));
}

// ---- Writing -----------------------------------------------------------------------------------

PixelBuffer randomBuffer(std::int64_t width, std::int64_t height)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<float> range(-0.1f, 1.1f);
    std::vector<RGB> pixels(static_cast<std::size_t>(width * height));
    for (RGB& p : pixels)
        p = {range(random), range(random), range(random)};
    pixels[3] = {naN, 0.5f, 1.0f};
    return PixelBuffer(width, height, std::move(pixels));
}

// The message names the file and says why, in the file system's words.
void expectCannotWrite(const std::function<void()>& call, const std::filesystem::path& location,
                       const std::string& name, const std::string& why)
{
    try {
        call();
        ADD_FAILURE() << "no error writing " << location;
    } catch (const ImageLoaderError& error) {
        EXPECT_EQ(error.kind(), ImageLoaderError::Kind::cannotWrite);
        EXPECT_EQ(error.location(), location);
        const std::string message = error.what();
        EXPECT_EQ(message.rfind("\u201C" + name + "\u201D ", 0), 0u) << message;
        EXPECT_TRUE(message.ends_with(why)) << message;
    }
}

TEST(ImageLoaderWriting, SixteenBitPngReadsBackEverySampleOver65535)
{
    const PixelBuffer written = randomBuffer(97, 61);
    TemporaryFolder folder;
    const auto location = folder / "hald.png";
    ImageLoader::writePNG(written, location, true);

    const VImage header = VImage::new_from_file(location.c_str());
    EXPECT_EQ(header.bands(), 3);
    EXPECT_EQ(header.format(), VIPS_FORMAT_USHORT);
    const PixelBuffer read = ImageLoader::loadExact(location);
    ASSERT_EQ(read.width(), 97);
    ASSERT_EQ(read.height(), 61);
    for (std::size_t i = 0; i < read.pixels().size(); ++i) {
        const RGB& w = written.pixels()[i];
        const RGB expected{static_cast<float>(Packing::quantized(w.r, 65535.0f)) / 65535.0f,
                           static_cast<float>(Packing::quantized(w.g, 65535.0f)) / 65535.0f,
                           static_cast<float>(Packing::quantized(w.b, 65535.0f)) / 65535.0f};
        ASSERT_EQ(read.pixels()[i], expected) << i;
    }
}

TEST(ImageLoaderWriting, EightBitPngIsRGBWithoutAlpha)
{
    const PixelBuffer written = randomBuffer(33, 20);
    TemporaryFolder folder;
    const auto location = folder / "preview.png";
    ImageLoader::writePNG(written, location, false);

    const VImage header = VImage::new_from_file(location.c_str());
    EXPECT_EQ(header.bands(), 3);
    EXPECT_EQ(header.format(), VIPS_FORMAT_UCHAR);
    const PixelBuffer read = ImageLoader::loadExact(location);
    for (std::size_t i = 0; i < read.pixels().size(); ++i) {
        const RGB& w = written.pixels()[i];
        const RGB expected{static_cast<float>(Packing::quantized(w.r, 255.0f)) / 255.0f,
                           static_cast<float>(Packing::quantized(w.g, 255.0f)) / 255.0f,
                           static_cast<float>(Packing::quantized(w.b, 255.0f)) / 255.0f};
        ASSERT_EQ(read.pixels()[i], expected) << i;
    }
}

TEST(ImageLoaderWriting, TheFourthByteIsNotAlpha)
{
    const Image8 image(2, 1, {10, 20, 30, 0, 40, 50, 60, 7});
    TemporaryFolder folder;
    const auto location = folder / "rgbx.png";
    ImageLoader::writeImage(image, location, ImageFileType::png);
    const PixelBuffer read = ImageLoader::loadExact(location);
    EXPECT_EQ(read(0, 0), (RGB{10 / 255.0f, 20 / 255.0f, 30 / 255.0f}));
    EXPECT_EQ(read(1, 0), (RGB{40 / 255.0f, 50 / 255.0f, 60 / 255.0f}));
}

TEST(ImageLoaderWriting, ReplacesAnExistingFileAndLeavesNothingElse)
{
    TemporaryFolder folder;
    const auto location = folder / "out.png";
    fixtures::writeBytes(location, text("old contents"));
    ImageLoader::writePNG(PixelBuffer(4, 4, RGB{0.25f, 0.5f, 0.75f}), location, false);
    EXPECT_EQ(ImageLoader::loadExact(location)(3, 3), bytes(64, 128, 191));
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"out.png"});
}

TEST(ImageLoaderWriting, MissingFolderFailsWithTheFileName)
{
    TemporaryFolder folder;
    const auto location = folder / "no such folder" / "out.png";
    expectCannotWrite([&] { ImageLoader::writePNG(PixelBuffer(2, 2, RGB{}), location, true); },
                      location, "out.png", "no such folder\u201D: no such file or directory.");
    EXPECT_TRUE(folder.entries().empty());
}

TEST(ImageLoaderWriting, PathThroughARegularFileFails)
{
    TemporaryFolder folder;
    fixtures::writeBytes(folder / "plain.txt", text("x"));
    const auto location = folder / "plain.txt" / "out.png";
    expectCannotWrite([&] { ImageLoader::writePNG(PixelBuffer(2, 2, RGB{}), location, false); },
                      location, "out.png", "plain.txt\u201D: not a directory.");
}

TEST(ImageLoaderWriting, AFolderInTheWayIsLeftAlone)
{
    TemporaryFolder folder;
    const auto location = folder / "taken.png";
    std::filesystem::create_directory(location);
    fixtures::writeBytes(location / "inside.txt", text("keep"));
    expectCannotWrite([&] { ImageLoader::writePNG(PixelBuffer(2, 2, RGB{}), location, false); },
                      location, "taken.png", ": is a directory.");
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"taken.png"});
    EXPECT_EQ(fixtures::readBytes(location / "inside.txt"), text("keep"));
}

// A write that fails halfway (here: the file-size limit) keeps the old file and its contents.
TEST(ImageLoaderWriting, FailedWriteKeepsTheExistingFile)
{
    TemporaryFolder folder;
    const auto location = folder / "keep.png";
    fixtures::writeBytes(location, text("the user's file"));

    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 256;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool failed = false;
    try {
        ImageLoader::writePNG(randomBuffer(128, 128), location, true);
    } catch (const ImageLoaderError& error) {
        failed = error.kind() == ImageLoaderError::Kind::cannotWrite;
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_TRUE(failed);
    EXPECT_EQ(fixtures::readBytes(location), text("the user's file"));
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"keep.png"});
}

TEST(ImageLoaderWriting, ReadOnlyFolderFails)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "the superuser writes into read-only folders";
    TemporaryFolder folder;
    const auto locked = folder / "locked";
    std::filesystem::create_directory(locked);
    std::filesystem::permissions(locked, std::filesystem::perms::owner_read |
                                             std::filesystem::perms::owner_exec);
    const auto location = locked / "out.png";
    expectCannotWrite([&] { ImageLoader::writePNG(PixelBuffer(2, 2, RGB{}), location, false); },
                      location, "out.png", "locked\u201D: permission denied.");
    std::filesystem::permissions(locked, std::filesystem::perms::owner_all);
}

TEST(ImageLoaderWriting, FileTypesFollowTheExtensionInAnyCase)
{
    EXPECT_EQ(ImageLoader::fileType("a/b.PNG"), ImageFileType::png);
    EXPECT_EQ(ImageLoader::fileType("b.jpeg"), ImageFileType::jpeg);
    EXPECT_EQ(ImageLoader::fileType("b.JPG"), ImageFileType::jpeg);
    EXPECT_EQ(ImageLoader::fileType("b.tif"), ImageFileType::tiff);
    EXPECT_EQ(ImageLoader::fileType("b.tiff"), ImageFileType::tiff);
    EXPECT_EQ(ImageLoader::fileType("b.webp"), ImageFileType::webp);
    EXPECT_EQ(ImageLoader::fileType("b.gif"), std::nullopt);
    EXPECT_EQ(ImageLoader::fileType("png"), std::nullopt);
}

struct TaggedCase {
    const char* name;
    ImageFileType type;
    bool sixteenBit;
};

class ImageLoaderTaggedWriting : public ::testing::TestWithParam<TaggedCase> {};

// Every type carries the sRGB profile when asked; 16 bits survive only where the type holds them,
// and elsewhere are rounded rather than truncated.
TEST_P(ImageLoaderTaggedWriting, EmbedsSRGBAndKeepsTheDepthTheTypeHolds)
{
    const TaggedCase& c = GetParam();
    PixelBuffer pixels(16, 8, RGB{});
    for (std::int64_t y = 0; y < 8; ++y)
        for (std::int64_t x = 0; x < 16; ++x)
            pixels.set(x, y, {0.5f, static_cast<float>(x) / 15.0f, 0.25f});
    TemporaryFolder folder;
    const auto location = folder / c.name;
    ImageLoader::writeImage(Packing::makeImage16(pixels), location, c.type, ColourTag::sRGB);

    const VImage written = VImage::new_from_file(location.c_str());
    EXPECT_EQ(written.bands(), 3);
    EXPECT_NE(written.get_typeof(VIPS_META_ICC_NAME), 0u);
    EXPECT_EQ(written.format(), c.sixteenBit ? VIPS_FORMAT_USHORT : VIPS_FORMAT_UCHAR);
    EXPECT_EQ(ImageLoader::holdsSixteenBits(c.type), c.sixteenBit);
    const PixelBuffer read = ImageLoader::loadExact(location);
    EXPECT_NEAR(read(15, 4).g, 1.0f, 0.02f);
    EXPECT_NEAR(read(0, 4).r, 0.5f, 0.02f);
}

INSTANTIATE_TEST_SUITE_P(Types, ImageLoaderTaggedWriting,
                         ::testing::Values(TaggedCase{"a.png", ImageFileType::png, true},
                                           TaggedCase{"a.tif", ImageFileType::tiff, true},
                                           TaggedCase{"a.jpg", ImageFileType::jpeg, false},
                                           TaggedCase{"a.webp", ImageFileType::webp, false}),
                         [](const auto& info) { return std::string(info.param.name + 2); });

TEST(ImageLoaderWriting, UntaggedPngsStayWithoutAProfile)
{
    TemporaryFolder folder;
    const auto location = folder / "plain.png";
    ImageLoader::writePNG(PixelBuffer(4, 4, RGB{}), location, false);
    EXPECT_EQ(VImage::new_from_file(location.c_str()).get_typeof(VIPS_META_ICC_NAME), 0u);
}

}  // namespace
}  // namespace lumivert
