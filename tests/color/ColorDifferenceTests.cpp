#include "color/ColorDifference.hpp"

#include <gtest/gtest.h>

#include <array>
#include <random>

namespace lumivert {
namespace {

struct PublishedPair {
    CIELab x;
    CIELab y;
    double deltaE;
};

// Table 1 of Sharma, Wu and Dalal (2005): the 34 pairs, with ΔE2000 to four decimals. They
// exercise the hue-angle wrap, the mean-hue cases, neutral colours and the rotation term.
constexpr std::array<PublishedPair, 34> sharmaPairs = {{
    {{50.0000, 2.6772, -79.7751}, {50.0000, 0.0000, -82.7485}, 2.0425},
    {{50.0000, 3.1571, -77.2803}, {50.0000, 0.0000, -82.7485}, 2.8615},
    {{50.0000, 2.8361, -74.0200}, {50.0000, 0.0000, -82.7485}, 3.4412},
    {{50.0000, -1.3802, -84.2814}, {50.0000, 0.0000, -82.7485}, 1.0000},
    {{50.0000, -1.1848, -84.8006}, {50.0000, 0.0000, -82.7485}, 1.0000},
    {{50.0000, -0.9009, -85.5211}, {50.0000, 0.0000, -82.7485}, 1.0000},
    {{50.0000, 0.0000, 0.0000}, {50.0000, -1.0000, 2.0000}, 2.3669},
    {{50.0000, -1.0000, 2.0000}, {50.0000, 0.0000, 0.0000}, 2.3669},
    {{50.0000, 2.4900, -0.0010}, {50.0000, -2.4900, 0.0009}, 7.1792},
    {{50.0000, 2.4900, -0.0010}, {50.0000, -2.4900, 0.0010}, 7.1792},
    {{50.0000, 2.4900, -0.0010}, {50.0000, -2.4900, 0.0011}, 7.2195},
    {{50.0000, 2.4900, -0.0010}, {50.0000, -2.4900, 0.0012}, 7.2195},
    {{50.0000, -0.0010, 2.4900}, {50.0000, 0.0009, -2.4900}, 4.8045},
    {{50.0000, -0.0010, 2.4900}, {50.0000, 0.0010, -2.4900}, 4.8045},
    {{50.0000, -0.0010, 2.4900}, {50.0000, 0.0011, -2.4900}, 4.7461},
    {{50.0000, 2.5000, 0.0000}, {50.0000, 0.0000, -2.5000}, 4.3065},
    {{50.0000, 2.5000, 0.0000}, {73.0000, 25.0000, -18.0000}, 27.1492},
    {{50.0000, 2.5000, 0.0000}, {61.0000, -5.0000, 29.0000}, 22.8977},
    {{50.0000, 2.5000, 0.0000}, {56.0000, -27.0000, -3.0000}, 31.9030},
    {{50.0000, 2.5000, 0.0000}, {58.0000, 24.0000, 15.0000}, 19.4535},
    {{50.0000, 2.5000, 0.0000}, {50.0000, 3.1736, 0.5854}, 1.0000},
    {{50.0000, 2.5000, 0.0000}, {50.0000, 3.2972, 0.0000}, 1.0000},
    {{50.0000, 2.5000, 0.0000}, {50.0000, 1.8634, 0.5757}, 1.0000},
    {{50.0000, 2.5000, 0.0000}, {50.0000, 3.2592, 0.3350}, 1.0000},
    {{60.2574, -34.0099, 36.2677}, {60.4626, -34.1751, 39.4387}, 1.2644},
    {{63.0109, -31.0961, -5.8663}, {62.8187, -29.7946, -4.0864}, 1.2630},
    {{61.2901, 3.7196, -5.3901}, {61.4292, 2.2480, -4.9620}, 1.8731},
    {{35.0831, -44.1164, 3.7933}, {35.0232, -40.0716, 1.5901}, 1.8645},
    {{22.7233, 20.0904, -46.6940}, {23.0331, 14.9730, -42.5619}, 2.0373},
    {{36.4612, 47.8580, 18.3852}, {36.2715, 50.5065, 21.2231}, 1.4146},
    {{90.8027, -2.0831, 1.4410}, {91.1528, -1.6435, 0.0447}, 1.4441},
    {{90.9257, -0.5406, -0.9208}, {88.6381, -0.8985, -0.7239}, 1.5381},
    {{6.7747, -0.2908, -2.4247}, {5.8714, -0.0985, -2.2286}, 0.6377},
    {{2.0776, 0.0795, -1.1350}, {0.9033, -0.0636, -0.5514}, 0.9082},
}};

TEST(DeltaE2000, MatchesEveryPublishedPairBothWays)
{
    for (std::size_t i = 0; i < sharmaPairs.size(); ++i) {
        const PublishedPair& pair = sharmaPairs[i];
        EXPECT_NEAR(ColorDifference::deltaE2000(pair.x, pair.y), pair.deltaE, 1e-4)
            << "pair " << i + 1;
        EXPECT_NEAR(ColorDifference::deltaE2000(pair.y, pair.x), pair.deltaE, 1e-4)
            << "pair " << i + 1;
    }
}

TEST(DeltaE2000, IsSymmetricNonNegativeAndZeroOnlyOnIdentity)
{
    std::mt19937 random(2005);
    std::uniform_real_distribution<double> lightness(0, 100);
    std::uniform_real_distribution<double> opponent(-128, 128);
    for (int i = 0; i < 20000; ++i) {
        const CIELab x{lightness(random), opponent(random), opponent(random)};
        const CIELab y{lightness(random), opponent(random), opponent(random)};
        const double forward = ColorDifference::deltaE2000(x, y);
        EXPECT_NEAR(forward, ColorDifference::deltaE2000(y, x), 1e-9) << i;
        EXPECT_GT(forward, 0.0) << i;
        EXPECT_EQ(ColorDifference::deltaE2000(x, x), 0.0) << i;
    }
}

TEST(SRGBToCIELab, MatchesReferenceValuesForWhiteAndPrimaries)
{
    struct Reference {
        RGB srgb;
        CIELab lab;
    };
    // CIELAB (D65) of the sRGB primaries and white, from the IEC matrix.
    const std::array<Reference, 5> references = {{
        {{1, 1, 1}, {100.0, 0.0, 0.0}},
        {{0, 0, 0}, {0.0, 0.0, 0.0}},
        {{1, 0, 0}, {53.2408, 80.0925, 67.2032}},
        {{0, 1, 0}, {87.7347, -86.1827, 83.1793}},
        {{0, 0, 1}, {32.2970, 79.1875, -107.8602}},
    }};
    for (const Reference& reference : references) {
        const CIELab lab = ColorDifference::srgbToCIELab(reference.srgb);
        EXPECT_NEAR(lab.L, reference.lab.L, 2e-3);
        EXPECT_NEAR(lab.a, reference.lab.a, 2e-3);
        EXPECT_NEAR(lab.b, reference.lab.b, 2e-3);
    }
}

TEST(SRGBToCIELab, GreysAreNeutralAndLightnessRisesWithLevel)
{
    double previous = -1;
    for (int level = 0; level <= 255; ++level) {
        const float v = static_cast<float>(level) / 255.0f;
        const CIELab lab = ColorDifference::srgbToCIELab({v, v, v});
        EXPECT_NEAR(lab.a, 0.0, 1e-9) << level;
        EXPECT_NEAR(lab.b, 0.0, 1e-9) << level;
        EXPECT_GT(lab.L, previous) << level;
        previous = lab.L;
    }
}

TEST(SRGBToCIELab, OneLevelStepsAreSmallDifferences)
{
    // Neighbouring 8-bit greys differ by well under one just-noticeable difference, the primaries
    // by far more than one.
    for (int level = 0; level < 255; ++level) {
        const float v = static_cast<float>(level) / 255.0f;
        const float w = static_cast<float>(level + 1) / 255.0f;
        EXPECT_LT(ColorDifference::deltaE2000(RGB{v, v, v}, RGB{w, w, w}), 1.0) << level;
    }
    EXPECT_GT(ColorDifference::deltaE2000(RGB{1, 0, 0}, RGB{0, 1, 0}), 50.0);
}

}  // namespace
}  // namespace lumivert
