#include "SplitHandle.hpp"

#include "Symbols.hpp"

#include <QPainter>

namespace lumivert {

namespace {
constexpr int symbolSide = 16;
constexpr double glassOpacity = 0.72;
constexpr double rimOpacity = 0.35;
}  // namespace

SplitHandle::SplitHandle(QWidget* parent)
    : QWidget(parent), symbol_(Symbols::icon(QStringLiteral("chevron.left.chevron.right"))
                                   .pixmap(symbolSide, symbolSide))
{
    setFixedSize(diameter, diameter);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_TranslucentBackground);
}

void SplitHandle::centreOn(const QPointF& point)
{
    move(qRound(point.x() - diameter / 2.0), qRound(point.y() - diameter / 2.0));
}

void SplitHandle::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF disc = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    // A frosted disc with a light rim, so the grip reads on bright and dark images alike.
    QColor glass(Qt::white);
    glass.setAlphaF(glassOpacity);
    QColor rim(Qt::black);
    rim.setAlphaF(rimOpacity);
    painter.setPen(QPen(rim, 1));
    painter.setBrush(glass);
    painter.drawEllipse(disc);
    const QPointF corner = disc.center() - QPointF(symbolSide / 2.0, symbolSide / 2.0);
    painter.drawPixmap(corner, symbol_);
}

}  // namespace lumivert
