#include "PaletteStrip.hpp"

#include <QHelpEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

#include <cmath>

namespace lumivert {

namespace {
constexpr double cornerRadius = 5.0;
constexpr int preferredWidth = 200;
}  // namespace

PaletteStrip::PaletteStrip(QWidget* parent) : QWidget(parent)
{
    setFixedHeight(stripHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAccessibleName(QStringLiteral("Palette"));
}

void PaletteStrip::setPalette(std::vector<PaletteColor> palette)
{
    palette_ = std::move(palette);
    layoutSwatches();
    update();
}

std::vector<double> PaletteStrip::widths(const std::vector<PaletteColor>& palette, double width)
{
    const std::size_t n = palette.size();
    std::vector<double> result(n, minimumWidth);
    if (n == 0)
        return result;
    // Raising one swatch to the minimum takes space from the rest, which may push another under
    // it; at most n rounds settle every swatch.
    std::vector<bool> raised(n, false);
    for (std::size_t round = 0; round < n; ++round) {
        double shared = width - static_cast<double>(n - 1) * spacing;
        double weight = 0;
        for (std::size_t i = 0; i < n; ++i) {
            if (raised[i])
                shared -= minimumWidth;
            else
                weight += palette[i].weight;
        }
        bool settled = true;
        for (std::size_t i = 0; i < n; ++i) {
            if (raised[i])
                continue;
            const double proportional = weight > 0 ? shared * palette[i].weight / weight : 0;
            if (proportional < minimumWidth) {
                raised[i] = true;
                settled = false;
            }
            result[i] = std::max(proportional, minimumWidth);
        }
        if (settled)
            break;
    }
    return result;
}

QString PaletteStrip::helpText(float weight)
{
    return QString::number(std::lround(weight * 100.0)) +
           QStringLiteral("% of the colourful areas");
}

QString PaletteStrip::toolTipAt(QPointF point) const
{
    for (std::size_t i = 0; i < swatches_.size(); ++i)
        if (swatches_[i].contains(point))
            return helpText(palette_[i].weight);
    return QString();
}

QSize PaletteStrip::sizeHint() const { return {preferredWidth, stripHeight}; }

bool PaletteStrip::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString text = toolTipAt(help->pos());
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, this);
        return true;
    }
    return QWidget::event(event);
}

void PaletteStrip::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutSwatches();
}

void PaletteStrip::layoutSwatches()
{
    swatches_.clear();
    double x = 0;
    for (double swatchWidth : widths(palette_, width())) {
        swatches_.emplace_back(x, 0, swatchWidth, height());
        x += swatchWidth + spacing;
    }
}

void PaletteStrip::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    for (std::size_t i = 0; i < swatches_.size(); ++i) {
        const RGB colour = palette_[i].srgb();
        QPainterPath swatch;
        swatch.addRoundedRect(swatches_[i], cornerRadius, cornerRadius);
        painter.fillPath(swatch, QColor::fromRgbF(colour.r, colour.g, colour.b));
    }
}

}  // namespace lumivert
