#pragma once
// The arithmetic of the before/after comparison, kept apart from the widget so that it can be
// checked without drawing: where the image sits, where a pointer puts the split, and how the
// comparison reads to assistive technology.
#include "AppTypes.hpp"

#include <QRectF>
#include <QSizeF>
#include <QString>

namespace lumivert::CompareGeometry {

// The largest rectangle of the image's aspect ratio inside `available`, centred in it; empty
// when either size has no area.
QRectF fittedRect(const QSizeF& image, const QRectF& available);

// The split for a pointer at horizontal position `x`: its fraction of the image's width,
// clamped to 0...1; 0 when the image has no width.
double splitAt(double x, const QRectF& imageRect);

// The horizontal position of the split line inside the image.
double splitLineX(double split, const QRectF& imageRect);

// "Split at 37 percent" (truncated) in split style, else "Original" or "With LUT".
QString accessibleValue(CompareStyle style, double split);

}  // namespace lumivert::CompareGeometry
