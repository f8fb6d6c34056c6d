#include "imaging/Packing.hpp"
#include "imaging/PreviewRenderer.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace lumivert {
namespace {

using Kernel = PreviewRenderer::Kernel;

constexpr int kEveryColourSide = 4096;  // 4096² pixels hold all 256³ colours

// What the renderer must return for one pixel: the table's lookup of byte / 255, quantised.
std::array<std::uint8_t, 3> reference(const LUT3D& lut, std::uint8_t r, std::uint8_t g,
                                      std::uint8_t b)
{
    const RGB v = lut.sample({static_cast<float>(r) / 255.0f, static_cast<float>(g) / 255.0f,
                              static_cast<float>(b) / 255.0f});
    return {static_cast<std::uint8_t>(Packing::quantized(v.r, 255.0f)),
            static_cast<std::uint8_t>(Packing::quantized(v.g, 255.0f)),
            static_cast<std::uint8_t>(Packing::quantized(v.b, 255.0f))};
}

// A curved grade with cross-channel terms, so that every interpolation weight matters.
LUT3D graded(std::int64_t size)
{
    return LUT3D::build(size, [](const RGB& c) {
        return RGB{0.9f * c.r * c.r + 0.08f * c.b + 0.02f, 0.8f * std::sqrt(c.g) + 0.15f * c.r,
                   1.0f - 0.7f * c.b + 0.25f * c.g * c.r};
    });
}

Image8 randomImage(std::int64_t width, std::int64_t height, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<std::uint8_t> samples(static_cast<std::size_t>(width * height * 4));
    for (auto& s : samples)
        s = static_cast<std::uint8_t>(random() & 0xFF);
    return Image8(width, height, std::move(samples));
}

// Pixel i holds (i mod 256, i / 256 mod 256, i / 65536); the fourth byte is 0.
Image8 everyColour()
{
    std::vector<std::uint8_t> samples(std::size_t{kEveryColourSide} * kEveryColourSide * 4);
    for (std::size_t i = 0; i < samples.size() / 4; ++i) {
        samples[4 * i] = static_cast<std::uint8_t>(i);
        samples[4 * i + 1] = static_cast<std::uint8_t>(i >> 8);
        samples[4 * i + 2] = static_cast<std::uint8_t>(i >> 16);
    }
    return Image8(kEveryColourSide, kEveryColourSide, std::move(samples));
}

// Number of pixels whose colour differs from the reference or whose fourth byte is not 255.
std::int64_t mismatches(const Image8& input, const Image8& output, const LUT3D& lut)
{
    EXPECT_EQ(output.width(), input.width());
    EXPECT_EQ(output.height(), input.height());
    const auto in = input.samples();
    const auto out = output.samples();
    std::int64_t count = 0;
    for (std::size_t i = 0; i < in.size(); i += 4) {
        const auto want = reference(lut, in[i], in[i + 1], in[i + 2]);
        if (out[i] != want[0] || out[i + 1] != want[1] || out[i + 2] != want[2] ||
            out[i + 3] != 255)
            ++count;
    }
    return count;
}

class PreviewRendererKernels : public ::testing::TestWithParam<Kernel> {
protected:
    PreviewRenderer renderer{GetParam()};
};

TEST_P(PreviewRendererKernels, EveryInputColourMatchesSampleThenQuantisation)
{
    const LUT3D lut = graded(17);
    const Image8 input = everyColour();
    EXPECT_EQ(mismatches(input, renderer.render(input, lut), lut), 0);
}

TEST_P(PreviewRendererKernels, PreviewTableOnOddSizedImages)
{
    const LUT3D lut = graded(33);
    for (const auto& [width, height] : {std::pair{1, 1}, {3, 1}, {7, 5}, {1601, 3}, {97, 89}}) {
        const Image8 input = randomImage(width, height, static_cast<unsigned>(width * height));
        EXPECT_EQ(mismatches(input, renderer.render(input, lut), lut), 0) << width << "×" << height;
    }
}

TEST_P(PreviewRendererKernels, OutOfRangeAndNaNEntriesClampLikeTheReference)
{
    std::mt19937 random(3);
    std::uniform_real_distribution<float> range(-0.5f, 1.5f);
    std::vector<RGB> values(5 * 5 * 5);
    for (RGB& v : values)
        v = {range(random), range(random), range(random)};
    values[0].g = std::numeric_limits<float>::quiet_NaN();
    values[62].r = std::numeric_limits<float>::infinity();
    values[124].b = -std::numeric_limits<float>::infinity();
    const LUT3D lut(5, std::move(values));
    const Image8 input = randomImage(211, 97, 11);
    EXPECT_EQ(mismatches(input, renderer.render(input, lut), lut), 0);
    const Image8 black = renderer.render(Image8(1, 1, {0, 0, 0, 0}), lut);
    EXPECT_EQ(black.sample(0, 0, 1), 0);  // NaN gives 0
}

TEST_P(PreviewRendererKernels, IdentityTablesReturnTheInput)
{
    std::vector<std::uint8_t> samples;
    for (int level = 0; level < 256; ++level) {
        for (int s : {level, 255 - level, (level * 7) % 256, 255})
            samples.push_back(static_cast<std::uint8_t>(s));
    }
    const Image8 input(64, 4, samples);
    for (std::int64_t size : {2, 17, 33, 65})
        EXPECT_EQ(renderer.render(input, LUT3D::identity(size)), input) << size;
}

TEST_P(PreviewRendererKernels, TwoPointTableBlendsItsEightCorners)
{
    const LUT3D lut(2, {{0.1f, 0.9f, 0.2f},
                        {0.8f, 0.1f, 0.3f},
                        {0.3f, 0.3f, 0.9f},
                        {1.0f, 1.0f, 0.0f},
                        {0.0f, 0.5f, 0.5f},
                        {0.6f, 0.2f, 1.0f},
                        {0.2f, 0.7f, 0.4f},
                        {0.9f, 0.9f, 0.9f}});
    const Image8 input = randomImage(40, 40, 5);
    const Image8 output = renderer.render(input, lut);
    for (std::int64_t y = 0; y < 40; ++y) {
        for (std::int64_t x = 0; x < 40; ++x) {
            const double r = input.sample(x, y, 0) / 255.0, g = input.sample(x, y, 1) / 255.0,
                         b = input.sample(x, y, 2) / 255.0;
            for (int c = 0; c < 3; ++c) {
                const auto at = [&](int i, int j, int k) {
                    const RGB& e = lut(i, j, k);
                    return static_cast<double>(c == 0 ? e.r : c == 1 ? e.g : e.b);
                };
                double blend = 0;
                for (int k = 0; k < 2; ++k)
                    for (int j = 0; j < 2; ++j)
                        for (int i = 0; i < 2; ++i)
                            blend +=
                                (i ? r : 1 - r) * (j ? g : 1 - g) * (k ? b : 1 - b) * at(i, j, k);
                EXPECT_NEAR(output.sample(x, y, c), blend * 255.0, 0.5 + 1e-3);
            }
        }
    }
}

TEST_P(PreviewRendererKernels, ConstantRedTableTurnsTheWholeImageRed)
{
    const LUT3D red = LUT3D::build(9, [](const RGB&) { return RGB{1, 0, 0}; });
    const Image8 output = renderer.render(randomImage(13, 9, 1), red);
    EXPECT_EQ(output.width(), 13);
    EXPECT_EQ(output.height(), 9);
    std::vector<std::uint8_t> expected;
    for (int i = 0; i < 13 * 9; ++i)
        expected.insert(expected.end(), {255, 0, 0, 255});
    EXPECT_EQ(output, Image8(13, 9, expected));
}

INSTANTIATE_TEST_SUITE_P(Kernels, PreviewRendererKernels,
                         ::testing::Values(Kernel::automatic, Kernel::portable),
                         [](const auto& info) {
                             return info.param == Kernel::automatic ? "Automatic" : "Portable";
                         });

}  // namespace
}  // namespace lumivert
