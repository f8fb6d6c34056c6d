#include "imaging/Packing.hpp"

#include <gtest/gtest.h>

#include <limits>

namespace lumivert {
namespace {

constexpr float naN = std::numeric_limits<float>::quiet_NaN();
constexpr float infinity = std::numeric_limits<float>::infinity();

struct QuantizationCase {
    float value;
    int eightBit;
    int sixteenBit;
};

class PackingQuantization : public ::testing::TestWithParam<QuantizationCase> {};

TEST_P(PackingQuantization, RoundsHalfAwayFromZeroAfterClamping)
{
    const QuantizationCase c = GetParam();
    EXPECT_EQ(Packing::quantized(c.value, 255.0f), c.eightBit);
    EXPECT_EQ(Packing::quantized(c.value, 65535.0f), c.sixteenBit);
}

INSTANTIATE_TEST_SUITE_P(
    Values, PackingQuantization,
    ::testing::Values(QuantizationCase{0.5f, 128, 32768}, QuantizationCase{-0.2f, 0, 0},
                      QuantizationCase{1.7f, 255, 65535}, QuantizationCase{0.0f, 0, 0},
                      QuantizationCase{1.0f, 255, 65535}, QuantizationCase{naN, 0, 0},
                      QuantizationCase{infinity, 255, 65535}, QuantizationCase{-infinity, 0, 0},
                      QuantizationCase{0.1f, 26, 6554}, QuantizationCase{1e-9f, 0, 0}));

TEST(PackingQuantizationLevels, EveryLevelComesBackFromItsFloat)
{
    for (int level = 0; level <= 255; ++level)
        ASSERT_EQ(Packing::quantized(static_cast<float>(level) / 255.0f, 255.0f), level);
    for (int level = 0; level <= 65535; ++level)
        ASSERT_EQ(Packing::quantized(static_cast<float>(level) / 65535.0f, 65535.0f), level);
}

TEST(PackingMakeImage, EightBitIsRGBXWithTheFourthByteAt255)
{
    const PixelBuffer pixels(2, 1, {{0.5f, -0.2f, 1.7f}, {naN, 1.0f, 0.1f}});
    const Image8 image = Packing::makeImage8(pixels);
    EXPECT_EQ(image.width(), 2);
    EXPECT_EQ(image.height(), 1);
    const std::vector<std::uint8_t> expected{128, 0, 255, 255, 0, 255, 26, 255};
    EXPECT_EQ(std::vector<std::uint8_t>(image.samples().begin(), image.samples().end()), expected);
}

TEST(PackingMakeImage, SixteenBitIsThreeSamplesPerPixel)
{
    const PixelBuffer pixels(1, 2, {{0.5f, -0.2f, 1.7f}, {naN, 1.0f, 0.1f}});
    const Image16 image = Packing::makeImage16(pixels);
    const std::vector<std::uint16_t> expected{32768, 0, 65535, 0, 65535, 6554};
    EXPECT_EQ(std::vector<std::uint16_t>(image.samples().begin(), image.samples().end()), expected);
}

}  // namespace
}  // namespace lumivert
