#include "color/PixelBuffer.hpp"

#include "color/ColorTransform.hpp"
#include "color/Precondition.hpp"

#include <algorithm>

namespace lumivert {

namespace {

std::int64_t pixelCount(std::int64_t width, std::int64_t height)
{
    LUMIVERT_PRECONDITION(width > 0 && height > 0, "a pixel buffer needs a positive size");
    return checkedMul(width, height);
}

}  // namespace

PixelBuffer::PixelBuffer(std::int64_t width, std::int64_t height, std::vector<RGB> pixels)
    : width_(width), height_(height),
      storage_(std::make_shared<std::vector<RGB>>(std::move(pixels)))
{
    LUMIVERT_PRECONDITION(static_cast<std::int64_t>(storage_->size()) == pixelCount(width, height),
                          "pixel count must equal width × height");
}

PixelBuffer::PixelBuffer(std::int64_t width, std::int64_t height, const RGB& fill)
    : width_(width), height_(height),
      storage_(std::make_shared<std::vector<RGB>>(
          static_cast<std::size_t>(pixelCount(width, height)), fill))
{
}

std::span<RGB> PixelBuffer::mutablePixels()
{
    if (storage_.use_count() > 1)
        storage_ = std::make_shared<std::vector<RGB>>(*storage_);
    return {storage_->data(), storage_->size()};
}

std::int64_t PixelBuffer::index(std::int64_t x, std::int64_t y) const
{
    LUMIVERT_PRECONDITION(x >= 0 && x < width_ && y >= 0 && y < height_,
                          "pixel index outside the buffer");
    return checkedAdd(checkedMul(y, width_), x);
}

std::vector<RGB> PixelBuffer::takePixels() &&
{
    if (storage_.use_count() > 1)
        return *storage_;
    return std::move(*storage_);
}

const RGB& PixelBuffer::operator()(std::int64_t x, std::int64_t y) const
{
    return (*storage_)[static_cast<std::size_t>(index(x, y))];
}

void PixelBuffer::set(std::int64_t x, std::int64_t y, const RGB& colour)
{
    const auto i = static_cast<std::size_t>(index(x, y));
    mutablePixels()[i] = colour;
}

std::vector<RGB> PixelBuffer::samples(std::int64_t maxCount) const
{
    const std::vector<RGB>& all = *storage_;
    const auto n = static_cast<std::int64_t>(all.size());
    if (maxCount >= n)
        return all;
    LUMIVERT_PRECONDITION(maxCount >= 0, "sample count must not be negative");
    std::vector<RGB> result;
    result.reserve(static_cast<std::size_t>(maxCount));
    const double step = static_cast<double>(n) / static_cast<double>(maxCount);
    for (std::int64_t i = 0; i < maxCount; ++i) {
        const auto index =
            std::min(n - 1, static_cast<std::int64_t>(step * static_cast<double>(i)));
        result.push_back(all[static_cast<std::size_t>(index)]);
    }
    return result;
}

PixelBuffer PixelBuffer::resized(std::int64_t width, std::int64_t height) const
{
    if (width == width_ && height == height_)
        return *this;
    std::vector<RGB> target(static_cast<std::size_t>(pixelCount(width, height)));
    const std::vector<RGB>& source = *storage_;
    const float sx = static_cast<float>(width_) / static_cast<float>(width);
    const float sy = static_cast<float>(height_) / static_cast<float>(height);
    for (std::int64_t i = 0; i < height; ++i) {
        const float y = std::max(0.0f, sy * (static_cast<float>(i) + 0.5f) - 0.5f);
        const std::int64_t y0 = std::min(height_ - 1, static_cast<std::int64_t>(y));
        const std::int64_t y1 = std::min(height_ - 1, y0 + 1);
        const float fy = y - static_cast<float>(y0);
        const RGB* row0 = source.data() + y0 * width_;
        const RGB* row1 = source.data() + y1 * width_;
        RGB* out = target.data() + i * width;
        for (std::int64_t j = 0; j < width; ++j) {
            const float x = std::max(0.0f, sx * (static_cast<float>(j) + 0.5f) - 0.5f);
            const std::int64_t x0 = std::min(width_ - 1, static_cast<std::int64_t>(x));
            const std::int64_t x1 = std::min(width_ - 1, x0 + 1);
            const float fx = x - static_cast<float>(x0);
            const RGB top = lerp(row0[x0], row0[x1], fx);
            const RGB bottom = lerp(row1[x0], row1[x1], fx);
            out[j] = lerp(top, bottom, fy);
        }
    }
    return PixelBuffer(width, height, std::move(target));
}

PixelBuffer PixelBuffer::applying(const ColorTransform& transform) const
{
    std::vector<RGB> mapped;
    mapped.reserve(storage_->size());
    for (const RGB& pixel : *storage_)
        mapped.push_back(transform.apply(pixel));
    return PixelBuffer(width_, height_, std::move(mapped));
}

bool operator==(const PixelBuffer& x, const PixelBuffer& y)
{
    return x.width_ == y.width_ && x.height_ == y.height_ && *x.storage_ == *y.storage_;
}

}  // namespace lumivert
