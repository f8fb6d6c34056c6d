#pragma once

// Three per-channel curves of N points each over an input domain, as a 1D .cube holds them:
// entry i is the output for the input min + i / (N − 1) × (max − min) of each channel. Lookups
// are linear between entries, inputs clamped to the domain, outputs unclamped.

#include "color/ColorTransform.hpp"
#include "color/LUTDomain.hpp"

#include <cstdint>
#include <vector>

namespace lumivert {

class LUT1D final : public ColorTransform {
public:
    static constexpr std::int64_t minSize = 2;
    // Beyond 16-bit precision a curve gains nothing, and a file of it would be huge.
    static constexpr std::int64_t maxSize = 65536;

    // minSize ≤ size ≤ maxSize, values.size() = size and a valid domain (else stops).
    LUT1D(std::int64_t size, std::vector<RGB> values, LUTDomain domain = {});

    std::int64_t size() const { return static_cast<std::int64_t>(values_.size()); }
    const std::vector<RGB>& values() const { return values_; }
    const LUTDomain& domain() const { return domain_; }

    RGB sample(const RGB& colour) const;
    RGB apply(const RGB& colour) const override { return sample(colour); }

    // Largest channel difference between any entry and its own input.
    float maxDeviationFromIdentity() const;

    friend bool operator==(const LUT1D& x, const LUT1D& y)
    {
        return x.values_ == y.values_ && x.domain_ == y.domain_;
    }

private:
    std::vector<RGB> values_;
    LUTDomain domain_;
};

}  // namespace lumivert
