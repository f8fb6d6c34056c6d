#include "cli/BatchApply.hpp"

#include "cli/CommandFailure.hpp"
#include "cli/CommandSupport.hpp"
#include "imaging/ImageLoader.hpp"
#include "imaging/Packing.hpp"
#include "imaging/PreviewRenderer.hpp"
#include "recipe/GradeRecipe.hpp"

#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <system_error>
#include <type_traits>
#include <variant>

namespace lumivert::BatchApply {

namespace {

using CommandSupport::quotedName;
using std::filesystem::path;

constexpr float k16BitMax = 65535.0f;
constexpr float k8BitMax = 255.0f;

// Deep samples through the same lookup, quantised to 16 bits.
Image16 graded16(const PixelBuffer& pixels, const LUTStack& lut, Interpolation interpolation)
{
    const std::vector<RGB>& source = pixels.pixels();
    const auto count = static_cast<std::int64_t>(source.size());
    auto samples = std::make_unique<std::uint16_t[]>(static_cast<std::size_t>(count) * 3);
    std::uint16_t* out = samples.get();
#pragma omp parallel for schedule(static)
    for (std::int64_t i = 0; i < count; ++i) {
        const RGB c = lut.apply(source[static_cast<std::size_t>(i)], interpolation);
        out[3 * i] = static_cast<std::uint16_t>(Packing::quantized(c.r, k16BitMax));
        out[3 * i + 1] = static_cast<std::uint16_t>(Packing::quantized(c.g, k16BitMax));
        out[3 * i + 2] = static_cast<std::uint16_t>(Packing::quantized(c.b, k16BitMax));
    }
    return Image16(pixels.width(), pixels.height(), std::move(samples));
}

// 8-bit pixels through curves or a table over another domain: the renderer's byte tables hold
// only plain 0 … 1 lattices. Levels become level / 255, as the renderer takes them.
Image8 graded8(const Image8& image, const LUTStack& lut, Interpolation interpolation)
{
    const std::uint8_t* in = image.data();
    const std::int64_t count = image.width() * image.height();
    auto samples = std::make_unique_for_overwrite<std::uint8_t[]>(image.samples().size());
    std::uint8_t* out = samples.get();
#pragma omp parallel for schedule(static)
    for (std::int64_t i = 0; i < count; ++i) {
        const std::uint8_t* pixel = in + 4 * i;
        const RGB c = lut.apply({static_cast<float>(pixel[0]) / k8BitMax,
                                 static_cast<float>(pixel[1]) / k8BitMax,
                                 static_cast<float>(pixel[2]) / k8BitMax},
                                interpolation);
        out[4 * i] = static_cast<std::uint8_t>(Packing::quantized(c.r, k8BitMax));
        out[4 * i + 1] = static_cast<std::uint8_t>(Packing::quantized(c.g, k8BitMax));
        out[4 * i + 2] = static_cast<std::uint8_t>(Packing::quantized(c.b, k8BitMax));
        out[4 * i + 3] = static_cast<std::uint8_t>(k8BitMax);
    }
    return Image8(image.width(), image.height(), std::move(samples));
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

std::variant<Image8, Image16> graded(const FullImage& full, const LUTStack& lut,
                                     Interpolation interpolation)
{
    if (full.sixteenBit)
        return graded16(full.image.pixels(), lut, interpolation);
    if (lut.isPlainTable()) {
        static const PreviewRenderer renderer;
        return renderer.render(full.image.image(), lut.table(), interpolation);
    }
    return graded8(full.image.image(), lut, interpolation);
}

PixelBuffer gradedPixels(const FullImage& full, const LUTStack& lut)
{
    const std::variant<Image8, Image16> image = graded(full, lut);
    return std::visit(
        [](const auto& samples) {
            using Sample = typename std::decay_t<decltype(samples)>::SampleType;
            constexpr int channels = std::decay_t<decltype(samples)>::channels;
            const float maxCode = sizeof(Sample) == 1 ? k8BitMax : k16BitMax;
            const std::int64_t count = samples.width() * samples.height();
            std::vector<RGB> pixels(static_cast<std::size_t>(count));
            const Sample* data = samples.data();
            for (std::int64_t i = 0; i < count; ++i) {
                const Sample* pixel = data + channels * i;
                pixels[static_cast<std::size_t>(i)] = {static_cast<float>(pixel[0]) / maxCode,
                                                       static_cast<float>(pixel[1]) / maxCode,
                                                       static_cast<float>(pixel[2]) / maxCode};
            }
            return PixelBuffer(samples.width(), samples.height(), std::move(pixels));
        },
        image);
}

void applyToFile(const LUTStack& original, const Job& job, const Options& options)
{
    // A table alone takes the strength into its entries and keeps the fast paths.
    const LUTStack lut = original.withStrength(options.strength);
    const Interpolation interpolation = options.interpolation;
    const std::optional<ImageFileType> type = ImageLoader::fileType(job.output);
    if (!type) {
        throw UsageError("The output " + quotedName(job.output) +
                         " needs the extension .png, .jpg, .tif or .webp.");
    }
    refuseToReplaceInput(job);
    const FullImage full =
        attempt(GradeRecipe::openFailedTitle, [&] { return ImageLoader::loadFull(job.input); });
    const std::variant<Image8, Image16> image = graded(full, lut, interpolation);
    attempt(GradeRecipe::saveImageFailedTitle, [&] {
        std::visit(
            [&](const auto& samples) {
                ImageLoader::writeImage(samples, job.output, *type, ColourTag::sRGB);
            },
            image);
    });
}

std::vector<Failure> applyAll(const LUTStack& lut, const std::vector<Job>& jobs,
                              const std::function<void(std::size_t, std::size_t)>& progress,
                              const Options& options)
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
            applyToFile(lut, jobs[index], options);
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
