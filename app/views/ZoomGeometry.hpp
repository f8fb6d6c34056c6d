#pragma once
// The arithmetic of the zoomed preview, apart from the widget so that it can be checked without
// drawing. A zoom is in screen (device) pixels per pixel of the full-resolution image: 1 is
// "1:1", one image pixel on one screen pixel whatever the display's scale factor. A view is the
// zoom and the image point shown at the centre of the viewport.
#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <span>

namespace lumivert::ZoomGeometry {

inline constexpr double actualSize = 1;
inline constexpr double maximumZoom = 16;

// The steps of zooming in and out by key, as image viewers offer them.
std::span<const double> steps();

// The zoom that shows the whole image in `viewport` (logical pixels at `pixelRatio` device pixels
// each), never above 1:1: a small photo is not blown up until the user zooms in.
double fitZoom(const QSizeF& fullSize, const QSizeF& viewport, double pixelRatio);

// The next step above or below `zoom`, bounded by `fit` below and maximumZoom above.
double zoomedIn(double zoom);
double zoomedOut(double zoom, double fit);

// Where the image lies in the widget for a view. Along an axis where the image is smaller than
// the viewport it is centred; along one where it is larger it is pinned so that no backdrop
// shows at either edge, whatever the centre asks (panning stops at the edges).
QRectF imageRect(const QSizeF& fullSize, const QRectF& viewport, double zoom, double pixelRatio,
                 const QPointF& centre);

// The full-resolution image point under `point` for an image drawn at `imageRect`.
QPointF imagePoint(const QPointF& point, const QRectF& imageRect, const QSizeF& fullSize);

// The centre that shows `imageRect` (as placed by imageRect, so already within its bounds).
QPointF centreOf(const QRectF& imageRect, const QRectF& viewport, const QSizeF& fullSize);

// The centre after zooming to `zoom` with the image point under `anchor` kept under it.
QPointF centreZoomedAbout(const QPointF& anchor, const QRectF& imageRect, const QSizeF& fullSize,
                          const QRectF& viewport, double zoom, double pixelRatio);

// The part of the image that is on screen.
QRectF visibleRect(const QRectF& imageRect, const QRectF& viewport);

}  // namespace lumivert::ZoomGeometry
