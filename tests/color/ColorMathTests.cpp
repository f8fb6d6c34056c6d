#include "color/ColorMath.hpp"

#include "support/ColorExpectations.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace lumivert {
namespace {

constexpr float naN = std::numeric_limits<float>::quiet_NaN();

TEST(TransferFunction, MatchesIecReferencePoints)
{
    EXPECT_NEAR(ColorMath::decode(0.04045f), 0.0031308f, 1e-7f);
    EXPECT_NEAR(ColorMath::encode(0.0031308f), 0.04045f, 1e-6f);
    EXPECT_NEAR(ColorMath::decode(0.5f), 0.21404f, 1e-5f);
    EXPECT_EQ(ColorMath::decode(-0.5f), -ColorMath::decode(0.5f));
    EXPECT_EQ(ColorMath::encode(-0.25f), -ColorMath::encode(0.25f));
    EXPECT_EQ(ColorMath::decode(0.0f), 0.0f);
    EXPECT_EQ(ColorMath::decode(1.0f), 1.0f);
}

TEST(TransferFunction, DoesNotClampAboveOne)
{
    EXPECT_GT(ColorMath::decode(1.5f), 1.5f);
    EXPECT_GT(ColorMath::encode(2.0f), 1.0f);
}

TEST(TransferFunction, RoundTripsEveryEightBitLevel)
{
    for (int i = 0; i <= 255; ++i) {
        const float x = static_cast<float>(i) / 255.0f;
        EXPECT_NEAR(ColorMath::encode(ColorMath::decode(x)), x, 2e-6f) << i;
    }
    const RGB c{0.1f, 0.5f, 0.9f};
    expectNear(ColorMath::encode(ColorMath::decode(c)), c, 2e-6f);
}

TEST(Oklab, MatchesPublishedReferenceValues)
{
    expectNear(ColorMath::linearToOklab({1, 1, 1}), {1.0f, 0.0f, 0.0f}, 1e-4f);
    EXPECT_NEAR(ColorMath::linearToOklab({0.18f, 0.18f, 0.18f}).L, 0.5646f, 1e-4f);
    expectNear(ColorMath::linearToOklab({1, 0, 0}), {0.628f, 0.2249f, 0.1258f}, 1e-3f);
    expectNear(ColorMath::srgbToOklab({1, 1, 1}), {1.0f, 0.0f, 0.0f}, 1e-4f);
    EXPECT_NEAR(ColorMath::srgbToOklab({0.5f, 0.5f, 0.5f}).L, 0.5982f, 1e-4f);
    // Published blue and green of the Oklab article (linear sRGB primaries).
    expectNear(ColorMath::linearToOklab({0, 1, 0}), {0.8664f, -0.2339f, 0.1795f}, 1e-3f);
    expectNear(ColorMath::linearToOklab({0, 0, 1}), {0.4520f, -0.0325f, -0.3115f}, 1e-3f);
}

TEST(Oklab, NegativeInputsTakeRealCubeRoots)
{
    const Lab lab = ColorMath::linearToOklab({-0.1f, -0.1f, -0.1f});
    EXPECT_LT(lab.L, 0.0f);
    const RGB back = ColorMath::oklabToLinear(lab);
    expectNear(back, {-0.1f, -0.1f, -0.1f}, 1e-5f);
}

TEST(Oklab, BlackAndNaNTakeTheirOwnRoots)
{
    EXPECT_EQ(ColorMath::linearToOklab({0, 0, 0}), (Lab{0, 0, 0}));
    EXPECT_TRUE(std::isnan(ColorMath::linearToOklab({naN, 0.5f, 0.5f}).L));
    // Roots of both signs taken together come back apart.
    const RGB mixed{-0.4f, 0.02f, 0.9f};
    expectNear(ColorMath::oklabToLinear(ColorMath::linearToOklab(mixed)), mixed, 1e-5f);
}

TEST(Oklab, InverseRoundTripsAcrossTheCube)
{
    for (int r = 0; r <= 8; ++r)
        for (int g = 0; g <= 8; ++g)
            for (int b = 0; b <= 8; ++b) {
                const RGB c{r / 8.0f, g / 8.0f, b / 8.0f};
                expectNear(ColorMath::oklabToLinear(ColorMath::linearToOklab(c)), c, 2e-5f);
                expectNear(ColorMath::oklabToSRGB(ColorMath::srgbToOklab(c)), c, 1e-4f);
            }
}

TEST(GamutMapping, LightnessOutsideTheRangeGivesBlackOrWhite)
{
    EXPECT_EQ(ColorMath::oklabToSRGB({0.0f, 0.2f, 0.1f}), (RGB{0, 0, 0}));
    EXPECT_EQ(ColorMath::oklabToSRGB({-0.5f, 0.0f, 0.0f}), (RGB{0, 0, 0}));
    EXPECT_EQ(ColorMath::oklabToSRGB({naN, 0.0f, 0.0f}), (RGB{0, 0, 0}));
    EXPECT_EQ(ColorMath::oklabToSRGB({1.2f, -0.1f, 0.3f}), (RGB{1, 1, 1}));
    EXPECT_EQ(ColorMath::oklabToSRGB({1.0f, 0.0f, 0.0f}), (RGB{1, 1, 1}));
}

TEST(GamutMapping, FarOutsideColourKeepsLightnessAndHue)
{
    const Lab wanted{0.7f, 0.4f, 0.0f};
    const RGB mapped = ColorMath::oklabToSRGB(wanted);
    EXPECT_TRUE(ColorMath::inGamut(mapped));
    const Lab got = ColorMath::srgbToOklab(mapped);
    EXPECT_NEAR(got.L, 0.7f, 2e-3f);
    // Chroma scaled, not clipped: the hue (b/a ratio 0) survives and chroma is below 0.4.
    EXPECT_NEAR(got.b, 0.0f, 5e-3f);
    EXPECT_GT(got.a, 0.05f);
    EXPECT_LT(got.a, 0.4f);
    // Bisection stops at the gamut edge: a little more chroma would leave the cube.
    const float scale = got.a / 0.4f;
    const RGB beyond = ColorMath::oklabToLinear({0.7f, 0.4f * (scale + 0.01f), 0.0f});
    EXPECT_FALSE(ColorMath::inGamut(beyond));
}

// The chroma scale 14 sequential halvings settle on.
float sequentialChromaScale(const Lab& lab)
{
    float lo = 0.0f;
    float hi = 1.0f;
    for (int step = 0; step < 14; ++step) {
        const float mid = (lo + hi) / 2.0f;
        if (ColorMath::inGamut(ColorMath::oklabToLinear({lab.L, lab.a * mid, lab.b * mid})))
            lo = mid;
        else
            hi = mid;
    }
    return lo;
}

// The gamut mapping written the plain way: 14 sequential halvings of the chroma scale.
RGB sequentiallyBisected(const Lab& lab)
{
    if (!(lab.L > 0.0f))
        return {0, 0, 0};
    if (lab.L >= 1.0f)
        return {1, 1, 1};
    RGB linear = ColorMath::oklabToLinear(lab);
    if (!ColorMath::inGamut(linear)) {
        const float scale = sequentialChromaScale(lab);
        linear = ColorMath::oklabToLinear({lab.L, lab.a * scale, lab.b * scale});
    }
    return clamp01(ColorMath::encode(clamp01(linear)));
}

TEST(GamutMapping, EqualsThePlainBisectionBitForBit)
{
    std::mt19937 random(12);
    std::uniform_real_distribution<float> lightness(0.001f, 0.999f);
    std::uniform_real_distribution<float> chroma(-0.6f, 0.6f);
    std::uniform_real_distribution<float> tiny(-1e-3f, 1e-3f);
    for (int i = 0; i < 20000; ++i) {
        // Mostly far outside, some just across the edge, where the verdicts are closest.
        const Lab lab = i % 4 == 0 ? Lab{lightness(random), tiny(random), tiny(random)}
                                   : Lab{lightness(random), chroma(random), chroma(random)};
        ASSERT_EQ(ColorMath::oklabToSRGB(lab), sequentiallyBisected(lab))
            << lab.L << " " << lab.a << " " << lab.b;
    }
}

TEST(GamutMapping, BothRegisterWidthsBisectAlike)
{
    std::mt19937 random(31);
    std::uniform_real_distribution<float> lightness(0.001f, 0.999f);
    std::uniform_real_distribution<float> chroma(-0.6f, 0.6f);
    int outside = 0;
    for (int i = 0; i < 20000; ++i) {
        const Lab lab{lightness(random), chroma(random), chroma(random)};
        if (ColorMath::inGamut(ColorMath::oklabToLinear(lab)))
            continue;
        ++outside;
        const float expected = sequentialChromaScale(lab);
        ASSERT_EQ(ColorMathLanes::chromaScaleFourLanes(lab), expected)
            << lab.L << " " << lab.a << " " << lab.b;
        ASSERT_EQ(ColorMathLanes::chromaScaleEightLanes(lab), expected)
            << lab.L << " " << lab.a << " " << lab.b;
    }
    EXPECT_GT(outside, 10000);
}

TEST(GamutMapping, ResultAlwaysInUnitCube)
{
    for (float L = 0.05f; L < 1.0f; L += 0.1f)
        for (float a = -0.5f; a <= 0.5f; a += 0.1f)
            for (float b = -0.5f; b <= 0.5f; b += 0.1f) {
                const RGB c = ColorMath::oklabToSRGB({L, a, b});
                EXPECT_TRUE(c.r >= 0 && c.r <= 1 && c.g >= 0 && c.g <= 1 && c.b >= 0 && c.b <= 1);
            }
}

TEST(Scalars, InGamutUsesTheTolerance)
{
    EXPECT_TRUE(ColorMath::inGamut({-0.00005f, 1.00005f, 0.5f}));
    EXPECT_FALSE(ColorMath::inGamut({-0.0002f, 0.5f, 0.5f}));
    EXPECT_FALSE(ColorMath::inGamut({0.5f, 1.0002f, 0.5f}));
    EXPECT_FALSE(ColorMath::inGamut({0.5f, 0.5f, naN}));
}

TEST(Scalars, LumaUsesRec709Weights)
{
    EXPECT_FLOAT_EQ(ColorMath::luma({1, 0, 0}), 0.2126f);
    EXPECT_FLOAT_EQ(ColorMath::luma({0, 1, 0}), 0.7152f);
    EXPECT_FLOAT_EQ(ColorMath::luma({0, 0, 1}), 0.0722f);
}

TEST(Scalars, ClampsTreatNaNAsTheLowerBound)
{
    EXPECT_EQ(clamp(naN, 0.2f, 0.8f), 0.2f);
    EXPECT_EQ(clamp(0.9f, 0.2f, 0.8f), 0.8f);
    EXPECT_EQ(clamp(0.1f, 0.2f, 0.8f), 0.2f);
    EXPECT_EQ(clamp(0.5f, 0.2f, 0.8f), 0.5f);
    EXPECT_EQ(clamp01(naN), 0.0f);
    EXPECT_EQ(clamp01(-0.0f), 0.0f);
    EXPECT_FALSE(std::signbit(clamp01(-0.0f)));
    EXPECT_EQ(clamp01(RGB{-1.0f, 0.5f, 2.0f}), (RGB{0.0f, 0.5f, 1.0f}));
}

TEST(Hsv, PrimaryHuesAndWrapping)
{
    EXPECT_EQ(ColorMath::hsv(0.0f, 1.0f, 1.0f), (RGB{1, 0, 0}));
    expectNear(ColorMath::hsv(1.0f / 3.0f, 1.0f, 1.0f), {0, 1, 0}, 1e-6f);
    expectNear(ColorMath::hsv(2.0f / 3.0f, 1.0f, 1.0f), {0, 0, 1}, 1e-6f);
    EXPECT_EQ(ColorMath::hsv(1.25f, 1.0f, 1.0f), ColorMath::hsv(0.25f, 1.0f, 1.0f));
    EXPECT_EQ(ColorMath::hsv(-0.25f, 1.0f, 1.0f), ColorMath::hsv(0.75f, 1.0f, 1.0f));
    expectNear(ColorMath::hsv(0.0f, 0.2f, 1.0f), {1.0f, 0.8f, 0.8f}, 1e-6f);
    expectNear(ColorMath::hsv(0.5f, 0.0f, 0.3f), {0.3f, 0.3f, 0.3f}, 1e-6f);
}

TEST(HsvDeathTest, NonFiniteHueStops)
{
    EXPECT_DEATH(ColorMath::hsv(naN, 1.0f, 1.0f), "finite hue");
    EXPECT_DEATH(ColorMath::hsv(std::numeric_limits<float>::infinity(), 1.0f, 1.0f), "finite hue");
}

TEST(Contrast, PassesThroughPivotAndEnds)
{
    EXPECT_EQ(ToneShapes::contrast(0.3f, 1.0f, 0.5f), 0.3f);
    for (float k : {0.3f, 0.577f, 1.733f, 4.0f}) {
        EXPECT_FLOAT_EQ(ToneShapes::contrast(ToneShapes::midGrey, k, ToneShapes::midGrey),
                        ToneShapes::midGrey);
        EXPECT_EQ(ToneShapes::contrast(0.0f, k, 0.5f), 0.0f);
        EXPECT_EQ(ToneShapes::contrast(1.0f, k, 0.5f), 1.0f);
    }
    EXPECT_FLOAT_EQ(ToneShapes::contrast(0.25f, 2.0f, 0.5f), 0.125f);
    EXPECT_FLOAT_EQ(ToneShapes::contrast(0.75f, 2.0f, 0.5f), 0.875f);
    EXPECT_EQ(ToneShapes::contrast(-0.5f, 2.0f, 0.5f), 0.0f);
    EXPECT_EQ(ToneShapes::contrast(1.5f, 2.0f, 0.5f), 1.0f);
    EXPECT_NEAR(ToneShapes::midGrey, std::cbrt(0.18f), 1e-4f);
}

// Random Oklab colours over the whole lightness range, many of them far outside sRGB.
std::vector<Lab> randomLabs(unsigned seed, int count)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> lightness(0.001f, 0.999f);
    std::uniform_real_distribution<float> chroma(-0.45f, 0.45f);
    std::vector<Lab> labs;
    for (int i = 0; i < count; ++i)
        labs.push_back({lightness(random), chroma(random), chroma(random)});
    return labs;
}

float chromaOf(const Lab& lab) { return std::hypot(lab.a, lab.b); }

TEST(SmoothGamutMapping, CuspIsTheMostSaturatedColourOfItsHue)
{
    for (int step = 0; step < 720; ++step) {
        const float hue = static_cast<float>(step) * 6.2831853f / 720.0f;
        const float a = std::cos(hue);
        const float b = std::sin(hue);
        const Cusp cusp = ColorMath::cusp(a, b);
        const RGB linear = ColorMath::oklabToLinear({cusp.L, cusp.C * a, cusp.C * b});
        // On the edge of the cube between a primary and a secondary: one channel 0, one 1.
        EXPECT_NEAR(std::min({linear.r, linear.g, linear.b}), 0.0f, 1e-4f) << step;
        EXPECT_NEAR(std::max({linear.r, linear.g, linear.b}), 1.0f, 1e-4f) << step;
        // No lightness nearby holds more chroma of this hue.
        for (const float dL : {-0.06f, -0.02f, 0.02f, 0.06f}) {
            const float L = cusp.L + dL;
            if (L <= 0.0f || L >= 1.0f)
                continue;
            const Lab held =
                ColorMath::srgbToOklab(ColorMath::oklabToSRGB({L, 0.5f * a, 0.5f * b}));
            EXPECT_LT(chromaOf(held), cusp.C + 1e-3f) << step << " " << dL;
        }
    }
}

TEST(SmoothGamutMapping, LeavesColoursInsideTheGamutBitForBit)
{
    int inside = 0;
    for (const Lab& lab : randomLabs(5, 40000)) {
        if (!ColorMath::inGamut(ColorMath::oklabToLinear(lab)))
            continue;
        ++inside;
        ASSERT_EQ(ColorMath::oklabToSRGB(lab, GamutMapping::smooth), ColorMath::oklabToSRGB(lab))
            << lab.L << " " << lab.a << " " << lab.b;
        ASSERT_EQ(ColorMath::oklabToSRGB(lab, GamutMapping::preserveLightness),
                  ColorMath::oklabToSRGB(lab));
    }
    EXPECT_GT(inside, 2000);
    // Black and white stay as they were; a chromatic colour above white keeps some colour.
    for (const Lab& lab : {Lab{0.0f, 0.2f, 0.1f}, Lab{naN, 0, 0}, Lab{1.2f, 0, 0}})
        EXPECT_EQ(ColorMath::oklabToSRGB(lab, GamutMapping::smooth), ColorMath::oklabToSRGB(lab));
    const RGB aboveWhite = ColorMath::oklabToSRGB({1.02f, -0.05f, 0.2f}, GamutMapping::smooth);
    EXPECT_LT(aboveWhite.b, 0.5f);
}

TEST(SmoothGamutMapping, OutsideColoursLandOnTheEdgeWithTheirHueKeepingDarkLightness)
{
    int outside = 0;
    for (const Lab& lab : randomLabs(9, 40000)) {
        const float C = chromaOf(lab);
        if (C < 0.05f || ColorMath::inGamut(ColorMath::oklabToLinear(lab)))
            continue;
        ++outside;
        const RGB mapped = ColorMath::oklabToSRGB(lab, GamutMapping::smooth);
        const RGB linear = ColorMath::decode(mapped);
        const Lab got = ColorMath::linearToOklab(linear);
        const std::string where =
            std::to_string(lab.L) + " " + std::to_string(lab.a) + " " + std::to_string(lab.b);
        ASSERT_TRUE(std::min({linear.r, linear.g, linear.b}) < 2e-3f ||
                    std::max({linear.r, linear.g, linear.b}) > 0.998f)
            << where;
        ASSERT_LE(chromaOf(got), C + 1e-3f) << where;
        // Dark colours keep their lightness (shadows are not lifted); light ones move towards
        // mid lightness, no further.
        ASSERT_GE(got.L, std::min(lab.L, 0.5f) - 3e-3f) << where;
        ASSERT_LE(got.L, std::max(lab.L, 0.5f) + 3e-3f) << where;
        if (lab.L < 0.5f)
            ASSERT_NEAR(got.L, lab.L, 3e-3f) << where;
        if (chromaOf(got) > 0.02f) {
            ASSERT_LT(std::fabs(wrapAngle(std::atan2(got.b, got.a) - std::atan2(lab.b, lab.a))),
                      0.03f)
                << where;
        }
    }
    EXPECT_GT(outside, 10000);
}

// The largest change of any 8-bit channel between consecutive colours of a path.
float largestStep(const std::vector<Lab>& path, GamutMapping mapping)
{
    float largest = 0.0f;
    for (std::size_t i = 1; i < path.size(); ++i) {
        const RGB x = ColorMath::oklabToSRGB(path[i - 1], mapping);
        const RGB y = ColorMath::oklabToSRGB(path[i], mapping);
        largest =
            std::max({largest, std::fabs(x.r - y.r), std::fabs(x.g - y.g), std::fabs(x.b - y.b)});
    }
    return largest * 255.0f;
}

TEST(SmoothGamutMapping, BrightSaturatedColoursFadeGraduallyWhereConstantLightnessCollapses)
{
    // Lightness ramps through the yellows, oranges and greens at a chroma beyond sRGB, in
    // steps of 0.002: above the cusp, constant lightness drops chroma abruptly.
    float worstSmooth = 0.0f;
    float worstLightness = 0.0f;
    for (int degrees = 40; degrees <= 160; degrees += 10) {
        const float hue = static_cast<float>(degrees) * 3.1415926f / 180.0f;
        std::vector<Lab> ramp;
        for (int i = 0; i <= 250; ++i) {
            const float L = 0.5f + 0.498f * static_cast<float>(i) / 250.0f;
            ramp.push_back({L, 0.3f * std::cos(hue), 0.3f * std::sin(hue)});
        }
        worstSmooth = std::max(worstSmooth, largestStep(ramp, GamutMapping::smooth));
        worstLightness =
            std::max(worstLightness, largestStep(ramp, GamutMapping::preserveLightness));
    }
    EXPECT_LT(worstSmooth, 12.0f);
    EXPECT_GT(worstLightness, 3.0f * worstSmooth);
    // Yellow a little lighter and more saturated than sRGB's own stays yellow, a little darker,
    // where constant lightness turns it cream.
    const Lab yellow = ColorMath::srgbToOklab({1, 1, 0});
    const Lab beyond{0.985f, yellow.a * 1.2f, yellow.b * 1.2f};
    const RGB smooth = ColorMath::oklabToSRGB(beyond, GamutMapping::smooth);
    EXPECT_LT(smooth.b, 0.05f);
    EXPECT_NEAR(smooth.r, smooth.g, 0.02f);
    EXPECT_GT(smooth.r, 0.8f);
    EXPECT_GT(ColorMath::oklabToSRGB(beyond).b, 0.5f);
}

TEST(WrapAngle, FollowsTheSinglePrecisionConstants)
{
    EXPECT_EQ(wrapAngle(4.0f), 4.0f - 6.283185f);
    // One addition of 2π already lands in [−π, π].
    EXPECT_EQ(wrapAngle(-7.0f), -7.0f + 6.283185f);
    EXPECT_EQ(wrapAngle(1.0f), 1.0f);
    EXPECT_EQ(wrapAngle(3.1415925f), 3.1415925f);
    // The nearest float to π is above the wrap's π, so it wraps.
    EXPECT_EQ(wrapAngle(3.1415927f), 3.1415927f - 6.283185f);
    EXPECT_EQ(wrapAngle(20.0f), 20.0f - 6.283185f - 6.283185f - 6.283185f);
}

TEST(WrapAngle, NonFiniteAndHugeAnglesTerminate)
{
    EXPECT_TRUE(std::isnan(wrapAngle(std::numeric_limits<float>::infinity())));
    EXPECT_TRUE(std::isnan(wrapAngle(naN)));
    const float wrapped = wrapAngle(1e30f);
    EXPECT_GE(wrapped, -3.1415925f);
    EXPECT_LE(wrapped, 3.1415925f);
}

}  // namespace
}  // namespace lumivert
