#include "TintWheelView.hpp"

#include "color/ColorMath.hpp"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QConicalGradient>
#include <QPainter>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace lumivert {

namespace {

constexpr float ringLightness = 0.72f;
constexpr float ringChroma = 0.13f;
constexpr double discMargin = 2.0;
constexpr double glowOpacity = 0.5;
constexpr double outlineOpacity = 0.25;
constexpr double outlineWidth = 0.5;
constexpr double crossHalfLength = 5.0;
constexpr double crossOpacity = 0.7;
constexpr double dotStrokeWidth = 1.5;
constexpr int dotLabelPixelSize = 8;
constexpr double lightLabelThreshold = 0.55;

QColor colourOf(const RGB& rgb)
{
    const RGB shown = clamp01(rgb);
    return QColor::fromRgbF(shown.r, shown.g, shown.b);
}

// Speaks the dots' tints as the wheel's value.
class TintWheelAccessible final : public QAccessibleWidget {
public:
    explicit TintWheelAccessible(TintWheelView* wheel)
        : QAccessibleWidget(wheel, QAccessible::Graphic)
    {
    }
    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Value)
            return TintWheelView::accessibilityValue(
                static_cast<const TintWheelView*>(widget())->dots());
        return QAccessibleWidget::text(kind);
    }
};

QAccessibleInterface* wheelAccessible(const QString& className, QObject* object)
{
    if (className == QLatin1String("lumivert::TintWheelView") && object->isWidgetType())
        return new TintWheelAccessible(static_cast<TintWheelView*>(object));
    return nullptr;
}

}  // namespace

TintWheelView::TintWheelView(QWidget* parent) : QWidget(parent)
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(wheelAccessible);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
    setAccessibleName(QStringLiteral("Tint wheel"));
    setMinimumSize(40, 40);
}

void TintWheelView::setDots(std::vector<TintDot> dots)
{
    dots_ = std::move(dots);
    placeDots();
    update();
    QAccessibleValueChangeEvent event(this, accessibilityValue(dots_));
    QAccessible::updateAccessibility(&event);
}

const std::array<QColor, TintWheelView::ringColourCount>& TintWheelView::ringColours()
{
    static const std::array<QColor, ringColourCount> colours = [] {
        std::array<QColor, ringColourCount> ring;
        for (int i = 0; i < ringColourCount; ++i) {
            const float theta = -2.0f * std::numbers::pi_v<float> * static_cast<float>(i) /
                                static_cast<float>(ringColourCount - 1);
            ring[static_cast<std::size_t>(i)] = colourOf(ColorMath::oklabToSRGB(
                Lab{ringLightness, ringChroma * std::cos(theta), ringChroma * std::sin(theta)}));
        }
        return ring;
    }();
    return colours;
}

const QGradientStops& TintWheelView::ringStops()
{
    // The ring runs clockwise on screen from 3 o'clock through colours 0…36, while Qt's conical
    // gradient runs counter-clockwise, so stop j / 36 takes colour 36 − j. A counter-clockwise
    // screen angle ψ then shows hue ψ, where a dot of that hue lands with its (a, −b) offset.
    static const QGradientStops stops = [] {
        QGradientStops ring;
        const int last = ringColourCount - 1;
        for (int j = 0; j <= last; ++j)
            ring.append(
                {static_cast<double>(j) / last, ringColours()[static_cast<std::size_t>(last - j)]});
        return ring;
    }();
    return stops;
}

double TintWheelView::radius(QSizeF size)
{
    return std::max(0.0, (std::min(size.width(), size.height()) - discMargin) / 2.0);
}

QPointF TintWheelView::dotOffset(const std::array<float, 2>& ab, double radius)
{
    const QPointF offset = QPointF(ab[0], -ab[1]) * (radius / fullScaleChroma);
    const double limit = std::max(0.0, radius - dotRadius);
    const double length = std::hypot(offset.x(), offset.y());
    return length > limit ? offset * (limit / length) : offset;
}

QColor TintWheelView::labelColour(const std::array<float, 3>& colour)
{
    const double brightness = 0.3 * colour[0] + 0.6 * colour[1] + 0.1 * colour[2];
    return brightness > lightLabelThreshold ? Qt::black : Qt::white;
}

QString TintWheelView::accessibilityValue(const std::vector<TintDot>& dots)
{
    QStringList entries;
    for (const TintDot& dot : dots)
        entries << dot.id + QLatin1Char(' ') +
                       QString::asprintf("%.3f, %.3f", dot.ab[0], dot.ab[1]);
    return entries.join(QStringLiteral("; "));
}

void TintWheelView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeDots();
}

void TintWheelView::placeDots()
{
    const QPointF centre(width() / 2.0, height() / 2.0);
    const double r = radius(size());
    dotCentres_.clear();
    for (const TintDot& dot : dots_)
        dotCentres_.push_back(centre + dotOffset(dot.ab, r));
}

void TintWheelView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double r = radius(size());
    const QPointF centre(width() / 2.0, height() / 2.0);

    QConicalGradient ring(centre, 0);
    ring.setStops(ringStops());
    painter.setPen(Qt::NoPen);
    painter.setBrush(ring);
    painter.drawEllipse(centre, r, r);

    QRadialGradient glow(centre, r);
    glow.setColorAt(0, QColor::fromRgbF(1, 1, 1, glowOpacity));
    glow.setColorAt(1, QColor::fromRgbF(1, 1, 1, 0));
    painter.setBrush(glow);
    painter.setPen(QPen(QColor::fromRgbF(0, 0, 0, outlineOpacity), outlineWidth));
    painter.drawEllipse(centre, r, r);

    painter.setPen(QPen(QColor::fromRgbF(1, 1, 1, crossOpacity), 1.0));
    painter.drawLine(centre - QPointF(crossHalfLength, 0), centre + QPointF(crossHalfLength, 0));
    painter.drawLine(centre - QPointF(0, crossHalfLength), centre + QPointF(0, crossHalfLength));

    QFont label = font();
    label.setPixelSize(dotLabelPixelSize);
    label.setBold(true);
    painter.setFont(label);
    for (std::size_t i = 0; i < dots_.size(); ++i) {
        const TintDot& dot = dots_[i];
        const QPointF at = dotCentres_[i];
        painter.setBrush(colourOf(RGB{dot.colour[0], dot.colour[1], dot.colour[2]}));
        painter.setPen(QPen(Qt::white, dotStrokeWidth));
        painter.drawEllipse(at, dotRadius, dotRadius);
        painter.setPen(labelColour(dot.colour));
        painter.drawText(QRectF(at - QPointF(dotRadius, dotRadius), QSizeF(2, 2) * dotRadius),
                         Qt::AlignCenter, dot.id);
    }
}

}  // namespace lumivert
