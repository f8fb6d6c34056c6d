#include "Symbols.hpp"

#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>
#include <QStandardPaths>

#include <array>

namespace lumivert::Symbols {

namespace {

struct Mapping {
    const char* symbol;
    const char* names;  // comma-separated freedesktop names, best first
};

const std::array<Mapping, 22> mappings{{
    {"camera.filters", "color-management,view-filter"},
    {"circle.lefthalf.filled", "color-picker,contrast"},
    {"square.split.2x1", "view-split-left-right,object-columns"},
    {"square.grid.3x3.square", "view-grid,games-config-board"},
    {"square.grid.3x3", "view-grid,games-config-board"},
    {"square.and.arrow.up", "document-export,document-save-as"},
    {"square.and.arrow.down", "document-save,document-save-as"},
    {"slider.horizontal.3", "configure,settings-configure"},
    {"xmark", "window-close,edit-delete-remove"},
    {"photo.badge.plus", "insert-image,image-x-generic"},
    {"photo", "image-x-generic,camera-photo"},
    {"paintpalette", "color-fill,draw-brush"},
    {"wand.and.stars", "tools-wizard,draw-brush"},
    {"eye", "view-visible,view-preview"},
    {"rectangle.split.2x1", "view-split-left-right,object-columns"},
    {"side.by.side", "view-dual,view-split-left-right,object-columns"},
    // Two overlapping shapes and what differs between them; a bar chart would read as a histogram.
    {"difference", "path-difference,color-mode-invert-image,contrast"},
    {"chevron.left.chevron.right", "transform-move-horizontal,go-previous"},
    {"sparkles", "kstars_stars,starred-symbolic,help-about"},
    {"checkmark.circle.fill", "emblem-success,dialog-ok-apply"},
    {"chart.xyaxis.line", "office-chart-line,labplot-xy-curve"},
    {"folder", "folder-open,folder"},
}};

// A neutral rounded square with the symbol's initial: never empty, clearly a placeholder.
QIcon drawnStandIn(const QString& symbol)
{
    constexpr int side = 32;
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor ink = QPalette().color(QPalette::WindowText);
    painter.setPen(QPen(ink, 2));
    painter.drawRoundedRect(QRectF(3, 3, side - 6, side - 6), 7, 7);
    QFont font = painter.font();
    font.setPixelSize(16);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(QRectF(0, 0, side, side), Qt::AlignCenter,
                     symbol.isEmpty() ? QStringLiteral("?") : symbol.left(1).toUpper());
    return QIcon(pixmap);
}

}  // namespace

void useThemeFor(bool dark)
{
    // Without a desktop platform theme (offscreen, minimal) Qt looks only in its resources.
    QStringList paths = QIcon::themeSearchPaths();
    for (const QString& folder :
         QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("icons"),
                                   QStandardPaths::LocateDirectory))
        if (!paths.contains(folder))
            paths.append(folder);
    QIcon::setThemeSearchPaths(paths);
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == QStringLiteral("hicolor"))
        QIcon::setThemeName(dark ? QStringLiteral("breeze-dark") : QStringLiteral("breeze"));
}

QStringList themeNames(const QString& symbol)
{
    for (const Mapping& mapping : mappings)
        if (symbol == QLatin1String(mapping.symbol))
            return QString::fromLatin1(mapping.names).split(QLatin1Char(','));
    return {};
}

QIcon icon(const QString& symbol)
{
    for (const QString& name : themeNames(symbol))
        if (QIcon::hasThemeIcon(name))
            return QIcon::fromTheme(name);
    return drawnStandIn(symbol);
}

QPixmap tinted(const QString& symbol, int size, const QColor& colour, qreal devicePixelRatio)
{
    QPixmap pixmap = icon(symbol).pixmap(QSize(size, size), devicePixelRatio);
    if (pixmap.isNull())
        return pixmap;
    // Keep the glyph's coverage, replace its colours.
    QPainter painter(&pixmap);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(pixmap.rect(), colour);
    painter.end();
    return pixmap;
}

}  // namespace lumivert::Symbols
