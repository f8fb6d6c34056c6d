#include "color/ColorMath.hpp"
#include "color/LUT3D.hpp"
#include "learners/LookExtractor.hpp"
#include "learners/LookTransform.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>

namespace lumivert {
namespace {

constexpr float pi = 3.14159265f;

const LookSettings castOnly{0.0f, 1.0f, 0.0f, 0.0f};
const LookSettings paletteOnly{0.0f, 0.0f, 0.0f, 1.0f};

Lab oklab(const RGB& c) { return ColorMath::srgbToOklab(c); }
RGB srgb(float lightness, float a, float b) { return ColorMath::oklabToSRGB({lightness, a, b}); }
float hueOf(const Lab& c) { return std::atan2(c.b, c.a); }
float chromaOf(const Lab& c) { return std::hypot(c.a, c.b); }
RGB atHue(float lightness, float chroma, float hue)
{
    return srgb(lightness, chroma * std::cos(hue), chroma * std::sin(hue));
}

LookAnalysis withCast(Chroma cast)
{
    LookAnalysis analysis;
    analysis.tints.fill(cast);
    return analysis;
}

LookAnalysis withPalette(const std::vector<std::array<float, 2>>& huesAndWeights)
{
    LookAnalysis analysis;
    for (const auto& [hue, weight] : huesAndWeights) {
        const int id = static_cast<int>(analysis.palette.size());
        analysis.palette.push_back(
            {id, {0.6f, 0.1f * std::cos(hue), 0.1f * std::sin(hue)}, weight, hue});
    }
    return analysis;
}

// A strongly graded look: every aspect far from neutral.
LookAnalysis heavyLook()
{
    LookAnalysis analysis = withPalette({{0.8f, 0.5f}, {-2.0f, 0.3f}, {2.5f, 0.2f}});
    analysis.blackLevel = 0.25f;
    analysis.whiteLevel = 0.8f;
    analysis.contrast = 1.15f;
    analysis.saturation = 0.4f;
    for (std::size_t k = 0; k < analysis.tints.size(); ++k)
        analysis.tints[k] = {0.05f - 0.008f * static_cast<float>(k), 0.03f};
    return analysis;
}

// The expected hue turn towards one target of relative weight w at offset d, strength s.
float singleTargetTurn(float d, float w, float s)
{
    const float f = w * std::exp(-d * d / 0.36f);
    return d * 0.75f * s * f / (f + 0.15f);
}

// ---- Creation ----

TEST(LookTransformCreation, ToneCurveHoldsLevelsAndContrast)
{
    LookAnalysis analysis;
    analysis.blackLevel = 0.1f;
    analysis.whiteLevel = 0.9f;
    analysis.contrast = 1.1f;
    const LookTransform full(analysis, {1.0f, 0.0f, 0.0f, 0.0f});
    const Curve1D& tone = full.tone();
    ASSERT_EQ(tone.table().size(), 1024u);
    EXPECT_FLOAT_EQ(tone(0.0f), 0.1f);
    EXPECT_FLOAT_EQ(tone(1.0f), 0.9f);
    EXPECT_NEAR(tone(ToneShapes::midGrey), 0.1f + 0.8f * ToneShapes::midGrey, 1e-5f);
    EXPECT_NEAR(tone(0.25f), 0.1f + 0.8f * ToneShapes::contrast(0.25f, 1.1f, 0.5646f), 1e-5f);
    EXPECT_NEAR(tone(0.8f), 0.1f + 0.8f * ToneShapes::contrast(0.8f, 1.1f, 0.5646f), 1e-5f);

    // Half strength: half the lift, half the roll-off, half the extra contrast.
    const LookTransform halfStrength(analysis, {0.5f, 0.0f, 0.0f, 0.0f});
    const Curve1D& half = halfStrength.tone();
    EXPECT_FLOAT_EQ(half(0.0f), 0.05f);
    EXPECT_FLOAT_EQ(half(1.0f), 0.95f);
    EXPECT_NEAR(half(0.25f), 0.05f + 0.9f * ToneShapes::contrast(0.25f, 1.05f, 0.5646f), 1e-5f);
}

TEST(LookTransformCreation, ToneStrengthZeroIsTheIdentityCurve)
{
    const LookTransform transform(heavyLook(), {0.0f, 1.0f, 1.0f, 1.0f});
    const std::vector<float>& table = transform.tone().table();
    for (std::size_t i = 0; i < table.size(); ++i)
        ASSERT_EQ(table[i], static_cast<float>(i) / 1023.0f) << i;
}

TEST(LookTransformCreation, SaturationFactorCanOnlyMute)
{
    LookAnalysis analysis;
    analysis.saturation = 0.2f;
    EXPECT_EQ(LookTransform(analysis, {1.0f, 1.0f, 1.5f, 1.0f}).saturation(), 0.0f);
    EXPECT_FLOAT_EQ(LookTransform(analysis, {1.0f, 1.0f, 0.5f, 1.0f}).saturation(), 0.6f);
    EXPECT_EQ(LookTransform(analysis, {1.0f, 1.0f, 0.0f, 1.0f}).saturation(), 1.0f);
    EXPECT_EQ(LookTransform(LookAnalysis::neutral(), {1, 1, 1.5f, 1}).saturation(), 1.0f);
}

TEST(LookTransformCreation, TargetsAreRelativeToTheLargestColour)
{
    const LookTransform transform(withPalette({{0.5f, 0.5f}, {-1.0f, 0.3f}, {2.0f, 0.2f}}),
                                  LookSettings{});
    const std::vector<LookTransform::Target> expected = {{0.5f, 1.0f}, {-1.0f, 0.6f}, {2.0f, 0.4f}};
    ASSERT_EQ(transform.targets().size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(transform.targets()[i].hue, expected[i].hue);
        EXPECT_FLOAT_EQ(transform.targets()[i].weight, expected[i].weight);
    }
    EXPECT_TRUE(LookTransform(LookAnalysis::neutral(), LookSettings{}).targets().empty());
}

// ---- Neutral look ----

TEST(LookTransformNeutral, OnlyRoundTripsThroughOklab)
{
    const std::array<LookSettings, 4> settings = {LookSettings{}, LookSettings{0, 0, 0, 0},
                                                  LookSettings{1.5f, 1.5f, 1.5f, 1.5f},
                                                  LookSettings{1.0f, -1.0f, 0.3f, 1.0f}};
    std::mt19937 random(3);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (const LookSettings& s : settings) {
        const LookTransform transform(LookAnalysis::neutral(), s);
        for (int i = 0; i < 300; ++i) {
            const RGB c{unit(random), unit(random), unit(random)};
            const RGB expected = ColorMath::oklabToSRGB(oklab(c));
            const RGB actual = transform.apply(c);
            EXPECT_NEAR(actual.r, expected.r, 2e-5f);
            EXPECT_NEAR(actual.g, expected.g, 2e-5f);
            EXPECT_NEAR(actual.b, expected.b, 2e-5f);
        }
    }
}

// ---- Tone ----

TEST(LookTransformTone, LiftsBlackAndRollsOffWhite)
{
    LookAnalysis analysis;
    analysis.blackLevel = 0.2f;
    analysis.whiteLevel = 0.85f;
    const LookTransform transform(analysis, {1.0f, 0.0f, 0.0f, 0.0f});
    EXPECT_NEAR(oklab(transform.apply({0, 0, 0})).L, 0.2f, 1e-4f);
    EXPECT_NEAR(oklab(transform.apply({1, 1, 1})).L, 0.85f, 1e-4f);
    const Lab grey = oklab(transform.apply({0.5f, 0.5f, 0.5f}));
    EXPECT_NEAR(grey.L, 0.2f + 0.65f * oklab({0.5f, 0.5f, 0.5f}).L, 1e-4f);
    EXPECT_LT(chromaOf(grey), 1e-4f);
}

// ---- Cast ----

TEST(LookTransformCast, StrengthScalesAndCanInvertTheCast)
{
    const Chroma cast{0.02f, 0.01f};
    const RGB grey{0.55f, 0.55f, 0.55f};
    for (const float strength : {1.0f, 0.5f, 0.0f, -1.0f}) {
        const LookTransform transform(withCast(cast), {0.0f, strength, 0.0f, 0.0f});
        const Lab out = oklab(transform.apply(grey));
        EXPECT_NEAR(out.a, strength * cast.a, 2e-4f) << strength;
        EXPECT_NEAR(out.b, strength * cast.b, 2e-4f) << strength;
    }
}

TEST(LookTransformCast, IsLookedUpAtTheNewLightness)
{
    LookAnalysis analysis;
    for (std::size_t k = 0; k < analysis.tints.size(); ++k)
        analysis.tints[k] = {0.004f * static_cast<float>(k), 0.0f};
    analysis.blackLevel = 0.3f;
    const LookTransform transform(analysis, {1.0f, 1.0f, 0.0f, 0.0f});
    // Black is lifted to 0.3, where the cast is band 3's and a tenth of band 4's.
    const Lab out = oklab(transform.apply({0, 0, 0}));
    EXPECT_NEAR(out.L, 0.3f, 1e-4f);
    EXPECT_NEAR(out.a, analysis.tint(0.3f).a, 2e-4f);
    EXPECT_GT(out.a, analysis.tint(0.0f).a + 0.01f);
}

// ---- Saturation ----

TEST(LookTransformSaturation, ScalesChromaAtConstantHue)
{
    LookAnalysis analysis;
    analysis.saturation = 0.5f;
    const LookTransform transform(analysis, {0.0f, 0.0f, 1.0f, 0.0f});
    const Lab in = oklab(atHue(0.6f, 0.1f, 2.0f));
    const Lab out = oklab(transform.apply(atHue(0.6f, 0.1f, 2.0f)));
    EXPECT_NEAR(chromaOf(out), 0.5f * chromaOf(in), 2e-4f);
    EXPECT_NEAR(hueOf(out), hueOf(in), 2e-3f);
    EXPECT_NEAR(out.L, in.L, 1e-4f);
}

TEST(LookTransformSaturation, OvershootLeavesOnlyTheCast)
{
    LookAnalysis analysis = withCast({-0.015f, 0.02f});
    analysis.saturation = 0.2f;
    const LookTransform transform(analysis, {0.0f, 1.0f, 1.5f, 0.0f});
    const Lab out = oklab(transform.apply(atHue(0.6f, 0.12f, -1.0f)));
    EXPECT_NEAR(out.a, -0.015f, 2e-4f);
    EXPECT_NEAR(out.b, 0.02f, 2e-4f);
}

// ---- Hue pull ----

TEST(LookTransformHuePull, TurnsTowardsOneTargetByItsInfluence)
{
    const LookTransform transform(withPalette({{1.0f, 0.4f}}), paletteOnly);
    for (const float hue : {0.5f, 1.3f, 0.0f}) {
        const Lab in = oklab(atHue(0.6f, 0.06f, hue));
        const Lab out = oklab(transform.apply(atHue(0.6f, 0.06f, hue)));
        const float expected = hueOf(in) + singleTargetTurn(1.0f - hueOf(in), 1.0f, 1.0f);
        EXPECT_NEAR(hueOf(out), expected, 2e-3f) << hue;
        EXPECT_NEAR(chromaOf(out), chromaOf(in), 2e-4f) << hue;
    }
}

TEST(LookTransformHuePull, StrengthScalesTheTurn)
{
    const Lab in = oklab(atHue(0.6f, 0.06f, 0.5f));
    const float d = 1.0f - hueOf(in);
    for (const float strength : {0.4f, 1.5f}) {
        const LookTransform transform(withPalette({{1.0f, 0.4f}}), {0, 0, 0, strength});
        const Lab out = oklab(transform.apply(atHue(0.6f, 0.06f, 0.5f)));
        EXPECT_NEAR(hueOf(out), hueOf(in) + singleTargetTurn(d, 1.0f, strength), 2e-3f);
    }
}

TEST(LookTransformHuePull, OnTargetAndOppositeStayPut)
{
    const RGB colour = atHue(0.6f, 0.06f, 0.7f);
    const float hue = hueOf(oklab(colour));
    const LookTransform off(withPalette({{hue, 1.0f}}), {0, 0, 0, 0});
    const LookTransform onTarget(withPalette({{hue, 1.0f}}), paletteOnly);
    const RGB expected = off.apply(colour);
    const RGB actual = onTarget.apply(colour);
    EXPECT_NEAR(actual.r, expected.r, 1e-6f);
    EXPECT_NEAR(actual.g, expected.g, 1e-6f);
    EXPECT_NEAR(actual.b, expected.b, 1e-6f);

    const LookTransform opposite(withPalette({{wrapAngle(hue + pi), 1.0f}}), paletteOnly);
    EXPECT_NEAR(hueOf(oklab(opposite.apply(colour))), hue, 1e-3f);
}

TEST(LookTransformHuePull, WrapsAcrossTheSeam)
{
    // A colour at −3.0 rad and a target at 3.0 rad are 0.283 apart across ±π.
    const LookTransform transform(withPalette({{3.0f, 1.0f}}), paletteOnly);
    const RGB colour = atHue(0.6f, 0.06f, -3.0f);
    const float hue = hueOf(oklab(colour));
    const float turned = hueOf(oklab(transform.apply(colour)));
    const float turn = wrapAngle(turned - hue);
    EXPECT_LT(turn, -0.1f);
    EXPECT_NEAR(turn, singleTargetTurn(wrapAngle(3.0f - hue), 1.0f, 1.0f), 2e-3f);
}

TEST(LookTransformHuePull, BalancedTargetsCancel)
{
    const RGB colour = atHue(0.6f, 0.06f, 0.2f);
    const float hue = hueOf(oklab(colour));
    const LookTransform transform(withPalette({{hue - 0.4f, 0.5f}, {hue + 0.4f, 0.5f}}),
                                  paletteOnly);
    EXPECT_NEAR(hueOf(oklab(transform.apply(colour))), hue, 1e-3f);
    // A heavier target wins the tug of war.
    const LookTransform uneven(withPalette({{hue - 0.4f, 0.5f}, {hue + 0.4f, 0.25f}}), paletteOnly);
    EXPECT_LT(hueOf(oklab(uneven.apply(colour))), hue - 0.01f);
}

TEST(LookTransformHuePull, OffWithoutStrengthOrPalette)
{
    const RGB colour = atHue(0.6f, 0.06f, 0.5f);
    const float hue = hueOf(oklab(colour));
    const LookTransform noStrength(withPalette({{1.0f, 1.0f}}), {0, 0, 0, 0});
    const LookTransform noPalette(LookAnalysis::neutral(), paletteOnly);
    EXPECT_NEAR(hueOf(oklab(noStrength.apply(colour))), hue, 2e-4f);
    EXPECT_NEAR(hueOf(oklab(noPalette.apply(colour))), hue, 2e-4f);
}

TEST(LookTransformHuePull, GreysAreNeverTurnedButStillTakeTheCast)
{
    LookAnalysis analysis = withPalette({{1.0f, 1.0f}, {-2.0f, 0.5f}});
    analysis.tints.fill({0.02f, -0.01f});
    const LookTransform pulling(analysis, {0.0f, 1.0f, 1.0f, 1.5f});
    const LookTransform still(analysis, {0.0f, 1.0f, 1.0f, 0.0f});
    for (const float v : {0.1f, 0.5f, 0.9f})
        EXPECT_EQ(pulling.apply({v, v, v}), still.apply({v, v, v})) << v;
    const Lab out = oklab(pulling.apply({0.5f, 0.5f, 0.5f}));
    EXPECT_NEAR(out.a, 0.02f, 2e-4f);
}

// ---- As a colour transform ----

TEST(LookTransformOutput, AlwaysInGamutAndFinite)
{
    const LookTransform transform(heavyLook(), {1.5f, 1.5f, 1.0f, 1.5f});
    std::mt19937 random(9);
    std::uniform_real_distribution<float> wide(-0.5f, 1.5f);
    for (int i = 0; i < 2000; ++i) {
        const RGB out = transform.apply({wide(random), wide(random), wide(random)});
        for (const float component : {out.r, out.g, out.b}) {
            ASSERT_TRUE(component >= 0.0f && component <= 1.0f) << component;
        }
    }
}

TEST(LookTransformOutput, BakesTheSameTableOnAnyThread)
{
    const LookTransform look(heavyLook(), LookSettings{});
    const ColorTransform& transform = look;
    const auto f = [&](const RGB& c) { return transform.apply(c); };
    const LUT3D serial = LUT3D::build(17, f);
    EXPECT_EQ(LUT3D::buildConcurrently(17, f), serial);
    EXPECT_GT(serial.maxDeviationFromIdentity(), 0.1f);
}

TEST(LookTransformOutput, DecodedRunsEqualApplyBitForBit)
{
    const LookTransform look(heavyLook(), {1.2f, 0.8f, 1.0f, 1.3f});
    std::mt19937 random(21);
    std::uniform_real_distribution<float> wide(-0.3f, 1.3f);
    std::vector<RGB> colours(257);
    for (RGB& c : colours)
        c = {wide(random), wide(random), wide(random)};
    colours[0] = {0.0f, 0.5f, 1.0f};
    std::vector<RGB> linear(colours.size());
    for (std::size_t i = 0; i < colours.size(); ++i)
        linear[i] = ColorMath::decode(colours[i]);
    std::vector<RGB> out(colours.size());
    look.applyDecoded(colours, linear, out);
    for (std::size_t i = 0; i < colours.size(); ++i)
        ASSERT_EQ(out[i], look.apply(colours[i])) << "colour " << i;
}

TEST(LookTransformOutput, CarriesTheReferencesCastOntoAnotherPhotosGreys)
{
    const Chroma cast{-0.012f, -0.02f};
    std::vector<RGB> reference;
    for (int i = 0; i < 5000; ++i) {
        const float lightness = 0.1f + 0.8f * static_cast<float>(i) / 5000.0f;
        reference.push_back(srgb(lightness, cast.a, cast.b));
    }
    const LookAnalysis analysis = LookExtractor::analyse(PixelBuffer(5000, 1, reference));
    const LookTransform transform(analysis, castOnly);
    for (const float v : {0.3f, 0.6f}) {
        const Lab out = oklab(transform.apply({v, v, v}));
        EXPECT_NEAR(out.a, cast.a, 0.002f) << v;
        EXPECT_NEAR(out.b, cast.b, 0.002f) << v;
    }
}

}  // namespace
}  // namespace lumivert
