#include "MatchFixtures.hpp"

#include "color/ColorMath.hpp"
#include "color/LUT3D.hpp"
#include "learners/ColorMatcher.hpp"
#include "learners/GradePipeline.hpp"
#include "learners/LookTransform.hpp"
#include "learners/MatchTransform.hpp"

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>

namespace lumivert {
namespace {

class FunctionTransform final : public ColorTransform {
public:
    explicit FunctionTransform(std::function<RGB(const RGB&)> f) : f_(std::move(f)) {}
    RGB apply(const RGB& colour) const override { return f_(colour); }

private:
    std::function<RGB(const RGB&)> f_;
};

std::shared_ptr<const ColorTransform> function(std::function<RGB(const RGB&)> f)
{
    return std::make_shared<const FunctionTransform>(std::move(f));
}

std::shared_ptr<const ColorTransform> identity()
{
    return std::make_shared<const IdentityTransform>();
}

// A non-separable grade that leaves the cube in places, so clamping matters.
RGB pushy(const RGB& c) { return {c.r * 1.3f - 0.1f, c.g * c.b + 0.2f, 1.0f - c.r * 0.7f}; }

std::shared_ptr<const ColorTransform> matchBase()
{
    const PixelBuffer source = fixtures::spreadImage(300, 200, 0.1f, 0.7f, 0.03f, 1, [](float L) {
        return Chroma{0.02f, L / 20};
    });
    const PixelBuffer reference = fixtures::spreadImage(250, 250, 0.3f, 0.95f, 0.06f, 2);
    return std::make_shared<const MatchTransform>(ColorMatcher::analyse(source, reference),
                                                  MatchSettings{1.2f, 0.9f});
}

// Every step of the look on: tone, muted chroma, a palette pull and a cast.
std::shared_ptr<const ColorTransform> lookBase()
{
    LookAnalysis analysis;
    analysis.blackLevel = 0.05f;
    analysis.whiteLevel = 0.9f;
    analysis.contrast = 1.1f;
    analysis.saturation = 0.7f;
    analysis.tints.fill({0.02f, -0.01f});
    for (int i = 0; i < 4; ++i) {
        const float hue = -2.5f + 1.4f * static_cast<float>(i);
        analysis.palette.push_back({i,
                                    {0.6f, 0.08f * std::cos(hue), 0.08f * std::sin(hue)},
                                    0.4f - 0.1f * static_cast<float>(i),
                                    hue});
    }
    return std::make_shared<const LookTransform>(analysis, LookSettings{1.0f, 1.0f, 1.0f, 1.0f});
}

void expectEqualToApplyAtEveryNode(const GradePipeline& pipeline, std::int64_t size)
{
    const LUT3D lut = pipeline.makeLUT(size);
    ASSERT_EQ(lut.size(), size);
    const float last = static_cast<float>(size - 1);
    std::int64_t mismatches = 0;
    for (std::int64_t b = 0; b < size; ++b)
        for (std::int64_t g = 0; g < size; ++g)
            for (std::int64_t r = 0; r < size; ++r) {
                const RGB input = {static_cast<float>(r) / last, static_cast<float>(g) / last,
                                   static_cast<float>(b) / last};
                if (!(lut(r, g, b) == pipeline.apply(input)))
                    ++mismatches;
            }
    EXPECT_EQ(mismatches, 0) << "lattice size " << size;
}

TEST(GradePipelineApply, IdentityBaseAndNeutralTuneBakeTheIdentityLattice)
{
    const GradePipeline pipeline(identity(), 1.0f, FineTune{});
    for (std::int64_t size : {2, 17, 33})
        EXPECT_EQ(pipeline.makeLUT(size), LUT3D::identity(size));
}

TEST(GradePipelineApply, IntensityZeroGivesTheClampedInputWhateverTheBase)
{
    const GradePipeline pipeline(function(pushy), 0.0f, FineTune{});
    EXPECT_EQ(pipeline.apply({0.2f, 0.4f, 0.6f}), (RGB{0.2f, 0.4f, 0.6f}));
    EXPECT_EQ(pipeline.apply({1.3f, -0.2f, 0.5f}), (RGB{1.0f, 0.0f, 0.5f}));
}

TEST(GradePipelineApply, IntensityBlendsAndExtrapolatesBeforeClamping)
{
    const auto base = function([](const RGB& c) { return c + RGB{0.2f, -0.1f, 0.0f}; });
    const RGB input{0.5f, 0.5f, 0.5f};
    const RGB full = GradePipeline(base, 1.0f, FineTune{}).apply(input);
    EXPECT_EQ(full, (input + RGB{0.2f, -0.1f, 0.0f}));  // exactly the base at intensity 1
    const RGB half = GradePipeline(base, 0.5f, FineTune{}).apply(input);
    EXPECT_FLOAT_EQ(half.r, 0.6f);
    EXPECT_FLOAT_EQ(half.g, 0.45f);
    const RGB further = GradePipeline(base, 1.5f, FineTune{}).apply(input);
    EXPECT_FLOAT_EQ(further.r, 0.8f);
    EXPECT_FLOAT_EQ(further.g, 0.35f);
    const RGB clamped = GradePipeline(base, 1.5f, FineTune{}).apply({0.9f, 0.1f, 0.5f});
    EXPECT_EQ(clamped.r, 1.0f);
    EXPECT_EQ(clamped.g, 0.0f);
}

TEST(GradePipelineApply, NeutralTuneLeavesTheBlendUntouchedBitForBit)
{
    const float intensity = 0.7f;
    const GradePipeline pipeline(function(pushy), intensity, FineTune{});
    for (const RGB& c : {RGB{0.1f, 0.2f, 0.3f}, RGB{0.9f, 0.05f, 0.6f}}) {
        const RGB blended = clamp01(c + (pushy(c) - c) * intensity);
        EXPECT_EQ(pipeline.apply(c), blended);
    }
}

TEST(GradePipelineApply, FineTuneRunsAfterTheBlend)
{
    const FineTune tune{0.3f, 0.1f, 0.4f, -0.2f};
    const GradePipeline pipeline(function(pushy), 0.8f, tune);
    const RGB c{0.3f, 0.6f, 0.2f};
    EXPECT_EQ(pipeline.apply(c), clamp01(tune.apply(clamp01(c + (pushy(c) - c) * 0.8f))));
}

TEST(GradePipelineApply, OutputStaysInRangeWhenTheBaseMisbehaves)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const auto wild = function([nan](const RGB&) { return RGB{nan, 7.0f, -3.0f}; });
    for (const FineTune& tune : {FineTune{}, FineTune{0.2f, 0, 0.3f, 0.5f}}) {
        const RGB out = GradePipeline(wild, 1.0f, tune).apply({0.5f, 0.5f, 0.5f});
        for (float channel : {out.r, out.g, out.b}) {
            EXPECT_GE(channel, 0.0f);
            EXPECT_LE(channel, 1.0f);
        }
    }
}

TEST(GradePipelineBake, EqualsApplyAtEveryLatticeInput)
{
    const GradePipeline withMatch(matchBase(), 0.85f, FineTune{0.4f, -0.3f, 0.6f, 0.35f});
    expectEqualToApplyAtEveryNode(withMatch, 17);
    expectEqualToApplyAtEveryNode(withMatch, 33);
    const GradePipeline withLook(lookBase(), 1.0f, FineTune{-0.3f, 0.2f, -0.4f, 0.5f});
    expectEqualToApplyAtEveryNode(withLook, 2);
    expectEqualToApplyAtEveryNode(withLook, 65);
    // A base that leaves the cube, extrapolated: the pipeline clamps, so baking adds nothing.
    expectEqualToApplyAtEveryNode(GradePipeline(function(pushy), 1.5f, FineTune{0, 0, -0.5f, 0}),
                                  9);
}

TEST(GradePipelineBake, SameTableOnOneThreadAndOnTwo)
{
    const GradePipeline pipeline(matchBase(), 1.0f, FineTune{-0.2f, 0.1f, 0.3f, 0.2f});
    const int threads = omp_get_max_threads();
    omp_set_num_threads(1);
    const LUT3D serial = pipeline.makeLUT(33);
    omp_set_num_threads(2);
    const LUT3D parallel = pipeline.makeLUT(33);
    omp_set_num_threads(threads);
    EXPECT_EQ(serial, parallel);
}

TEST(GradePipelineFields, SettersTakeEffect)
{
    GradePipeline pipeline(identity(), 0.0f, FineTune{});
    pipeline.setBase(function(pushy));
    pipeline.setIntensity(1.0f);
    const RGB c{0.2f, 0.3f, 0.4f};
    EXPECT_EQ(pipeline.apply(c), clamp01(pushy(c)));
    pipeline.setFineTune({0, 0, 0, -1});
    const RGB grey = pipeline.apply(c);
    EXPECT_NEAR(grey.r, grey.b, 1e-5f);
}

TEST(GradePipelineDeath, NullBaseAndTinyLatticeStop)
{
    EXPECT_DEATH(GradePipeline(nullptr, 1.0f, FineTune{}), "base transform");
    GradePipeline pipeline(identity(), 1.0f, FineTune{});
    EXPECT_DEATH(pipeline.setBase(nullptr), "base transform");
    EXPECT_DEATH(pipeline.makeLUT(1), "at least 2");
}

}  // namespace
}  // namespace lumivert
