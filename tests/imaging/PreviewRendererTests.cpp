#include "imaging/Packing.hpp"
#include "imaging/PreviewRenderer.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <type_traits>

namespace lumivert {
namespace {

using Kernel = PreviewRenderer::Kernel;

constexpr int everyColourSide = 4096;  // 4096² pixels hold all 256³ colours

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
    std::vector<std::uint8_t> samples(std::size_t{everyColourSide} * everyColourSide * 4);
    for (std::size_t i = 0; i < samples.size() / 4; ++i) {
        samples[4 * i] = static_cast<std::uint8_t>(i);
        samples[4 * i + 1] = static_cast<std::uint8_t>(i >> 8);
        samples[4 * i + 2] = static_cast<std::uint8_t>(i >> 16);
    }
    return Image8(everyColourSide, everyColourSide, std::move(samples));
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

// A table of random entries, a few beyond 0 … 1, so that every weight and the clamping matter.
LUT3D randomTable(std::mt19937& random)
{
    const std::int64_t size = std::uniform_int_distribution<std::int64_t>(2, 17)(random);
    std::uniform_real_distribution<float> range(-0.2f, 1.2f);
    std::vector<RGB> values(static_cast<std::size_t>(size * size * size));
    for (RGB& v : values)
        v = {range(random), range(random), range(random)};
    return LUT3D(size, std::move(values));
}

template <typename Sample> std::vector<Sample> randomSamples(std::mt19937& random, std::size_t n)
{
    std::vector<Sample> samples(n);
    if constexpr (std::is_floating_point_v<Sample>) {
        // Mostly in range; some beyond it and some NaN, which the lookup clamps.
        std::uniform_real_distribution<float> range(-0.1f, 1.1f);
        for (auto& s : samples)
            s = random() % 97 == 0 ? std::numeric_limits<float>::quiet_NaN() : range(random);
    } else {
        for (auto& s : samples)
            s = static_cast<Sample>(random());
    }
    return samples;
}

// Equal bit for bit, NaN included.
template <typename Sample> bool sameBits(const std::vector<Sample>& a, const std::vector<Sample>& b)
{
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(Sample)) == 0);
}

// The lookup of one stored colour as renderPixels must give it: the 8- and 16-bit levels over
// their range, quantised back; floats as they are.
template <typename Sample>
void expectLookup(const LUT3D& lut, Interpolation how, const Sample* in, const Sample* out)
{
    if constexpr (std::is_floating_point_v<Sample>) {
        const RGB v = lut.sample({in[0], in[1], in[2]}, how);
        const float want[] = {v.r, v.g, v.b};
        for (int c = 0; c < 3; ++c) {
            // Bit for bit, NaN included.
            EXPECT_EQ(std::memcmp(&out[c], &want[c], sizeof(float)), 0) << out[c] << " " << want[c];
        }
    } else {
        const float top = static_cast<float>(std::numeric_limits<Sample>::max());
        const RGB v = lut.sample({in[0] / top, in[1] / top, in[2] / top}, how);
        EXPECT_EQ(out[0], Packing::quantized(v.r, top));
        EXPECT_EQ(out[1], Packing::quantized(v.g, top));
        EXPECT_EQ(out[2], Packing::quantized(v.b, top));
    }
}

template <typename Sample> void checkRowsAgainstTheTable(const PreviewRenderer& renderer)
{
    std::mt19937 random(sizeof(Sample) * 101);
    for (int round = 0; round < 60; ++round) {
        const LUT3D lut = randomTable(random);
        for (Interpolation how : {Interpolation::trilinear, Interpolation::tetrahedral}) {
            const auto table = renderer.prepare(lut, how);
            for (int bands : {3, 4}) {
                const std::int64_t count = std::uniform_int_distribution<int>(0, 37)(random);
                const auto in =
                    randomSamples<Sample>(random, static_cast<std::size_t>(count * bands));
                std::vector<Sample> out(in.size());
                renderer.renderPixels(*table, in.data(), out.data(), count, bands);
                std::vector<Sample> inPlace = in;
                renderer.renderPixels(*table, inPlace.data(), inPlace.data(), count, bands);
                EXPECT_TRUE(sameBits(inPlace, out));
                for (std::int64_t i = 0; i < count; ++i) {
                    SCOPED_TRACE(::testing::Message()
                                 << "size " << lut.size() << ", bands " << bands << ", pixel " << i
                                 << " of " << count);
                    const std::size_t at = static_cast<std::size_t>(i * bands);
                    expectLookup(lut, how, &in[at], &out[at]);
                    if (bands == 4) {
                        EXPECT_EQ(std::memcmp(&out[at + 3], &in[at + 3], sizeof(Sample)), 0);
                    }
                }
                if (::testing::Test::HasFailure())
                    return;
            }
        }
    }
}

// Rows of 3- or 4-band pixels in any sample type give the table's own lookup, quantised back,
// with alpha untouched, whether written elsewhere or in place.
TEST_P(PreviewRendererKernels, RowsOfEveryLayoutMatchTheTablesLookup)
{
    checkRowsAgainstTheTable<std::uint8_t>(renderer);
    checkRowsAgainstTheTable<std::uint16_t>(renderer);
    checkRowsAgainstTheTable<float>(renderer);
}

TEST_P(PreviewRendererKernels, EveryInputColourMatchesTheTetrahedralLookup)
{
    const LUT3D lut = graded(17);
    const Image8 input = everyColour();
    const Image8 output = renderer.render(input, lut, Interpolation::tetrahedral);
    const auto in = input.samples();
    const auto out = output.samples();
    std::int64_t wrong = 0;
    for (std::size_t i = 0; i < in.size(); i += 4) {
        const RGB v =
            lut.sampleTetrahedral({in[i] / 255.0f, in[i + 1] / 255.0f, in[i + 2] / 255.0f});
        wrong += out[i] != Packing::quantized(v.r, 255.0f) ||
                 out[i + 1] != Packing::quantized(v.g, 255.0f) ||
                 out[i + 2] != Packing::quantized(v.b, 255.0f) || out[i + 3] != 255;
    }
    EXPECT_EQ(wrong, 0);
}

TEST(PreviewRendererDeathTest, RowsHaveThreeOrFourBands)
{
    const PreviewRenderer renderer;
    const auto table = renderer.prepare(LUT3D::identity(2));
    std::uint8_t pixels[8] = {};
    EXPECT_DEATH(renderer.renderPixels(*table, pixels, pixels, 2, 2), "3 or 4 bands");
    EXPECT_DEATH(renderer.prepare(LUT3D(2, std::vector<RGB>(8), LUTDomain::uniform(0, 4))),
                 "0 to 1");
}

INSTANTIATE_TEST_SUITE_P(Kernels, PreviewRendererKernels,
                         ::testing::Values(Kernel::automatic, Kernel::portable),
                         [](const auto& info) {
                             return info.param == Kernel::automatic ? "Automatic" : "Portable";
                         });

}  // namespace
}  // namespace lumivert
