#include "imaging/LoadedImage.hpp"
#include "imaging/Packing.hpp"

#include <gtest/gtest.h>

namespace lumivert {
namespace {

TEST(LoadedImageInMemory, DisplayImageAndSizeComeFromThePixels)
{
    std::vector<RGB> colours;
    for (int i = 0; i < 12; ++i)
        colours.push_back(
            {static_cast<float>(i) / 11.0f, 0.5f, 1.0f - static_cast<float>(i) / 11.0f});
    const PixelBuffer pixels(4, 3, colours);
    const LoadedImage chart("Test chart", pixels);
    EXPECT_EQ(chart.name(), "Test chart");
    EXPECT_FALSE(chart.url().has_value());
    EXPECT_TRUE(chart.pixels().sharesStorageWith(pixels));
    EXPECT_EQ(chart.image(), Packing::makeImage8(pixels));
    EXPECT_EQ(chart.originalWidth(), 4);
    EXPECT_EQ(chart.originalHeight(), 3);
}

TEST(LoadedImageDeathTest, DisplayImageMustMatchThePixels)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const PixelBuffer pixels(4, 3, RGB{});
    const Image8 other = Packing::makeImage8(PixelBuffer(3, 4, RGB{}));
    EXPECT_DEATH(LoadedImage(std::nullopt, "x", other, pixels, 4, 3), "size of the pixels");
}

}  // namespace
}  // namespace lumivert
