#include "learners/OverallEdit.hpp"

#include "color/ColorMath.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace lumivert {
namespace {

constexpr float oneLevel = 1.0f / 255.0f;
constexpr std::size_t pairCount = 20000;

float maxChannelDifference(const RGB& x, const RGB& y)
{
    return std::max({std::fabs(x.r - y.r), std::fabs(x.g - y.g), std::fabs(x.b - y.b)});
}

// A grade of the model's own shape: a gamma and an S-curve per channel, then a saturation and
// cross-talk matrix whose rows sum to 1, so every output stays inside the cube.
RGB modelShapedGrade(const RGB& c)
{
    auto s = [](float x) { return x + 0.2f * x * (1.0f - x) * (2.0f * x - 1.0f); };
    const RGB curved = {std::pow(c.r, 0.8f), s(c.g), std::pow(s(c.b), 1.2f)};
    return {0.85f * curved.r + 0.1f * curved.g + 0.05f * curved.b,
            0.05f * curved.r + 0.9f * curved.g + 0.05f * curved.b,
            0.0f * curved.r + 0.12f * curved.g + 0.88f * curved.b};
}

struct Pairs {
    std::vector<RGB> before;
    std::vector<RGB> after;
};

Pairs randomPairs(std::uint32_t seed, RGB (*grade)(const RGB&), float outliers)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    Pairs pairs;
    for (std::size_t i = 0; i < pairCount; ++i) {
        const RGB x = {unit(random), unit(random), unit(random)};
        pairs.before.push_back(x);
        pairs.after.push_back(
            unit(random) < outliers ? RGB{unit(random), unit(random), unit(random)} : grade(x));
    }
    return pairs;
}

struct Distance {
    float rms;
    float worst;
};

// The difference from the grade over a 33-point lattice of the whole cube.
Distance overTheCube(const OverallEdit& model, RGB (*grade)(const RGB&))
{
    constexpr int n = 33;
    double sum = 0;
    float worst = 0;
    for (int b = 0; b < n; ++b)
        for (int g = 0; g < n; ++g)
            for (int r = 0; r < n; ++r) {
                const RGB x = RGB{float(r), float(g), float(b)} * (1.0f / (n - 1));
                const float d = maxChannelDifference(model.apply(x), grade(x));
                sum += static_cast<double>(d) * d;
                worst = std::max(worst, d);
            }
    return {static_cast<float>(std::sqrt(sum / (n * n * n))), worst};
}

TEST(OverallEditFit, RecoversAGradeOfItsOwnShapeAcrossTheCube)
{
    const Pairs pairs = randomPairs(7, modelShapedGrade, 0.0f);
    const Distance distance =
        overTheCube(OverallEdit::fit(pairs.before, pairs.after), modelShapedGrade);
    // The worst lies in the darkest knot interval, where the gamma is steepest.
    EXPECT_LT(distance.rms, 0.75f * oneLevel);
    EXPECT_LT(distance.worst, 3.0f * oneLevel);
}

TEST(OverallEditFit, OutliersBarelyMoveTheRobustFit)
{
    // A fifth of the pairs are unrelated colours, as a local edit or a retouch would give.
    const Pairs pairs = randomPairs(11, modelShapedGrade, 0.2f);
    const Distance distance =
        overTheCube(OverallEdit::fit(pairs.before, pairs.after), modelShapedGrade);
    EXPECT_LT(distance.rms, 1.0f * oneLevel);
    EXPECT_LT(distance.worst, 4.0f * oneLevel);
}

TEST(OverallEditFit, DataFromOneCornerContinuesSmoothlyAndMonotonically)
{
    // Only dark colours: the curves must carry on past the data without folding back.
    auto brighter = [](const RGB& c) { return RGB{1.2f * c.r, 1.1f * c.g, c.b} * 0.9f; };
    for (std::uint32_t seed = 1; seed <= 5; ++seed) {
        std::mt19937 random(seed);
        std::uniform_real_distribution<float> dark(0.0f, 0.4f);
        std::normal_distribution<float> noise(0.0f, 2.0f * oneLevel);
        std::vector<RGB> before;
        std::vector<RGB> after;
        for (std::size_t i = 0; i < pairCount; ++i) {
            const RGB x = {dark(random), dark(random), dark(random)};
            before.push_back(x);
            after.push_back(
                clamp01(brighter(x) + RGB{noise(random), noise(random), noise(random)}));
        }
        const OverallEdit model = OverallEdit::fit(before, after);
        for (const auto& curve : model.curves)
            EXPECT_TRUE(std::is_sorted(curve.begin(), curve.end())) << "seed " << seed;
        // The edit is linear, so continuing it is exact but for the noise in its slope; no
        // change would be 12 levels or more away here.
        for (float v : {0.6f, 0.8f, 0.9f}) {
            const RGB x = {v, v * 0.9f, v * 0.8f};
            EXPECT_LT(maxChannelDifference(model.apply(x), clamp01(brighter(x))), 6.0f * oneLevel)
                << "seed " << seed << " at " << v;
        }
    }
}

TEST(OverallEditFit, NoChangeAndNoPairsGiveTheIdentity)
{
    const Pairs pairs = randomPairs(
        3, [](const RGB& c) { return c; }, 0.0f);
    const OverallEdit same = OverallEdit::fit(pairs.before, pairs.after);
    const OverallEdit none = OverallEdit::fit({}, {});
    for (const RGB& x : pairs.before) {
        EXPECT_LT(maxChannelDifference(same.apply(x), x), 0.05f * oneLevel);
        EXPECT_LT(maxChannelDifference(none.apply(x), x), 1e-6f);
    }
}

TEST(OverallEditDeathTest, PairsOfUnequalCountStop)
{
    const std::vector<RGB> one(1);
    EXPECT_DEATH(OverallEdit::fit(one, {}), "equal counts");
}

}  // namespace
}  // namespace lumivert
