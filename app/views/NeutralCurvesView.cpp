#include "NeutralCurvesView.hpp"

#include "Theme.hpp"

#include <QPainter>
#include <QPainterPath>

namespace lumivert {

namespace {

constexpr double inset = 1.0;
constexpr double cornerRadius = 8.0;
constexpr double gridWidth = 0.5;
constexpr std::array<double, 3> gridFractions{0.25, 0.5, 0.75};
constexpr double diagonalWidth = 0.75;
constexpr double diagonalDash = 10.0;
constexpr double curveWidth = 1.6;
constexpr double curveOpacity = 0.95;
const std::array<QColor, 3> channelColours{QColor::fromRgbF(1.0f, 0.32f, 0.30f),
                                           QColor::fromRgbF(0.30f, 0.85f, 0.40f),
                                           QColor::fromRgbF(0.35f, 0.55f, 1.0f)};

}  // namespace

NeutralCurvesView::NeutralCurvesView(QWidget* parent) : QWidget(parent)
{
    setAccessibleName(QStringLiteral("Grey axis curves"));
    setMinimumSize(40, 40);
}

void NeutralCurvesView::setCurve(std::vector<RGB> curve)
{
    curve_ = std::move(curve);
    layoutLines();
    update();
}

QRectF NeutralCurvesView::plotRect(QSizeF size)
{
    return QRectF(QPointF(0, 0), size).adjusted(inset, inset, -inset, -inset);
}

std::array<QPolygonF, 3> NeutralCurvesView::polylines(const std::vector<RGB>& curve,
                                                      const QRectF& plot)
{
    std::array<QPolygonF, 3> lines;
    if (curve.size() < 2)
        return lines;
    const double last = static_cast<double>(curve.size() - 1);
    for (std::size_t i = 0; i < curve.size(); ++i) {
        const double x = plot.left() + plot.width() * static_cast<double>(i) / last;
        const std::array<float, 3> values{curve[i].r, curve[i].g, curve[i].b};
        for (std::size_t channel = 0; channel < 3; ++channel)
            lines[channel] << QPointF(x, plot.bottom() - plot.height() * values[channel]);
    }
    return lines;
}

void NeutralCurvesView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutLines();
}

void NeutralCurvesView::layoutLines() { lines_ = polylines(curve_, plotRect(size())); }

void NeutralCurvesView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF plot = plotRect(size());

    QPainterPath frame;
    frame.addRoundedRect(plot, cornerRadius, cornerRadius);
    painter.fillPath(frame, Qt::black);
    // Lines stay inside the rounded frame, also where a grade pushes a channel past 0 or 1.
    painter.setClipPath(frame);

    painter.setPen(QPen(Theme::secondary(), gridWidth));
    for (double fraction : gridFractions) {
        const double x = plot.left() + plot.width() * fraction;
        const double y = plot.top() + plot.height() * fraction;
        painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
    }

    QPen dashed(Theme::secondary(), diagonalWidth);
    // Qt measures dashes in pen widths.
    dashed.setDashPattern({diagonalDash / diagonalWidth, diagonalDash / diagonalWidth});
    painter.setPen(dashed);
    painter.drawLine(plot.bottomLeft(), plot.topRight());

    painter.setOpacity(curveOpacity);
    for (std::size_t channel = 0; channel < lines_.size(); ++channel) {
        painter.setPen(
            QPen(channelColours[channel], curveWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPolyline(lines_[channel]);
    }
}

}  // namespace lumivert
