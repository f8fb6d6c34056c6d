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

std::vector<QRect> cells(const QRect& area, const QRect& bounds)
{
    const QRect clipped = area.intersected(bounds);
    std::vector<QRect> result;
    if (clipped.isEmpty())
        return result;
    // Cells are counted from the image's corner, whatever the bounds' own origin.
    const auto first = [](int at) { return at / cellEdge * cellEdge; };
    for (int top = first(clipped.top()); top <= clipped.bottom(); top += cellEdge)
        for (int left = first(clipped.left()); left <= clipped.right(); left += cellEdge)
            result.push_back(QRect(left, top, cellEdge, cellEdge).intersected(bounds));
    return result;
}

std::vector<QImage> gradedPieces(const Image8& full, const std::vector<QRect>& areas,
                                 const std::function<Image8(const Image8&)>& grade)
{
    std::int64_t total = 0;
    for (const QRect& area : areas) {
        LUMIVERT_PRECONDITION(!area.isEmpty() && area.left() >= 0 && area.top() >= 0 &&
                                  area.right() < full.width() && area.bottom() < full.height(),
                              "each piece lies inside the image");
        total += std::int64_t{area.width()} * area.height();
    }
    if (total == 0)
        return {};
    // One row of every piece's pixels, piece after piece, each piece's rows in order.
    auto samples = std::make_unique_for_overwrite<std::uint8_t[]>(
        static_cast<std::size_t>(total * Image8::channels));
    std::uint8_t* next = samples.get();
    for (const QRect& area : areas) {
        const auto rowBytes = static_cast<std::size_t>(area.width()) * Image8::channels;
        for (int row = area.top(); row <= area.bottom(); ++row, next += rowBytes)
            std::memcpy(next,
                        full.data() +
                            (std::int64_t{row} * full.width() + area.left()) * Image8::channels,
                        rowBytes);
    }
    const Image8 graded = grade(Image8(total, 1, std::move(samples)));
    LUMIVERT_PRECONDITION(graded.width() == total && graded.height() == 1,
                          "grading keeps the pixels' count");
    std::vector<QImage> pieces;
    pieces.reserve(areas.size());
    const std::uint8_t* start = graded.data();
    for (const QRect& area : areas) {
        // Each piece wraps its part of the graded pixels, which it keeps alive.
        auto* keep = new Image8(graded);
        pieces.emplace_back(
            start, area.width(), area.height(),
            static_cast<qsizetype>(area.width()) * Image8::channels, QImage::Format_RGBX8888,
            [](void* info) { delete static_cast<Image8*>(info); }, keep);
        start += std::int64_t{area.width()} * area.height() * Image8::channels;
    }
    return pieces;
}

}  // namespace lumivert::DetailTile
