#include "imaging/LoadedImage.hpp"

#include "color/Precondition.hpp"
#include "imaging/Packing.hpp"

namespace lumivert {

LoadedImage::LoadedImage(std::optional<std::filesystem::path> url, std::string name, Image8 image,
                         PixelBuffer pixels, std::int64_t originalWidth,
                         std::int64_t originalHeight)
    : url_(std::move(url)), name_(std::move(name)), image_(std::move(image)),
      pixels_(std::move(pixels)), originalWidth_(originalWidth), originalHeight_(originalHeight)
{
    LUMIVERT_PRECONDITION(image_.width() == pixels_.width() && image_.height() == pixels_.height(),
                          "the display image must have the size of the pixels");
}

LoadedImage::LoadedImage(std::string name, PixelBuffer pixels)
    : LoadedImage(std::nullopt, std::move(name), Packing::makeImage8(pixels), pixels,
                  pixels.width(), pixels.height())
{
}

}  // namespace lumivert
