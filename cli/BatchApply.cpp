#include "cli/BatchApply.hpp"

#include "cli/CommandFailure.hpp"
#include "cli/CommandSupport.hpp"
#include "imaging/ImageLoader.hpp"
#include "imaging/PreviewRenderer.hpp"
#include "recipe/GradeRecipe.hpp"

#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <system_error>

namespace lumivert::BatchApply {

namespace {

using CommandSupport::quotedName;
using std::filesystem::path;

constexpr float k16BitMax = 65535.0f;

// Deep samples through the same trilinear lookup, quantised to 16 bits.
Image16 graded16(const PixelBuffer& pixels, const LUT3D& lut)
{
    const std::vector<RGB>& source = pixels.pixels();
    const auto count = static_cast<std::int64_t>(source.size());
    auto samples = std::make_unique<std::uint16_t[]>(static_cast<std::size_t>(count) * 3);
    std::uint16_t* out = samples.get();
#pragma omp parallel for schedule(static)
    for (std::int64_t i = 0; i < count; ++i) {
        const RGB c = lut.sample(source[static_cast<std::size_t>(i)]);
        out[3 * i] = static_cast<std::uint16_t>(ImageLoader::quantized(c.r, k16BitMax));
        out[3 * i + 1] = static_cast<std::uint16_t>(ImageLoader::quantized(c.g, k16BitMax));
        out[3 * i + 2] = static_cast<std::uint16_t>(ImageLoader::quantized(c.b, k16BitMax));
    }
    return Image16(pixels.width(), pixels.height(), std::move(samples));
}

void refuseToReplaceInput(const Job& job)
{
    std::error_code error;
    if (std::filesystem::equivalent(job.input, job.output, error)) {
        throw CommandFailure(GradeRecipe::saveImageFailedTitle,
                             quotedName(job.output) +
                                 " is the input image and would be replaced; choose "
                                 "another output.");
    }
}

}  // namespace

std::vector<Job> jobsInFolder(const std::vector<path>& inputs, const path& folder)
{
    std::vector<Job> jobs;
    std::set<path> outputs;
    for (const path& input : inputs) {
        path name = input.filename();
        if (!ImageLoader::fileType(name))
            name.replace_extension(".png");
        const path output = folder / name;
        if (!outputs.insert(output).second) {
            throw UsageError("Two inputs would both be written to " + quotedName(output) +
                             "; apply them in separate runs or rename one.");
        }
        jobs.push_back({input, output});
    }
    return jobs;
}

void applyToFile(const LUT3D& lut, const Job& job)
{
    const std::optional<ImageFileType> type = ImageLoader::fileType(job.output);
    if (!type) {
        throw UsageError("The output " + quotedName(job.output) +
                         " needs the extension .png, .jpg, .tif or .webp.");
    }
    refuseToReplaceInput(job);
    const FullImage full =
        attempt(GradeRecipe::openFailedTitle, [&] { return ImageLoader::loadFull(job.input); });
    attempt(GradeRecipe::saveImageFailedTitle, [&] {
        if (full.sixteenBit) {
            ImageLoader::writeImage(graded16(full.image.pixels(), lut), job.output, *type,
                                    ColourTag::sRGB);
        } else {
            static const PreviewRenderer renderer;
            ImageLoader::writeImage(renderer.render(full.image.image(), lut), job.output, *type,
                                    ColourTag::sRGB);
        }
    });
}

std::vector<Failure> applyAll(const LUT3D& lut, const std::vector<Job>& jobs,
                              const std::function<void(std::size_t, std::size_t)>& progress)
{
    std::vector<std::optional<std::string>> messages(jobs.size());
    std::mutex progressLock;
    std::size_t finished = 0;
    const auto count = static_cast<std::int64_t>(jobs.size());
    // Files in parallel; the per-image loops inside then run on their own thread.
#pragma omp parallel for schedule(dynamic, 1) if (count > 1)
    for (std::int64_t i = 0; i < count; ++i) {
        const auto index = static_cast<std::size_t>(i);
        try {
            applyToFile(lut, jobs[index]);
        } catch (const std::exception& error) {
            messages[index] = error.what();
        }
        const std::lock_guard<std::mutex> lock(progressLock);
        progress(++finished, jobs.size());
    }
    std::vector<Failure> failures;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        if (messages[i])
            failures.push_back({jobs[i].input, *messages[i]});
    }
    return failures;
}

}  // namespace lumivert::BatchApply
