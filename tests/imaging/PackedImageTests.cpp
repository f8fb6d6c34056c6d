#include "imaging/PackedImage.hpp"

#include <gtest/gtest.h>

#include <numeric>

namespace lumivert {
namespace {

template <typename Image> Image numbered(std::int64_t width, std::int64_t height)
{
    std::vector<typename Image::SampleType> samples(
        static_cast<std::size_t>(width * height * Image::channels));
    std::iota(samples.begin(), samples.end(), typename Image::SampleType{0});
    return Image(width, height, std::move(samples));
}

TEST(PackedImageLayout, RowMajorInterleavedSamples)
{
    const Image8 rgbx = numbered<Image8>(3, 2);
    EXPECT_EQ(rgbx.sample(0, 0, 0), 0);
    EXPECT_EQ(rgbx.sample(0, 0, 3), 3);
    EXPECT_EQ(rgbx.sample(2, 0, 1), 9);
    EXPECT_EQ(rgbx.sample(0, 1, 0), 12);
    EXPECT_EQ(rgbx.sample(2, 1, 3), 23);
    EXPECT_EQ(rgbx.bytesPerRow(), 12);

    const Image16 rgb = numbered<Image16>(3, 2);
    EXPECT_EQ(rgb.sample(1, 1, 2), 14);
    EXPECT_EQ(rgb.bytesPerRow(), 18);
}

TEST(PackedImageValue, CopiesShareSamplesAndCompareByContent)
{
    const Image8 image = numbered<Image8>(4, 4);
    const Image8 copy = image;
    EXPECT_TRUE(copy.sharesStorageWith(image));
    EXPECT_EQ(copy.data(), image.data());

    const Image8 same = numbered<Image8>(4, 4);
    EXPECT_FALSE(same.sharesStorageWith(image));
    EXPECT_EQ(same, image);
    EXPECT_NE(numbered<Image8>(8, 2), image);
    std::vector<std::uint8_t> changed(image.samples().begin(), image.samples().end());
    changed[5] = 0;
    EXPECT_NE(Image8(4, 4, changed), image);
}

TEST(PackedImageDeathTest, SizesAndIndicesAreChecked)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(Image8(0, 1, std::vector<std::uint8_t>{}), "positive size");
    EXPECT_DEATH(Image8(1, 1, std::unique_ptr<std::uint8_t[]>()), "its samples");
    EXPECT_DEATH(Image8(2, 1, std::vector<std::uint8_t>(7)), "width × height × channels");
    EXPECT_DEATH(Image16(2, 1, std::vector<std::uint16_t>(8)), "width × height × channels");
    const Image16 image = numbered<Image16>(2, 2);
    EXPECT_DEATH(image.sample(2, 0, 0), "outside");
    EXPECT_DEATH(image.sample(0, -1, 0), "outside");
    EXPECT_DEATH(image.sample(0, 0, 3), "outside");
}

}  // namespace
}  // namespace lumivert
