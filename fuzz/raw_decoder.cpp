// Camera RAW decoding on arbitrary bytes, through a file named as a DNG (RAW files are told by
// their extension first). Whatever decodes is upright at the stored size or, at half size, no
// larger; anything else ends in the loader's own error.

#include "FuzzSupport.hpp"

#include "imaging/ImageLoader.hpp"
#include "imaging/RawDecoder.hpp"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <unistd.h>

namespace {

// Larger sensors are legal, but decoding them would spend the run on memory, not on parsing.
constexpr std::int64_t kLargestFuzzedPixels = std::int64_t{1} << 22;
constexpr std::int64_t kBoundChoices = 64;

// One scratch file per process, removed when the process ends.
class InputFile {
public:
    InputFile()
        : path_(std::filesystem::temp_directory_path() /
                ("lumivert-fuzz-raw-" + std::to_string(::getpid()) + ".dng"))
    {
    }
    ~InputFile()
    {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace lumivert;
    static const InputFile file;
    std::ofstream(file.path(), std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

    const std::int64_t bound = 1 + static_cast<std::int64_t>(size % kBoundChoices);
    for (const std::int64_t target : {bound, std::int64_t{1} << 30}) {
        try {
            const auto decoded = RawDecoder::decode(file.path(), {kLargestFuzzedPixels, target});
            if (!decoded)
                return 0;
            const std::int64_t width = decoded->image.width(), height = decoded->image.height();
            const std::int64_t storedLonger = std::max(decoded->storedWidth, decoded->storedHeight);
            FuzzSupport::check(std::max(width, height) <= storedLonger,
                               "a decoded RAW file is no larger than stored");
            FuzzSupport::check(decoded->halfSize ||
                                   width * height == decoded->storedWidth * decoded->storedHeight,
                               "a full-size RAW decode has the stored pixel count");
        } catch (const ImageLoaderError& error) {
            FuzzSupport::check(error.kind() == ImageLoaderError::Kind::unreadable,
                               "a broken RAW file is unreadable");
        }
    }
    return 0;
}
