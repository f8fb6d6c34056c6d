#include "color/ColorMath.hpp"
#include "learners/LookExtractor.hpp"

#include <gtest/gtest.h>
#include <omp.h>

#include <array>
#include <cmath>
#include <limits>
#include <numeric>
#include <random>

namespace lumivert {
namespace {

using Tints = LookExtractor::Tints;

constexpr float naN = std::numeric_limits<float>::quiet_NaN();

RGB fromOklab(float lightness, float a, float b)
{
    return ColorMath::oklabToSRGB({lightness, a, b});
}

Chroma polar(float chroma, float hue) { return {chroma * std::cos(hue), chroma * std::sin(hue)}; }

float length(const Chroma& c) { return std::hypot(c.a, c.b); }

// The pixels as one row, so every pixel is a sample.
PixelBuffer row(std::vector<RGB> pixels)
{
    const auto width = static_cast<std::int64_t>(pixels.size());
    return PixelBuffer(width, 1, std::move(pixels));
}

// `count` greys with lightness spread evenly over [lo, hi], each carrying `cast`.
void appendGreys(std::vector<RGB>& pixels, int count, float lo, float hi, Chroma cast = {})
{
    for (int i = 0; i < count; ++i) {
        const float t = (static_cast<float>(i) + 0.5f) / static_cast<float>(count);
        pixels.push_back(fromOklab(lo + (hi - lo) * t, cast.a, cast.b));
    }
}

void appendPatch(std::vector<RGB>& pixels, int count, const Lab& colour)
{
    pixels.insert(pixels.end(), static_cast<std::size_t>(count), ColorMath::oklabToSRGB(colour));
}

// A photo-like scene: a grey wall lit from dark to bright that carries `cast`, beside three
// coloured objects under the same light, with seeded noise everywhere.
PixelBuffer photoLike(std::int64_t width, std::int64_t height, Chroma cast, unsigned seed)
{
    constexpr std::array<Chroma, 3> objects = {Chroma{0.11f, 0.05f}, Chroma{-0.06f, -0.05f},
                                               Chroma{-0.07f, 0.07f}};
    std::mt19937 random(seed);
    std::normal_distribution<float> noise(0.0f, 0.004f);
    std::vector<RGB> pixels;
    pixels.reserve(static_cast<std::size_t>(width * height));
    for (std::int64_t y = 0; y < height; ++y) {
        const float v = static_cast<float>(y) / static_cast<float>(height);
        for (std::int64_t x = 0; x < width; ++x) {
            const float u = static_cast<float>(x) / static_cast<float>(width);
            Chroma chroma = cast + Chroma{noise(random), noise(random)};
            float lightness = 0.12f + 0.76f * v + noise(random);
            if (u >= 0.55f) {
                const auto object =
                    std::min<std::size_t>(2, static_cast<std::size_t>((u - 0.55f) / 0.15f));
                chroma += objects[object];
                lightness = 0.3f + 0.45f * v + noise(random);
            }
            pixels.push_back(fromOklab(lightness, chroma.a, chroma.b));
        }
    }
    return PixelBuffer(width, height, std::move(pixels));
}

// ---- Degenerate input ----

TEST(LookExtractorDegenerate, FewerThanSixteenSamplesGiveNeutral)
{
    EXPECT_EQ(LookExtractor::analyse(PixelBuffer(3, 5, RGB{0.8f, 0.2f, 0.1f})),
              LookAnalysis::neutral());
    EXPECT_NE(LookExtractor::analyse(PixelBuffer(4, 4, RGB{0.8f, 0.2f, 0.1f})),
              LookAnalysis::neutral());
}

TEST(LookExtractorDegenerate, ColoursThatAreNotNumbersAreLeftOut)
{
    std::vector<RGB> pixels(16, RGB{0.5f, 0.5f, 0.5f});
    pixels[3] = {naN, 0.5f, 0.5f};
    EXPECT_EQ(LookExtractor::analyse(row(pixels)), LookAnalysis::neutral());

    std::vector<RGB> larger;
    appendGreys(larger, 2000, 0.2f, 0.9f, {0.02f, 0.01f});
    const LookAnalysis clean = LookExtractor::analyse(row(larger));
    larger[100] = {naN, naN, naN};
    larger[900] = {std::numeric_limits<float>::infinity(), 0.2f, 0.2f};
    const LookAnalysis analysis = LookExtractor::analyse(row(larger));
    for (const Chroma& tint : analysis.tints) {
        EXPECT_TRUE(std::isfinite(tint.a) && std::isfinite(tint.b));
    }
    EXPECT_NEAR(analysis.tint(0.5f).a, clean.tint(0.5f).a, 1e-4f);
    EXPECT_TRUE(std::isfinite(analysis.blackLevel) && std::isfinite(analysis.whiteLevel));
}

// ---- Tints ----

TEST(LookExtractorTints, NeutralRampHasNoCastAndNoColour)
{
    std::vector<RGB> pixels;
    for (int i = 0; i < 4096; ++i) {
        const float v = static_cast<float>(i) / 4095.0f;
        pixels.push_back({v, v, v});
    }
    const LookAnalysis analysis = LookExtractor::analyse(row(pixels));
    for (const Chroma& tint : analysis.tints)
        EXPECT_LT(length(tint), 1e-4f);
    // Zero chroma reads as the middle of the first histogram bin: (0.0002 / 0.045)^0.75.
    EXPECT_LT(analysis.saturation, 0.02f);
    EXPECT_TRUE(analysis.palette.empty());
}

TEST(LookExtractorTints, FindTheCastOfTheGreysInEveryCoveredBand)
{
    const Chroma cast{0.02f, -0.015f};
    const LookAnalysis analysis = LookExtractor::analyse(photoLike(400, 300, cast, 11));
    for (std::size_t k = 1; k + 1 < analysis.tints.size(); ++k) {
        EXPECT_NEAR(analysis.tints[k].a, cast.a, 0.002f) << "band " << k;
        EXPECT_NEAR(analysis.tints[k].b, cast.b, 0.002f) << "band " << k;
    }
}

TEST(LookExtractorTints, AreLimitedInLength)
{
    // Neutral ends, and a strong cast of 0.07 on the greys of the middle bands.
    std::vector<Lab> samples;
    for (int i = 0; i < 6000; ++i) {
        const float t = static_cast<float>(i) / 6000.0f;
        samples.push_back({t < 0.5f ? 0.05f + 0.5f * t : 0.45f + 0.5f * t, 0.0f, 0.0f});
    }
    for (int i = 0; i < 4000; ++i)
        samples.push_back({0.35f + 0.3f * static_cast<float>(i) / 4000.0f, 0.07f, 0.0f});
    float longest = 0.0f;
    for (const Chroma& tint : LookExtractor::estimateTints(samples)) {
        EXPECT_LE(length(tint), 0.06f + 1e-6f);
        longest = std::max(longest, length(tint));
    }
    EXPECT_GT(longest, 0.05f);
}

TEST(LookExtractorTints, EmptyBandsTakeTheNearestCastDarkerFirstThenSmoothTwice)
{
    // Greys at (0.03, 0) in bands 0 to 3, at (−0.03, 0) in bands 9 to 11; 4 to 8 are empty.
    std::vector<Lab> samples;
    for (int i = 0; i < 6000; ++i) {
        const float t = static_cast<float>(i) / 6000.0f;
        samples.push_back({0.02f + (3.5f / 12.0f - 0.02f) * t, 0.03f, 0.0f});
        samples.push_back({9.5f / 12.0f + (0.98f - 9.5f / 12.0f) * t, -0.03f, 0.0f});
    }
    const Tints tints = LookExtractor::estimateTints(samples);
    // Band 6 is three bands from both sides and fills from the darker one, so the change
    // falls between bands 6 and 7; (1, 4, 6, 4, 1) / 16 then leaves band 6 with 11/16 of
    // its own cast and 5/16 of the other.
    EXPECT_NEAR(tints[6].a, 0.03f * (11.0f - 5.0f) / 16.0f, 2e-4f);
    EXPECT_NEAR(tints[7].a, -0.03f * (11.0f - 5.0f) / 16.0f, 2e-4f);
    EXPECT_NEAR(tints[0].a, 0.03f, 2e-4f);
    EXPECT_NEAR(tints[11].a, -0.03f, 2e-4f);
}

TEST(LookExtractorTints, CastSeenOnFewOfABandsSamplesIsWeakened)
{
    // In every band one sample in ten is a grey at (0.02, 0); the rest are vivid colours.
    std::vector<Lab> samples;
    for (int i = 0; i < 20000; ++i) {
        const float lightness = 0.02f + 0.96f * static_cast<float>(i) / 20000.0f;
        const float hue = static_cast<float>(i % 7);
        samples.push_back(i % 10 == 0 ? Lab{lightness, 0.02f, 0.0f}
                                      : Lab{lightness, 0.2f * std::cos(hue), 0.2f * std::sin(hue)});
    }
    // Support = 0.1 × exp(−0.02² / 0.05²); the cast is faded by smoothstep(0.03, 0.15, support).
    const float support = 0.1f * std::exp(-0.0004f * 400.0f);
    const float t = (support - 0.03f) / 0.12f;
    const float fade = t * t * (3.0f - 2.0f * t);
    const Tints tints = LookExtractor::estimateTints(samples);
    for (std::size_t k = 1; k + 1 < tints.size(); ++k)
        EXPECT_NEAR(tints[k].a, 0.02f * fade, 5e-4f) << "band " << k;
}

TEST(LookExtractorTints, ColourfulSurfacesDoNotPullTheCast)
{
    // Most mid-tones are a muted skin colour of chroma 0.046, the rest slightly cool greys.
    const Chroma cast{-0.008f, -0.006f};
    std::vector<RGB> pixels;
    appendGreys(pixels, 4000, 0.2f, 0.8f, cast);
    appendGreys(pixels, 6000, 0.2f, 0.8f, {0.035f, 0.03f});
    const LookAnalysis analysis = LookExtractor::analyse(row(pixels));
    for (std::size_t k = 3; k <= 8; ++k) {
        EXPECT_NEAR(analysis.tints[k].a, cast.a, 0.002f) << "band " << k;
        EXPECT_NEAR(analysis.tints[k].b, cast.b, 0.002f) << "band " << k;
    }
}

TEST(LookExtractorTints, PhotoWithoutGreysHasNoCast)
{
    std::vector<RGB> pixels;
    for (int i = 0; i < 6; ++i) {
        const Chroma c = polar(0.09f, static_cast<float>(i));
        appendPatch(pixels, 800, {0.45f + 0.05f * static_cast<float>(i), c.a, c.b});
    }
    const LookAnalysis analysis = LookExtractor::analyse(row(pixels));
    for (const Chroma& tint : analysis.tints)
        EXPECT_EQ(tint, (Chroma{0, 0}));
    // 5 % greys: the cast comes in at half strength rather than jumping in. The greys have
    // their own bands, so nothing else weakens their support.
    std::vector<Lab> samples;
    for (int i = 0; i < 10000; ++i) {
        const float t = static_cast<float>(i) / 10000.0f;
        const bool grey = i % 100 < 5;
        samples.push_back(grey ? Lab{0.3f + 0.4f * t, 0.02f, 0.0f}
                               : Lab{i % 2 == 0 ? 0.1f : 0.9f, 0.0f, 0.2f});
    }
    EXPECT_NEAR(LookExtractor::estimateTints(samples)[6].a, 0.5f * 0.02f, 0.001f);
}

TEST(LookExtractorTints, BandsWithTooFewSamplesBorrowTheirNeighboursCast)
{
    // Twenty tinted greys alone in bands 5 and 6 between thousands of neutral ones.
    std::vector<Lab> samples;
    for (int i = 0; i < 4000; ++i) {
        const float t = static_cast<float>(i) / 4000.0f;
        samples.push_back({t < 0.5f ? 0.05f + 0.5f * t : 0.45f + 0.5f * t, 0.0f, 0.0f});
    }
    samples.insert(samples.end(), 20, Lab{0.5f, 0.03f, 0.0f});
    const Tints tints = LookExtractor::estimateTints(samples);
    EXPECT_LT(length(tints[5]), 0.002f);
    EXPECT_LT(length(tints[6]), 0.002f);
}

// ---- Tone ----

TEST(LookExtractorTone, NeutralLiftAndRollOffBecomeLevels)
{
    std::vector<RGB> pixels;
    appendPatch(pixels, 200, {0.3f, 0.0f, 0.0f});  // darkest 2 %
    appendGreys(pixels, 9600, 0.32f, 0.83f);
    appendPatch(pixels, 200, {0.85f, 0.0f, 0.0f});  // brightest 2 %
    const LookAnalysis analysis = LookExtractor::analyse(row(pixels));
    EXPECT_NEAR(analysis.blackLevel, (0.3f - 0.12f) * 1.1f, 1e-3f);
    EXPECT_NEAR(analysis.whiteLevel, 1.0f - (0.95f - 0.85f) * 1.05f, 1e-3f);
}

TEST(LookExtractorTone, ColouredEndsAreNotFades)
{
    std::vector<RGB> pixels;
    appendPatch(pixels, 200, {0.3f, 0.06f, 0.04f});
    appendGreys(pixels, 9600, 0.32f, 0.83f);
    appendPatch(pixels, 200, {0.85f, -0.05f, 0.08f});
    const LookAnalysis analysis = LookExtractor::analyse(row(pixels));
    EXPECT_EQ(analysis.blackLevel, 0.0f);
    EXPECT_EQ(analysis.whiteLevel, 1.0f);
}

TEST(LookExtractorTone, WhiteStaysAboveBlack)
{
    // A dim, narrow photo: a large lift and a large roll-off would cross.
    std::vector<RGB> pixels;
    appendGreys(pixels, 5000, 0.5f, 0.6f);
    const LookAnalysis analysis = LookExtractor::analyse(row(pixels));
    EXPECT_FLOAT_EQ(analysis.blackLevel, 0.4f);
    EXPECT_FLOAT_EQ(analysis.whiteLevel, analysis.blackLevel + 0.3f);
}

TEST(LookExtractorTone, ContrastComparesQuartilesWithTheSpread)
{
    // Quartiles at 0.35 and 0.65, 0.5 % and 99.5 % points at 0.105 and 0.895.
    std::vector<RGB> pixels;
    appendGreys(pixels, 2500, 0.1f, 0.35f);
    appendGreys(pixels, 5000, 0.35f, 0.65f);
    appendGreys(pixels, 2500, 0.65f, 0.9f);
    const float expected = std::sqrt(0.3f / 0.79f / 0.36f);
    EXPECT_NEAR(LookExtractor::analyse(row(pixels)).contrast, expected, 0.004f);

    // Two hard-lit levels: very high contrast, capped.
    std::vector<RGB> harsh;
    appendPatch(harsh, 500, {0.1f, 0.0f, 0.0f});
    appendPatch(harsh, 500, {0.9f, 0.0f, 0.0f});
    EXPECT_FLOAT_EQ(LookExtractor::analyse(row(harsh)).contrast, 1.15f);

    // A flat grey: no spread at all, the lower bound.
    const LookAnalysis flat = LookExtractor::analyse(PixelBuffer(40, 40, RGB{0.5f, 0.5f, 0.5f}));
    EXPECT_FLOAT_EQ(flat.contrast, 0.9f);
    EXPECT_GE(flat.whiteLevel, flat.blackLevel + 0.3f);
}

// ---- Saturation ----

TEST(LookExtractorSaturation, FollowsTheMedianMidToneChroma)
{
    // 40 % greys and 60 % colours of chroma 0.0225 evenly round the hue circle.
    std::vector<RGB> pixels;
    appendGreys(pixels, 4000, 0.3f, 0.8f);
    for (int i = 0; i < 6000; ++i) {
        const Chroma c = polar(0.0225f, 2.0f * 3.14159265f * static_cast<float>(i % 12) / 12.0f);
        pixels.push_back(fromOklab(0.3f + 0.5f * static_cast<float>(i) / 6000.0f, c.a, c.b));
    }
    const LookAnalysis analysis = LookExtractor::analyse(row(pixels));
    EXPECT_NEAR(analysis.saturation, std::pow(0.5f, 0.75f), 0.01f);
}

TEST(LookExtractorSaturation, VividPhotoIsFullyColourful)
{
    std::vector<RGB> pixels;
    appendGreys(pixels, 1000, 0.3f, 0.8f);
    for (int i = 0; i < 4; ++i) {
        const Chroma c = polar(0.1f, 1.5f * static_cast<float>(i));
        appendPatch(pixels, 1000, {0.6f, c.a, c.b});
    }
    EXPECT_EQ(LookExtractor::analyse(row(pixels)).saturation, 1.0f);
}

TEST(LookExtractorSaturation, NoMidTonesMeansFullColour)
{
    std::vector<RGB> pixels;
    appendGreys(pixels, 500, 0.02f, 0.15f);
    appendGreys(pixels, 500, 0.95f, 0.99f);
    EXPECT_EQ(LookExtractor::analyse(row(pixels)).saturation, 1.0f);
}

// ---- Palette ----

TEST(LookExtractorPalette, FindsTheDominantPatchesLargestFirst)
{
    const Lab orange{0.7f, 0.1f, 0.11f};
    const Lab teal{0.55f, -0.09f, -0.04f};
    const Lab green{0.65f, -0.1f, 0.09f};
    std::vector<RGB> pixels;
    appendGreys(pixels, 5000, 0.1f, 0.95f);
    appendPatch(pixels, 1000, green);
    appendPatch(pixels, 2500, orange);
    appendPatch(pixels, 1500, teal);
    const LookAnalysis analysis = LookExtractor::analyse(row(pixels));
    ASSERT_EQ(analysis.palette.size(), 3u);
    // Patches outside the gamut were mapped into it when the buffer was made.
    const auto realised = [](const Lab& c) {
        return ColorMath::srgbToOklab(ColorMath::oklabToSRGB(c));
    };
    const std::array<Lab, 3> expected = {realised(orange), realised(teal), realised(green)};
    const std::array<float, 3> weights = {0.5f, 0.3f, 0.2f};
    for (std::size_t i = 0; i < 3; ++i) {
        const PaletteColor& colour = analysis.palette[i];
        EXPECT_EQ(colour.id, static_cast<int>(i));
        EXPECT_NEAR(colour.weight, weights[i], 1e-6f);
        EXPECT_NEAR(colour.lab.L, expected[i].L, 1e-4f);
        EXPECT_NEAR(colour.lab.a, expected[i].a, 1e-4f);
        EXPECT_NEAR(colour.lab.b, expected[i].b, 1e-4f);
        EXPECT_NEAR(colour.pullHue, std::atan2(expected[i].b, expected[i].a), 1e-3f);
    }
}

TEST(LookExtractorPalette, HuesAreMeasuredFromTheCastAndTheCastIsAddedBack)
{
    const Chroma cast{0.02f, -0.015f};
    const Lab orange{0.7f, 0.1f + cast.a, 0.11f + cast.b};
    std::vector<RGB> pixels;
    appendGreys(pixels, 6000, 0.1f, 0.9f, cast);
    appendPatch(pixels, 2000, orange);
    const LookAnalysis analysis = LookExtractor::analyse(row(pixels));
    ASSERT_EQ(analysis.palette.size(), 1u);
    const PaletteColor& colour = analysis.palette[0];
    EXPECT_NEAR(colour.pullHue, std::atan2(0.11f, 0.1f), 0.03f);
    EXPECT_NEAR(colour.lab.a, orange.a, 1e-3f);
    EXPECT_NEAR(colour.lab.b, orange.b, 1e-3f);
}

TEST(LookExtractorPalette, NeedsAHundredColourfulSamples)
{
    for (const int colourful : {99, 100}) {
        std::vector<RGB> pixels;
        appendGreys(pixels, 10000, 0.1f, 0.9f);
        appendPatch(pixels, colourful, {0.6f, 0.12f, 0.05f});
        const LookAnalysis analysis = LookExtractor::analyse(row(pixels));
        EXPECT_EQ(analysis.palette.size(), colourful == 100 ? 1u : 0u) << colourful;
    }
}

TEST(LookExtractorPalette, ColoursBelowFourPercentAreDropped)
{
    // A large patch and, on the far side of the hue circle, a small one.
    for (const int small : {60, 100}) {
        std::vector<RGB> pixels;
        appendGreys(pixels, 3000, 0.1f, 0.9f);
        appendPatch(pixels, 2000, {0.6f, 0.1f, 0.03f});
        appendPatch(pixels, small, {0.6f, -0.1f, -0.03f});
        const LookAnalysis analysis = LookExtractor::analyse(row(pixels));
        const float total = 2000.0f + static_cast<float>(small);
        ASSERT_EQ(analysis.palette.size(), small == 100 ? 2u : 1u) << small;
        // Weights stay shares of all colourful samples, also when a colour is dropped.
        EXPECT_FLOAT_EQ(analysis.palette[0].weight, 2000.0f / total);
    }
}

TEST(LookExtractorPalette, KeepsAtMostSixSharesOfAtLeastFourPercent)
{
    // Nine hues of unequal sizes, one of them too small to count.
    std::vector<RGB> pixels;
    appendGreys(pixels, 2000, 0.2f, 0.8f);
    for (int i = 0; i < 9; ++i) {
        const Chroma c = polar(0.1f, 0.7f * static_cast<float>(i));
        appendPatch(pixels, i == 4 ? 30 : 300 + 90 * i, {0.65f, c.a, c.b});
    }
    const LookAnalysis analysis = LookExtractor::analyse(row(pixels));
    ASSERT_FALSE(analysis.palette.empty());
    EXPECT_LE(analysis.palette.size(), 6u);
    float total = 0.0f;
    for (std::size_t i = 0; i < analysis.palette.size(); ++i) {
        const PaletteColor& colour = analysis.palette[i];
        EXPECT_EQ(colour.id, static_cast<int>(i));
        EXPECT_GE(colour.weight, 0.04f);
        EXPECT_LE(colour.weight, 1.0f);
        EXPECT_GE(colour.pullHue, -3.1416f);
        EXPECT_LE(colour.pullHue, 3.1416f);
        if (i > 0) {
            EXPECT_LE(colour.weight, analysis.palette[i - 1].weight);
        }
        total += colour.weight;
    }
    EXPECT_LE(total, 1.0f + 1e-5f);
}

TEST(LookExtractorPalette, SeparatedClustersConvergeToTheirOwnMeans)
{
    // Four discs of different sizes, chromas and lightnesses, placed so that the seeds reach
    // them only after several rounds: a run cut short leaves two of them sharing a centre.
    const struct {
        float hue;
        float chroma;
        float lightness;
        int count;
    } discs[] = {{3.2f, 0.06f, 0.4f, 1500},
                 {4.8f, 0.07f, 0.5f, 1600},
                 {2.9f, 0.16f, 0.6f, 800},
                 {2.1f, 0.10f, 0.7f, 1200}};
    const Tints noCast{};
    std::vector<Lab> samples;
    std::vector<Lab> means;
    for (const auto& disc : discs) {
        const Chroma centre = polar(disc.chroma, disc.hue);
        double a = 0;
        double b = 0;
        for (int i = 0; i < disc.count; ++i) {
            // A sunflower spiral fills the disc of radius 0.016 evenly.
            const Chroma spread = polar(
                0.016f * std::sqrt((static_cast<float>(i) + 0.5f) / static_cast<float>(disc.count)),
                2.39996323f * static_cast<float>(i));
            samples.push_back({disc.lightness, centre.a + spread.a, centre.b + spread.b});
            a += samples.back().a;
            b += samples.back().b;
        }
        means.push_back({disc.lightness, static_cast<float>(a / disc.count),
                         static_cast<float>(b / disc.count)});
    }
    const std::vector<PaletteColor> palette = LookExtractor::extractPalette(samples, noCast);
    ASSERT_EQ(palette.size(), 4u);
    const std::array<std::size_t, 4> largestFirst = {1, 0, 3, 2};
    for (std::size_t i = 0; i < palette.size(); ++i) {
        const std::size_t disc = largestFirst[i];
        EXPECT_EQ(palette[i].id, static_cast<int>(i));
        EXPECT_FLOAT_EQ(palette[i].weight, static_cast<float>(discs[disc].count) / 5100.0f);
        EXPECT_NEAR(palette[i].lab.L, means[disc].L, 1e-5f) << i;
        EXPECT_NEAR(palette[i].lab.a, means[disc].a, 1e-5f) << i;
        EXPECT_NEAR(palette[i].lab.b, means[disc].b, 1e-5f) << i;
    }
}

TEST(LookExtractorPalette, CloseCentresMergeIntoOneColour)
{
    // One small blob straddling two seed directions: two centres split it, then merge.
    const Tints noCast{};
    const float blobHue = 0.3f + 3.14159265f / 6.0f;
    const Chroma centre = polar(0.1f, blobHue);
    const Chroma across = polar(1.0f, blobHue + 3.14159265f / 2.0f);
    std::vector<Lab> samples;
    for (int i = 0; i < 1000; ++i) {
        const float offset = 0.024f * (static_cast<float>(i) / 999.0f - 0.5f);
        samples.push_back({0.6f, centre.a + across.a * offset, centre.b + across.b * offset});
    }
    const std::vector<PaletteColor> palette = LookExtractor::extractPalette(samples, noCast);
    ASSERT_EQ(palette.size(), 1u);
    EXPECT_EQ(palette[0].weight, 1.0f);
    EXPECT_NEAR(palette[0].lab.a, centre.a, 1e-4f);
    EXPECT_NEAR(palette[0].lab.b, centre.b, 1e-4f);
    EXPECT_NEAR(palette[0].lab.L, 0.6f, 1e-5f);
}

TEST(LookExtractorPalette, ManyColourfulSamplesAreThinnedByAnEvenStride)
{
    // 30 000 colourful samples in the repeating order A, A, B: the stride of 1.5 picks the
    // first two of every three, so B is never seen.
    const Tints noCast{};
    std::vector<Lab> samples;
    for (int i = 0; i < 30000; ++i)
        samples.push_back(i % 3 == 2 ? Lab{0.5f, -0.1f, 0.0f} : Lab{0.6f, 0.1f, 0.0f});
    const std::vector<PaletteColor> palette = LookExtractor::extractPalette(samples, noCast);
    ASSERT_EQ(palette.size(), 1u);
    EXPECT_EQ(palette[0].weight, 1.0f);
    EXPECT_NEAR(palette[0].lab.a, 0.1f, 1e-6f);
}

// ---- Determinism ----

TEST(LookExtractorDeterminism, SameAnalysisOnAnyNumberOfThreads)
{
    const PixelBuffer photo = photoLike(800, 600, {0.015f, 0.01f}, 5);
    const int threads = omp_get_max_threads();
    omp_set_num_threads(1);
    const LookAnalysis single = LookExtractor::analyse(photo);
    omp_set_num_threads(2);
    const LookAnalysis two = LookExtractor::analyse(photo);
    omp_set_num_threads(3);
    const LookAnalysis three = LookExtractor::analyse(photo);
    omp_set_num_threads(threads);
    EXPECT_EQ(single, two);
    EXPECT_EQ(single, three);
    EXPECT_EQ(single, LookExtractor::analyse(photo));
    EXPECT_FALSE(single.palette.empty());
}

}  // namespace
}  // namespace lumivert
