// The image loader on arbitrary bytes, through a file (the loader reads files only). Whatever
// decodes has the size it announced: the exact pixels the stored size from the header, the
// bounded image no more than its bound and never more than stored, the full image the stored
// size, upright.

#include "FuzzSupport.hpp"

#include "imaging/ImageLoader.hpp"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <optional>
#include <utility>
#include <vector>

namespace {

// Larger images are legal, but decoding them would spend the run on memory, not on parsing.
constexpr std::int64_t largestFuzzedPixels = std::int64_t{1} << 22;
constexpr std::int64_t boundChoices = 64;

struct TooLargeToFuzz {};

const lumivert::FuzzSupport::ScratchFile& inputFile()
{
    static const lumivert::FuzzSupport::ScratchFile file("image", ".bin");
    return file;
}

// Where streamed grading writes.
const std::filesystem::path& gradedFile()
{
    static const lumivert::FuzzSupport::ScratchFile graded("image", ".png");
    return graded.path();
}

using Size = std::pair<std::int64_t, std::int64_t>;

bool uprightOf(const Size& stored, std::int64_t width, std::int64_t height)
{
    return (width == stored.first && height == stored.second) ||
           (width == stored.second && height == stored.first);
}

void checkBounded(const lumivert::LoadedImage& loaded, std::int64_t bound,
                  const std::optional<Size>& stored)
{
    using lumivert::FuzzSupport::check;
    const std::int64_t width = loaded.pixels().width();
    const std::int64_t height = loaded.pixels().height();
    check(std::max(width, height) <= bound, "load stays within its bound");
    if (!stored)
        return;
    check(loaded.originalWidth() == stored->first && loaded.originalHeight() == stored->second,
          "load reports the stored size");
    const std::int64_t storedLonger = std::max(stored->first, stored->second);
    const std::int64_t storedShorter = std::min(stored->first, stored->second);
    if (storedLonger <= bound) {
        check(uprightOf(*stored, width, height), "load keeps the size of an image within bound");
        return;
    }
    // Scaled down: the longer side to the bound, the shorter in proportion, rounded.
    const double shorter = static_cast<double>(storedShorter) * static_cast<double>(bound) /
                           static_cast<double>(storedLonger);
    check(std::max(width, height) == bound, "load scales the longer side to the bound");
    check(std::fabs(static_cast<double>(std::min(width, height)) - std::max(1.0, shorter)) <= 0.5,
          "load keeps the aspect ratio");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace lumivert;
    inputFile().write(data, size);
    const std::filesystem::path& file = inputFile().path();

    std::optional<Size> stored;
    try {
        const PixelBuffer exact =
            ImageLoader::loadExact(file, [&stored](std::int64_t width, std::int64_t height) {
                stored = Size{width, height};
                if (width * height > largestFuzzedPixels)
                    throw TooLargeToFuzz{};
            });
        FuzzSupport::check(stored && exact.width() == stored->first &&
                               exact.height() == stored->second,
                           "loadExact has the stored size");
    } catch (const TooLargeToFuzz&) {
        return 0;
    } catch (const ImageLoaderError&) {
    }

    // A bound from the input's length, and one that surely scales a known image down.
    std::vector<std::int64_t> bounds{1 + static_cast<std::int64_t>(size % boundChoices)};
    if (stored)
        bounds.push_back(std::max<std::int64_t>(1, std::max(stored->first, stored->second) / 3));
    for (const std::int64_t bound : bounds) {
        try {
            checkBounded(ImageLoader::load(file, bound), bound, stored);
        } catch (const ImageLoaderError&) {
        }
    }

    // Without a header there is no size to hold the full decode to.
    if (!stored)
        return 0;
    try {
        const FullImage full = ImageLoader::loadFull(file);
        FuzzSupport::check(
            uprightOf(*stored, full.image.pixels().width(), full.image.pixels().height()),
            "loadFull has the stored size, upright");
    } catch (const ImageLoaderError&) {
    }
    // Streamed grading decodes region by region, where a broken file fails halfway.
    try {
        static const LUTStackGrader identity(LUTStack(LUT3D::identity(2)));
        ImageLoader::gradeFile(file, gradedFile(), ImageFileType::png, identity);
        const FullImage graded = ImageLoader::loadFull(gradedFile());
        FuzzSupport::check(
            uprightOf(*stored, graded.image.pixels().width(), graded.image.pixels().height()),
            "gradeFile writes the stored size, upright");
    } catch (const ImageLoaderError&) {
    }
    std::error_code ignored;
    std::filesystem::remove(gradedFile(), ignored);
    return 0;
}
