#include "DetailTile.hpp"

#include "color/Precondition.hpp"

#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace lumivert::DetailTile {

QSize tileSize(const QRect& area, double zoom)
{
    const double scale = std::min(zoom, 1.0);
    return {std::max(1, static_cast<int>(std::lround(area.width() * scale))),
            std::max(1, static_cast<int>(std::lround(area.height() * scale)))};
}

Image8 crop(const Image8& full, const QRect& area, double zoom)
{
    LUMIVERT_PRECONDITION(!area.isEmpty() && area.left() >= 0 && area.top() >= 0 &&
                              area.right() < full.width() && area.bottom() < full.height(),
                          "the detail area lies inside the image");
    const std::int64_t rowBytes = std::int64_t{area.width()} * Image8::channels;
    const auto count = static_cast<std::size_t>(rowBytes * area.height());
    auto samples = std::make_unique<std::uint8_t[]>(count);
    for (int row = 0; row < area.height(); ++row)
        std::memcpy(samples.get() + row * rowBytes,
                    full.data() + (std::int64_t{area.top() + row} * full.width() + area.left()) *
                                      Image8::channels,
                    static_cast<std::size_t>(rowBytes));
    Image8 exact(area.width(), area.height(), std::move(samples));
    const QSize size = tileSize(area, zoom);
    if (size == area.size())
        return exact;
    // Below 1:1 the screen cannot show every pixel; averaging them first keeps the grade's cost
    // to the pixels on screen.
    const QImage wrapped(exact.data(), area.width(), area.height(),
                         static_cast<qsizetype>(exact.bytesPerRow()), QImage::Format_RGBX8888);
    const QImage shrunk = wrapped.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                              .convertToFormat(QImage::Format_RGBX8888);
    const std::int64_t shrunkRow = std::int64_t{size.width()} * Image8::channels;
    auto shrunkSamples =
        std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(shrunkRow * size.height()));
    for (int row = 0; row < size.height(); ++row)
        std::memcpy(shrunkSamples.get() + row * shrunkRow, shrunk.constScanLine(row),
                    static_cast<std::size_t>(shrunkRow));
    return Image8(size.width(), size.height(), std::move(shrunkSamples));
}

}  // namespace lumivert::DetailTile
