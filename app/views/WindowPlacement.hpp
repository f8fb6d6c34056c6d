#pragma once
// Where the window goes when the automation mode drives it: at the top left of the sharpest
// screen, at the size LUMIVERT_WINDOW asks for, never larger than the screen.
#include <QRect>
#include <QSize>
#include <QString>

#include <optional>

class QWidget;

namespace lumivert::WindowPlacement {

// "W" "x" "H" with both parts decimal numbers; anything else gives nothing.
std::optional<QSize> parseSize(const QString& text);

// The frame for a window of `current` size asking for `desired` on a screen whose available
// area is `visible`: clamped to that area, 20 from its left edge and 10 below its top.
QRect frame(QSize current, std::optional<QSize> desired, QRect visible);

// Places the window on the screen with the highest device pixel ratio (the first wins ties).
void placeForCapture(QWidget& window, const QString& windowVariable);

}  // namespace lumivert::WindowPlacement
