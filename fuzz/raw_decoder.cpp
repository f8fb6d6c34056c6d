// Camera RAW decoding on arbitrary bytes, through a file named as a DNG (RAW files are told by
// their extension first). Whatever decodes is upright at the stored size or, at half size, no
// larger; anything else ends in the loader's own error.

#include "FuzzSupport.hpp"

#include "imaging/ImageLoader.hpp"
#include "imaging/vips/RawDecoder.hpp"

#include <algorithm>
#include <filesystem>

namespace {

// Larger sensors are legal, but decoding them would spend the run on memory, not on parsing.
constexpr std::int64_t largestFuzzedPixels = std::int64_t{1} << 22;
constexpr std::int64_t boundChoices = 64;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace lumivert;
    static const FuzzSupport::ScratchFile file("raw", ".dng");
    file.write(data, size);

    const std::int64_t bound = 1 + static_cast<std::int64_t>(size % boundChoices);
    for (const std::int64_t target : {bound, std::int64_t{1} << 30}) {
        try {
            const auto decoded = RawDecoder::decode(file.path(), {largestFuzzedPixels, target});
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
