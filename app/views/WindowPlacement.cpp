#include "WindowPlacement.hpp"

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace lumivert::WindowPlacement {

namespace {

constexpr int leftMargin = 20;
constexpr int topMargin = 10;
const QString geometryKey = QStringLiteral("windowGeometry");

std::optional<double> decimal(const QString& text)
{
    if (text.isEmpty() || text.trimmed() != text)
        return std::nullopt;
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok && std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}

}  // namespace

std::optional<QSize> parseSize(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('x'));
    if (parts.size() != 2)
        return std::nullopt;
    const auto width = decimal(parts[0]);
    const auto height = decimal(parts[1]);
    if (!width || !height)
        return std::nullopt;
    // A window cannot be smaller than nothing or larger than a coordinate can say.
    const auto pixels = [](double value) {
        return static_cast<int>(std::clamp(std::round(value), 0.0, 1.0e6));
    };
    return QSize(pixels(*width), pixels(*height));
}

QRect frame(QSize current, std::optional<QSize> desired, QRect visible, QMargins decorations)
{
    const QSize around(decorations.left() + decorations.right(),
                       decorations.top() + decorations.bottom());
    const QSize limit = visible.size().expandedTo(current + around);
    const QSize wanted = desired.value_or(current) + around;
    return QRect(QPoint(visible.left() + leftMargin, visible.top() + topMargin),
                 wanted.boundedTo(limit));
}

void placeForCapture(QWidget& window, const QString& windowVariable)
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    QScreen* best = nullptr;
    for (QScreen* screen : screens)
        if (!best || screen->devicePixelRatio() > best->devicePixelRatio())
            best = screen;
    if (!best)
        best = QGuiApplication::primaryScreen();
    if (!best)
        return;
    // move() places the frame, so the title bar stays on the screen; resize() sizes the contents.
    const QRect outer = window.frameGeometry();
    const QRect inner = window.geometry();
    const QMargins decorations(inner.left() - outer.left(), inner.top() - outer.top(),
                               outer.right() - inner.right(), outer.bottom() - inner.bottom());
    const QRect placed =
        frame(window.size(), parseSize(windowVariable), best->availableGeometry(), decorations);
    window.resize(placed.size().shrunkBy(decorations));
    window.move(placed.topLeft());
    window.repaint();
}

void remember(const QWidget& window, QSettings& settings)
{
    settings.setValue(geometryKey, window.saveGeometry());
}

bool restore(QWidget& window, const QSettings& settings)
{
    const QByteArray geometry = settings.value(geometryKey).toByteArray();
    return !geometry.isEmpty() && window.restoreGeometry(geometry);
}

}  // namespace lumivert::WindowPlacement
