#pragma once

// The match analysis: how a source photo's tones and per-band colours map onto a reference's.
// Tones by histogram matching with guarded ends, smoothed and slope-limited; colours by six rank
// bands (darkest sixth to brightest sixth of each image), each carrying the source's chroma
// mean and covariance onto the reference's. Pure, deterministic on any number of threads.

#include "color/PixelBuffer.hpp"
#include "learners/MatchAnalysis.hpp"

#include <cstdint>
#include <span>
#include <vector>

namespace lumivert {

namespace ColorMatcher {

inline constexpr int bandCount = 6;

// Never fails; the two images may differ in size. Thin data fall back to neutral statistics;
// pixels that convert to non-finite Oklab values are left out.
MatchAnalysis analyse(const PixelBuffer& source, const PixelBuffer& reference);

// Building blocks of analyse(), exposed so each can be checked on its own.

// n + 1 entries from 0 to 1: entry i + 1 is the share of the mass in bins 0 … i. A total not
// above 0 gives the even ramp i / n.
std::vector<float> cumulativeHistogram(std::span<const float> histogram, float total);
// Share of an image darker than the lightness, interpolated inside its bin (at least 2 entries).
float rank(float lightness, std::span<const float> cumulative);
// Normalised Gaussian blur whose out-of-range neighbours repeat the end values; σ ≤ 0 or fewer
// than 3 entries return the values unchanged.
std::vector<float> gaussianSmoothed(std::vector<float> values, float sigma);
// The curve rebuilt from `anchor` outwards with its slope per unit input held in [lo, hi]
// (a step that is not a number counts as lo); the anchor is clamped into the table.
std::vector<float> slopeLimited(std::span<const float> values, std::int64_t anchor, float lo,
                                float hi);

// The same symmetric matrix with both eigenvalues clamped into [lo, hi] (NaN to lo).
Symmetric2 limitEigenvalues(const Symmetric2& m, float lo, float hi);
// The positive square root of a symmetric positive semi-definite matrix.
Symmetric2 squareRoot(const Symmetric2& m);
// The linear map carrying a zero-mean Gaussian of covariance `source` onto covariance
// `reference` (the Monge–Kantorovich solution), eigenvalues limited to [0.5, 2].
Symmetric2 transferMatrix(const Symmetric2& source, const Symmetric2& reference);

}  // namespace ColorMatcher

}  // namespace lumivert
