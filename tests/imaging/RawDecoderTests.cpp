#include "ImageFixtures.hpp"

#include "imaging/ImageLoader.hpp"
#include "imaging/vips/RawDecoder.hpp"

#include "support/ColorExpectations.hpp"
#include "support/DngWriter.hpp"
#include "support/ExternalTool.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>

namespace lumivert {
namespace {

using fixtures::DngScene;
using fixtures::TemporaryFolder;
using Colour = std::array<double, 3>;

// Quadrants in linear light: mid grey top left, a warm red top right, a leafy green bottom
// left, a sky blue bottom right. None clips after white balance.
const Colour grey{0.18, 0.18, 0.18}, red{0.55, 0.12, 0.06}, green{0.10, 0.35, 0.05},
    sky{0.12, 0.25, 0.60};
// A daylight camera: red and blue recorded weaker than green.
const Colour neutralBalance{0.47, 1.0, 0.71};
// 16-bit decoding and sRGB encoding agree to a level; demosaicking flat patches adds a little.
constexpr float rawTolerance = 2.5f / 255.0f;

Colour quadrant(int x, int y, int width, int height)
{
    const bool right = x >= width / 2, bottom = y >= height / 2;
    return bottom ? (right ? sky : green) : (right ? red : grey);
}

DngScene quadrantScene(DngScene::Layout layout, int width = 64, int height = 48)
{
    DngScene scene;
    scene.width = width;
    scene.height = height;
    scene.layout = layout;
    scene.colour = [width, height](int x, int y) { return quadrant(x, y, width, height); };
    scene.neutral = neutralBalance;
    // A 14-bit sensor with a black offset, as most cameras record.
    scene.blackLevel = 512;
    scene.whiteLevel = 16383;
    return scene;
}

RGB encoded(const Colour& linear)
{
    return {static_cast<float>(fixtures::srgbEncoded(linear[0])),
            static_cast<float>(fixtures::srgbEncoded(linear[1])),
            static_cast<float>(fixtures::srgbEncoded(linear[2]))};
}

// The centre of each quadrant shows its colour, sRGB-encoded.
void expectQuadrants(const PixelBuffer& pixels, const Colour& topLeft, const Colour& topRight,
                     const Colour& bottomLeft, const Colour& bottomRight)
{
    const std::int64_t w = pixels.width(), h = pixels.height();
    expectNear(pixels(w / 4, h / 4), encoded(topLeft), rawTolerance);
    expectNear(pixels(3 * w / 4, h / 4), encoded(topRight), rawTolerance);
    expectNear(pixels(w / 4, 3 * h / 4), encoded(bottomLeft), rawTolerance);
    expectNear(pixels(3 * w / 4, 3 * h / 4), encoded(bottomRight), rawTolerance);
}

void expectUnreadable(const std::function<void()>& call)
{
    try {
        call();
        ADD_FAILURE() << "the file was accepted";
    } catch (const ImageLoaderError& error) {
        EXPECT_EQ(error.kind(), ImageLoaderError::Kind::unreadable);
        EXPECT_EQ(std::string(error.what()).back(), '.');
    }
}

// ---- Colours after white balance and the camera matrix ----------------------------------------

class RawColours : public ::testing::TestWithParam<DngScene::Layout> {};

// libvips' TIFF reader used to return a DNG's mosaic: one dark channel per pixel, grey-green.
TEST_P(RawColours, EveryLoadPathGivesTheSceneNotTheMosaic)
{
    TemporaryFolder folder;
    const auto location = folder / "scene.DNG";
    fixtures::writeDng(location, quadrantScene(GetParam()));

    const LoadedImage preview = ImageLoader::load(location, 1600);
    EXPECT_EQ(preview.pixels().width(), 64);
    EXPECT_EQ(preview.pixels().height(), 48);
    EXPECT_EQ(preview.originalWidth(), 64);
    EXPECT_EQ(preview.originalHeight(), 48);
    expectQuadrants(preview.pixels(), grey, red, green, sky);

    const FullImage full = ImageLoader::loadFull(location);
    EXPECT_TRUE(full.sixteenBit);
    expectQuadrants(full.image.pixels(), grey, red, green, sky);
}

// Half-size decoding merges each 2 × 2 cell, so it keeps the colours at half the size.
TEST_P(RawColours, ShrinkOnLoadKeepsTheColours)
{
    TemporaryFolder folder;
    const auto location = folder / "scene.dng";
    fixtures::writeDng(location, quadrantScene(GetParam(), 128, 96));

    const std::optional<RawDecoder::Decoded> half =
        RawDecoder::decode(location, {ImageLoader::maxStoredPixels, 64});
    ASSERT_TRUE(half.has_value());
    EXPECT_EQ(half->halfSize, true);
    EXPECT_EQ(half->storedWidth, 128);
    const std::optional<RawDecoder::Decoded> whole =
        RawDecoder::decode(location, {ImageLoader::maxStoredPixels, 65});
    ASSERT_TRUE(whole.has_value());
    EXPECT_EQ(whole->halfSize, false);
    EXPECT_EQ(whole->image.width(), 128);

    const LoadedImage shrunk = ImageLoader::load(location, 40);
    EXPECT_EQ(shrunk.pixels().width(), 40);
    EXPECT_EQ(shrunk.pixels().height(), 30);
    EXPECT_EQ(shrunk.originalWidth(), 128);
    expectQuadrants(shrunk.pixels(), grey, red, green, sky);
}

INSTANTIATE_TEST_SUITE_P(Layouts, RawColours,
                         ::testing::Values(DngScene::Layout::bayer, DngScene::Layout::linear),
                         [](const auto& info) {
                             return info.param == DngScene::Layout::bayer ? "bayer" : "linear";
                         });

// ---- Orientation -------------------------------------------------------------------------------

struct OrientationCase {
    int orientation;
    int width;  // of the upright image
    Colour topLeft, topRight, bottomLeft, bottomRight;
};

class RawOrientation : public ::testing::TestWithParam<OrientationCase> {};

TEST_P(RawOrientation, TheFilesOrientationTurnsThePhotoUpright)
{
    const OrientationCase c = GetParam();
    TemporaryFolder folder;
    const auto location = folder / "turned.dng";
    DngScene scene = quadrantScene(DngScene::Layout::bayer);
    scene.orientation = c.orientation;
    fixtures::writeDng(location, scene);

    const LoadedImage loaded = ImageLoader::load(location, 1600);
    EXPECT_EQ(loaded.pixels().width(), c.width);
    EXPECT_EQ(loaded.originalWidth(), 64);
    expectQuadrants(loaded.pixels(), c.topLeft, c.topRight, c.bottomLeft, c.bottomRight);
}

INSTANTIATE_TEST_SUITE_P(Tags, RawOrientation,
                         ::testing::Values(OrientationCase{1, 64, grey, red, green, sky},
                                           OrientationCase{3, 64, sky, green, red, grey},
                                           OrientationCase{6, 48, green, grey, sky, red},
                                           OrientationCase{8, 48, red, sky, grey, green}),
                         [](const auto& info) {
                             return "tag" + std::to_string(info.param.orientation);
                         });

// ---- Refusals ----------------------------------------------------------------------------------

// Every cut of a DNG, from inside its header to inside its last row, is refused, never shown
// with made-up pixels.
TEST(RawRefusals, TruncatedFilesAreUnreadable)
{
    TemporaryFolder folder;
    const auto whole = folder / "whole.dng";
    fixtures::writeDng(whole, quadrantScene(DngScene::Layout::bayer));
    const std::vector<unsigned char> bytes = fixtures::readBytes(whole);
    for (const std::size_t kept : {std::size_t{8}, std::size_t{200}, bytes.size() / 2,
                                   bytes.size() - 64, bytes.size() - 1}) {
        SCOPED_TRACE(kept);
        const auto cut = folder / "cut.dng";
        fixtures::writeBytes(cut, {bytes.begin(), bytes.begin() + static_cast<long>(kept)});
        expectUnreadable([&] { ImageLoader::load(cut, 1600); });
        expectUnreadable([&] { ImageLoader::loadFull(cut); });
    }
}

// Damage anywhere in the file (header, tags or pixels) ends in a photo or in the loader's own
// error, never in a crash or another exception.
TEST(RawRefusals, DamagedBytesGiveAPhotoOrUnreadable)
{
    TemporaryFolder folder;
    const auto whole = folder / "whole.dng";
    fixtures::writeDng(whole, quadrantScene(DngScene::Layout::bayer, 32, 24));
    const std::vector<unsigned char> bytes = fixtures::readBytes(whole);
    std::mt19937 random(14);
    std::uniform_int_distribution<std::size_t> position(0, bytes.size() - 1);
    for (int variant = 0; variant < 40; ++variant) {
        std::vector<unsigned char> damaged = bytes;
        for (int hit = 0; hit < 1 + variant % 4; ++hit)
            damaged[position(random)] = static_cast<unsigned char>(random());
        const auto location = folder / "damaged.dng";
        fixtures::writeBytes(location, damaged);
        try {
            const LoadedImage loaded = ImageLoader::load(location, 16);
            EXPECT_LE(std::max(loaded.pixels().width(), loaded.pixels().height()), 16);
        } catch (const ImageLoaderError& error) {
            EXPECT_EQ(error.kind(), ImageLoaderError::Kind::unreadable) << variant;
        }
    }
}

TEST(RawRefusals, SensorsAboveThePixelBudgetAreRefusedBeforeDecoding)
{
    TemporaryFolder folder;
    const auto location = folder / "scene.dng";
    fixtures::writeDng(location, quadrantScene(DngScene::Layout::bayer));
    expectUnreadable([&] { RawDecoder::decode(location, {64 * 48 - 1, 64}); });
    EXPECT_TRUE(RawDecoder::decode(location, {64 * 48, 64}).has_value());
}

// HALD table data is never a RAW photo; the message says why rather than that it is no image.
TEST(RawRefusals, ExactLoadingRefusesRawPhotosWithASentence)
{
    TemporaryFolder folder;
    const auto location = folder / "table.dng";
    fixtures::writeDng(location, quadrantScene(DngScene::Layout::bayer));
    try {
        ImageLoader::loadExact(location);
        ADD_FAILURE() << "a RAW photo was read as table data";
    } catch (const ImageLoaderError& error) {
        EXPECT_EQ(error.kind(), ImageLoaderError::Kind::unreadable);
        EXPECT_STREQ(error.what(),
                     "\u201Ctable.dng\u201D is a camera RAW photo, which cannot hold table data.");
    }
}

// The content decides: a JPEG saved under a RAW name is still a JPEG, while a TIFF that LibRaw
// does not take as RAW is never shown as one.
TEST(RawRefusals, MisnamedFilesAreJudgedByTheirContent)
{
    TemporaryFolder folder;
    const auto jpeg = folder / "photo.nef";
    fixtures::writeBytes(jpeg, fixtures::encode(fixtures::solid(32, 24, {200, 60, 30}), ".jpg"));
    EXPECT_FALSE(RawDecoder::identifies(jpeg));
    const LoadedImage loaded = ImageLoader::load(jpeg, 1600);
    EXPECT_EQ(loaded.pixels().width(), 32);
    expectNear(loaded.pixels()(16, 12), {200 / 255.0f, 60 / 255.0f, 30 / 255.0f}, 0.03f);

    const auto tiff = folder / "plain.dng";
    fixtures::writeBytes(tiff, fixtures::encode(fixtures::solid(32, 24, {200, 60, 30}), ".tif"));
    expectUnreadable([&] { ImageLoader::load(tiff, 1600); });
}

// ---- Phone photos (HEIF/AVIF) from another encoder ----------------------------------------------

class PhonePhotos : public ::testing::TestWithParam<const char*> {};

// ImageMagick's encoder stands for a phone's: a portrait photo keeps its size and colours.
TEST_P(PhonePhotos, LoadWithTheirSizeAndColours)
{
    if (!fixtures::findOnPath("convert"))
        GTEST_SKIP() << fixtures::missingTool("convert", "imagemagick");
    TemporaryFolder folder;
    const auto source = folder / "source.png";
    const vips::VImage portrait = fixtures::solid(48, 64, {200, 60, 30})
                                      .insert(fixtures::solid(48, 32, {40, 90, 200}), 0, 32);
    fixtures::writeBytes(source, fixtures::encode(portrait, ".png"));
    const auto photo = folder / (std::string("phone") + GetParam());
    const std::string command =
        "convert '" + source.string() + "' -quality 90 '" + photo.string() + "' 2>/dev/null";
    if (std::system(command.c_str()) != 0 || !std::filesystem::exists(photo))
        GTEST_SKIP() << "ImageMagick here cannot write " << GetParam();

    const LoadedImage loaded = ImageLoader::load(photo, 1600);
    EXPECT_EQ(loaded.pixels().width(), 48);
    EXPECT_EQ(loaded.pixels().height(), 64);
    expectNear(loaded.pixels()(24, 12), {200 / 255.0f, 60 / 255.0f, 30 / 255.0f}, 0.05f);
    expectNear(loaded.pixels()(24, 52), {40 / 255.0f, 90 / 255.0f, 200 / 255.0f}, 0.05f);
}

INSTANTIATE_TEST_SUITE_P(Suffixes, PhonePhotos, ::testing::Values(".heic", ".avif"),
                         [](const auto& info) { return std::string(info.param + 1); });

}  // namespace
}  // namespace lumivert
