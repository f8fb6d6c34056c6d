#include "recipe/BatchApply.hpp"

#include "imaging/ImageLoader.hpp"
#include "imaging/Packing.hpp"
#include "recipe/ExportPlan.hpp"
#include "recipe/GradeRecipe.hpp"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <optional>
#include <set>
#include <system_error>
#include <thread>

namespace lumivert::BatchApply {

namespace {

using std::filesystem::path;

constexpr float k16BitMax = 65535.0f;
constexpr float k8BitMax = 255.0f;

std::string quotedName(const path& file) { return "\u201C" + file.filename().string() + "\u201D"; }

// The extension each written type takes when the output's type is chosen for it.
std::string extensionOf(ImageFileType type)
{
    switch (type) {
    case ImageFileType::png: return ".png";
    case ImageFileType::jpeg: return ".jpg";
    case ImageFileType::tiff: return ".tif";
    case ImageFileType::webp: return ".webp";
    }
    return ".png";
}

}  // namespace

std::vector<Job> jobsInFolder(const std::vector<path>& inputs, const path& folder,
                              std::optional<ImageFileType> type)
{
    std::vector<Job> jobs;
    std::set<path> outputs;
    for (const path& input : inputs) {
        path name = input.filename();
        if (type)
            name.replace_extension(extensionOf(*type));
        else if (!ImageLoader::fileType(name))
            name.replace_extension(".png");
        const path output = folder / name;
        if (!outputs.insert(output).second) {
            throw ExportPlan::ExportPlanError(
                ExportPlan::ExportPlanError::Reason::sharedPath, output,
                "Two inputs would both be written to " + quotedName(output) +
                    "; apply them in separate runs or rename one.");
        }
        jobs.push_back({input, output});
    }
    return jobs;
}

PixelBuffer gradedPixels(const FullImage& full, const LUTStack& lut)
{
    static_assert(sizeof(RGB) == 3 * sizeof(float), "RGB is three packed floats");
    const LUTStackGrader grader(lut);
    const std::int64_t width = full.image.image().width();
    const std::int64_t height = full.image.image().height();
    const std::int64_t count = width * height;
    std::vector<RGB> pixels(static_cast<std::size_t>(count));
    if (full.sixteenBit) {
        // The float lookup, then the 16-bit quantisation the written file holds.
        const std::vector<RGB>& source = full.image.pixels().pixels();
        grader.grade(reinterpret_cast<const float*>(source.data()),
                     reinterpret_cast<float*>(pixels.data()), count, 3);
        for (RGB& c : pixels) {
            c = {static_cast<float>(Packing::quantized(c.r, k16BitMax)) / k16BitMax,
                 static_cast<float>(Packing::quantized(c.g, k16BitMax)) / k16BitMax,
                 static_cast<float>(Packing::quantized(c.b, k16BitMax)) / k16BitMax};
        }
    } else {
        const Image8& image = full.image.image();
        std::vector<std::uint8_t> levels(image.samples().size());
        grader.grade(image.data(), levels.data(), count, Image8::channels);
        for (std::int64_t i = 0; i < count; ++i) {
            const std::uint8_t* pixel = levels.data() + Image8::channels * i;
            pixels[static_cast<std::size_t>(i)] = {static_cast<float>(pixel[0]) / k8BitMax,
                                                   static_cast<float>(pixel[1]) / k8BitMax,
                                                   static_cast<float>(pixel[2]) / k8BitMax};
        }
    }
    return PixelBuffer(width, height, std::move(pixels));
}

int defaultJobs() { return static_cast<int>(std::max(1u, std::thread::hardware_concurrency())); }

void applyToFile(const RowGrader& grader, const Job& job, const Options& options)
{
    const std::optional<ImageFileType> type = ImageLoader::fileType(job.output);
    if (!type) {
        throw ApplyError(GradeRecipe::saveImageFailedTitle,
                         "The output " + quotedName(job.output) +
                             " needs the extension .png, .jpg, .tif or .webp.");
    }
    try {
        ExportPlan::refuseReplacingInputs({&job.output, 1}, {&job.input, 1});
        ImageLoader::gradeFile(job.input, job.output, *type, grader,
                               {.quality = options.quality, .imageSpace = options.imageSpace});
    } catch (const ExportPlan::ExportPlanError& error) {
        throw ApplyError(GradeRecipe::saveImageFailedTitle, error.what());
    } catch (const ImageLoaderError& error) {
        const bool reading = error.kind() == ImageLoaderError::Kind::unreadable;
        throw ApplyError(reading ? GradeRecipe::openFailedTitle : GradeRecipe::saveImageFailedTitle,
                         error.what());
    }
}

std::vector<Failure> applyAll(const LUTStack& lut, const std::vector<Job>& jobs,
                              const Options& options, const Progress& progress,
                              const std::atomic<bool>* cancelled)
{
    const LUTStackGrader grader(lut, options.interpolation, options.strength);
    std::vector<std::optional<std::string>> messages(jobs.size());
    std::mutex progressLock;
    std::size_t finished = 0;
    std::atomic<std::size_t> next = 0;
    // Each worker takes the next file until none is left; libvips runs its own threads inside
    // each file's pipeline.
    const auto work = [&] {
        for (std::size_t index = next++; index < jobs.size(); index = next++) {
            if (cancelled && cancelled->load())
                return;
            try {
                applyToFile(grader, jobs[index], options);
            } catch (const std::exception& error) {
                messages[index] = error.what();
            }
            const std::lock_guard<std::mutex> lock(progressLock);
            progress(++finished, jobs.size(), jobs[index]);
        }
    };
    const std::size_t workers = std::min<std::size_t>(
        jobs.size(), static_cast<std::size_t>(options.jobs > 0 ? options.jobs : defaultJobs()));
    {
        std::vector<std::jthread> pool;
        for (std::size_t i = 1; i < workers; ++i)
            pool.emplace_back(work);
        work();
    }
    std::vector<Failure> failures;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        if (messages[i])
            failures.push_back({jobs[i].input, *messages[i]});
    }
    return failures;
}

}  // namespace lumivert::BatchApply
