#include "lut/HaldCLUT.hpp"

#include <gtest/gtest.h>

namespace lumivert {
namespace {

TEST(HaldLevel, RecognisesTheFifteenCubes)
{
    EXPECT_EQ(HaldCLUT::level(512, 512), 8);
    EXPECT_EQ(HaldCLUT::level(1728, 1728), 12);
    EXPECT_EQ(HaldCLUT::level(8, 8), 2);
    EXPECT_EQ(HaldCLUT::level(27, 27), 3);
    EXPECT_EQ(HaldCLUT::level(4096, 4096), 16);
    EXPECT_EQ(HaldCLUT::defaultLevel, 8);
}

TEST(HaldLevel, RefusesOtherShapes)
{
    EXPECT_FALSE(HaldCLUT::level(512, 511));
    EXPECT_FALSE(HaldCLUT::level(500, 500));
    EXPECT_FALSE(HaldCLUT::level(1, 1));
    EXPECT_FALSE(HaldCLUT::level(32768, 32768));
    EXPECT_FALSE(HaldCLUT::level(4913, 4913));  // level 17 is out of range
    EXPECT_FALSE(HaldCLUT::level(64, 4096));    // right pixel count, not square
    EXPECT_FALSE(HaldCLUT::level(0, 0));
}

TEST(HaldIdentity, LevelTwoLayout)
{
    const PixelBuffer image = HaldCLUT::identity(2);
    ASSERT_EQ(image.width(), 8);
    ASSERT_EQ(image.height(), 8);
    const float third = 1.0f / 3.0f;
    const float twoThirds = 2.0f / 3.0f;
    const std::vector<RGB> firstRow = {
        {0, 0, 0},     {third, 0, 0},     {twoThirds, 0, 0},     {1, 0, 0},
        {0, third, 0}, {third, third, 0}, {twoThirds, third, 0}, {1, third, 0}};
    for (std::int64_t x = 0; x < 8; ++x)
        EXPECT_EQ(image(x, 0), firstRow[static_cast<std::size_t>(x)]) << x;
    EXPECT_EQ(image(7, 7), (RGB{1, 1, 1}));
}

TEST(HaldConversion, IdentityRoundTripsAtLevelEight)
{
    const PixelBuffer image = HaldCLUT::identity(8);
    const LUT3D lut = HaldCLUT::lut(image);
    EXPECT_EQ(lut, LUT3D::identity(64));
    EXPECT_EQ(HaldCLUT::image(lut, 8), image);
}

TEST(HaldConversion, TableIsResampledToTheLevel)
{
    const PixelBuffer image = HaldCLUT::image(LUT3D::identity(33), 8);
    EXPECT_EQ(image.width(), 512);
    EXPECT_EQ(image.height(), 512);
    EXPECT_LT(HaldCLUT::lut(image).maxDeviationFromIdentity(), 1e-6f);
}

TEST(HaldConversion, PixelsBecomeEntriesUnchanged)
{
    PixelBuffer image = HaldCLUT::identity(3);
    image.set(5, 1, {1.5f, -0.25f, 0.5f});  // out-of-range values are kept, not clamped
    const LUT3D lut = HaldCLUT::lut(image);
    EXPECT_EQ(lut.size(), 9);
    EXPECT_EQ(lut.values()[27 + 5], (RGB{1.5f, -0.25f, 0.5f}));
}

TEST(HaldConversion, NonHaldImageThrowsWithItsSize)
{
    const PixelBuffer photo(1000, 800, RGB{0.5f, 0.5f, 0.5f});
    try {
        HaldCLUT::lut(photo);
        FAIL() << "a 1000 × 800 image was accepted";
    } catch (const HaldError& error) {
        EXPECT_EQ(error.width(), 1000);
        EXPECT_EQ(error.height(), 800);
        EXPECT_STREQ(error.what(),
                     "This 1000 × 800 image is not a HALD CLUT. HALD images are square with a "
                     "side of level³ pixels, such as 512 × 512 (level 8) or 1728 × 1728 "
                     "(level 12).");
    }
    EXPECT_THROW(HaldCLUT::lut(PixelBuffer(500, 500, RGB{})), HaldError);
}

TEST(HaldDeathTest, LevelOutsideTheRangeStops)
{
    EXPECT_DEATH(HaldCLUT::identity(1), "between 2 and 16");
    EXPECT_DEATH(HaldCLUT::image(LUT3D::identity(2), 17), "between 2 and 16");
}

}  // namespace
}  // namespace lumivert
