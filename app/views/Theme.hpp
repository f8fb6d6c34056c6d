#pragma once
// The look of the window: Fusion with a dark palette by default, a light one when the desktop
// asks for it, one accent colour, and the text styles the views name (caption, headline…).
#include <QColor>
#include <QFont>
#include <QString>

#include <cstddef>

class QApplication;
class QWidget;

namespace lumivert::Theme {

enum class TextStyle { body, callout, caption, caption2, headline, title2 };

// Decides the appearance once and installs style, palette and icon theme.
void apply(QApplication& application);
// The desktop's preference: LUMIVERT_APPEARANCE ("light"/"dark") first, then the GNOME
// colour scheme and the KDE colour scheme; dark when nothing says light.
bool desktopPrefersLight();

bool isDark();
QColor accent();
// Secondary text and strokes, at the given opacity.
QColor secondary(double opacity = 1.0);
// The preview pane's backdrop: white level 0.115 in the dark appearance, 0.84 in the light one.
QColor backdrop();
// A subtle fill for wells and tracks.
QColor quaternaryFill();

QFont font(TextStyle style, QFont::Weight weight = QFont::Normal);

// A style sheet that joins checkable buttons into one segmented control, the chosen one in the
// accent colour: segment `index` of `count`.
QString segmentStyle(std::size_t index, std::size_t count);

// The fill of the one prominent button (Export LUT…): the accent darkened until white text on it
// reads at better than 4.5:1, in both appearances.
QColor prominentFill();
// A push-button style sheet in that fill with white text, greyed while disabled.
QString prominentButtonStyle();
// The contrast ratio of two opaque colours, from 1 to 21 (WCAG 2's relative luminance).
double contrastRatio(const QColor& first, const QColor& second);

// Fills the whole widget with a black rounded panel of the given opacity (chips, toasts).
void paintDarkPanel(QWidget& widget, double radius, double opacity);

}  // namespace lumivert::Theme
