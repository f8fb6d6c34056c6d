#include "HistogramView.hpp"

#include "Theme.hpp"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace lumivert {

namespace {

constexpr int plotHeight = 56;
constexpr int plotSpacing = 6;
constexpr double cornerRadius = 6;
constexpr double fillOpacity = 0.7;
constexpr double lumaWidth = 1.2;
constexpr double lumaOpacity = 0.85;
constexpr double labelInset = 5;
constexpr std::array<const char*, HistogramView::sideCount> sideLabels{"Original", "With LUT"};
// In Histogram::Channel order: red, green, blue; added on black they make white where they meet.
const std::array<QColor, 3> channelColours{QColor::fromRgbF(0.9f, 0.2f, 0.2f),
                                           QColor::fromRgbF(0.2f, 0.8f, 0.25f),
                                           QColor::fromRgbF(0.25f, 0.4f, 1.0f)};

}  // namespace

HistogramView::HistogramView(AppModel& model, QWidget* parent)
    : QWidget(parent), model_(model), counting_(this)
{
    setAccessibleName(QStringLiteral("Histogram"));
    setToolTip(QStringLiteral("How the preview's pixels spread from black (left) to white "
                              "(right), before and after the LUT"));
    setMinimumHeight(sizeHint().height());
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    connect(&model_, &AppModel::previewOriginalChanged, this, &HistogramView::count);
    connect(&model_, &AppModel::previewGradedChanged, this, &HistogramView::count);
    count();
}

QSize HistogramView::sizeHint() const { return {160, sideCount * plotHeight + plotSpacing}; }

std::optional<Histogram> HistogramView::countsOf(const QImage& image)
{
    if (image.isNull())
        return std::nullopt;
    // The model's images are already packed this way; anything else is converted once.
    const QImage packed =
        image.format() == QImage::Format_RGBX8888 || image.format() == QImage::Format_RGBA8888
            ? image
            : image.convertToFormat(QImage::Format_RGBX8888);
    return Histograms::of(std::span<const std::uint8_t>(
        packed.constBits(), static_cast<std::size_t>(packed.sizeInBytes())));
}

QString HistogramView::summary(const Histogram& histogram)
{
    const auto share = [&histogram](std::size_t level) {
        return histogram.pixels == 0
                   ? 0L
                   : std::lround(100.0 * histogram.counts[Histogram::luminance][level] /
                                 static_cast<double>(histogram.pixels));
    };
    return QStringLiteral("Mean luminance %1 %, %2 % black, %3 % white")
        .arg(std::lround(histogram.mean(Histogram::luminance) * 100 / (Histogram::levels - 1)))
        .arg(share(0))
        .arg(share(Histogram::levels - 1));
}

void HistogramView::count()
{
    counting_.start(
        [original = model_.previewOriginal(), graded = model_.previewGraded()] {
            return Pair{countsOf(original), countsOf(graded)};
        },
        [this](const Outcome<Pair>& outcome) {
            if (outcome.value)
                show(*outcome.value);
        });
}

void HistogramView::show(const Pair& pair)
{
    histograms_ = {pair.original, pair.graded};
    QStringList parts;
    for (std::size_t side = 0; side < histograms_.size(); ++side) {
        shapes_[side] = histograms_[side] ? shapesOf(*histograms_[side]) : Shapes{};
        if (histograms_[side])
            parts << QString::fromUtf8(sideLabels[side]) + QStringLiteral(": ") +
                         summary(*histograms_[side]);
    }
    setAccessibleDescription(parts.join(QStringLiteral("; ")));
    update();
    Q_EMIT counted();
}

HistogramView::Shapes HistogramView::shapesOf(const Histogram& histogram)
{
    // One scale for all channels, so that their heights compare.
    std::uint32_t peak = 1;
    for (int channel = 0; channel < Histogram::channelCount; ++channel)
        peak = std::max(peak, histogram.peak(static_cast<Histogram::Channel>(channel)));
    Shapes shapes;
    for (std::size_t channel = 0; channel < shapes.channels.size(); ++channel) {
        // The colours are filled areas from the baseline; luminance is only its line.
        const bool filled = channel != Histogram::luminance;
        QPainterPath& path = shapes.channels[channel];
        for (std::size_t level = 0; level < Histogram::levels; ++level) {
            // On a square-root scale: small counts stay visible beside one tall peak.
            const QPointF point(
                static_cast<double>(level) / (Histogram::levels - 1),
                std::sqrt(
                    std::min(1.0, static_cast<double>(histogram.counts[channel][level]) / peak)));
            if (level == 0 && !filled)
                path.moveTo(point);
            else
                path.lineTo(point);
        }
        if (filled) {
            path.lineTo(1, 0);
            path.closeSubpath();
        }
    }
    return shapes;
}

void HistogramView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setFont(Theme::font(Theme::TextStyle::caption2));
    for (std::size_t side = 0; side < histograms_.size(); ++side) {
        const QRectF plot(0, static_cast<double>(side) * (plotHeight + plotSpacing), width(),
                          plotHeight);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::black);
        painter.drawRoundedRect(plot, cornerRadius, cornerRadius);
        if (histograms_[side]) {
            // Unit square to the plot, y up.
            const QTransform toPlot(plot.width(), 0, 0, -plot.height(), plot.left(), plot.bottom());
            painter.save();
            painter.setClipRect(plot);
            painter.setCompositionMode(QPainter::CompositionMode_Plus);
            for (std::size_t channel = 0; channel < channelColours.size(); ++channel) {
                QColor fill = channelColours[channel];
                fill.setAlphaF(fillOpacity);
                painter.setBrush(fill);
                painter.drawPath(toPlot.map(shapes_[side].channels[channel]));
            }
            painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
            QColor line(Qt::white);
            line.setAlphaF(lumaOpacity);
            painter.setPen(QPen(line, lumaWidth));
            painter.setBrush(Qt::NoBrush);
            painter.drawPath(toPlot.map(shapes_[side].channels[Histogram::luminance]));
            painter.restore();
        }
        painter.setPen(Qt::white);
        painter.drawText(plot.adjusted(labelInset, labelInset / 2, -labelInset, 0),
                         Qt::AlignLeft | Qt::AlignTop, QString::fromUtf8(sideLabels[side]));
    }
}

}  // namespace lumivert
