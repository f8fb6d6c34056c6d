#pragma once
// Icons for the symbol names the views use ("camera.filters", "xmark"…), taken from the
// freedesktop icon theme. A name the theme lacks gets a drawn stand-in, so no button is blank.
#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

namespace lumivert::Symbols {

// Chooses the icon theme that matches the palette (Breeze or Breeze Dark) when the platform
// names none, as under the offscreen platform.
void useThemeFor(bool dark);

QIcon icon(const QString& symbol);

// The symbol drawn in one colour at `size` device-independent pixels, for tinted glyphs.
QPixmap tinted(const QString& symbol, int size, const QColor& colour, qreal devicePixelRatio);

// The freedesktop names tried for a symbol, in order; empty for an unknown symbol.
QStringList themeNames(const QString& symbol);

}  // namespace lumivert::Symbols
