#include "ZoomGeometry.hpp"

#include <algorithm>
#include <array>
#include <cmath>

namespace lumivert::ZoomGeometry {

namespace {

constexpr std::array<double, 15> zoomSteps{1.0 / 16, 1.0 / 12, 1.0 / 8, 1.0 / 6, 1.0 / 4,
                                           1.0 / 3,  1.0 / 2,  2.0 / 3, 1,       3.0 / 2,
                                           2,        3,        4,       8,       16};
// Steps closer than this count as equal, so that repeated key presses never stall on rounding.
constexpr double stepTolerance = 1e-6;

// The top-left along one axis: centred when the image is smaller, else clamped to the edges.
double placedStart(double length, double viewStart, double viewLength, double wanted)
{
    if (length <= viewLength)
        return viewStart + (viewLength - length) / 2;
    return std::clamp(wanted, viewStart + viewLength - length, viewStart);
}

}  // namespace

std::span<const double> steps() { return zoomSteps; }

double fitZoom(const QSizeF& fullSize, const QSizeF& viewport, double pixelRatio)
{
    if (fullSize.isEmpty() || viewport.isEmpty())
        return actualSize;
    const double fit =
        std::min(viewport.width() / fullSize.width(), viewport.height() / fullSize.height()) *
        pixelRatio;
    return std::min(fit, actualSize);
}

double zoomedIn(double zoom)
{
    const auto next = std::find_if(zoomSteps.begin(), zoomSteps.end(),
                                   [zoom](double step) { return step > zoom + stepTolerance; });
    return next == zoomSteps.end() ? maximumZoom : *next;
}

double zoomedOut(double zoom, double fit)
{
    const auto below = std::find_if(zoomSteps.rbegin(), zoomSteps.rend(),
                                    [zoom](double step) { return step < zoom - stepTolerance; });
    return below == zoomSteps.rend() ? fit : std::max(*below, fit);
}

QRectF imageRect(const QSizeF& fullSize, const QRectF& viewport, double zoom, double pixelRatio,
                 const QPointF& centre)
{
    if (fullSize.isEmpty() || viewport.isEmpty() || !(zoom > 0))
        return {};
    const double scale = zoom / pixelRatio;
    const QSizeF size = fullSize * scale;
    const QPointF wanted = viewport.center() - centre * scale;
    return {placedStart(size.width(), viewport.left(), viewport.width(), wanted.x()),
            placedStart(size.height(), viewport.top(), viewport.height(), wanted.y()), size.width(),
            size.height()};
}

QPointF imagePoint(const QPointF& point, const QRectF& imageRect, const QSizeF& fullSize)
{
    if (imageRect.isEmpty())
        return {};
    return {(point.x() - imageRect.left()) * fullSize.width() / imageRect.width(),
            (point.y() - imageRect.top()) * fullSize.height() / imageRect.height()};
}

QPointF centreOf(const QRectF& imageRect, const QRectF& viewport, const QSizeF& fullSize)
{
    return imagePoint(viewport.center(), imageRect, fullSize);
}

QPointF centreZoomedAbout(const QPointF& anchor, const QRectF& imageRect, const QSizeF& fullSize,
                          const QRectF& viewport, double zoom, double pixelRatio)
{
    const QPointF held = imagePoint(anchor, imageRect, fullSize);
    const double scale = zoom / pixelRatio;
    // The centre that puts `held` at `anchor`, then placed like any other so the edges hold.
    const QPointF centre = held + (viewport.center() - anchor) / scale;
    const QRectF placed = ZoomGeometry::imageRect(fullSize, viewport, zoom, pixelRatio, centre);
    return centreOf(placed, viewport, fullSize);
}

QRectF visibleRect(const QRectF& imageRect, const QRectF& viewport)
{
    return imageRect.intersected(viewport);
}

}  // namespace lumivert::ZoomGeometry
