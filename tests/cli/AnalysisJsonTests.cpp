#include "cli/AnalysisJson.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

namespace lumivert {
namespace {

TEST(AnalysisJsonNumbers, EveryFloatReadsBackExactlyFromTheText)
{
    std::mt19937 random(7);
    std::uniform_int_distribution<std::uint32_t> bits;
    for (int i = 0; i < 20000; ++i) {
        const std::uint32_t pattern = bits(random);
        float value = 0;
        std::memcpy(&value, &pattern, sizeof value);
        if (!std::isfinite(value))
            continue;
        const std::string text = AnalysisJson::number(value).dump();
        ASSERT_EQ(std::strtof(text.c_str(), nullptr), value) << text;
    }
    EXPECT_EQ(AnalysisJson::number(0.1f).dump(), "0.1");
    EXPECT_TRUE(AnalysisJson::number(std::numeric_limits<float>::quiet_NaN()).is_null());
}

TEST(AnalysisJsonLook, HoldsEveryFieldAndThePalette)
{
    LookAnalysis analysis;
    analysis.blackLevel = 0.05f;
    analysis.tints[11] = {0.01f, -0.02f};
    analysis.palette.push_back({0, {0.6f, 0.1f, 0.05f}, 0.7f, 0.4f});
    const nlohmann::json json = AnalysisJson::look(analysis);
    EXPECT_EQ(json["blackLevel"], 0.05);
    EXPECT_EQ(json["whiteLevel"], 1.0);
    EXPECT_EQ(json["tints"].size(), 12u);
    EXPECT_EQ(json["tints"][11]["b"], -0.02);
    ASSERT_EQ(json["palette"].size(), 1u);
    EXPECT_EQ(json["palette"][0]["lab"]["L"], 0.6);
    EXPECT_EQ(json["palette"][0]["weight"], 0.7);
    EXPECT_TRUE(json["palette"][0]["srgb"].contains("r"));
}

}  // namespace
}  // namespace lumivert
