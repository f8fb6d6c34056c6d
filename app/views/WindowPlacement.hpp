#pragma once
// Where the window goes when the automation mode drives it: at the top left of the sharpest
// screen, at the size LUMIVERT_WINDOW asks for, never larger than the screen unless the window
// already is (a platform that let it open at its size lets it keep that size).
#include <QMargins>
#include <QRect>
#include <QSize>
#include <QString>

#include <optional>

class QSettings;
class QWidget;

namespace lumivert::WindowPlacement {

// "W" "x" "H" with both parts decimal numbers; anything else gives nothing.
std::optional<QSize> parseSize(const QString& text);

// The frame (title bar and borders included) for a window whose contents are of `current` size
// and ask for `desired`, on a screen whose available area is `visible`, with the window
// manager's `decorations` around the contents: 20 from the area's left edge and 10 below its
// top, no larger than the area or than the frame the window has now, whichever is larger.
QRect frame(QSize current, std::optional<QSize> desired, QRect visible, QMargins decorations = {});

// Places the window on the screen with the highest device pixel ratio (the first wins ties).
void placeForCapture(QWidget& window, const QString& windowVariable);

// The window's size and place as the user left them, kept in `settings` for the next start.
void remember(const QWidget& window, QSettings& settings);
// Puts the window back where remember() saw it; false, the window untouched, when nothing (or
// nothing readable) was remembered.
bool restore(QWidget& window, const QSettings& settings);

}  // namespace lumivert::WindowPlacement
