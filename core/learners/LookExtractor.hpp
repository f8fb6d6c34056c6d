#pragma once

// Measures the grade of one reference photo: levels, contrast, the cast of its grey axis in
// twelve lightness bands, its colourfulness and up to six dominant colours. Pure, never fails,
// and bit-for-bit the same for the same buffer on any number of threads.

#include "color/PixelBuffer.hpp"
#include "learners/LookAnalysis.hpp"

#include <array>
#include <span>
#include <vector>

namespace lumivert {

namespace LookExtractor {

using Tints = std::array<Chroma, LookAnalysis::bandCount>;

// At most 250 000 evenly strided pixels are measured; fewer than 16 usable ones (finite
// colours) give LookAnalysis::neutral().
LookAnalysis analyse(const PixelBuffer& image);

// Where grey lies in each lightness band of the Oklab samples: a mode-seeking mean of the
// near-grey samples per band, trusted bands filling the others, smoothed, and faded out when
// the photo has few greys.
Tints estimateTints(std::span<const Lab> samples);

// The up to six dominant colours of the Oklab samples whose chroma departs from the band cast
// by more than 0.03; empty when fewer than 100 do. Largest first, ids 0, 1, 2…
std::vector<PaletteColor> extractPalette(std::span<const Lab> samples, const Tints& tints);

}  // namespace LookExtractor

}  // namespace lumivert
