#include "color/ColorMath.hpp"
#include "color/LUT3D.hpp"

#include "support/ColorExpectations.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <random>
#include <span>
#include <vector>

namespace lumivert {
namespace {

constexpr float naN = std::numeric_limits<float>::quiet_NaN();

// A smooth, non-separable grade: exact trilinear reproduction is impossible, so
// lookups between nodes must be interpolated, not copied.
RGB warmGrade(const RGB& c) { return {0.1f + 0.8f * c.r * c.g, c.g * c.g, 0.5f * (c.b + c.r)}; }

TEST(LUT3DLayout, IdentityOfSizeTwoIsRedFastest)
{
    const LUT3D lut = LUT3D::identity(2);
    const std::vector<RGB> expected = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0},
                                       {0, 0, 1}, {1, 0, 1}, {0, 1, 1}, {1, 1, 1}};
    EXPECT_EQ(lut.values(), expected);
}

TEST(LUT3DLayout, IndexAndSubscriptFollowStorageOrder)
{
    const LUT3D lut = LUT3D::identity(5);
    EXPECT_EQ(lut.index(1, 2, 3), 1 + 5 * (2 + 5 * 3));
    EXPECT_EQ(lut(1, 2, 3), (RGB{0.25f, 0.5f, 0.75f}));
    for (std::int64_t i = 0; i < 5; ++i)
        EXPECT_EQ(lut(i, i, i).r, static_cast<float>(i) / 4.0f);
}

TEST(LUT3DLayout, RgbaFloatDataAppendsOpaqueAlpha)
{
    const LUT3D lut = LUT3D::identity(3);
    const std::vector<float> data = lut.rgbaFloatData();
    ASSERT_EQ(data.size(), 4u * 27u);
    EXPECT_EQ(data[4 * 1 + 0], 0.5f);  // entry (1, 0, 0)
    EXPECT_EQ(data[4 * 3 + 1], 0.5f);  // entry (0, 1, 0)
    EXPECT_EQ(data[4 * 9 + 2], 0.5f);  // entry (0, 0, 1)
    for (std::size_t i = 3; i < data.size(); i += 4)
        EXPECT_EQ(data[i], 1.0f);
}

TEST(LUT3DLookup, IdentityReturnsInputAndClampsOutside)
{
    for (std::int64_t size : {2, 17, 33}) {
        const LUT3D lut = LUT3D::identity(size);
        std::mt19937 random(7);
        std::uniform_real_distribution<float> unit(0.0f, 1.0f);
        for (int i = 0; i < 200; ++i) {
            const RGB c{unit(random), unit(random), unit(random)};
            expectNear(lut.sample(c), c, 1e-6f);
        }
        expectNear(lut.sample({-0.5f, 2.0f, 0.5f}), {0.0f, 1.0f, 0.5f}, 1e-6f);
        expectNear(lut.sample({naN, 0.25f, naN}), {0.0f, 0.25f, 0.0f}, 1e-6f);
    }
}

TEST(LUT3DLookup, CornersReturnFirstAndLastEntries)
{
    const LUT3D lut = LUT3D::build(9, warmGrade);
    EXPECT_EQ(lut.sample({0, 0, 0}), lut.values().front());
    expectNear(lut.sample({1, 1, 1}), lut.values().back(), 1e-6f);
    EXPECT_EQ(lut.apply({0, 0, 0}), lut.sample({0, 0, 0}));
}

TEST(LUT3DLookup, GridInputsReturnGridValues)
{
    const LUT3D lut = LUT3D::build(5, warmGrade);
    for (std::int64_t b = 0; b < 5; ++b)
        for (std::int64_t g = 0; g < 5; ++g)
            for (std::int64_t r = 0; r < 5; ++r)
                expectNear(lut.sample({r / 4.0f, g / 4.0f, b / 4.0f}), lut(r, g, b), 1e-6f);
}

TEST(LUT3DLookup, InterpolatesRedThenGreenThenBlue)
{
    // On a 2-point table the lookup is exactly the trilinear blend of the eight corners.
    std::vector<RGB> corners;
    for (int i = 0; i < 8; ++i)
        corners.push_back({static_cast<float>(i), static_cast<float>(i * i), 0.0f});
    const LUT3D lut(2, corners);
    const RGB out = lut.sample({0.25f, 0.5f, 0.75f});
    const auto blend = [&](auto channel) {
        float sum = 0.0f;
        for (int i = 0; i < 8; ++i) {
            const float wr = (i & 1) ? 0.25f : 0.75f;
            const float wg = (i & 2) ? 0.5f : 0.5f;
            const float wb = (i & 4) ? 0.75f : 0.25f;
            sum += wr * wg * wb * channel(corners[static_cast<std::size_t>(i)]);
        }
        return sum;
    };
    EXPECT_NEAR(out.r, blend([](const RGB& c) { return c.r; }), 1e-5f);
    EXPECT_NEAR(out.g, blend([](const RGB& c) { return c.g; }), 1e-5f);
}

// The trilinear blend written without cells: every lattice node weighs in with its tent
// max(0, 1 − |p − i|) per axis, so no cell choice at the edges can hide in the reference.
RGB tentBlend(const LUT3D& lut, const RGB& colour)
{
    const auto last = static_cast<double>(lut.size() - 1);
    const auto weight = [last](float x, std::int64_t i) {
        return std::max(0.0,
                        1.0 - std::abs(static_cast<double>(x) * last - static_cast<double>(i)));
    };
    double r = 0, g = 0, b = 0;
    for (std::int64_t ib = 0; ib < lut.size(); ++ib)
        for (std::int64_t ig = 0; ig < lut.size(); ++ig)
            for (std::int64_t ir = 0; ir < lut.size(); ++ir) {
                const double w = weight(colour.r, ir) * weight(colour.g, ig) * weight(colour.b, ib);
                r += w * lut(ir, ig, ib).r;
                g += w * lut(ir, ig, ib).g;
                b += w * lut(ir, ig, ib).b;
            }
    return {static_cast<float>(r), static_cast<float>(g), static_cast<float>(b)};
}

TEST(LUT3DLookup, UpperEdgeBlendsTheLastNodesOnEverySize)
{
    // Each channel at exactly 1, just below it, just below the last-but-one node, or anywhere,
    // in every combination, on tables of random entries.
    for (std::int64_t size = 2; size <= 5; ++size) {
        std::mt19937 random(static_cast<std::uint32_t>(size));
        std::uniform_real_distribution<float> unit(0.0f, 1.0f);
        std::vector<RGB> entries(static_cast<std::size_t>(size * size * size));
        for (RGB& entry : entries)
            entry = {unit(random), unit(random), unit(random)};
        const LUT3D lut(size, entries);
        const float belowNode =
            std::nextafter(static_cast<float>(size - 2) / static_cast<float>(size - 1), 0.0f);
        const std::array<float, 4> edges = {1.0f, std::nextafter(1.0f, 0.0f), belowNode, 0.0f};
        for (int trial = 0; trial < 256; ++trial) {
            const auto pick = [&](int shift) {
                const int choice = (trial >> shift) & 3;
                return choice == 3 ? unit(random) : edges[static_cast<std::size_t>(choice)];
            };
            const RGB colour{pick(0), pick(2), pick(4)};
            const RGB out = lut.sample(colour);
            const RGB expected = tentBlend(lut, colour);
            ASSERT_NEAR(out.r, expected.r, 1e-5f)
                << size << ": " << colour.r << ", " << colour.g << ", " << colour.b;
            ASSERT_NEAR(out.g, expected.g, 1e-5f)
                << size << ": " << colour.r << ", " << colour.g << ", " << colour.b;
            ASSERT_NEAR(out.b, expected.b, 1e-5f)
                << size << ": " << colour.r << ", " << colour.g << ", " << colour.b;
        }
        expectNear(lut.sample({1, 1, 1}), lut(size - 1, size - 1, size - 1), 1e-6f);
        expectNear(lut.sample({1, 0, 0}), lut(size - 1, 0, 0), 1e-6f);
    }
}

TEST(LUT3DLookup, ConstantTableAndUnclampedOutput)
{
    const LUT3D flat(3, std::vector<RGB>(27, RGB{0.2f, 0.4f, 0.6f}));
    expectNear(flat.sample({0.3f, 0.9f, 0.1f}), {0.2f, 0.4f, 0.6f}, 1e-6f);
    const LUT3D bright(2, std::vector<RGB>(8, RGB{1.5f, -0.5f, 2.0f}));
    expectNear(bright.sample({0.5f, 0.5f, 0.5f}), {1.5f, -0.5f, 2.0f}, 1e-6f);
}

TEST(LUT3DBuild, ClampsOutputsAndTurnsNaNIntoZero)
{
    const LUT3D lut = LUT3D::build(2, [](const RGB&) { return RGB{1.5f, -0.2f, naN}; });
    for (const RGB& v : lut.values())
        EXPECT_EQ(v, (RGB{1.0f, 0.0f, 0.0f}));
}

TEST(LUT3DBuild, CallsTheFunctionOncePerNodeInStorageOrder)
{
    std::vector<RGB> inputs;
    const LUT3D lut = LUT3D::build(4, [&inputs](const RGB& c) {
        inputs.push_back(c);
        return c;
    });
    EXPECT_EQ(inputs, LUT3D::identity(4).values());
    EXPECT_EQ(inputs[1], (RGB{1.0f / 3.0f, 0.0f, 0.0f}));
}

TEST(LUT3DBuild, ConcurrentBakingEqualsSerialBaking)
{
    const auto roundTrip = [](const RGB& c) {
        return ColorMath::oklabToSRGB(ColorMath::srgbToOklab(c) * 1.3f);
    };
    EXPECT_EQ(LUT3D::buildConcurrently(17, roundTrip), LUT3D::build(17, roundTrip));
}

TEST(LUT3DBuild, RowBakingFillsEachRowAtItsLatticeInputsAndClamps)
{
    const std::vector<float> axis = LUT3D::latticeAxis(9);
    ASSERT_EQ(axis.size(), 9u);
    EXPECT_EQ(axis.front(), 0.0f);
    EXPECT_EQ(axis[3], 3.0f / 8.0f);
    EXPECT_EQ(axis.back(), 1.0f);
    const auto pushed = [](const RGB& c) { return warmGrade(c) * 1.4f - RGB{0.1f, 0.1f, 0.1f}; };
    const LUT3D rows =
        LUT3D::buildRowsConcurrently(9, [&](std::int64_t g, std::int64_t b, std::span<RGB> out) {
            for (std::size_t r = 0; r < out.size(); ++r)
                out[r] = pushed({axis[r], axis[static_cast<std::size_t>(g)],
                                 axis[static_cast<std::size_t>(b)]});
        });
    EXPECT_EQ(rows, LUT3D::build(9, pushed));
}

TEST(LUT3DBuild, AppliesDecodedRunsAsItAppliesEachColour)
{
    // The table has no decode step of its own: a run gives what apply() gives per colour.
    const LUT3D lut = LUT3D::build(5, warmGrade);
    const std::vector<RGB> colours = {{0.1f, 0.7f, 0.3f}, {1.0f, 0.0f, 0.55f}};
    std::vector<RGB> linear(colours.size());
    for (std::size_t i = 0; i < colours.size(); ++i)
        linear[i] = ColorMath::decode(colours[i]);
    std::vector<RGB> out(colours.size());
    lut.applyDecoded(colours, linear, out);
    for (std::size_t i = 0; i < colours.size(); ++i)
        EXPECT_EQ(out[i], lut.apply(colours[i]));
}

TEST(LUT3DResample, SameSizeIsUnchangedAndIdentityStaysIdentity)
{
    const LUT3D lut = LUT3D::build(9, warmGrade);
    EXPECT_EQ(lut.resampled(9), lut);
    for (std::int64_t size : {2, 5, 33}) {
        const LUT3D resampled = LUT3D::identity(17).resampled(size);
        EXPECT_EQ(resampled.size(), size);
        EXPECT_LT(resampled.maxDeviationFromIdentity(), 1e-6f);
    }
}

// HDR and scene-referred tables read from files keep their values; only images clamp them.
TEST(LUT3DResample, KeepsValuesBeyondZeroToOneAndKeepsOtherTablesWithinIt)
{
    const LUT3D wild(2, std::vector<RGB>(8, RGB{1.5f, -0.5f, 0.5f}));
    const LUT3D wider = wild.resampled(3);
    for (const RGB& v : wider.values())
        EXPECT_EQ(v, (RGB{1.5f, -0.5f, 0.5f}));
    const LUT3D tame(2, std::vector<RGB>(8, RGB{1.0f, 0.0f, 0.3f}));
    const LUT3D finer = tame.resampled(5);
    for (const RGB& v : finer.values()) {
        EXPECT_GE(std::min({v.r, v.g, v.b}), 0.0f);
        EXPECT_LE(std::max({v.r, v.g, v.b}), 1.0f);
    }
}

TEST(LUT3DDeviation, MeasuresLargestChannelOffset)
{
    EXPECT_EQ(LUT3D::identity(33).maxDeviationFromIdentity(), 0.0f);
    LUT3D lut = LUT3D::identity(5);
    lut.mutableValues()[static_cast<std::size_t>(lut.index(2, 3, 4))].g += 0.125f;
    lut.mutableValues()[0].b -= 0.0625f;
    EXPECT_FLOAT_EQ(lut.maxDeviationFromIdentity(), 0.125f);
}

// ---- Tetrahedral lookups and strength --------------------------------------------------------

LUT3D randomTable(std::mt19937& random, LUTDomain domain = {})
{
    const std::int64_t size = std::uniform_int_distribution<std::int64_t>(2, 9)(random);
    std::uniform_real_distribution<float> range(-0.3f, 1.3f);
    std::vector<RGB> values(static_cast<std::size_t>(size * size * size));
    for (RGB& v : values)
        v = {range(random), range(random), range(random)};
    return LUT3D(size, std::move(values), domain);
}

// The textbook formula, written independently in double: the weights of the four corners of the
// tetrahedron the input's fractions pick, (1 − a) c000 + (a − b) c1 + (b − c) c2 + c c111 for
// fractions a ≥ b ≥ c.
std::array<double, 3> tetrahedralReference(const LUT3D& lut, const RGB& colour)
{
    const LUTDomain& d = lut.domain();
    const double n = static_cast<double>(lut.size() - 1);
    const float in[3] = {colour.r, colour.g, colour.b};
    const float lo[3] = {d.min.r, d.min.g, d.min.b};
    const float hi[3] = {d.max.r, d.max.g, d.max.b};
    std::array<std::int64_t, 3> cell{};
    std::array<double, 3> t{};
    for (int c = 0; c < 3; ++c) {
        const double place =
            std::clamp((in[c] - lo[c]) / static_cast<double>(hi[c] - lo[c]), 0.0, 1.0);
        cell[c] = std::min<std::int64_t>(lut.size() - 2, static_cast<std::int64_t>(place * n));
        t[c] = place * n - static_cast<double>(cell[c]);
    }
    // Walk from the origin to the far corner, one axis at a time, largest fraction first.
    std::array<int, 3> order{0, 1, 2};
    std::stable_sort(order.begin(), order.end(), [&](int x, int y) { return t[x] > t[y]; });
    std::array<std::int64_t, 3> at = cell;
    const auto entry = [&] {
        const RGB& e = lut(at[0], at[1], at[2]);
        return std::array<double, 3>{e.r, e.g, e.b};
    };
    std::array<double, 3> sum{};
    double previous = 1.0;
    auto corner = entry();
    for (int step = 0; step <= 3; ++step) {
        const double next = step < 3 ? t[order[step]] : 0.0;
        for (int c = 0; c < 3; ++c)
            sum[c] += (previous - next) * corner[c];
        if (step < 3) {
            ++at[order[step]];
            corner = entry();
        }
        previous = next;
    }
    return sum;
}

TEST(LUT3DTetrahedral, MatchesTheCornerWeightsOfItsTetrahedronOverManyTablesAndInputs)
{
    std::mt19937 random(14);
    std::uniform_real_distribution<float> input(-0.2f, 1.2f);
    for (int round = 0; round < 40; ++round) {
        const bool wide = round % 2 == 1;
        const LUT3D lut =
            randomTable(random, wide ? LUTDomain{{-0.5f, 0, 0}, {3, 1, 2}} : LUTDomain{});
        for (int i = 0; i < 500; ++i) {
            RGB c{input(random), input(random), input(random)};
            if (wide)
                c = {c.r * 3.5f - 0.5f, c.g, c.b * 2};
            if (i % 50 == 0)
                c.g = c.r;  // ties between fractions pick a tetrahedron too
            const RGB got = lut.sampleTetrahedral(c);
            const auto want = tetrahedralReference(lut, c);
            EXPECT_NEAR(got.r, want[0], 2e-6);
            EXPECT_NEAR(got.g, want[1], 2e-6);
            EXPECT_NEAR(got.b, want[2], 2e-6);
            EXPECT_EQ(lut.sample(c, Interpolation::tetrahedral), got);
            EXPECT_EQ(lut.sample(c, Interpolation::trilinear), lut.sample(c));
        }
    }
}

TEST(LUT3DTetrahedral, ReproducesEntriesAndAffineGradesWhereTrilinearAgrees)
{
    std::mt19937 random(3);
    const LUT3D table = randomTable(random);
    const std::int64_t n = table.size();
    for (std::int64_t b = 0; b < n; ++b)
        for (std::int64_t g = 0; g < n; ++g)
            for (std::int64_t r = 0; r < n; ++r) {
                const float last = static_cast<float>(n - 1);
                const RGB place{r / last, g / last, b / last};
                expectNear(table.sampleTetrahedral(place), table(r, g, b), 1e-6f);
            }
    // An affine grade is reproduced by both schemes; a curved one tells them apart.
    const auto affine = [](const RGB& c) {
        return RGB{0.2f + 0.5f * c.r - 0.1f * c.b, 0.3f * c.g + 0.4f * c.r, 0.9f - 0.6f * c.b};
    };
    const LUT3D flat = LUT3D::build(5, affine);
    const LUT3D curved = LUT3D::build(5, warmGrade);
    std::uniform_real_distribution<float> unit(0, 1);
    float largestGap = 0;
    for (int i = 0; i < 2000; ++i) {
        const RGB c{unit(random), unit(random), unit(random)};
        expectNear(flat.sampleTetrahedral(c), affine(c), 2e-6f);
        expectNear(flat.sample(c), affine(c), 2e-6f);
        const RGB gap = curved.sampleTetrahedral(c) - curved.sample(c);
        largestGap = std::max({largestGap, std::abs(gap.r), std::abs(gap.g), std::abs(gap.b)});
    }
    EXPECT_GT(largestGap, 1e-3f);
}

TEST(LUT3DStrength, BlendsEveryLookupWithItsInputAndKeepsTheTableAtOne)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<float> unit(0, 1);
    for (int round = 0; round < 20; ++round) {
        const bool wide = round % 2 == 1;
        const LUTDomain domain = wide ? LUTDomain::uniform(-1, 3) : LUTDomain{};
        const LUT3D lut = randomTable(random, domain);
        EXPECT_EQ(lut.withStrength(1.0f), lut);
        for (float s : {0.0f, 0.35f, 1.5f}) {
            const LUT3D blended = lut.withStrength(s);
            EXPECT_EQ(blended.domain(), domain);
            for (int i = 0; i < 200; ++i) {
                const RGB c = domain.at({unit(random), unit(random), unit(random)});
                for (Interpolation how : {Interpolation::trilinear, Interpolation::tetrahedral}) {
                    const RGB out = lut.sample(c, how);
                    expectNear(blended.sample(c, how), c + (out - c) * s, 1e-5f * (wide ? 4 : 1));
                }
            }
        }
    }
}

TEST(LUT3DDeathTest, BrokenInvariantsStop)
{
    EXPECT_DEATH(LUT3D::identity(2).withStrength(naN), "finite");
    EXPECT_DEATH(LUT3D(1, std::vector<RGB>(1)), "at least 2");
    EXPECT_DEATH(LUT3D(3, std::vector<RGB>(26)), "N³");
    EXPECT_DEATH(LUT3D::identity(1), "at least 2");
    EXPECT_DEATH(LUT3D::build(0, [](const RGB& c) { return c; }), "at least 2");
    EXPECT_DEATH(LUT3D(std::int64_t{1} << 40, std::vector<RGB>(8)), "overflow");
    const LUT3D lut = LUT3D::identity(3);
    EXPECT_DEATH(lut.index(3, 0, 0), "outside");
    EXPECT_DEATH(lut(0, -1, 0), "outside");
    EXPECT_DEATH(lut.resampled(1), "at least 2");
    EXPECT_DEATH(LUT3D::latticeAxis(1), "at least 2");
    const std::vector<RGB> two(2);
    std::vector<RGB> one(1);
    EXPECT_DEATH(lut.applyDecoded(two, two, one), "one length");
}

}  // namespace
}  // namespace lumivert
