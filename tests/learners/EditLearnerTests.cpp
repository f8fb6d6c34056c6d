#include "color/ColorMath.hpp"
#include "learners/EditLearner.hpp"
#include "learners/LatticeBand.hpp"
#include "support/EditPhotos.hpp"

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <limits>
#include <random>

namespace lumivert {
namespace {

using fixtures::edited;
using fixtures::photo;
using fixtures::quantised;
using fixtures::warmGrade;

constexpr float naN = std::numeric_limits<float>::quiet_NaN();
constexpr float oneLevel = 1.0f / 255.0f;
constexpr int slots = LatticeBand::slotCount;
constexpr int diagonal = LatticeBand::diagonalSlot;

const LUT3D& knownGrade()
{
    static const LUT3D grade = LUT3D::build(17, warmGrade);
    return grade;
}

PixelBuffer greyRamp(std::int64_t width, std::int64_t height)
{
    std::vector<RGB> pixels;
    for (std::int64_t i = 0; i < width * height; ++i) {
        const float grey = static_cast<float>(i % width) / static_cast<float>(width - 1);
        pixels.push_back({grey, grey, grey});
    }
    return PixelBuffer(width, height, std::move(pixels));
}

RGB latticeInput(std::int64_t r, std::int64_t g, std::int64_t b, std::int64_t n)
{
    const auto last = static_cast<float>(n - 1);
    return {static_cast<float>(r) / last, static_cast<float>(g) / last,
            static_cast<float>(b) / last};
}

float maxChannelDifference(const RGB& x, const RGB& y)
{
    return std::max({std::fabs(x.r - y.r), std::fabs(x.g - y.g), std::fabs(x.b - y.b)});
}

// ---------------------------------------------------------------------------------------------
// Shapes

TEST(EditLearnerShapes, SlightlyDifferentExportIsResizedToTheSmallerSize)
{
    const PixelBuffer before = greyRamp(1000, 800);
    const PixelBuffer after = greyRamp(1010, 800);
    const EditSystem system = EditLearner::prepare(before, after, 5);
    EXPECT_EQ(system, EditLearner::prepare(before, after.resized(1000, 800), 5));
    EXPECT_EQ(system.sampleCount(), 400000);

    // Both sides larger in one direction: both come down to the smaller width and height.
    const PixelBuffer wide = greyRamp(202, 100);
    const PixelBuffer tall = greyRamp(200, 101);
    EXPECT_EQ(EditLearner::prepare(wide, tall, 5),
              EditLearner::prepare(wide.resized(200, 100), tall.resized(200, 100), 5));
}

TEST(EditLearnerShapes, AspectRatiosTwoPercentApartAreRefused)
{
    struct Case {
        std::int64_t beforeWidth, beforeHeight, afterWidth, afterHeight;
        bool accepted;
    };
    // Relative to the before image: 1 %, 3 %, about 1.96 % (a taller after image), and turned.
    for (const Case& c : {Case{100, 100, 101, 100, true}, Case{100, 100, 103, 100, false},
                          Case{100, 100, 100, 102, true}, Case{1000, 800, 800, 1000, false}}) {
        const PixelBuffer before = greyRamp(c.beforeWidth, c.beforeHeight);
        const PixelBuffer after = greyRamp(c.afterWidth, c.afterHeight);
        if (c.accepted) {
            EXPECT_NO_THROW(EditLearner::prepare(before, after, 3)) << c.afterWidth;
            continue;
        }
        try {
            EditLearner::prepare(before, after, 3);
            ADD_FAILURE() << c.afterWidth << " × " << c.afterHeight << " was accepted";
        } catch (const EditLearnerError& error) {
            EXPECT_EQ(error, EditLearnerError::differentShapes());
            EXPECT_STREQ(error.what(), "The before and after images have different shapes. Use "
                                       "the same photo, exported at the same crop.");
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Sampling

// Every odd pixel of the after image is inverted; even pixels are unchanged.
std::pair<PixelBuffer, PixelBuffer> oddPixelsEdited(std::int64_t pixelCount)
{
    std::vector<RGB> before(static_cast<std::size_t>(pixelCount));
    std::vector<RGB> after(before.size());
    for (std::size_t k = 0; k < before.size(); ++k) {
        const float grey = static_cast<float>(k % 1000) / 999.0f;
        before[k] = {grey, 0.5f * grey, 0.25f};
        after[k] = k % 2 == 0 ? before[k] : RGB{1.0f, 1.0f, 1.0f} - before[k];
    }
    return {PixelBuffer(pixelCount, 1, std::move(before)), PixelBuffer(pixelCount, 1, after)};
}

bool allZero(std::span<const RGB> values)
{
    return std::all_of(values.begin(), values.end(), [](const RGB& v) { return v == RGB{}; });
}

TEST(EditLearnerSampling, FitStrideVisitsEveryStepthPixel)
{
    const auto [smallBefore, smallAfter] = oddPixelsEdited(399999);
    const EditSystem small = EditLearner::prepare(smallBefore, smallAfter, 3);
    EXPECT_EQ(small.sampleCount(), 399999);
    EXPECT_FALSE(allZero(small.rhs()));

    // Step 2 visits only the unedited even pixels, so nothing reaches the right-hand side.
    const auto [largeBefore, largeAfter] = oddPixelsEdited(800000);
    const EditSystem large = EditLearner::prepare(largeBefore, largeAfter, 3);
    EXPECT_EQ(large.sampleCount(), 400000);
    EXPECT_TRUE(allZero(large.rhs()));
}

TEST(EditLearnerSampling, CheckSamplesAreAClampedStrideOfThePixels)
{
    std::vector<RGB> pixels;
    for (int k = 0; k < 40000; ++k)
        pixels.push_back({static_cast<float>(k) / 40000.0f, -0.5f, k % 2 == 0 ? 1.5f : naN});
    const PixelBuffer image(200, 200, pixels);
    const PixelBuffer edit = image.applying(LUT3D::identity(2));

    const EditSystem full = EditLearner::prepare(image, edit, 3);
    ASSERT_EQ(full.checkBefore().size(), 20000u);
    ASSERT_EQ(full.checkAfter().size(), 20000u);
    for (std::size_t k = 0; k < 20000; ++k) {
        ASSERT_EQ(full.checkBefore()[k], clamp01(pixels[2 * k]));
        ASSERT_EQ(full.checkAfter()[k], clamp01(edit.pixels()[2 * k]));
    }
    EXPECT_EQ(full.checkBefore()[1], (RGB{2.0f / 40000.0f, 0.0f, 1.0f}));

    const PixelBuffer fewer(19999, 1, std::vector<RGB>(pixels.begin(), pixels.begin() + 19999));
    const EditSystem every = EditLearner::prepare(fewer, fewer, 3);
    EXPECT_EQ(every.checkBefore().size(), 19999u);
    EXPECT_EQ(every.checkBefore()[1], clamp01(pixels[1]));
    EXPECT_EQ(every.sampleCount(), 19999);
}

// ---------------------------------------------------------------------------------------------
// Accumulation

// The trilinear weight of lattice coordinate i for an input at lattice position t.
float hat(float t, std::int64_t i)
{
    return std::max(0.0f, 1.0f - std::fabs(t - static_cast<float>(i)));
}

struct OnePixel {
    RGB before;
    RGB after;
};

class EditLearnerOnePixel : public testing::TestWithParam<OnePixel> {};

TEST_P(EditLearnerOnePixel, FeedsTheCornersWithTheLookupWeights)
{
    constexpr std::int64_t n = 5;
    const OnePixel pixel = GetParam();
    const EditSystem system =
        EditLearner::prepare(PixelBuffer(1, 1, pixel.before), PixelBuffer(1, 1, pixel.after), n);
    const RGB x = clamp01(pixel.before);
    const RGB delta = clamp01(pixel.after) - x;
    const float last = static_cast<float>(n - 1);

    std::vector<float> weight(n * n * n);
    for (std::int64_t b = 0; b < n; ++b)
        for (std::int64_t g = 0; g < n; ++g)
            for (std::int64_t r = 0; r < n; ++r)
                weight[r + n * (g + n * b)] =
                    hat(last * x.r, r) * hat(last * x.g, g) * hat(last * x.b, b);

    std::int64_t covered = 0;
    for (std::int64_t b = 0; b < n; ++b)
        for (std::int64_t g = 0; g < n; ++g)
            for (std::int64_t r = 0; r < n; ++r) {
                const std::int64_t i = r + n * (g + n * b);
                covered += weight[i] * weight[i] > 1e-6f ? 1 : 0;
                EXPECT_NEAR(system.rhs()[i].r, weight[i] * delta.r, 1e-6f);
                EXPECT_NEAR(system.rhs()[i].g, weight[i] * delta.g, 1e-6f);
                EXPECT_NEAR(system.rhs()[i].b, weight[i] * delta.b, 1e-6f);
                for (int s = 0; s < slots; ++s) {
                    const int dx = s % 3 - 1, dy = s / 3 % 3 - 1, dz = s / 9 - 1;
                    const bool inside = r + dx >= 0 && r + dx < n && g + dy >= 0 && g + dy < n &&
                                        b + dz >= 0 && b + dz < n;
                    const float expected =
                        inside ? weight[i] * weight[i + LatticeBand::offset(s, n)] : 0.0f;
                    EXPECT_NEAR(system.normal()[slots * i + s], expected, 1e-6f)
                        << "node " << i << " slot " << s;
                }
            }
    EXPECT_FLOAT_EQ(system.coverage(), static_cast<float>(covered) / (n * n * n));
    EXPECT_EQ(system.sampleCount(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Colours, EditLearnerOnePixel,
    testing::Values(OnePixel{{0.3f, 0.55f, 0.8f}, {0.35f, 0.5f, 0.9f}},  // inside a cell
                    OnePixel{{0.5f, 0.25f, 0.75f}, {0.6f, 0.2f, 0.7f}},  // on a node
                    OnePixel{{1.0f, 0.6f, 1.0f}, {0.9f, 0.7f, 1.0f}},    // last cell, fraction 1
                    OnePixel{{0.0f, 0.1f, 0.0f}, {0.05f, 0.1f, 0.0f}},
                    OnePixel{{-0.5f, 2.0f, naN}, {0.5f, 1.5f, -1.0f}}));  // clamped first

TEST(EditLearnerAccumulation, NormalMatrixIsSymmetricAndRowsSumToTheWeights)
{
    constexpr std::int64_t n = 6;
    const PixelBuffer before = photo(120, 80);
    const EditSystem system = EditLearner::prepare(before, edited(before, knownGrade()), n);
    const std::span<const float> normal = system.normal();
    double weightTotal = 0.0;
    RGB rhsTotal{};
    for (std::int64_t i = 0; i < n * n * n; ++i) {
        double rowSum = 0.0;
        for (int s = 0; s < slots; ++s) {
            rowSum += normal[slots * i + s];
            const std::int64_t j = i + LatticeBand::offset(s, n);
            if (j >= 0 && j < n * n * n) {
                EXPECT_EQ(normal[slots * i + s], normal[slots * j + (slots - 1 - s)]);
            }
        }
        weightTotal += rowSum;  // Σ over samples of w_i × Σ_k w_k = Σ w_i
        rhsTotal += system.rhs()[i];
    }
    // The weights of each sample sum to 1, so the whole matrix sums to the sample count and
    // the right-hand side to the sum of the sampled differences.
    EXPECT_NEAR(weightTotal, static_cast<double>(system.sampleCount()), 1.0);
    RGB deltaTotal{};
    const PixelBuffer after = edited(before, knownGrade());
    for (std::size_t k = 0; k < before.pixels().size(); ++k)
        deltaTotal += after.pixels()[k] - before.pixels()[k];
    EXPECT_NEAR(rhsTotal.r, deltaTotal.r, 0.5f);
    EXPECT_NEAR(rhsTotal.g, deltaTotal.g, 0.5f);
    EXPECT_NEAR(rhsTotal.b, deltaTotal.b, 0.5f);
}

TEST(EditLearnerAccumulation, GreysCoverOnlyTheLatticeDiagonal)
{
    constexpr std::int64_t n = 17;
    const PixelBuffer before = greyRamp(997, 20);
    std::vector<RGB> brighter;
    for (const RGB& c : before.pixels())
        brighter.push_back(
            quantised(RGB{std::pow(c.r, 0.8f), std::pow(c.g, 0.8f), std::pow(c.b, 0.8f)}));
    const PixelBuffer after(before.width(), before.height(), std::move(brighter));
    const EditSystem system = EditLearner::prepare(before, after, n);

    // Cells (c, c, c) touch the nodes whose indices differ by at most 1: 17 + 16 × 6 of them.
    EXPECT_FLOAT_EQ(system.coverage(), 113.0f / (n * n * n));
    const EditFit fit = EditLearner::solve(system, 0.02f);
    EXPECT_EQ(fit.coverage, system.coverage());
    EXPECT_LT(fit.rmsError, 1.0f);
    for (std::int64_t i = 0; i < n; i += 2) {
        const RGB node = fit.lut(i, i, i);
        const float expected = std::pow(static_cast<float>(i) / (n - 1), 0.8f);
        EXPECT_NEAR(node.r, expected, 2 * oneLevel);
        EXPECT_NEAR(node.b, expected, 2 * oneLevel);
    }
}

// ---------------------------------------------------------------------------------------------
// Smoothness prior

// A system without data: the prior alone, with λ = smoothness (the data scale falls back to 1).
EditSystem emptySystem(std::int64_t n)
{
    return EditSystem(n, std::vector<float>(slots * n * n * n, 0.0f), std::vector<RGB>(n * n * n),
                      {}, {}, 0);
}

TEST(EditLearnerPrior, LaplacianOfTheSixNeighboursPlusRidge)
{
    constexpr std::int64_t n = 4;
    const float lambda = 0.25f;
    const std::vector<float> band = EditLearner::regularisedNormal(emptySystem(n), lambda);
    auto row = [&](std::int64_t r, std::int64_t g, std::int64_t b) {
        return band.data() + slots * (r + n * (g + n * b));
    };
    const float ridge = lambda * 1e-4f;
    EXPECT_FLOAT_EQ(row(1, 2, 1)[diagonal], 6 * lambda + ridge);  // interior
    EXPECT_FLOAT_EQ(row(0, 0, 0)[diagonal], 3 * lambda + ridge);  // corner
    EXPECT_FLOAT_EQ(row(0, 1, 2)[diagonal], 5 * lambda + ridge);  // face
    for (int s : {4, 10, 12, 14, 16, 22})
        EXPECT_EQ(row(1, 2, 1)[s], -lambda) << "slot " << s;
    EXPECT_EQ(row(0, 0, 0)[12], 0.0f);  // no −red neighbour
    EXPECT_EQ(row(0, 0, 0)[14], -lambda);
    for (std::int64_t i = 0; i < n * n * n; ++i) {
        double sum = 0.0;
        for (int s = 0; s < slots; ++s) {
            sum += band[slots * i + s];
            const bool axis = s == 4 || s == 10 || s == 12 || s == 14 || s == 16 || s == 22;
            if (!axis && s != diagonal) {
                EXPECT_EQ(band[slots * i + s], 0.0f);
            }
        }
        EXPECT_NEAR(sum, ridge, 1e-6);  // a constant correction costs only the ridge
    }
}

TEST(EditLearnerPrior, StrengthFollowsTheMeanCoveredDiagonal)
{
    constexpr std::int64_t n = 4;
    std::vector<float> normal(slots * n * n * n, 0.0f);
    normal[slots * 0 + diagonal] = 2.0f;
    normal[slots * 5 + diagonal] = 6.0f;
    normal[slots * 9 + diagonal] = 1e-7f;  // below the coverage threshold: not counted
    const EditSystem system(n, normal, std::vector<RGB>(n * n * n), {}, {}, 3);
    EXPECT_FLOAT_EQ(system.coverage(), 2.0f / 64.0f);
    const std::vector<float> band = EditLearner::regularisedNormal(system, 0.5f);
    const float lambda = 4.0f * 0.5f;
    EXPECT_FLOAT_EQ(band[slots * 0 + diagonal], 2.0f + 3 * lambda + lambda * 1e-4f);
    EXPECT_FLOAT_EQ(band[slots * 21 + diagonal], 6 * lambda + lambda * 1e-4f);
    EXPECT_EQ(band[slots * 21 + 14], -lambda);
}

TEST(EditLearnerPrior, SmoothnessBelowTheFloorActsAsTheFloor)
{
    const PixelBuffer before = photo(60, 40);
    const EditSystem system = EditLearner::prepare(before, edited(before, knownGrade()), 5);
    const std::vector<float> floor = EditLearner::regularisedNormal(system, 1e-5f);
    for (float smoothness : {0.0f, -1.0f, 1e-7f, naN})
        EXPECT_EQ(EditLearner::regularisedNormal(system, smoothness), floor) << smoothness;
    EXPECT_EQ(EditLearner::solve(system, 0.0f).lut, EditLearner::solve(system, 1e-5f).lut);
    EXPECT_NE(EditLearner::regularisedNormal(system, 2e-5f), floor);
}

TEST(EditLearnerPrior, InfiniteSmoothnessStillGivesAFiniteTable)
{
    const PixelBuffer before = photo(60, 40);
    const EditSystem system = EditLearner::prepare(before, edited(before, knownGrade()), 5);
    const EditFit fit = EditLearner::solve(system, std::numeric_limits<float>::infinity());
    // So strong a prior leaves no correction: the identity table.
    EXPECT_LT(fit.lut.maxDeviationFromIdentity(), 1e-3f);
    EXPECT_TRUE(std::isfinite(fit.rmsError));
}

// ---------------------------------------------------------------------------------------------
// Solving

TEST(EditLearnerSolve, IdenticalImagesGiveTheIdentityAtOnce)
{
    const PixelBuffer before = photo(200, 150);
    const EditSystem system = EditLearner::prepare(before, before, 33);
    EXPECT_TRUE(allZero(system.rhs()));
    const EditFit fit = EditLearner::solve(system, 0.02f);
    EXPECT_EQ(fit.lut, LUT3D::identity(33));
    EXPECT_EQ(fit.iterations, 1);
    EXPECT_LT(fit.rmsError, 1e-3f);
    EXPECT_EQ(fit.coverage, system.coverage());
    EXPECT_GT(fit.coverage, 0.0f);
}

TEST(EditLearnerSolve, TableIsClampedIntoTheUnitRange)
{
    // Data at node 0 asking for a correction of (+5, −5, 0): far outside the unit range.
    constexpr std::int64_t n = 3;
    std::vector<float> normal(slots * n * n * n, 0.0f);
    normal[diagonal] = 1.0f;
    std::vector<RGB> rhs(n * n * n);
    rhs[0] = {5.0f, -5.0f, 0.0f};
    const EditSystem system(n, normal, rhs, {{0.0f, 0.0f, 0.0f}}, {{1.0f, 0.0f, 0.0f}}, 1);
    const EditFit fit = EditLearner::solve(system, 1e-3f);
    EXPECT_EQ(fit.lut.values()[0], (RGB{1.0f, 0.0f, 0.0f}));
    for (const RGB& v : fit.lut.values()) {
        ASSERT_GE(std::min({v.r, v.g, v.b}), 0.0f);
        ASSERT_LE(std::max({v.r, v.g, v.b}), 1.0f);
    }
    EXPECT_NEAR(fit.rmsError, 0.0f, 1e-3f);  // the one check sample is met exactly
}

TEST(EditLearnerDeathTest, MalformedInputsStop)
{
    const PixelBuffer image(4, 4, RGB{0.5f, 0.5f, 0.5f});
    EXPECT_DEATH(EditLearner::prepare(image, image, 1), "at least 2");
    EXPECT_DEATH(EditSystem(3, std::vector<float>(26 * 27), std::vector<RGB>(27), {}, {}, 0),
                 "27 entries per node");
    EXPECT_DEATH(EditSystem(3, std::vector<float>(27 * 27), std::vector<RGB>(27),
                            std::vector<RGB>(1), {}, 0),
                 "pairs");
}

// ---------------------------------------------------------------------------------------------
// Recovering a known edit

class EditLearnerRecovery : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        const PixelBuffer before = photo(600, 400);
        system_ = new EditSystem(EditLearner::prepare(before, edited(before, knownGrade()), 33));
    }
    static void TearDownTestSuite()
    {
        delete system_;
        system_ = nullptr;
    }

    static EditSystem* system_;
};

EditSystem* EditLearnerRecovery::system_ = nullptr;

TEST_F(EditLearnerRecovery, LearnsTheGradeWhereverTheDataReaches)
{
    constexpr std::int64_t n = 33;
    const EditFit fit = EditLearner::solve(*system_, 0.02f);
    // 8-bit rounding of the after image alone costs 1/√12 ≈ 0.29 levels.
    EXPECT_LT(fit.rmsError, 0.45f);

    const std::span<const float> normal = system_->normal();
    double covered = 0.0;
    std::int64_t coveredCount = 0;
    for (std::int64_t i = 0; i < n * n * n; ++i) {
        if (normal[slots * i + diagonal] > 1e-6f) {
            covered += normal[slots * i + diagonal];
            ++coveredCount;
        }
    }
    const double wellCovered = 0.05 * covered / static_cast<double>(coveredCount);
    float worstWell = 0.0f;
    float worstThin = 0.0f;
    std::int64_t wellCount = 0;
    for (std::int64_t b = 0; b < n; ++b)
        for (std::int64_t g = 0; g < n; ++g)
            for (std::int64_t r = 0; r < n; ++r) {
                const std::int64_t i = r + n * (g + n * b);
                const float difference = maxChannelDifference(
                    fit.lut(r, g, b), knownGrade().sample(latticeInput(r, g, b, n)));
                if (normal[slots * i + diagonal] >= wellCovered) {
                    worstWell = std::max(worstWell, difference);
                    ++wellCount;
                } else if (normal[slots * i + diagonal] > 1e-6f) {
                    worstThin = std::max(worstThin, difference);
                }
            }
    EXPECT_GT(wellCount, 1000);
    EXPECT_LT(worstWell, 2 * oneLevel);
    std::cout << "[ recovery ] rmsError " << fit.rmsError << " levels, " << fit.iterations
              << " passes, coverage " << fit.coverage << ", " << wellCount
              << " well-covered nodes, largest difference " << worstWell * 255.0f
              << " levels there, " << worstThin * 255.0f << " levels at thinly covered nodes\n";
}

TEST_F(EditLearnerRecovery, SmootherFitsFollowTheDataLessClosely)
{
    const EditFit loose = EditLearner::solve(*system_, 0.001f);
    const EditFit middle = EditLearner::solve(*system_, 0.02f);
    const EditFit stiff = EditLearner::solve(*system_, 0.5f);
    EXPECT_LE(loose.rmsError, middle.rmsError);
    EXPECT_LT(middle.rmsError, stiff.rmsError);
    for (const EditFit* fit : {&loose, &middle, &stiff})
        std::cout << "[ recovery ] rmsError " << fit->rmsError << " levels after "
                  << fit->iterations << " passes\n";
}

// Where the photo does not reach, the extended fit follows the grade it saw elsewhere while the
// plain fit drifts back towards no change; where it does, both fit alike.
TEST_F(EditLearnerRecovery, ExtendedFitFollowsTheGradeBeyondTheData)
{
    constexpr std::int64_t n = 33;
    const EditFit plain = EditLearner::solve(*system_, 0.02f);
    const EditFit extended = EditLearner::solve(*system_, 0.02f, EditPrior::overallEdit);
    EXPECT_LE(extended.rmsError, plain.rmsError + 0.1f);
    EXPECT_TRUE(extended.followsOverallEdit);

    const std::span<const float> normal = system_->normal();
    double plainSum = 0;
    double extendedSum = 0;
    std::int64_t uncovered = 0;
    for (std::int64_t b = 0; b < n; ++b)
        for (std::int64_t g = 0; g < n; ++g)
            for (std::int64_t r = 0; r < n; ++r) {
                if (normal[slots * (r + n * (g + n * b)) + diagonal] > 1e-6f)
                    continue;
                const RGB wanted = knownGrade().sample(latticeInput(r, g, b, n));
                plainSum += std::pow(maxChannelDifference(plain.lut(r, g, b), wanted), 2.0f);
                extendedSum += std::pow(maxChannelDifference(extended.lut(r, g, b), wanted), 2.0f);
                ++uncovered;
            }
    ASSERT_GT(uncovered, n * n * n / 2);
    const double plainRms = 255.0 * std::sqrt(plainSum / uncovered);
    const double extendedRms = 255.0 * std::sqrt(extendedSum / uncovered);
    EXPECT_LT(extendedRms, 3.0);
    EXPECT_LT(extendedRms, 0.5 * plainRms);
}

TEST_F(EditLearnerRecovery, FitDoesNotDependOnTheThreadCountAndLeavesTheSystemAlone)
{
    for (const EditPrior prior : {EditPrior::noChange, EditPrior::overallEdit}) {
        const int threads = omp_get_max_threads();
        omp_set_num_threads(1);
        const EditFit one = EditLearner::solve(*system_, 0.02f, prior);
        omp_set_num_threads(2);
        const EditFit two = EditLearner::solve(*system_, 0.02f, prior);
        omp_set_num_threads(threads);
        EXPECT_EQ(one.lut, two.lut);
        EXPECT_EQ(one.rmsError, two.rmsError);
        EXPECT_EQ(one.iterations, two.iterations);
    }

    const PixelBuffer before = photo(600, 400);
    EXPECT_EQ(*system_, EditLearner::prepare(before, edited(before, knownGrade()), 33));
}

}  // namespace
}  // namespace lumivert
