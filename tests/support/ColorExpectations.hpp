#pragma once

// Component-wise closeness checks shared by the colour tests.

#include "color/Triples.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace lumivert {

inline void expectNear(const RGB& actual, const RGB& expected, float tolerance)
{
    EXPECT_NEAR(actual.r, expected.r, tolerance);
    EXPECT_NEAR(actual.g, expected.g, tolerance);
    EXPECT_NEAR(actual.b, expected.b, tolerance);
}

inline void expectNear(const Lab& actual, const Lab& expected, float tolerance)
{
    EXPECT_NEAR(actual.L, expected.L, tolerance);
    EXPECT_NEAR(actual.a, expected.a, tolerance);
    EXPECT_NEAR(actual.b, expected.b, tolerance);
}

// The largest difference of one channel between two colours.
inline float largestDifference(const RGB& a, const RGB& b)
{
    return std::max({std::fabs(a.r - b.r), std::fabs(a.g - b.g), std::fabs(a.b - b.b)});
}

// The largest difference of one channel over two lists of colours, which must be as long.
inline float largestDifference(const std::vector<RGB>& actual, const std::vector<RGB>& expected)
{
    EXPECT_EQ(actual.size(), expected.size());
    float worst = 0.0f;
    for (std::size_t i = 0; i < std::min(actual.size(), expected.size()); ++i)
        worst = std::max(worst, largestDifference(actual[i], expected[i]));
    return worst;
}

// `count` colours spread uniformly over the unit cube, the same for the same seed.
inline std::vector<RGB> randomColours(unsigned seed, int count)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::vector<RGB> colours(static_cast<std::size_t>(count));
    for (RGB& c : colours)
        c = {unit(random), unit(random), unit(random)};
    return colours;
}

}  // namespace lumivert
