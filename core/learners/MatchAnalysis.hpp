#pragma once

// What the match analysis learns from a source photo and a reference photo, and the user's two
// strengths for following it.

#include "color/Curve1D.hpp"
#include "color/Triples.hpp"

#include <vector>

namespace lumivert {

// [[m00, m01], [m01, m11]]: a chroma covariance (aa, ab, bb) or a chroma transfer matrix.
struct Symmetric2 {
    float m00 = 0;
    float m01 = 0;
    float m11 = 0;

    friend bool operator==(const Symmetric2&, const Symmetric2&) = default;
};

// One rank band: maps the source's chroma distribution in that band onto the reference's.
struct BandTransfer {
    Chroma sourceMean;     // mean source (a, b) in the band, smoothed across bands
    Chroma referenceMean;  // the same for the reference
    Symmetric2 matrix;     // eigenvalues within [0.5, 2]

    friend bool operator==(const BandTransfer&, const BandTransfer&) = default;
};

struct MatchAnalysis {
    Curve1D toneMap;     // 1024 entries: source lightness to matched lightness, in [0, 1]
    Curve1D sourceRank;  // 1024 entries: source lightness to its rank within the source
    std::vector<BandTransfer> bands;  // ColorMatcher::bandCount entries, darkest first

    friend bool operator==(const MatchAnalysis&, const MatchAnalysis&) = default;
};

// How far the match is followed: 0 switches an aspect off, 1 follows it, above 1 exaggerates.
struct MatchSettings {
    float tone = 1;    // lightness along toneMap
    float colour = 1;  // chroma along the band transfers

    friend bool operator==(const MatchSettings&, const MatchSettings&) = default;
};

}  // namespace lumivert
