#pragma once
// A piece of the full-resolution photo for the zoomed-in preview: the pixels of an area, shrunk
// to the screen's resolution when the zoom is below 1:1, so that grading it costs no more than
// the pixels on screen.
#include "imaging/PackedImage.hpp"

#include <QImage>
#include <QRect>

#include <functional>
#include <vector>

namespace lumivert::DetailTile {

// The size in pixels of the tile for `area` (full-resolution pixels) at `zoom` (screen pixels per
// image pixel): the area's own size at 1:1 and above, shrunk below it, at least one pixel.
QSize tileSize(const QRect& area, double zoom);

// The pixels of `area` (inside the image, else stops) at tileSize(area, zoom).
Image8 crop(const Image8& full, const QRect& area, double zoom);

// At 1:1 and above the detail is graded in the cells of a fixed grid, so that a pan grades only
// the cells it brings on screen. Edge in image pixels: small enough that a step of a drag grades
// little, large enough that drawing the cells stays cheap.
constexpr int cellEdge = 128;

// The cells of the grid (squares of cellEdge from the image's corner, clipped to `bounds`) that
// meet `area`, row by row.
std::vector<QRect> cells(const QRect& area, const QRect& bounds);

// The pixels of each of `areas` (inside the image, else stops) at 1:1 after `grade`, in order.
// They are graded in one call, as one image of all their pixels: `grade` works pixel by pixel and
// keeps the size, so each piece comes out exactly as grading it alone would give.
std::vector<QImage> gradedPieces(const Image8& full, const std::vector<QRect>& areas,
                                 const std::function<Image8(const Image8&)>& grade);

}  // namespace lumivert::DetailTile
