#pragma once

// Component-wise closeness checks shared by the colour tests.

#include "color/Triples.hpp"

#include <gtest/gtest.h>

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

}  // namespace lumivert
