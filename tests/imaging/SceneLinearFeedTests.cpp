// A float image's values reach a LUT as it expects them: as they are for a scene-linear LUT,
// else in linear Rec.709 primaries and sRGB-encoded, unclamped; and come back where a float file
// is written.

#include "imaging/SceneLinearFeed.hpp"

#include "color/ColorMath.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace lumivert {
namespace {

// AP1 (ACEScg) to linear Rec.709, Bradford-adapted from ACES' white to D65, as the ACES configs
// publish it (four decimals).
constexpr std::array<RGB, 3> acesCgToRec709{RGB{1.7051f, -0.6218f, -0.0833f},
                                            RGB{-0.1303f, 1.1408f, -0.0105f},
                                            RGB{-0.0240f, -0.1290f, 1.1530f}};

TEST(SceneLinearFeed, PrimariesComeFromOpenColorIOsBuiltins)
{
    const std::array<RGB, 3> identity = SceneLinear::toLinearRec709(ColorSpace::linearRec709);
    EXPECT_EQ(identity[0], (RGB{1, 0, 0}));
    EXPECT_EQ(identity[2], (RGB{0, 0, 1}));
    const std::array<RGB, 3> acescg = SceneLinear::toLinearRec709(ColorSpace::acescg);
    for (std::size_t row = 0; row < 3; ++row) {
        EXPECT_NEAR(acescg[row].r, acesCgToRec709[row].r, 1e-3f) << row;
        EXPECT_NEAR(acescg[row].g, acesCgToRec709[row].g, 1e-3f) << row;
        EXPECT_NEAR(acescg[row].b, acesCgToRec709[row].b, 1e-3f) << row;
    }
}

TEST(SceneLinearFeed, RefusesSpacesThatAreNotSceneLinearInASentence)
{
    for (const ColorSpace space : {ColorSpace::srgb, ColorSpace::slog3SGamut3Cine}) {
        try {
            SceneLinearFeed(space, false);
            ADD_FAILURE() << "accepted " << ColorSpaces::row(space).key;
        } catch (const ColorSpaceError& error) {
            const std::string message = error.what();
            EXPECT_NE(message.find(ColorSpaces::row(space).key), std::string::npos) << message;
            EXPECT_NE(message.find("linear-rec709 or acescg."), std::string::npos) << message;
        }
    }
}

// Values from deep shadow to 16 stops' worth of highlight, and a negative one.
TEST(SceneLinearFeed, EncodesUnclampedAndComesBackForEverySpace)
{
    const std::vector<RGB> values = {
        {0.004f, 0.18f, 16.0f}, {1.0f, 1.0f, 1.0f}, {2.5f, 0.01f, 0.5f}, {-0.02f, 0.3f, 8.0f}};
    for (const ColorSpace space : {ColorSpace::linearRec709, ColorSpace::acescg}) {
        SCOPED_TRACE(ColorSpaces::row(space).key);
        const SceneLinearFeed passing(space, true);
        const SceneLinearFeed encoding(space, false);
        EXPECT_TRUE(passing.passesValues());
        EXPECT_FALSE(encoding.passesValues());
        const std::array<RGB, 3> m = SceneLinear::toLinearRec709(space);
        for (const RGB& v : values) {
            EXPECT_EQ(passing.toLUT(v), v);
            EXPECT_EQ(passing.fromLUT(v), v);
            const RGB linear{m[0].r * v.r + m[0].g * v.g + m[0].b * v.b,
                             m[1].r * v.r + m[1].g * v.g + m[1].b * v.b,
                             m[2].r * v.r + m[2].g * v.g + m[2].b * v.b};
            const RGB fed = encoding.toLUT(v);
            EXPECT_NEAR(fed.b, ColorMath::encode(linear.b), 1e-5f * std::max(1.0f, fed.b));
            EXPECT_NEAR(fed.r, ColorMath::encode(linear.r), 1e-5f * std::max(1.0f, fed.r));
            const RGB back = encoding.fromLUT(fed);
            EXPECT_NEAR(back.r, v.r, 1e-4f * std::max(1.0f, std::fabs(v.r)));
            EXPECT_NEAR(back.g, v.g, 1e-4f * std::max(1.0f, std::fabs(v.g)));
            EXPECT_NEAR(back.b, v.b, 1e-4f * std::max(1.0f, std::fabs(v.b)));
        }
    }
    // Linear Rec.709 goes through the sRGB curve only: 16 encodes far above 1.
    EXPECT_GT(SceneLinearFeed(ColorSpace::linearRec709, false).toLUT({16, 16, 16}).r, 3.0f);
}

}  // namespace
}  // namespace lumivert
