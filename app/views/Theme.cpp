#include "Theme.hpp"

#include "Symbols.hpp"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QPalette>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QStyle>
#include <QStyleFactory>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>

namespace lumivert::Theme {

namespace {

bool dark = true;

constexpr double darkBackdrop = 0.115;
constexpr double lightBackdrop = 0.84;
// WCAG 2: the sRGB transfer function's linear segment, and the flare added to both luminances.
constexpr double linearBelow = 0.04045;
constexpr double contrastFlare = 0.05;

QColor grey(double level) { return QColor::fromRgbF(level, level, level); }

QPalette darkPalette()
{
    QPalette palette;
    palette.setColor(QPalette::Window, grey(0.16));
    palette.setColor(QPalette::WindowText, grey(0.92));
    palette.setColor(QPalette::Base, grey(0.11));
    palette.setColor(QPalette::AlternateBase, grey(0.19));
    palette.setColor(QPalette::ToolTipBase, grey(0.22));
    palette.setColor(QPalette::ToolTipText, grey(0.92));
    palette.setColor(QPalette::PlaceholderText, grey(0.55));
    palette.setColor(QPalette::Text, grey(0.92));
    palette.setColor(QPalette::Button, grey(0.23));
    palette.setColor(QPalette::ButtonText, grey(0.92));
    palette.setColor(QPalette::BrightText, Qt::white);
    palette.setColor(QPalette::Mid, grey(0.30));
    palette.setColor(QPalette::Dark, grey(0.08));
    palette.setColor(QPalette::Light, grey(0.35));
    palette.setColor(QPalette::Highlight, QColor(10, 132, 255));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, QColor(64, 156, 255));
    palette.setColor(QPalette::Disabled, QPalette::Text, grey(0.45));
    palette.setColor(QPalette::Disabled, QPalette::WindowText, grey(0.45));
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, grey(0.45));
    return palette;
}

QPalette lightPalette()
{
    // The factory hands over a style that only lends its palette here.
    const std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    QPalette palette = fusion->standardPalette();
    palette.setColor(QPalette::Highlight, QColor(0, 122, 255));
    palette.setColor(QPalette::PlaceholderText, grey(0.5));
    return palette;
}

std::optional<bool> gnomePrefersLight()
{
    const QString gsettings = QStandardPaths::findExecutable(QStringLiteral("gsettings"));
    if (gsettings.isEmpty())
        return std::nullopt;
    QProcess process;
    process.start(gsettings, {QStringLiteral("get"), QStringLiteral("org.gnome.desktop.interface"),
                              QStringLiteral("color-scheme")});
    if (!process.waitForFinished(1000) || process.exitCode() != 0)
        return std::nullopt;
    const QString scheme = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    if (scheme.contains(QStringLiteral("prefer-light")))
        return true;
    if (scheme.contains(QStringLiteral("prefer-dark")))
        return false;
    return std::nullopt;
}

std::optional<bool> kdePrefersLight()
{
    const QString path = QDir::homePath() + QStringLiteral("/.config/kdeglobals");
    if (!QFile::exists(path))
        return std::nullopt;
    const QSettings globals(path, QSettings::IniFormat);
    const QString scheme = globals.value(QStringLiteral("General/ColorScheme")).toString();
    if (scheme.isEmpty())
        return std::nullopt;
    return !scheme.contains(QStringLiteral("Dark"), Qt::CaseInsensitive);
}

}  // namespace

bool desktopPrefersLight()
{
    const QString asked = qEnvironmentVariable("LUMIVERT_APPEARANCE").toLower();
    if (asked == QStringLiteral("light"))
        return true;
    if (asked == QStringLiteral("dark"))
        return false;
    if (const auto gnome = gnomePrefersLight())
        return *gnome;
    if (const auto kde = kdePrefersLight())
        return *kde;
    return false;
}

void apply(QApplication& application)
{
    dark = !desktopPrefersLight();
    application.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    application.setPalette(dark ? darkPalette() : lightPalette());
    Symbols::useThemeFor(dark);
}

bool isDark() { return dark; }

QColor accent() { return dark ? QColor(10, 132, 255) : QColor(0, 122, 255); }

QColor secondary(double opacity)
{
    QColor colour = dark ? grey(0.62) : grey(0.42);
    colour.setAlphaF(static_cast<float>(opacity));
    return colour;
}

QColor backdrop() { return grey(dark ? darkBackdrop : lightBackdrop); }

QColor quaternaryFill()
{
    QColor colour = dark ? grey(1.0) : grey(0.0);
    colour.setAlphaF(dark ? 0.06f : 0.05f);
    return colour;
}

QFont font(TextStyle style, QFont::Weight weight)
{
    QFont font = QApplication::font();
    const qreal base = font.pointSizeF() > 0 ? font.pointSizeF() : 10.0;
    switch (style) {
    case TextStyle::body: break;
    case TextStyle::callout: font.setPointSizeF(base * 0.94); break;
    case TextStyle::caption: font.setPointSizeF(base * 0.85); break;
    case TextStyle::caption2: font.setPointSizeF(base * 0.78); break;
    case TextStyle::headline:
        font.setPointSizeF(base * 1.05);
        if (weight == QFont::Normal)
            weight = QFont::DemiBold;
        break;
    case TextStyle::title2: font.setPointSizeF(base * 1.45); break;
    }
    font.setWeight(weight);
    return font;
}

QString segmentStyle(std::size_t index, std::size_t count)
{
    const QString corners = count == 1   ? QStringLiteral("border-radius: 6px;")
                            : index == 0 ? QStringLiteral("border-top-left-radius: 6px;"
                                                          "border-bottom-left-radius: 6px;")
                            : index + 1 == count
                                ? QStringLiteral("border-top-right-radius: 6px;"
                                                 "border-bottom-right-radius: 6px;")
                                : QString();
    return QStringLiteral("QToolButton { border: 1px solid %1; background: %2; padding: 3px 8px; "
                          "%3 }"
                          "QToolButton:checked { background: %4; color: white; }")
        .arg(secondary(0.35).name(QColor::HexArgb), quaternaryFill().name(QColor::HexArgb), corners,
             accent().name(QColor::HexArgb));
}

void paintDarkPanel(QWidget& widget, double radius, double opacity)
{
    QPainter painter(&widget);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor fill(Qt::black);
    fill.setAlphaF(static_cast<float>(opacity));
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(QRectF(widget.rect()), radius, radius);
}

QColor prominentFill() { return QColor(0, 100, 220); }

QString prominentButtonStyle()
{
    return QStringLiteral("QPushButton { background: %1; color: white; border: none; "
                          "border-radius: 6px; padding: 4px 12px; }"
                          "QPushButton:hover { background: %2; }"
                          "QPushButton:pressed { background: %3; }"
                          "QPushButton:disabled { background: %4; color: %5; }")
        .arg(prominentFill().name(), prominentFill().lighter(112).name(),
             prominentFill().darker(120).name(), quaternaryFill().name(QColor::HexArgb),
             secondary(0.8).name(QColor::HexArgb));
}

double contrastRatio(const QColor& first, const QColor& second)
{
    const auto luminance = [](const QColor& colour) {
        const auto linear = [](double value) {
            return value <= linearBelow ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) +
               0.0722 * linear(colour.blueF());
    };
    const double a = luminance(first) + contrastFlare;
    const double b = luminance(second) + contrastFlare;
    return std::max(a, b) / std::min(a, b);
}

}  // namespace lumivert::Theme
