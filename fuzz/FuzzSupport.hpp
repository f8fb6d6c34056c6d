#pragma once

// What every fuzz target shares: the input as text, and a check that stops the run loudly, so
// that libFuzzer (or the corpus replay) records a broken property as a crash.

#include "color/LUT3D.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace lumivert::FuzzSupport {

inline std::string_view text(const std::uint8_t* data, std::size_t size)
{
    return {reinterpret_cast<const char*>(data), size};
}

// Aborts with the property that failed; sanitizers and libFuzzer both report an abort.
inline void check(bool holds, const char* property)
{
    if (!holds) {
        std::fprintf(stderr, "Property broken: %s\n", property);
        std::abort();
    }
}

// The writers refuse tables with NaN or infinite entries (a precondition), so the round trip
// only covers finite ones.
inline bool allFinite(const LUT3D& lut)
{
    return std::all_of(lut.values().begin(), lut.values().end(), [](const RGB& entry) {
        return std::isfinite(entry.r) && std::isfinite(entry.g) && std::isfinite(entry.b);
    });
}

// Whether `back` holds the entries of `lut` clamped into [0, 1], each within `tolerance`.
inline bool sameClampedTable(const LUT3D& lut, const LUT3D& back, float tolerance)
{
    if (lut.size() != back.size())
        return false;
    const auto close = [tolerance](float original, float read) {
        return std::fabs(std::clamp(original, 0.0f, 1.0f) - read) <= tolerance;
    };
    return std::equal(lut.values().begin(), lut.values().end(), back.values().begin(),
                      [&close](const RGB& original, const RGB& read) {
                          return close(original.r, read.r) && close(original.g, read.g) &&
                                 close(original.b, read.b);
                      });
}

}  // namespace lumivert::FuzzSupport
