#pragma once
// A piece of the full-resolution photo for the zoomed-in preview: the pixels of an area, shrunk
// to the screen's resolution when the zoom is below 1:1, so that grading it costs no more than
// the pixels on screen.
#include "imaging/PackedImage.hpp"

#include <QRect>

namespace lumivert::DetailTile {

// The size in pixels of the tile for `area` (full-resolution pixels) at `zoom` (screen pixels per
// image pixel): the area's own size at 1:1 and above, shrunk below it, at least one pixel.
QSize tileSize(const QRect& area, double zoom);

// The pixels of `area` (inside the image, else stops) at tileSize(area, zoom).
Image8 crop(const Image8& full, const QRect& area, double zoom);

}  // namespace lumivert::DetailTile
