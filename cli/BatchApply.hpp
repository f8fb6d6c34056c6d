#pragma once

// Applies a LUT to whole image files: full size, upright, in sRGB as the app's loader gives
// them, through the renderer's lookup (trilinear or tetrahedral) of the sRGB-encoded values (1D
// curves and tables over other domains through the same arithmetic, a pixel at a time). 8-bit files
// give 8-bit output, deeper files 16-bit output where the output type holds it; the output type
// follows the output's extension, is tagged sRGB and replaces any old file atomically.

#include "color/LUTStack.hpp"
#include "imaging/ImageLoader.hpp"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <variant>
#include <vector>

namespace lumivert::BatchApply {

struct Job {
    std::filesystem::path input;
    std::filesystem::path output;
};

// How the table is looked up, and how much of the LUT's change is kept (0 … 1.5 in practice:
// input + (output − input) × strength, as a grade's intensity blends). The defaults are apply's
// own, bit for bit.
struct Options {
    Interpolation interpolation = Interpolation::trilinear;
    float strength = 1.0f;
};

struct Failure {
    std::filesystem::path input;
    std::string message;  // the titled, full-sentence message
};

// The output of each input inside `folder`: the input's file name, or its stem plus ".png"
// when its type cannot be written. UsageError when two inputs would share an output.
std::vector<Job> jobsInFolder(const std::vector<std::filesystem::path>& inputs,
                              const std::filesystem::path& folder);

// The graded image applyToFile encodes: 16-bit samples for a deeper input, 8-bit otherwise.
std::variant<Image8, Image16> graded(const FullImage& full, const LUTStack& lut,
                                     Interpolation interpolation = Interpolation::trilinear);
// The same as sRGB-encoded values (levels / 255 or / 65535), for measuring against a target.
PixelBuffer gradedPixels(const FullImage& full, const LUTStack& lut);

// One file. Throws CommandFailure; refuses to replace its own input.
void applyToFile(const LUTStack& lut, const Job& job, const Options& options = {});

// Every job, several files at once; one file's failure does not stop the others. `progress`
// receives (files finished, total) from one thread at a time. Failures come in input order.
std::vector<Failure> applyAll(const LUTStack& lut, const std::vector<Job>& jobs,
                              const std::function<void(std::size_t, std::size_t)>& progress,
                              const Options& options = {});

}  // namespace lumivert::BatchApply
