#include "color/ColorTransform.hpp"
#include "color/PixelBuffer.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <numeric>

namespace lumivert {
namespace {

// Pixel i holds (i, 10 i, 100 i) so a sample's indices can be read back.
PixelBuffer numbered(std::int64_t width, std::int64_t height)
{
    std::vector<RGB> pixels;
    for (std::int64_t i = 0; i < width * height; ++i) {
        const auto f = static_cast<float>(i);
        pixels.push_back({f, 10 * f, 100 * f});
    }
    return PixelBuffer(width, height, std::move(pixels));
}

class Doubling final : public ColorTransform {
public:
    RGB apply(const RGB& c) const override { return c * 2.0f; }
};

TEST(PixelBufferLayout, RowMajorAddressing)
{
    PixelBuffer buffer = numbered(3, 2);
    EXPECT_EQ(buffer(0, 0).r, 0.0f);
    EXPECT_EQ(buffer(2, 0).r, 2.0f);
    EXPECT_EQ(buffer(0, 1).r, 3.0f);
    EXPECT_EQ(buffer(2, 1).r, 5.0f);
    buffer.set(1, 1, {7, 8, 9});
    EXPECT_EQ(buffer.pixels()[4], (RGB{7, 8, 9}));
}

TEST(PixelBufferLayout, FillSetsEveryPixel)
{
    const PixelBuffer buffer(4, 3, RGB{0.1f, 0.2f, 0.3f});
    EXPECT_EQ(buffer.pixels().size(), 12u);
    for (const RGB& p : buffer.pixels())
        EXPECT_EQ(p, (RGB{0.1f, 0.2f, 0.3f}));
}

TEST(PixelBufferValueSemantics, CopiesShareStorageUntilWritten)
{
    const PixelBuffer original = numbered(1600, 1067);
    PixelBuffer copy = original;
    EXPECT_TRUE(copy.sharesStorageWith(original));
    EXPECT_EQ(copy.pixels().data(), original.pixels().data());

    copy.set(0, 0, {-1, -1, -1});
    EXPECT_FALSE(copy.sharesStorageWith(original));
    EXPECT_EQ(original(0, 0), (RGB{0, 0, 0}));
    EXPECT_EQ(copy(0, 0), (RGB{-1, -1, -1}));
    EXPECT_NE(copy, original);
}

TEST(PixelBufferValueSemantics, SoleOwnerWritesInPlace)
{
    PixelBuffer buffer = numbered(4, 4);
    const RGB* before = buffer.pixels().data();
    buffer.mutablePixels()[3] = {1, 1, 1};
    EXPECT_EQ(buffer.pixels().data(), before);
}

TEST(PixelBufferValueSemantics, EqualityComparesSizeAndPixels)
{
    EXPECT_EQ(numbered(3, 2), numbered(3, 2));
    EXPECT_NE(numbered(3, 2), numbered(2, 3));
    PixelBuffer changed = numbered(3, 2);
    changed.set(2, 1, {0, 0, 0});
    EXPECT_NE(changed, numbered(3, 2));
}

TEST(PixelBufferSamples, StridedIndicesTruncate)
{
    const PixelBuffer buffer = numbered(10, 1);
    const std::vector<RGB> sample = buffer.samples(4);
    ASSERT_EQ(sample.size(), 4u);
    EXPECT_EQ(sample[0].r, 0.0f);
    EXPECT_EQ(sample[1].r, 2.0f);
    EXPECT_EQ(sample[2].r, 5.0f);
    EXPECT_EQ(sample[3].r, 7.0f);
}

TEST(PixelBufferSamples, WholeBufferOrEmpty)
{
    const PixelBuffer buffer = numbered(5, 2);
    EXPECT_EQ(buffer.samples(10), buffer.pixels());
    EXPECT_EQ(buffer.samples(1000), buffer.pixels());
    EXPECT_TRUE(buffer.samples(0).empty());
}

TEST(PixelBufferSamples, ExactCountInIncreasingOrderAndRepeatable)
{
    const PixelBuffer buffer = numbered(1000, 700);
    const std::vector<RGB> sample = buffer.samples(250000);
    ASSERT_EQ(sample.size(), 250000u);
    for (std::size_t i = 1; i < sample.size(); ++i)
        ASSERT_LT(sample[i - 1].r, sample[i].r);
    EXPECT_EQ(sample, buffer.samples(250000));
}

TEST(PixelBufferResize, UpscaleClampsToEdgePixels)
{
    const RGB a{0, 0, 0};
    const RGB b{1, 2, 4};
    const PixelBuffer buffer(2, 1, std::vector<RGB>{a, b});
    const PixelBuffer wide = buffer.resized(4, 1);
    ASSERT_EQ(wide.width(), 4);
    EXPECT_EQ(wide(0, 0), a);
    EXPECT_EQ(wide(1, 0), (RGB{0.25f, 0.5f, 1.0f}));
    EXPECT_EQ(wide(2, 0), (RGB{0.75f, 1.5f, 3.0f}));
    EXPECT_EQ(wide(3, 0), b);
}

TEST(PixelBufferResize, HalvingAveragesPairs)
{
    const PixelBuffer buffer(4, 1, std::vector<RGB>{{0, 0, 0}, {1, 1, 1}, {2, 4, 6}, {4, 8, 10}});
    const PixelBuffer half = buffer.resized(2, 1);
    EXPECT_EQ(half(0, 0), (RGB{0.5f, 0.5f, 0.5f}));
    EXPECT_EQ(half(1, 0), (RGB{3.0f, 6.0f, 8.0f}));
}

TEST(PixelBufferResize, VerticalAndTwoDimensional)
{
    const PixelBuffer buffer(2, 2, std::vector<RGB>{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}});
    const PixelBuffer one = buffer.resized(1, 1);
    EXPECT_EQ(one(0, 0), (RGB{0.5f, 0.5f, 0.0f}));
    const PixelBuffer tall = buffer.resized(2, 4);
    EXPECT_EQ(tall(0, 1), (RGB{0.0f, 0.25f, 0.0f}));
}

TEST(PixelBufferResize, SameSizeReturnsSameBuffer)
{
    const PixelBuffer buffer = numbered(7, 5);
    const PixelBuffer same = buffer.resized(7, 5);
    EXPECT_EQ(same, buffer);
    EXPECT_TRUE(same.sharesStorageWith(buffer));
}

TEST(PixelBufferApplying, MapsEveryPixelInOrder)
{
    const PixelBuffer buffer = numbered(3, 3);
    EXPECT_EQ(buffer.applying(IdentityTransform()), buffer);
    const PixelBuffer doubled = buffer.applying(Doubling());
    EXPECT_EQ(doubled.width(), 3);
    EXPECT_EQ(doubled(2, 2), (RGB{16, 160, 1600}));
}

TEST(PixelBufferDeathTest, BrokenInvariantsStop)
{
    EXPECT_DEATH(PixelBuffer(2, 2, std::vector<RGB>(3)), "width × height");
    EXPECT_DEATH(PixelBuffer(0, 2, std::vector<RGB>{}), "positive size");
    EXPECT_DEATH(PixelBuffer(2, 0, RGB{}), "positive size");
    EXPECT_DEATH(PixelBuffer(-1, -1, std::vector<RGB>(1)), "positive size");
    const std::int64_t huge = std::numeric_limits<std::int64_t>::max() / 2;
    EXPECT_DEATH(PixelBuffer(huge, 3, std::vector<RGB>(1)), "overflow");
}

TEST(PixelBufferDeathTest, OutOfRangeAccessStops)
{
    PixelBuffer buffer = numbered(3, 2);
    EXPECT_DEATH(buffer(3, 0), "outside");
    EXPECT_DEATH(buffer(0, 2), "outside");
    EXPECT_DEATH(buffer(-1, 0), "outside");
    EXPECT_DEATH(buffer.set(0, -1, {}), "outside");
    EXPECT_DEATH(buffer.samples(-1), "negative");
    EXPECT_DEATH(buffer.resized(0, 4), "positive size");
}

}  // namespace
}  // namespace lumivert
