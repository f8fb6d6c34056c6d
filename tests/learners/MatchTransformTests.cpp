#include "MatchFixtures.hpp"

#include "color/ColorMath.hpp"
#include "learners/ColorMatcher.hpp"
#include "learners/MatchTransform.hpp"

#include "support/ColorExpectations.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <vector>

namespace lumivert {
namespace {

using fixtures::spreadImage;

RGB roundTrip(const RGB& c) { return ColorMath::oklabToSRGB(ColorMath::srgbToOklab(c)); }

std::vector<RGB> seededColours(std::size_t count, std::uint32_t seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::vector<RGB> colours(count);
    for (RGB& c : colours)
        c = {unit(random), unit(random), unit(random)};
    return colours;
}

// An analysis written by hand: constant rank, a tone map that brightens, band k's reference
// mean (0.01 k, −0.01 k), zero source means and zero matrices, so the transferred chroma is
// exactly the reference mean of the band the rank selects.
MatchAnalysis handMadeAnalysis(float rank)
{
    std::vector<BandTransfer> bands;
    for (int k = 0; k < ColorMatcher::bandCount; ++k) {
        const float v = 0.01f * static_cast<float>(k);
        bands.push_back({{0, 0}, {v, -v}, {0, 0, 0}});
    }
    return {Curve1D(1024, [](float x) { return std::sqrt(x); }),
            Curve1D(std::vector<float>{rank, rank}), std::move(bands)};
}

Chroma chromaOf(const RGB& c)
{
    const Lab lab = ColorMath::srgbToOklab(c);
    return {lab.a, lab.b};
}

TEST(MatchTransformTone, BlendsTheToneMapWithTheIdentity)
{
    const MatchAnalysis analysis = handMadeAnalysis(0.5f);
    const MatchTransform off(analysis, {0.0f, 1.0f});
    const MatchTransform full(analysis, {1.0f, 1.0f});
    const MatchTransform strong(analysis, {1.5f, 1.0f});
    ASSERT_EQ(full.tone().table().size(), 1024u);
    for (float x : {0.0f, 0.2f, 0.5f, 0.77f, 1.0f}) {
        EXPECT_NEAR(off.tone()(x), x, 1e-6f);
        EXPECT_NEAR(full.tone()(x), analysis.toneMap(x), 1e-6f);
        EXPECT_NEAR(strong.tone()(x), x + 1.5f * (analysis.toneMap(x) - x), 1e-3f);
    }
}

TEST(MatchTransformTone, ToneStrengthZeroKeepsLightness)
{
    const MatchTransform transform(handMadeAnalysis(0.5f), {0.0f, 0.0f});
    for (const RGB& c : seededColours(200, 1))
        expectNear(transform.apply(c), roundTrip(c), 2e-5f);
}

TEST(MatchTransformColour, ColourStrengthZeroLeavesChroma)
{
    const MatchTransform transform(handMadeAnalysis(0.5f), {1.0f, 0.0f});
    const Lab muted{0.4f, 0.02f, -0.015f};  // stays in gamut when brightened to √0.4
    const Lab out = ColorMath::srgbToOklab(transform.apply(ColorMath::oklabToSRGB(muted)));
    EXPECT_NEAR(out.L, std::sqrt(muted.L), 1e-4f);
    EXPECT_NEAR(out.a, muted.a, 1e-5f);
    EXPECT_NEAR(out.b, muted.b, 1e-5f);
}

TEST(MatchTransformColour, BandIsChosenByTheRankOfTheInputLightness)
{
    const RGB grey = ColorMath::oklabToSRGB({0.49f, 0, 0});  // tone √: L′ = 0.7
    const struct {
        float rank;
        Chroma expected;
    } cases[] = {
        {0.0f, {0, 0}},                    // below the first centre: band 0 alone
        {1.0f / 12.0f, {0, 0}},            // at the first centre
        {0.5f, {0.025f, -0.025f}},         // midway between bands 2 and 3
        {0.25f, {0.01f, -0.01f}},          // centre of band 1
        {11.0f / 12.0f, {0.05f, -0.05f}},  // at the last centre: band 5 alone
        {1.0f, {0.05f, -0.05f}},
    };
    for (const auto& c : cases) {
        const MatchTransform transform(handMadeAnalysis(c.rank), {1.0f, 1.0f});
        const RGB out = transform.apply(grey);
        EXPECT_NEAR(ColorMath::srgbToOklab(out).L, 0.7f, 1e-4f) << c.rank;
        EXPECT_NEAR(chromaOf(out).a, c.expected.a, 1e-5f) << c.rank;
        EXPECT_NEAR(chromaOf(out).b, c.expected.b, 1e-5f) << c.rank;
    }
}

TEST(MatchTransformColour, StrengthAboveOneOvershootsTheTransfer)
{
    // Rank at band 1's centre: t = (0.01, −0.01); from (0.02, 0.01), 1.5 × the way.
    const MatchTransform transform(handMadeAnalysis(0.25f), {0.0f, 1.5f});
    const Lab input{0.6f, 0.02f, 0.01f};
    const Chroma out = chromaOf(transform.apply(ColorMath::oklabToSRGB(input)));
    EXPECT_NEAR(out.a, 0.02f + 1.5f * (0.01f - 0.02f), 1e-5f);
    EXPECT_NEAR(out.b, 0.01f + 1.5f * (-0.01f - 0.01f), 1e-5f);
}

TEST(MatchTransformColour, InterpolatesEveryBandFieldBeforeTransferring)
{
    // Matrices and source means differ between bands 2 and 3; at rank 0.5 each field is the
    // mean of the two, then the transfer t = μr + M (c − μs) is applied.
    MatchAnalysis analysis = handMadeAnalysis(0.5f);
    analysis.bands[2] = {{0.01f, 0.0f}, {0.0f, 0.0f}, {1.0f, 0.0f, 1.0f}};
    analysis.bands[3] = {{0.03f, 0.02f}, {0.02f, 0.0f}, {2.0f, 0.5f, 1.0f}};
    const MatchTransform transform(analysis, {0.0f, 1.0f});
    const Lab input{0.6f, 0.04f, -0.02f};
    const Chroma out = chromaOf(transform.apply(ColorMath::oklabToSRGB(input)));
    const Chroma d = {input.a - 0.02f, input.b - 0.01f};
    EXPECT_NEAR(out.a, 0.01f + 1.5f * d.a + 0.25f * d.b, 1e-5f);
    EXPECT_NEAR(out.b, 0.0f + 0.25f * d.a + 1.0f * d.b, 1e-5f);
}

TEST(MatchTransformColour, BandFieldsFollowTheRankPiecewiseLinearly)
{
    // Random, uneven band fields: at every rank the transfer is made of the tent-weighted
    // fields of the bands around it, held flat beyond the end centres.
    std::mt19937 random(9);
    std::uniform_real_distribution<float> mean(-0.015f, 0.015f);
    std::uniform_real_distribution<float> diagonal(0.5f, 1.2f);
    std::uniform_real_distribution<float> across(-0.2f, 0.2f);
    MatchAnalysis analysis = handMadeAnalysis(0.0f);
    for (BandTransfer& band : analysis.bands)
        band = {{mean(random), mean(random)},
                {mean(random), mean(random)},
                {diagonal(random), across(random), diagonal(random)}};
    const auto count = static_cast<double>(analysis.bands.size());
    const Lab input{0.6f, 0.01f, -0.005f};
    for (int step = 0; step <= 96; ++step) {
        const float rank = static_cast<float>(step) / 96.0f;
        analysis.sourceRank = Curve1D(std::vector<float>{rank, rank});
        const double position = std::clamp(rank * count - 0.5, 0.0, count - 1.0);
        BandTransfer expected{};
        for (std::size_t k = 0; k < analysis.bands.size(); ++k) {
            const auto w = static_cast<float>(
                std::max(0.0, 1.0 - std::abs(position - static_cast<double>(k))));
            const BandTransfer& band = analysis.bands[k];
            expected.sourceMean += band.sourceMean * w;
            expected.referenceMean += band.referenceMean * w;
            expected.matrix.m00 += band.matrix.m00 * w;
            expected.matrix.m01 += band.matrix.m01 * w;
            expected.matrix.m11 += band.matrix.m11 * w;
        }
        const Chroma d = Chroma{input.a, input.b} - expected.sourceMean;
        const Chroma out =
            chromaOf(MatchTransform(analysis, {0.0f, 1.0f}).apply(ColorMath::oklabToSRGB(input)));
        ASSERT_NEAR(
            out.a, expected.referenceMean.a + expected.matrix.m00 * d.a + expected.matrix.m01 * d.b,
            2e-5f)
            << rank;
        ASSERT_NEAR(
            out.b, expected.referenceMean.b + expected.matrix.m01 * d.a + expected.matrix.m11 * d.b,
            2e-5f)
            << rank;
    }
}

TEST(MatchTransformColour, OutputsStayInGamut)
{
    MatchAnalysis analysis = handMadeAnalysis(0.5f);
    for (BandTransfer& band : analysis.bands)
        band = {{-0.1f, 0.1f}, {0.2f, -0.2f}, {2.0f, 0.0f, 2.0f}};
    const MatchTransform transform(analysis, {1.5f, 1.5f});
    for (const RGB& c : seededColours(500, 2)) {
        const RGB out = transform.apply(c);
        for (float channel : {out.r, out.g, out.b}) {
            ASSERT_GE(channel, 0.0f);
            ASSERT_LE(channel, 1.0f);
        }
    }
}

TEST(MatchTransformColour, DecodedRunsEqualApplyBitForBit)
{
    const PixelBuffer source = spreadImage(200, 150, 0.05f, 0.8f, 0.04f, 4);
    const PixelBuffer reference = spreadImage(180, 180, 0.2f, 0.95f, 0.07f, 5);
    const MatchTransform transform(ColorMatcher::analyse(source, reference), {1.1f, 1.4f});
    std::vector<RGB> colours = seededColours(300, 6);
    colours.push_back({-0.2f, 1.2f, 0.5f});
    std::vector<RGB> linear(colours.size());
    for (std::size_t i = 0; i < colours.size(); ++i)
        linear[i] = ColorMath::decode(colours[i]);
    std::vector<RGB> out(colours.size());
    transform.applyDecoded(colours, linear, out);
    for (std::size_t i = 0; i < colours.size(); ++i)
        ASSERT_EQ(out[i], transform.apply(colours[i])) << "colour " << i;
}

TEST(MatchTransformColour, EmptyBandListStops)
{
    MatchAnalysis analysis = handMadeAnalysis(0.5f);
    analysis.bands.clear();
    EXPECT_DEATH(MatchTransform(analysis, {}), "at least one band");
}

// --- End to end: analysis, then the transform on the source's own pixels ---

TEST(MatchTransformEndToEnd, SelfMatchChangesOnlyByTheRoundTrip)
{
    const PixelBuffer image = spreadImage(600, 420, 0.0f, 1.0f, 0.03f, 3, [](float L) {
        return Chroma{0.02f, 0.04f * L - 0.02f};
    });
    const MatchAnalysis analysis = ColorMatcher::analyse(image, image);
    // Tone off: the end pull of the smoothed map is not part of this check.
    for (float colour : {1.0f, 1.5f}) {
        const MatchTransform transform(analysis, {0.0f, colour});
        for (const RGB& c : seededColours(300, 4))
            expectNear(transform.apply(c), roundTrip(c), 2e-4f);
    }
    // Mid-tones keep their lightness with the tone map on, too.
    const MatchTransform full(analysis, {1.0f, 1.0f});
    const RGB mid = ColorMath::oklabToSRGB({0.5f, 0.01f, 0.02f});
    expectNear(full.apply(mid), roundTrip(mid), 2e-4f);
}

float meanLightness(const PixelBuffer& image)
{
    double sum = 0.0;
    for (const RGB& c : image.pixels())
        sum += ColorMath::srgbToOklab(c).L;
    return static_cast<float>(sum / static_cast<double>(image.pixels().size()));
}

TEST(MatchTransformEndToEnd, DarkSourceMatchedToBrightReferenceGetsBrighter)
{
    const PixelBuffer dark = spreadImage(300, 200, 0.1f, 0.45f, 0.02f, 5);
    const PixelBuffer bright = spreadImage(300, 200, 0.45f, 0.95f, 0.02f, 6);
    const MatchTransform transform(ColorMatcher::analyse(dark, bright), {1.0f, 1.0f});
    const float matched = meanLightness(dark.applying(transform));
    EXPECT_NEAR(matched, meanLightness(bright), 0.02f);
    const MatchTransform half(ColorMatcher::analyse(dark, bright), {0.5f, 1.0f});
    const float between = meanLightness(dark.applying(half));
    EXPECT_GT(between, meanLightness(dark) + 0.1f);
    EXPECT_LT(between, matched - 0.1f);
}

TEST(MatchTransformEndToEnd, CastIsRemovedPerBand)
{
    // Warm shadows and cool highlights against a neutral reference of the same tones.
    const auto cast = [](float L) { return Chroma{0.04f - 0.04f * L, 0.05f - 0.08f * L}; };
    const PixelBuffer source = spreadImage(500, 300, 0.3f, 0.9f, 0.01f, 7, cast);
    const PixelBuffer reference = spreadImage(500, 300, 0.3f, 0.9f, 0.01f, 8);
    const PixelBuffer matched =
        source.applying(MatchTransform(ColorMatcher::analyse(source, reference), {1.0f, 1.0f}));

    // Mean chroma per sixth of the source (pixels are in lightness order), before and after.
    constexpr int sixths = 6;
    const std::size_t count = source.pixels().size();
    for (int k = 0; k < sixths; ++k) {
        Chroma before;
        Chroma after;
        const std::size_t begin = count * static_cast<std::size_t>(k) / sixths;
        const std::size_t end = count * static_cast<std::size_t>(k + 1) / sixths;
        for (std::size_t i = begin; i < end; ++i) {
            before += chromaOf(source.pixels()[i]);
            after += chromaOf(matched.pixels()[i]);
        }
        const float n = static_cast<float>(end - begin);
        before *= 1.0f / n;
        after *= 1.0f / n;
        const float cast = std::hypot(before.a, before.b);
        EXPECT_GT(cast, 0.01f) << k;
        // The outer sixths keep a little: beyond the end band centres the transfer is held
        // flat while the cast keeps changing.
        const bool outer = k == 0 || k == sixths - 1;
        EXPECT_LT(std::hypot(after.a, after.b), outer ? 0.15f * cast : 0.001f) << k;
    }
}

}  // namespace
}  // namespace lumivert
