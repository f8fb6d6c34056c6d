#pragma once

// A curve on 0...1 sampled at equal spacing: table[i] belongs to x = i / (count − 1).
// Lookups are piecewise linear and clamp x into [0, 1]; no extrapolation, no smoothing.

#include <cstdint>
#include <functional>
#include <vector>

namespace lumivert {

class Curve1D {
public:
    explicit Curve1D(std::vector<float> table);  // at least 2 entries (else stops)
    // table[i] = f(i / (count − 1)), in single precision.
    Curve1D(std::int64_t count, const std::function<float(float)>& f);

    // The shared curve [0, 1], made once.
    static const Curve1D& identity();

    const std::vector<float>& table() const { return table_; }

    float operator()(float x) const;

    friend bool operator==(const Curve1D&, const Curve1D&) = default;

private:
    std::vector<float> table_;
};

}  // namespace lumivert
