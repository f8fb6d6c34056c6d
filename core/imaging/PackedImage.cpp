#include "imaging/PackedImage.hpp"

#include "color/Precondition.hpp"

#include <bit>

namespace lumivert {

// Encoders and viewers take the 16-bit samples as little-endian bytes straight from memory.
static_assert(std::endian::native == std::endian::little, "16-bit samples must be little-endian");

namespace {

std::int64_t sampleCount(std::int64_t width, std::int64_t height, int channels)
{
    LUMIVERT_PRECONDITION(width > 0 && height > 0, "an image needs a positive size");
    return checkedMul(checkedMul(width, height), channels);
}

}  // namespace

template <typename Sample, int Channels>
PackedImage<Sample, Channels>::PackedImage(std::int64_t width, std::int64_t height,
                                           std::vector<Sample> samples)
    : width_(width), height_(height)
{
    LUMIVERT_PRECONDITION(static_cast<std::int64_t>(samples.size()) ==
                              sampleCount(width, height, Channels),
                          "sample count must equal width × height × channels");
    // The vector itself is kept (moved, not copied); the pointer aliases its block.
    auto owner = std::make_shared<const std::vector<Sample>>(std::move(samples));
    storage_ = std::shared_ptr<const Sample[]>(owner, owner->data());
}

template <typename Sample, int Channels>
PackedImage<Sample, Channels>::PackedImage(std::int64_t width, std::int64_t height,
                                           std::unique_ptr<Sample[]> samples)
    : width_(width), height_(height), storage_(std::move(samples))
{
    sampleCount(width, height, Channels);
    LUMIVERT_PRECONDITION(storage_ != nullptr, "an image needs its samples");
}

template <typename Sample, int Channels>
Sample PackedImage<Sample, Channels>::sample(std::int64_t x, std::int64_t y, int channel) const
{
    LUMIVERT_PRECONDITION(x >= 0 && x < width_ && y >= 0 && y < height_ && channel >= 0 &&
                              channel < Channels,
                          "sample index outside the image");
    return storage_[static_cast<std::size_t>((y * width_ + x) * Channels + channel)];
}

template class PackedImage<std::uint8_t, 4>;
template class PackedImage<std::uint16_t, 3>;

}  // namespace lumivert
