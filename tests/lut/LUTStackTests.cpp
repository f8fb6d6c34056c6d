// Tables over other domains, 1D curves and shaper layouts, as grading applications write them:
// what a lookup does with them, and that every format keeps or bakes them faithfully.

#include "color/ColorMath.hpp"
#include "color/LUTStack.hpp"
#include "imaging/PreviewRenderer.hpp"
#include "lut/HaldCLUT.hpp"
#include "lut/LUTReader.hpp"
#include "lut/LUTWriter.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>

namespace lumivert {
namespace {

// Six decimals of a .cube entry, plus the spacing of floats up to 8.
constexpr float cubeRounding = 5.0e-7f + 1.0e-6f;

std::mt19937& random()
{
    static std::mt19937 generator(20261208);
    return generator;
}

float uniform(float lo, float hi)
{
    return std::uniform_real_distribution<float>(lo, hi)(random());
}

RGB randomColour(float lo, float hi) { return {uniform(lo, hi), uniform(lo, hi), uniform(lo, hi)}; }

// Scene-referred entries well beyond 0 … 1.
std::vector<RGB> randomEntries(std::int64_t count)
{
    std::vector<RGB> values(static_cast<std::size_t>(count));
    for (RGB& v : values)
        v = randomColour(-0.5f, 4.0f);
    return values;
}

LUTDomain randomDomain()
{
    LUTDomain domain;
    domain.min = randomColour(-1.0f, 0.5f);
    domain.max = domain.min + randomColour(0.25f, 4.0f);
    return domain;
}

void expectNear(const RGB& actual, const RGB& expected, float tolerance, const char* what)
{
    EXPECT_NEAR(actual.r, expected.r, tolerance) << what;
    EXPECT_NEAR(actual.g, expected.g, tolerance) << what;
    EXPECT_NEAR(actual.b, expected.b, tolerance) << what;
}

TEST(LUTDomains, ALookupMapsItsInputFromTheDomainOntoTheLatticeAndClampsAtItsEdges)
{
    for (int trial = 0; trial < 20; ++trial) {
        const std::int64_t size = 2 + trial % 8;
        const LUT3D unit(size, randomEntries(size * size * size));
        const LUTDomain domain = randomDomain();
        const LUT3D wide(size, unit.values(), domain);
        for (int i = 0; i < 50; ++i) {
            const RGB place = randomColour(0.0f, 1.0f);
            expectNear(wide.sample(domain.at(place)), unit.sample(place), 2e-5f, "inside");
        }
        expectNear(wide.sample(domain.min - RGB{1, 1, 1}), unit.values().front(), 1e-6f, "below");
        expectNear(wide.sample(domain.max + RGB{1, 1, 1}), unit.values().back(), 1e-6f, "above");
        // Resampling keeps the domain and the mapping at the old lattice points.
        const LUT3D finer = wide.resampled(2 * size - 1);
        EXPECT_EQ(finer.domain(), domain);
        for (std::int64_t k = 0; k < size; ++k) {
            const float t = static_cast<float>(k) / static_cast<float>(size - 1);
            expectNear(finer.sample(domain.at({t, t, t})), wide.sample(domain.at({t, t, t})), 2e-5f,
                       "resampled");
        }
    }
}

TEST(LUTDomains, CubeFilesKeepTheDomainAndTheValuesExactlyAsRead)
{
    for (int trial = 0; trial < 10; ++trial) {
        const std::int64_t size = 2 + trial;
        const LUT3D lut(size, randomEntries(size * size * size), randomDomain());
        const LUTStack read = LUTReader::cube(LUTWriter::cube(lut, "wide")).lut;
        ASSERT_TRUE(read.hasTable() && !read.hasCurves());
        EXPECT_EQ(read.table().domain(), lut.domain());  // shortest decimals round-trip exactly
        for (std::size_t i = 0; i < lut.values().size(); ++i)
            expectNear(read.table().values()[i], lut.values()[i], cubeRounding, "entry");
    }
    // A display-referred table still says so in the words every reader knows.
    const std::string identity = LUTWriter::cube(LUT3D::identity(2), "x");
    EXPECT_NE(identity.find("\nLUT_3D_SIZE 2\nDOMAIN_MIN 0.0 0.0 0.0\nDOMAIN_MAX 1.0 1.0 1.0\n"
                            "0.000000 0.000000 0.000000\n1.000000 0.000000 0.000000\n"),
              std::string::npos);
    // Signs and whole digits where the values need them; a rounded-away sign is not written.
    const std::string hdr = LUTWriter::cube(LUT3D(2, {{-0.5f, 1234.5f, -0.0000001f},
                                                      {1, 0, 0},
                                                      {0, 1, 0},
                                                      {1, 1, 0},
                                                      {0, 0, 1},
                                                      {1, 0, 1},
                                                      {0, 1, 1},
                                                      {2.25f, 1, 1}}),
                                            "x");
    EXPECT_NE(hdr.find("\n-0.500000 1234.500000 0.000000\n"), std::string::npos);
    EXPECT_NE(hdr.find("\n2.250000 1.000000 1.000000\n"), std::string::npos);
}

TEST(LUTDomains, FormatsWithoutADomainHoldTheTableResampledOntoZeroToOne)
{
    const std::int64_t size = 9;
    const LUT3D unit(size, randomEntries(size * size * size));
    // 0 … 2 holds 0 … 1 in its lower half: the .3dl lattice samples the table there.
    const LUT3D wide(size, unit.values(), LUTDomain::uniform(-0.5f, 2.0f));
    const LUT3D fromThreeDL = LUTReader::threeDL(LUTWriter::threeDL(wide)).lut;
    EXPECT_TRUE(fromThreeDL.domain().isUnit());
    const PixelBuffer hald = HaldCLUT::image(wide, 3);
    const LUT3D fromHald = HaldCLUT::lut(hald);
    for (std::int64_t k = 0; k < size; ++k) {
        const float t = static_cast<float>(k) / static_cast<float>(size - 1);
        const RGB expected = clamp01(wide.sample({t, t, t}));
        expectNear(fromThreeDL(k, k, k), expected, 0.5f / 4095.0f + 1e-6f, ".3dl");
    }
    for (std::int64_t k = 0; k < 9; ++k) {
        const float t = static_cast<float>(k) / 8.0f;
        expectNear(fromHald(k, k, k), wide.sample({t, t, t}), 1e-6f, "HALD");
    }
}

std::string oneDText(const std::vector<RGB>& values, const std::string& range)
{
    std::string text = "LUT_1D_SIZE " + std::to_string(values.size()) + "\n" + range;
    for (const RGB& v : values)
        text += std::to_string(v.r) + " " + std::to_string(v.g) + " " + std::to_string(v.b) + "\n";
    return text;
}

TEST(LUTCurves, OneDTablesInterpolateEachChannelOverTheirDomainAndWriteBack)
{
    // Gamma-like curves, a different one per channel, over −1 … 3.
    std::vector<RGB> values;
    for (int i = 0; i < 5; ++i) {
        const float t = static_cast<float>(i) / 4.0f;
        values.push_back({t * t, t, 2.0f * t - 0.5f});
    }
    const LUTStack read = LUTReader::cube(oneDText(values, "LUT_1D_INPUT_RANGE -1 3\n")).lut;
    ASSERT_TRUE(read.hasCurves() && !read.hasTable());
    EXPECT_EQ(read.domain(), LUTDomain::uniform(-1, 3));
    // Input 0.5 lies halfway between entries 1 (input 0) and 2 (input 1).
    expectNear(read.apply({0.5f, 0.5f, 0.5f}), {0.15625f, 0.375f, 0.25f}, 1e-6f, "between entries");
    expectNear(read.apply({-7, 3, 99}), {0.0f, 1.0f, 1.5f}, 0.0f, "clamped to the domain");
    // Written back as curves, not as a table.
    const std::string text = LUTWriter::cube(read, "curves");
    EXPECT_NE(text.find("\nLUT_1D_SIZE 5\nDOMAIN_MIN -1.0 -1.0 -1.0\nDOMAIN_MAX 3.0 3.0 3.0\n"),
              std::string::npos);
    EXPECT_EQ(text.find("LUT_3D_SIZE"), std::string::npos);
    EXPECT_EQ(LUTReader::cube(text).lut, read);
}

TEST(LUTCurves, AShaperFeedsTheTableAndTheFileReadsBackAsOneTransform)
{
    for (int trial = 0; trial < 6; ++trial) {
        const std::int64_t curveSize = 3 + 7 * trial;
        const std::int64_t size = 2 + trial;
        std::vector<RGB> curve(static_cast<std::size_t>(curveSize));
        for (std::size_t i = 0; i < curve.size(); ++i) {
            const float t = static_cast<float>(i) / static_cast<float>(curveSize - 1);
            curve[i] = {t, std::sqrt(t), t * t};
        }
        const LUTStack stack(LUT1D(curveSize, curve, LUTDomain::uniform(-0.25f, 4.0f)),
                             LUT3D(size, randomEntries(size * size * size)));
        const LUTStack read = LUTReader::cube(LUTWriter::cube(stack, "shaper")).lut;
        ASSERT_TRUE(read.hasCurves() && read.hasTable());
        EXPECT_EQ(read.curves().domain(), stack.curves().domain());
        for (int i = 0; i < 40; ++i) {
            const RGB input = randomColour(-1.0f, 5.0f);
            // Six-decimal curves, amplified by the table's slope (up to 4.5 × 6 per unit).
            expectNear(read.apply(input), stack.table().sample(stack.curves().sample(input)), 2e-4f,
                       "curves, then table");
        }
        // Baked into one table of the same domain, it agrees at every lattice point.
        const LUT3D baked = read.baked(size);
        EXPECT_EQ(baked.domain(), read.domain());
        for (std::int64_t k = 0; k < size; ++k) {
            const float t = static_cast<float>(k) / static_cast<float>(size - 1);
            const RGB input = read.domain().at({t, t, t});
            expectNear(baked.sample(input), read.apply(input), 1e-6f, "baked");
        }
    }
}

TEST(LUTStrength, StacksBlendTheirOutputWithTheInputAsTheGradeIntensityDoes)
{
    for (int trial = 0; trial < 8; ++trial) {
        const std::int64_t size = 2 + trial;
        const LUTDomain domain = randomDomain();
        const LUT3D table(size, randomEntries(size * size * size), domain);
        std::vector<RGB> curve;
        for (int i = 0; i < 9; ++i) {
            const float t = static_cast<float>(i) / 8.0f;
            curve.push_back(domain.at({t * t, std::sqrt(t), t}));
        }
        const LUTStack plain(table);
        const LUTStack shaped(LUT1D(9, curve, LUTDomain::uniform(-0.5f, 2.0f)), table);
        EXPECT_EQ(plain.withStrength(1.0f), plain);
        EXPECT_EQ(shaped.withStrength(1.0f), shaped);
        for (const float s : {0.0f, 0.5f, 1.5f}) {
            // A table alone takes the blend into its entries and stays a table.
            const LUTStack blendedTable = plain.withStrength(s);
            EXPECT_FALSE(blendedTable.hasCurves());
            EXPECT_EQ(blendedTable.strength(), 1.0f);
            const LUTStack blendedShaped = shaped.withStrength(s);
            for (int i = 0; i < 60; ++i) {
                for (const Interpolation how :
                     {Interpolation::trilinear, Interpolation::tetrahedral}) {
                    const RGB inside = domain.at(randomColour(0, 1));
                    const RGB out = plain.apply(inside, how);
                    expectNear(blendedTable.apply(inside, how), inside + (out - inside) * s,
                               2e-5f * (1 + s), "table");
                    // With curves, every lookup blends: the same arithmetic as the grade's.
                    const RGB input = randomColour(-1.0f, 3.0f);
                    const RGB shapedOut = shaped.apply(input, how);
                    EXPECT_EQ(blendedShaped.apply(input, how), input + (shapedOut - input) * s);
                    EXPECT_EQ(shaped.apply(input, how),
                              table.sample(shaped.curves().sample(input), how));
                }
            }
        }
        // Strengths compose: half of a half is a quarter.
        const RGB input = randomColour(0, 1);
        expectNear(shaped.withStrength(0.5f).withStrength(0.5f).apply(input),
                   shaped.withStrength(0.25f).apply(input), 1e-6f, "composed");
    }
}

// Callers build tables from what the readers checked; anything else is a fault in the caller.
TEST(LUTDomainsDeathTest, TablesWithoutAValidDomainAndMissingPartsStop)
{
    EXPECT_DEATH(LUT3D(2, LUT3D::identity(2).values(), LUTDomain::uniform(1, 1)), "domain");
    EXPECT_DEATH(LUT1D(2, {{0, 0, 0}, {1, 1, 1}}, LUTDomain::uniform(0, NAN)), "domain");
    EXPECT_DEATH(LUT1D(1, {{0, 0, 0}}), "1D LUT");
    EXPECT_DEATH(LUTStack(LUT3D::identity(2)).curves(), "1D curves");
    const LUTStack shaped(LUT1D(2, {{0, 0, 0}, {1, 1, 1}}), LUT3D::identity(2));
    EXPECT_DEATH(LUTWriter::cube(shaped.withStrength(0.5f), "blend"), "baked");
    EXPECT_DEATH(
        PreviewRenderer().render(Image8(1, 1, std::vector<std::uint8_t>(4, 0)),
                                 LUT3D(2, LUT3D::identity(2).values(), LUTDomain::uniform(0, 2))),
        "0 to 1");
}

}  // namespace
}  // namespace lumivert
