#include "MatchFixtures.hpp"

#include "color/ColorMath.hpp"
#include "learners/ColorMatcher.hpp"

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <limits>
#include <numeric>
#include <utility>
#include <vector>

namespace lumivert {
namespace {

using fixtures::spreadImage;

constexpr float naN = std::numeric_limits<float>::quiet_NaN();
constexpr float tableStep = 1.0f / 1023.0f;

void expectMatrixNear(const Symmetric2& actual, const Symmetric2& expected, float tolerance)
{
    EXPECT_NEAR(actual.m00, expected.m00, tolerance);
    EXPECT_NEAR(actual.m01, expected.m01, tolerance);
    EXPECT_NEAR(actual.m11, expected.m11, tolerance);
}

std::pair<float, float> eigenvalues(const Symmetric2& m)
{
    const float centre = (m.m00 + m.m11) / 2.0f;
    const float gap = (m.m00 - m.m11) / 2.0f;
    const float radius = std::sqrt(gap * gap + m.m01 * m.m01);
    return {centre + radius, centre - radius};
}

// x·y·x for symmetric x and y, which is symmetric again.
Symmetric2 sandwich(const Symmetric2& x, const Symmetric2& y)
{
    const float xy00 = x.m00 * y.m00 + x.m01 * y.m01;
    const float xy01 = x.m00 * y.m01 + x.m01 * y.m11;
    const float xy10 = x.m01 * y.m00 + x.m11 * y.m01;
    const float xy11 = x.m01 * y.m01 + x.m11 * y.m11;
    return {xy00 * x.m00 + xy01 * x.m01, xy00 * x.m01 + xy01 * x.m11, xy10 * x.m01 + xy11 * x.m11};
}

// Rotation by θ of diag(x, y): a symmetric matrix with known eigen-decomposition.
Symmetric2 rotatedDiagonal(float x, float y, float theta)
{
    const float c = std::cos(theta);
    const float s = std::sin(theta);
    return {x * c * c + y * s * s, (x - y) * c * s, x * s * s + y * c * c};
}

// --- Histogram and curve helpers ---

TEST(CumulativeHistogram, RunsFromZeroToOneOrFallsBackToARamp)
{
    const std::vector<float> histogram = {1, 0, 3};
    EXPECT_EQ(ColorMatcher::cumulativeHistogram(histogram, 4),
              (std::vector<float>{0, 0.25f, 0.25f, 1}));
    const std::vector<float> ramp = {0, 1.0f / 3.0f, 2.0f / 3.0f, 1};
    EXPECT_EQ(ColorMatcher::cumulativeHistogram(histogram, 0), ramp);
    EXPECT_EQ(ColorMatcher::cumulativeHistogram(histogram, naN), ramp);
}

TEST(Rank, InterpolatesInsideTheBinAndClampsTheInput)
{
    const std::vector<float> cumulative = {0, 0.25f, 0.25f, 1};
    EXPECT_FLOAT_EQ(ColorMatcher::rank(0.5f / 3.0f, cumulative), 0.125f);
    EXPECT_FLOAT_EQ(ColorMatcher::rank(0.5f, cumulative), 0.25f);
    EXPECT_FLOAT_EQ(ColorMatcher::rank(2.5f / 3.0f, cumulative), 0.625f);
    EXPECT_EQ(ColorMatcher::rank(1.0f, cumulative), 1.0f);  // last bin, fraction 1
    EXPECT_EQ(ColorMatcher::rank(-2.0f, cumulative), 0.0f);
    EXPECT_EQ(ColorMatcher::rank(3.0f, cumulative), 1.0f);
    EXPECT_EQ(ColorMatcher::rank(naN, cumulative), 0.0f);
}

TEST(GaussianSmoothed, DegenerateWidthsAndShortTablesAreUnchanged)
{
    const std::vector<float> values = {0, 5, 1, 7};
    EXPECT_EQ(ColorMatcher::gaussianSmoothed(values, 0), values);
    EXPECT_EQ(ColorMatcher::gaussianSmoothed(values, -2), values);
    EXPECT_EQ(ColorMatcher::gaussianSmoothed(values, naN), values);
    EXPECT_EQ(ColorMatcher::gaussianSmoothed({0, 9}, 3), (std::vector<float>{0, 9}));
}

TEST(GaussianSmoothed, NormalisedBlurWithRepeatedEnds)
{
    std::vector<float> impulse(201, 0.0f);
    impulse[100] = 1.0f;
    const std::vector<float> blurred = ColorMatcher::gaussianSmoothed(impulse, 3);
    EXPECT_NEAR(std::accumulate(blurred.begin(), blurred.end(), 0.0), 1.0, 1e-6);
    EXPECT_EQ(blurred[90], 0.0f);  // radius ⌈3σ⌉ = 9
    EXPECT_GT(blurred[91], 0.0f);
    EXPECT_NEAR(blurred[97], blurred[103], 1e-9f);
    EXPECT_NEAR(blurred[100] / blurred[101], std::exp(1.0f / 18.0f), 1e-5f);

    // A ramp is kept wherever the kernel fits and pulled in at the repeated ends.
    std::vector<float> ramp(1024);
    for (std::size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = static_cast<float>(i) * tableStep;
    const std::vector<float> smoothed = ColorMatcher::gaussianSmoothed(ramp, 24);
    for (std::size_t i = 72; i <= 951; ++i)
        ASSERT_NEAR(smoothed[i], ramp[i], 1e-6f) << i;
    EXPECT_NEAR(smoothed[0], 0.0093f, 1e-4f);
    EXPECT_NEAR(smoothed[1023], 0.9907f, 1e-4f);
}

TEST(SlopeLimited, KeepsTheAnchorAndCurvesWithinRange)
{
    std::vector<float> gentle(11);
    for (std::size_t i = 0; i < gentle.size(); ++i)
        gentle[i] = 0.2f + 0.1f * static_cast<float>(i) * static_cast<float>(i) / 10.0f;
    const std::vector<float> kept = ColorMatcher::slopeLimited(gentle, 4, 0.0f, 3.0f);
    for (std::size_t i = 0; i < gentle.size(); ++i)
        EXPECT_NEAR(kept[i], gentle[i], 1e-6f);
    EXPECT_EQ(kept[4], gentle[4]);
}

TEST(SlopeLimited, FlatAndSteepPartsAreBentToTheBounds)
{
    // Flat table, 11 entries: the step range is [0.05, 0.2] per entry.
    const std::vector<float> flat(11, 0.5f);
    const std::vector<float> bent = ColorMatcher::slopeLimited(flat, 5, 0.5f, 2.0f);
    for (std::size_t i = 0; i < bent.size(); ++i)
        EXPECT_NEAR(bent[i], 0.5f + (static_cast<float>(i) - 5.0f) * 0.05f, 1e-6f);

    const std::vector<float> cliff = {0, 0, 0, 1, 1, 1};  // step range [0.1, 0.4]
    const std::vector<float> eased = ColorMatcher::slopeLimited(cliff, 0, 0.5f, 2.0f);
    EXPECT_EQ(eased[0], 0.0f);
    EXPECT_NEAR(eased[3], 0.2f + 0.4f, 1e-6f);
    EXPECT_NEAR(eased[5], 0.2f + 0.4f + 0.2f, 1e-6f);
}

TEST(SlopeLimited, NotANumberStepsTakeTheLowerBoundAndTheAnchorIsClamped)
{
    const std::vector<float> gap = {0.0f, naN, 0.3f};  // step range [0.25, 1]
    const std::vector<float> filled = ColorMatcher::slopeLimited(gap, 0, 0.5f, 2.0f);
    EXPECT_FLOAT_EQ(filled[1], 0.25f);
    EXPECT_FLOAT_EQ(filled[2], 0.5f);

    const std::vector<float> values = {0.1f, 0.2f, 0.3f, 0.4f};
    EXPECT_EQ(ColorMatcher::slopeLimited(values, -7, 0.0f, 9.0f)[0], 0.1f);
    EXPECT_EQ(ColorMatcher::slopeLimited(values, 99, 0.0f, 9.0f)[3], 0.4f);
    EXPECT_EQ(ColorMatcher::slopeLimited(std::vector<float>{0.7f}, 0, 0.5f, 2.0f),
              std::vector<float>{0.7f});
}

// --- Symmetric 2 × 2 algebra ---

TEST(LimitEigenvalues, ClampsEigenvaluesAndKeepsEigenvectors)
{
    expectMatrixNear(ColorMatcher::limitEigenvalues({4, 0, 4}, 0.5f, 2), {2, 0, 2}, 0);
    expectMatrixNear(ColorMatcher::limitEigenvalues({0.1f, 0, 0.2f}, 0.5f, 2), {0.5f, 0, 0.5f}, 0);
    const float theta = 0.7f;
    expectMatrixNear(ColorMatcher::limitEigenvalues(rotatedDiagonal(5.0f, 0.1f, theta), 0.5f, 2),
                     rotatedDiagonal(2.0f, 0.5f, theta), 1e-6f);
    const Symmetric2 inside = rotatedDiagonal(1.7f, 0.6f, -1.1f);
    expectMatrixNear(ColorMatcher::limitEigenvalues(inside, 0.5f, 2), inside, 1e-6f);
}

TEST(LimitEigenvalues, NearlyDiagonalMatricesKeepTheirOrientation)
{
    // The smaller diagonal entry first and a tiny coupling: λ1 − m11 is pure rounding here, so
    // an eigenvector built from it would swap the two axes.
    const Symmetric2 nearlyDiagonal = {0.51f, 2e-8f, 1.4904243f};
    expectMatrixNear(ColorMatcher::limitEigenvalues(nearlyDiagonal, 0.5f, 2), nearlyDiagonal,
                     1e-6f);
    expectMatrixNear(ColorMatcher::limitEigenvalues({1.5f, -3e-8f, 0.8f}, 0.5f, 2),
                     {1.5f, -3e-8f, 0.8f}, 1e-6f);
    // Below the threshold the eigenvectors are the axes.
    expectMatrixNear(ColorMatcher::limitEigenvalues({0.7f, 1e-10f, 3.0f}, 0.5f, 2), {0.7f, 0, 2.0f},
                     1e-6f);
}

TEST(LimitEigenvalues, NotANumberEigenvaluesBecomeTheLowerBound)
{
    expectMatrixNear(ColorMatcher::limitEigenvalues({naN, 0, naN}, 0.5f, 2), {0.5f, 0, 0.5f}, 0);
}

TEST(SquareRoot, SquaresBackToTheMatrix)
{
    for (const Symmetric2& m : {Symmetric2{4, 0, 9}, rotatedDiagonal(0.003f, 0.0001f, 0.4f),
                                Symmetric2{2, 1, 1}, Symmetric2{1e-5f, 0, 1e-5f}}) {
        const Symmetric2 root = ColorMatcher::squareRoot(m);
        const float scale = std::max(m.m00, m.m11);
        expectMatrixNear(sandwich(root, {1, 0, 1}), m, 1e-5f * scale);
        const auto [large, small] = eigenvalues(root);
        EXPECT_GT(small, 0.0f);
        EXPECT_GE(large, small);
    }
    expectMatrixNear(ColorMatcher::squareRoot({0, 0, 0}), {0, 0, 0}, 0);
}

TEST(TransferMatrix, CarriesTheSourceCovarianceOntoTheReference)
{
    const Symmetric2 source = rotatedDiagonal(0.004f, 0.001f, 0.3f);
    expectMatrixNear(ColorMatcher::transferMatrix(source, source), {1, 0, 1}, 1e-5f);

    // T·A·T = B whenever the needed gains are within [0.5, 2].
    const Symmetric2 reference = rotatedDiagonal(0.003f, 0.0012f, 0.9f);
    const Symmetric2 t = ColorMatcher::transferMatrix(source, reference);
    const auto [large, small] = eigenvalues(t);
    ASSERT_LT(large, 2.0f);
    ASSERT_GT(small, 0.5f);
    expectMatrixNear(sandwich(t, source), reference, 1e-8f);

    // Sixteen times the covariance would need gain 4; it is held to 2, likewise for shrinking.
    expectMatrixNear(
        ColorMatcher::transferMatrix({0.001f, 0.0002f, 0.002f}, {0.016f, 0.0032f, 0.032f}),
        {2, 0, 2}, 1e-5f);
    expectMatrixNear(ColorMatcher::transferMatrix({0.016f, 0, 0.016f}, {0.001f, 0, 0.001f}),
                     {0.5f, 0, 0.5f}, 1e-6f);
}

// --- The analysis ---

// Lightness over the whole range in fine steps, so every histogram bin is populated.
PixelBuffer fullRangeImage()
{
    return spreadImage(640, 400, 0.0f, 1.0f, 0.02f, 17, [](float L) {
        return Chroma{0.03f * L, -0.01f};
    });
}

TEST(ColorMatcherAnalyse, MatchingAnImageToItselfChangesNothing)
{
    const PixelBuffer image = fullRangeImage();
    const MatchAnalysis analysis = ColorMatcher::analyse(image, image);
    const std::vector<float>& tone = analysis.toneMap.table();
    ASSERT_EQ(tone.size(), 1024u);
    for (std::size_t i = 72; i <= 951; ++i)
        ASSERT_NEAR(tone[i], static_cast<float>(i) * tableStep, 2e-5f) << i;
    EXPECT_NEAR(tone[0], 0.0093f, 5e-4f);
    EXPECT_NEAR(tone[1023], 0.9907f, 5e-4f);
    ASSERT_EQ(analysis.sourceRank.table().size(), 1024u);
    EXPECT_NEAR(analysis.sourceRank(0.5f), 0.5f, 2e-3f);
    ASSERT_EQ(analysis.bands.size(), static_cast<std::size_t>(ColorMatcher::bandCount));
    for (const BandTransfer& band : analysis.bands) {
        EXPECT_EQ(band.sourceMean, band.referenceMean);
        expectMatrixNear(band.matrix, {1, 0, 1}, 1e-4f);
    }
}

TEST(ColorMatcherAnalyse, SameResultOnEveryRunAndThreadCount)
{
    const PixelBuffer source = spreadImage(700, 500, 0.1f, 0.8f, 0.04f, 3);
    const PixelBuffer reference = spreadImage(500, 600, 0.2f, 0.9f, 0.02f, 4, [](float L) {
        return Chroma{0.02f, L / 30.0f};
    });
    const int threads = omp_get_max_threads();
    omp_set_num_threads(1);
    const MatchAnalysis serial = ColorMatcher::analyse(source, reference);
    omp_set_num_threads(2);
    const MatchAnalysis parallel = ColorMatcher::analyse(source, reference);
    const MatchAnalysis again = ColorMatcher::analyse(source, reference);
    omp_set_num_threads(threads);
    EXPECT_TRUE(serial == parallel);
    EXPECT_TRUE(parallel == again);
}

TEST(ColorMatcherAnalyse, DarkSourceFollowsABrightReference)
{
    const PixelBuffer dark = spreadImage(400, 300, 0.1f, 0.5f, 0.01f, 5);
    const PixelBuffer bright = spreadImage(300, 300, 0.4f, 0.95f, 0.01f, 6);
    const MatchAnalysis analysis = ColorMatcher::analyse(dark, bright);
    // Median to median, quartile to quartile: uniform spreads map linearly.
    EXPECT_NEAR(analysis.toneMap(0.3f), 0.675f, 0.01f);
    EXPECT_NEAR(analysis.toneMap(0.2f), 0.5375f, 0.01f);
    EXPECT_NEAR(analysis.toneMap(0.4f), 0.8125f, 0.01f);
}

TEST(ColorMatcherAnalyse, ToneMapStaysInRangeWithBoundedSlopes)
{
    const std::pair<PixelBuffer, PixelBuffer> pairs[] = {
        {spreadImage(300, 200, 0.45f, 0.55f, 0.01f, 7),
         spreadImage(300, 200, 0.0f, 1.0f, 0.01f, 8)},
        {spreadImage(300, 200, 0.0f, 1.0f, 0.01f, 9),
         spreadImage(300, 200, 0.6f, 0.62f, 0.01f, 10)},
    };
    for (const auto& [source, reference] : pairs) {
        const MatchAnalysis analysis = ColorMatcher::analyse(source, reference);
        const std::vector<float>& tone = analysis.toneMap.table();
        for (std::size_t i = 0; i + 1 < tone.size(); ++i) {
            ASSERT_GE(tone[i], 0.0f);
            ASSERT_LE(tone[i], 1.0f);
            if (tone[i] > 0.0f && tone[i + 1] < 1.0f) {
                const float step = tone[i + 1] - tone[i];
                ASSERT_GE(step, 0.5f * tableStep - 1e-6f) << i;
                ASSERT_LE(step, 2.0f * tableStep + 1e-6f) << i;
            }
        }
    }
}

TEST(ColorMatcherAnalyse, BandMatricesHalveOrDoubleAtMost)
{
    const PixelBuffer muted = spreadImage(400, 300, 0.5f, 0.8f, 0.01f, 11);
    const PixelBuffer vivid = spreadImage(400, 300, 0.5f, 0.8f, 0.04f, 12);
    for (const BandTransfer& band : ColorMatcher::analyse(muted, vivid).bands)
        expectMatrixNear(band.matrix, {2, 0, 2}, 1e-4f);
    for (const BandTransfer& band : ColorMatcher::analyse(vivid, muted).bands)
        expectMatrixNear(band.matrix, {0.5f, 0, 0.5f}, 1e-4f);

    const PixelBuffer skewed = spreadImage(300, 300, 0.2f, 0.9f, 0.0f, 13, [](float L) {
        return Chroma{0.08f * std::sin(40.0f * L), 0.01f * std::cos(90.0f * L)};
    });
    for (const BandTransfer& band : ColorMatcher::analyse(skewed, vivid).bands) {
        const auto [large, small] = eigenvalues(band.matrix);
        EXPECT_LE(large, 2.0f + 1e-5f);
        EXPECT_GE(small, 0.5f - 1e-5f);
    }
}

TEST(ColorMatcherAnalyse, BandMeansFollowACastThatChangesWithLightness)
{
    // Warm shadows and cool highlights, linear in L; the reference is neutral.
    const auto cast = [](float L) { return Chroma{0.04f - 0.06f * L, 0.03f - 0.05f * L}; };
    const PixelBuffer source = spreadImage(500, 400, 0.3f, 0.9f, 0.01f, 14, cast);
    const PixelBuffer reference = spreadImage(500, 400, 0.3f, 0.9f, 0.01f, 15);
    const MatchAnalysis analysis = ColorMatcher::analyse(source, reference);
    for (int k = 1; k + 1 < ColorMatcher::bandCount; ++k) {
        const float centre = 0.3f + 0.6f * (static_cast<float>(k) + 0.5f) / 6.0f;
        const BandTransfer& band = analysis.bands[static_cast<std::size_t>(k)];
        EXPECT_NEAR(band.sourceMean.a, cast(centre).a, 0.003f) << k;
        EXPECT_NEAR(band.sourceMean.b, cast(centre).b, 0.003f) << k;
        EXPECT_NEAR(band.referenceMean.a, 0.0f, 0.003f) << k;
        EXPECT_NEAR(band.referenceMean.b, 0.0f, 0.003f) << k;
    }
}

// First colour whose Oklab lightness lands at a fraction of its 1/1024 histogram bin within
// [lo, hi]; a uniform colour's rank inside its own bin depends on that fraction.
Lab colourAtBinFraction(float startL, float lo, float hi, const Chroma& chroma)
{
    for (float L = startL; L < 1.0f; L += 0.0001f) {
        const Lab lab = ColorMath::srgbToOklab(ColorMath::oklabToSRGB({L, chroma.a, chroma.b}));
        const float fraction = lab.L * 1024.0f - std::floor(lab.L * 1024.0f);
        if (fraction >= lo && fraction <= hi)
            return lab;
    }
    ADD_FAILURE() << "no colour found";
    return {};
}

TEST(ColorMatcherAnalyse, ThinBandsCopyTheNearestMeasuredBand)
{
    // Two flat halves: the dark half ranks below 1/12, the bright half above 11/12, so only
    // bands 0 and 5 are measured and bands 1 to 4 take band 0 (the lower side wins ties).
    const Lab dark = colourAtBinFraction(0.35f, 0.02f, 0.1f, {0.03f, 0.01f});
    const Lab bright = colourAtBinFraction(0.75f, 0.9f, 0.98f, {-0.02f, -0.03f});
    const PixelBuffer image =
        fixtures::oklabImage(200, 100, [&](std::int64_t i, std::int64_t count) {
            return i < count / 2 ? dark : bright;
        });
    const MatchAnalysis analysis =
        ColorMatcher::analyse(image, spreadImage(100, 100, 0.2f, 0.8f, 0.01f, 16));
    const auto expectMean = [&](int k, float darkShare) {
        const Chroma mean = analysis.bands[static_cast<std::size_t>(k)].sourceMean;
        EXPECT_NEAR(mean.a, darkShare * dark.a + (1 - darkShare) * bright.a, 1e-5f) << k;
        EXPECT_NEAR(mean.b, darkShare * dark.b + (1 - darkShare) * bright.b, 1e-5f) << k;
    };
    for (int k = 0; k < 4; ++k)
        expectMean(k, 1.0f);
    // Only the means are smoothed across bands: (¼, ½, ¼) with the ends repeated.
    expectMean(4, 0.75f);
    expectMean(5, 0.25f);
}

TEST(ColorMatcherAnalyse, TinyImagesFallBackToNeutralBands)
{
    // 16 samples: no band reaches a total membership above 20.
    const PixelBuffer tiny = spreadImage(4, 4, 0.3f, 0.7f, 0.0f, 18, [](float) {
        return Chroma{0.05f, 0.02f};
    });
    const PixelBuffer reference = spreadImage(200, 200, 0.3f, 0.7f, 0.01f, 19, [](float) {
        return Chroma{-0.02f, 0.01f};
    });
    const MatchAnalysis analysis = ColorMatcher::analyse(tiny, reference);
    for (const BandTransfer& band : analysis.bands) {
        EXPECT_EQ(band.sourceMean, (Chroma{0, 0}));
        EXPECT_NEAR(band.referenceMean.a, -0.02f, 1e-3f);
    }
    const MatchAnalysis both = ColorMatcher::analyse(tiny, tiny);
    for (const BandTransfer& band : both.bands) {
        EXPECT_EQ(band.referenceMean, (Chroma{0, 0}));
        // Neutral bands against neutral bands: only the global half of the matrix remains.
        expectMatrixNear(band.matrix, {1, 0, 1}, 1e-4f);
    }
}

TEST(ColorMatcherAnalyse, PixelsThatAreNotNumbersAreLeftOut)
{
    // The same pixels in the same order, once with not-a-number pixels appended.
    const PixelBuffer clean = spreadImage(300, 100, 0.2f, 0.8f, 0.02f, 20);
    std::vector<RGB> pixels = clean.pixels();
    pixels.insert(pixels.end(), 300, RGB{naN, 0.5f, 0.5f});
    pixels.insert(pixels.end(), 300, RGB{0.5f, std::numeric_limits<float>::infinity(), 0.5f});
    const PixelBuffer dirty(300, 102, std::move(pixels));
    const PixelBuffer reference = spreadImage(200, 200, 0.3f, 0.9f, 0.03f, 21);
    EXPECT_TRUE(ColorMatcher::analyse(dirty, reference) == ColorMatcher::analyse(clean, reference));

    // Nothing usable at all: neutral bands and an even-ramp rank.
    const PixelBuffer broken(10, 10, RGB{naN, naN, naN});
    const MatchAnalysis analysis = ColorMatcher::analyse(broken, reference);
    EXPECT_NEAR(analysis.sourceRank(0.5f), 0.5f, 1e-6f);
    for (const BandTransfer& band : analysis.bands) {
        EXPECT_EQ(band.sourceMean, (Chroma{0, 0}));
        EXPECT_TRUE(std::isfinite(band.matrix.m00) && std::isfinite(band.matrix.m01) &&
                    std::isfinite(band.matrix.m11));
    }
    for (float value : analysis.toneMap.table())
        ASSERT_TRUE(value >= 0.0f && value <= 1.0f);
}

}  // namespace
}  // namespace lumivert
