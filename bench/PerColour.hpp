#pragma once
// Timing of per-colour functions: one call per iteration over a fixed set of random colours,
// so that the figure is nanoseconds per colour.
#include "color/Triples.hpp"

#include <benchmark/benchmark.h>

#include <cstddef>
#include <random>
#include <vector>

namespace lumivert::bench {

constexpr std::size_t colourSetSize = 4096;  // a power of two: the index wraps with a mask

inline std::vector<RGB> randomColours(std::size_t count, float low, float high, unsigned seed = 42)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> range(low, high);
    std::vector<RGB> colours(count);
    for (RGB& c : colours)
        c = {range(random), range(random), range(random)};
    return colours;
}

// `colours` holds colourSetSize entries.
template <typename Apply>
void timePerColour(benchmark::State& state, const std::vector<RGB>& colours, Apply apply)
{
    std::size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(apply(colours[i++ & (colourSetSize - 1)]));
    state.SetItemsProcessed(state.iterations());
}

}  // namespace lumivert::bench
