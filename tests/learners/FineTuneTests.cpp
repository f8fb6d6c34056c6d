#include "color/ColorMath.hpp"
#include "learners/FineTune.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace lumivert {
namespace {

constexpr float midGreyLinear = 0.18f;

RGB grey(float linear)
{
    const float encoded = ColorMath::encode(linear);
    return {encoded, encoded, encoded};
}

float oklabLightness(const RGB& srgb) { return ColorMath::srgbToOklab(srgb).L; }

TEST(FineTuneNeutral, OnlyAllZeroFieldsAreNeutral)
{
    EXPECT_TRUE(FineTune{}.isNeutral());
    EXPECT_TRUE((FineTune{-0.0f, 0.0f, -0.0f, 0.0f}.isNeutral()));
    EXPECT_FALSE((FineTune{1e-7f, 0, 0, 0}.isNeutral()));
    EXPECT_FALSE((FineTune{0, -0.5f, 0, 0}.isNeutral()));
    EXPECT_FALSE((FineTune{0, 0, 0.1f, 0}.isNeutral()));
    EXPECT_FALSE((FineTune{0, 0, 0, -1}.isNeutral()));
}

TEST(FineTuneNeutral, ReturnsTheInputBitForBit)
{
    const FineTune neutral;
    for (const RGB& c : {RGB{0.1f, 0.5f, 0.9f}, RGB{1.5f, -0.2f, 0.3f}, RGB{0.0f, 1.0f, 0.25f}})
        EXPECT_EQ(neutral.apply(c), c);
    const RGB withNaN = neutral.apply({std::numeric_limits<float>::quiet_NaN(), 0.5f, 0.5f});
    EXPECT_TRUE(std::isnan(withNaN.r));
}

TEST(FineTuneNeutral, AnyActiveControlGoesThroughTheRoundTripIntoRange)
{
    // Even a control too small to see converts the colour, which clamps it into the gamut.
    const FineTune tiny{0, 0, 0, 1e-6f};
    const RGB out = tiny.apply({1.4f, -0.3f, 0.5f});
    for (float channel : {out.r, out.g, out.b}) {
        EXPECT_GE(channel, 0.0f);
        EXPECT_LE(channel, 1.0f);
    }
    const RGB inside{0.3f, 0.6f, 0.45f};
    const RGB same = tiny.apply(inside);
    EXPECT_NEAR(same.r, inside.r, 1e-5f);
    EXPECT_NEAR(same.g, inside.g, 1e-5f);
    EXPECT_NEAR(same.b, inside.b, 1e-5f);
}

TEST(FineTuneWhiteBalance, WarmingMidGreyKeepsItsLuminance)
{
    const RGB out = ColorMath::decode(FineTune{1, 0, 0, 0}.apply(grey(midGreyLinear)));
    const float m = 0.2126f * 1.2214028f + 0.7152f + 0.0722f * 0.8187308f;
    EXPECT_NEAR(m, 1.0340f, 1e-4f);
    EXPECT_NEAR(out.r, midGreyLinear * 1.2214028f / m, 2e-5f);
    EXPECT_NEAR(out.g, midGreyLinear / m, 2e-5f);
    EXPECT_NEAR(out.b, midGreyLinear * 0.8187308f / m, 2e-5f);
    EXPECT_NEAR(ColorMath::luma(out), midGreyLinear, 2e-5f);
}

TEST(FineTuneWhiteBalance, DirectionsOfTemperatureAndTint)
{
    const RGB base = grey(0.3f);
    const RGB cool = ColorMath::decode(FineTune{-1, 0, 0, 0}.apply(base));
    EXPECT_LT(cool.r, cool.g);
    EXPECT_GT(cool.b, cool.g);
    const RGB magenta = ColorMath::decode(FineTune{0, 1, 0, 0}.apply(base));
    EXPECT_LT(magenta.g, magenta.r);
    EXPECT_NEAR(magenta.r, magenta.b, 1e-5f);
    EXPECT_NEAR(ColorMath::luma(magenta), 0.3f, 3e-5f);
    const RGB green = ColorMath::decode(FineTune{0, -1, 0, 0}.apply(base));
    EXPECT_GT(green.g, green.r);
}

TEST(FineTuneWhiteBalance, TintScalesGreenAgainstRedAndBlueOnEveryColour)
{
    // Positive tint lowers green against the other two by e^(−0.14 × tint), on any colour, and
    // so moves every colour towards magenta (+a); red against blue never moves.
    std::mt19937 random(11);
    std::uniform_real_distribution<float> channel(0.15f, 0.75f);
    for (const float tint : {-1.0f, -0.4f, 0.25f, 1.0f}) {
        const FineTune tune{0, tint, 0, 0};
        const float greenFactor = std::exp(-0.14f * tint);
        for (int i = 0; i < 200; ++i) {
            const RGB colour{channel(random), channel(random), channel(random)};
            const RGB in = ColorMath::decode(colour);
            const RGB out = ColorMath::decode(tune.apply(colour));
            ASSERT_NEAR((out.g / out.r) / (in.g / in.r), greenFactor, 2e-3f) << tint;
            ASSERT_NEAR((out.b / out.r) / (in.b / in.r), 1.0f, 2e-3f) << tint;
            const float shift =
                ColorMath::srgbToOklab(tune.apply(colour)).a - ColorMath::srgbToOklab(colour).a;
            ASSERT_GT(tint > 0 ? shift : -shift, 0.0f) << tint;
        }
    }
}

TEST(FineTuneContrast, PivotStaysAndExponentsFollowTheControl)
{
    const float pivot = ToneShapes::midGrey;
    const RGB atPivot = grey(pivot * pivot * pivot);
    EXPECT_NEAR(oklabLightness(FineTune{0, 0, 1, 0}.apply(atPivot)), pivot, 1e-4f);

    const float below = 0.3f;
    const float above = 0.85f;
    const struct {
        float control;
        float exponent;
    } cases[] = {{1.0f, 1.7332530f}, {-1.0f, 0.5769498f}};
    for (const auto& c : cases) {
        const FineTune tune{0, 0, c.control, 0};
        EXPECT_NEAR(oklabLightness(tune.apply(grey(below * below * below))),
                    pivot * std::pow(below / pivot, c.exponent), 1e-4f);
        EXPECT_NEAR(oklabLightness(tune.apply(grey(above * above * above))),
                    1.0f - (1.0f - pivot) * std::pow((1.0f - above) / (1.0f - pivot), c.exponent),
                    1e-4f);
    }
    // Positive contrast darkens below the pivot and brightens above it.
    EXPECT_LT(oklabLightness(FineTune{0, 0, 0.5f, 0}.apply(grey(0.05f))),
              oklabLightness(grey(0.05f)));
    EXPECT_GT(oklabLightness(FineTune{0, 0, 0.5f, 0}.apply(grey(0.6f))),
              oklabLightness(grey(0.6f)));
}

TEST(FineTuneSaturation, MinusOneAndBelowGiveGreyOfTheSameLightness)
{
    for (float control : {-1.0f, -3.0f}) {
        for (const RGB& c : {RGB{0.8f, 0.2f, 0.1f}, RGB{0.1f, 0.5f, 0.9f}, RGB{1, 1, 0}}) {
            const RGB out = FineTune{0, 0, 0, control}.apply(c);
            EXPECT_NEAR(out.r, out.g, 1e-5f);
            EXPECT_NEAR(out.g, out.b, 1e-5f);
            EXPECT_NEAR(oklabLightness(out), oklabLightness(c), 1e-5f);
        }
    }
}

TEST(FineTuneSaturation, ScalesChromaAtConstantLightness)
{
    const Lab muted{0.6f, 0.03f, -0.02f};
    const Lab out =
        ColorMath::srgbToOklab(FineTune{0, 0, 0, 1}.apply(ColorMath::oklabToSRGB(muted)));
    EXPECT_NEAR(out.L, muted.L, 1e-5f);
    EXPECT_NEAR(out.a, 2.0f * muted.a, 1e-5f);
    EXPECT_NEAR(out.b, 2.0f * muted.b, 1e-5f);
}

}  // namespace
}  // namespace lumivert
