// The strength blends each pixel with its own value, for every kind of table: strength 0 gives
// the input back exactly, whatever the domain, shaper or out-of-range entries; where the table
// covers the levels, the folded table gives what the per-pixel blend does.

#include "imaging/RowGrader.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace lumivert {
namespace {

RGB bent(const RGB& c)
{
    return {std::pow(std::fabs(c.r), 0.7f) * 0.9f + 0.05f * c.b, c.g * c.g * 0.8f + 0.2f * c.r,
            1.0f - 0.85f * c.b + 0.1f * c.g * c.r};
}

struct TableCase {
    const char* name;
    LUTStack lut;
    bool sceneLinear;  // whether its inputs reach above 1
};

std::vector<TableCase> tables()
{
    std::vector<RGB> square;
    for (int i = 0; i < 33; ++i) {
        const float t = static_cast<float>(i) / 32.0f;
        square.push_back({t * t, t * t, t * t});
    }
    return {
        {"plain", LUTStack(LUT3D::build(17, bent)), false},
        // Identity over 0 … 0.5: white is clamped to the edge and turns 50 % grey.
        {"narrow domain",
         LUTStack(LUT3D::buildUnclamped(
             5, [](const RGB& c) { return c; }, LUTDomain::uniform(0.0f, 0.5f))),
         false},
        // Entries far beyond 0 … 1, as OpenColorIO's test tables have.
        {"out-of-range entries",
         LUTStack(LUT3D::buildUnclamped(
             9,
             [](const RGB& c) {
                 return RGB{c.g * 3.0f - 1.0f, 2.5f, -0.5f * c.r};
             },
             LUTDomain::uniform(0.0f, 1.0f))),
         false},
        {"scene-linear domain",
         LUTStack(LUT3D::buildUnclamped(
             9, [](const RGB& c) { return c * 0.25f; }, LUTDomain::uniform(0.0f, 16.0f))),
         true},
        {"shaper",
         LUTStack(LUT1D(33, square, LUTDomain::uniform(-1.0f, 3.0f)), LUT3D::build(9, bent)), true},
    };
}

// Scene-linear values around and far above 1, 8-bit-like levels, a negative one.
std::vector<float> floatPixels()
{
    return {0.004f, 0.18f, 0.5f, 1.0f, 2.0f, 16.0f, -0.25f, 0.9f, 7.5f, 0.0f, 1.0f, 0.33f};
}

class Strength : public ::testing::TestWithParam<TableCase> {};

TEST_P(Strength, ZeroGivesEveryInputBackExactly)
{
    const LUTStack& lut = GetParam().lut;
    for (const Interpolation interpolation :
         {Interpolation::trilinear, Interpolation::tetrahedral}) {
        const LUTStackGrader grader(lut, interpolation, 0.0f);
        const std::vector<float> values = floatPixels();
        std::vector<float> out(values.size());
        grader.grade(values.data(), out.data(), 4, 3);
        EXPECT_EQ(out, values);
        std::vector<std::uint8_t> bytes;
        std::vector<std::uint16_t> shorts;
        for (int level = 0; level < 256; level += 5) {
            bytes.insert(bytes.end(), {static_cast<std::uint8_t>(level), 255, 0});
            shorts.insert(shorts.end(), {static_cast<std::uint16_t>(level * 257), 65535, 1});
        }
        std::vector<std::uint8_t> gradedBytes(bytes.size());
        std::vector<std::uint16_t> gradedShorts(shorts.size());
        grader.grade(bytes.data(), gradedBytes.data(), std::ssize(bytes) / 3, 3);
        grader.grade(shorts.data(), gradedShorts.data(), std::ssize(shorts) / 3, 3);
        EXPECT_EQ(gradedBytes, bytes);
        EXPECT_EQ(gradedShorts, shorts);
    }
}

TEST_P(Strength, BlendsEachValueWithItselfAndKeepsAlpha)
{
    const LUTStack& lut = GetParam().lut;
    for (const float s : {0.3f, 1.0f, 1.5f}) {
        SCOPED_TRACE(s);
        const LUTStackGrader grader(lut, Interpolation::trilinear, s);
        const std::vector<float> values = floatPixels();
        std::vector<float> rgba;
        for (std::size_t i = 0; i < values.size(); i += 3)
            rgba.insert(rgba.end(), {values[i], values[i + 1], values[i + 2], 0.25f});
        grader.grade(rgba.data(), rgba.data(), std::ssize(rgba) / 4, 4);
        for (std::size_t p = 0; p < values.size() / 3; ++p) {
            const RGB in{values[3 * p], values[3 * p + 1], values[3 * p + 2]};
            const RGB want = in + (lut.apply(in) - in) * s;
            EXPECT_NEAR(rgba[4 * p], want.r, 2e-6f * std::max(1.0f, std::fabs(want.r)));
            EXPECT_NEAR(rgba[4 * p + 1], want.g, 2e-6f * std::max(1.0f, std::fabs(want.g)));
            EXPECT_NEAR(rgba[4 * p + 2], want.b, 2e-6f * std::max(1.0f, std::fabs(want.b)));
            EXPECT_EQ(rgba[4 * p + 3], 0.25f);
        }
    }
}

// Levels through the folded table (kept for speed and for the same bytes as before) land on the
// level of the per-pixel blend, or the next one where the two round a hair apart.
TEST_P(Strength, LevelsFollowThePerPixelBlend)
{
    const LUTStack& lut = GetParam().lut;
    const LUTStackGrader grader(lut, Interpolation::trilinear, 0.6f);
    std::vector<std::uint8_t> levels;
    for (int r = 0; r < 256; r += 15)
        for (int g = 0; g < 256; g += 51)
            levels.insert(levels.end(),
                          {static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g), 128});
    std::vector<std::uint8_t> out(levels.size());
    grader.grade(levels.data(), out.data(), std::ssize(levels) / 3, 3);
    for (std::size_t i = 0; i < levels.size(); i += 3) {
        const RGB in{levels[i] / 255.0f, levels[i + 1] / 255.0f, levels[i + 2] / 255.0f};
        const RGB want = in + (lut.apply(in) - in) * 0.6f;
        const float wanted[3] = {want.r, want.g, want.b};
        for (int c = 0; c < 3; ++c) {
            const float clamped = std::clamp(wanted[c], 0.0f, 1.0f) * 255.0f;
            EXPECT_LE(std::fabs(out[i + c] - clamped), 0.5f + 1e-3f) << "sample " << i + c;
        }
    }
}

TEST_P(Strength, SaysWhetherItTakesSceneLinearValues)
{
    EXPECT_EQ(LUTStackGrader(GetParam().lut).takesSceneLinear(), GetParam().sceneLinear);
}

INSTANTIATE_TEST_SUITE_P(Tables, Strength, ::testing::ValuesIn(tables()), [](const auto& info) {
    std::string name = info.param.name;
    std::replace_if(
        name.begin(), name.end(), [](char c) { return !std::isalnum(c); }, '_');
    return name;
});

}  // namespace
}  // namespace lumivert
