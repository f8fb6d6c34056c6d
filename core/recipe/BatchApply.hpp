#pragma once

// Applies a LUT to whole image files: full size, upright, in sRGB as the app's loader gives
// them, through the renderer's lookup (trilinear or tetrahedral) of the sRGB-encoded values (1D
// curves and tables over other domains through the same arithmetic, a pixel at a time). Each file
// streams through the image loader region by region, so memory follows the number of files at once,
// not their size. 8-bit files give 8-bit output, deeper files 16-bit output where the output type
// holds it; alpha, EXIF, XMP and IPTC are kept; the output type follows the output's extension, is
// tagged sRGB and replaces any old file atomically.

#include "color/LUTStack.hpp"
#include "imaging/ImageLoader.hpp"
#include "imaging/RowGrader.hpp"

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace lumivert::BatchApply {

struct Job {
    std::filesystem::path input;
    std::filesystem::path output;
};

// One file that could not be graded: "Couldn’t save the image: …", the workflow's title and a
// full sentence, as the window's alerts and the command line's messages read.
class ApplyError : public std::runtime_error {
public:
    ApplyError(std::string_view title, const std::string& message)
        : std::runtime_error(std::string(title) + ": " + message)
    {
    }
};

struct Failure {
    std::filesystem::path input;
    std::string message;  // the titled, full-sentence message
};

// How the table is looked up, and how much of the LUT's change each pixel keeps (0 … 1.5 in
// practice: input + (output − input) × strength, with the pixel's own value as input, so 0 gives
// the image back); the defaults are apply's own, bit for bit. The space a float file's
// scene-linear values are in. Then how files are written and how many at once.
struct Options {
    Interpolation interpolation = Interpolation::trilinear;
    float strength = 1.0f;
    ColorSpace imageSpace = ColorSpace::linearRec709;
    int quality = ImageLoader::defaultQuality;  // JPEG and WebP
    int jobs = 0;                               // files at once; 0 for defaultJobs()
};

// Files at once when none is asked for: one per core, since each file's pipeline holds only the
// regions in flight and a single PNG or JPEG decodes on one thread.
int defaultJobs();

// The output of each input inside `folder`: the input's file name, or its stem plus ".png"
// when its type cannot be written; with a type, the stem plus that type's extension.
// ExportPlanError (sharedPath) when two inputs would share an output.
std::vector<Job> jobsInFolder(const std::vector<std::filesystem::path>& inputs,
                              const std::filesystem::path& folder,
                              std::optional<ImageFileType> type = std::nullopt);

// The samples applyToFile writes for a whole photo held in memory, as sRGB-encoded values
// (levels / 255, or / 65535 for a deeper input), for measuring against a target.
PixelBuffer gradedPixels(const FullImage& full, const LUTStack& lut);

// One file. Throws ApplyError; refuses to replace its own input.
void applyToFile(const RowGrader& grader, const Job& job, const Options& options = {});

// (files finished, total, the job just finished), from one thread at a time.
using Progress = std::function<void(std::size_t, std::size_t, const Job&)>;

// Every job, up to options.jobs files at once; one file's failure does not stop the others.
// Failures come in input order. Once `cancelled` turns true no further file is started; the
// files in progress are finished, so none is left half written.
std::vector<Failure> applyAll(const LUTStack& lut, const std::vector<Job>& jobs,
                              const Options& options, const Progress& progress,
                              const std::atomic<bool>* cancelled = nullptr);

}  // namespace lumivert::BatchApply
