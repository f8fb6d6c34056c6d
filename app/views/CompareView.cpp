#include "CompareView.hpp"

#include "CompareGeometry.hpp"
#include "SplitHandle.hpp"
#include "Theme.hpp"

#include "imaging/HeatMap.hpp"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace lumivert {

namespace {

constexpr double lineWidth = 2;
constexpr double badgeInset = 10;
constexpr double badgePaddingX = 7;
constexpr double badgePaddingY = 3;
constexpr double badgeRadius = 5;
constexpr double badgeOpacity = 0.28;
constexpr double keyStep = 0.01;
constexpr double largeKeyStep = 0.1;
const QString gradedLabel = QStringLiteral("With LUT");
// The heat map's scale, in the bottom-right corner: a bar with the ends and the middle labelled.
constexpr double scaleWidth = 120;
constexpr double scaleHeight = 8;
constexpr int scaleStops = 20;
constexpr int scaleTicks = 2;  // intervals between labelled ticks

QLinearGradient heatGradient()
{
    QLinearGradient gradient(0, 0, 1, 0);
    gradient.setCoordinateMode(QGradient::ObjectMode);
    for (int stop = 0; stop <= scaleStops; ++stop) {
        const double at = static_cast<double>(stop) / scaleStops;
        const RGB c = HeatMap::colour(at * HeatMap::scaleTop);
        gradient.setColorAt(at, QColor::fromRgbF(c.r, c.g, c.b));
    }
    return gradient;
}

// Reads the comparison's value to assistive technology, which a plain widget cannot.
class CompareViewAccessible : public QAccessibleWidget {
public:
    explicit CompareViewAccessible(CompareView* view)
        : QAccessibleWidget(view, QAccessible::Graphic, QStringLiteral("Preview"))
    {
    }

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Value)
            return static_cast<CompareView*>(widget())->accessibleValue();
        return QAccessibleWidget::text(kind);
    }
};

QAccessibleInterface* accessibleFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("lumivert::CompareView") && object && object->isWidgetType())
        return new CompareViewAccessible(static_cast<CompareView*>(object));
    return nullptr;
}

QPixmap scaledTo(const QImage& image, const QSizeF& size, qreal pixelRatio)
{
    if (image.isNull() || size.isEmpty())
        return {};
    const QSize pixels = (size * pixelRatio).toSize();
    QPixmap pixmap =
        QPixmap::fromImage(image.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    pixmap.setDevicePixelRatio(pixelRatio);
    return pixmap;
}

}  // namespace

CompareView::CompareView(AppModel& model, QWidget* parent)
    : QWidget(parent), model_(model), handle_(new SplitHandle(this))
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(accessibleFactory);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
    setAccessibleName(QStringLiteral("Preview"));
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(1, 1);

    // originalImage depends on the mode, the after image, the source, the switch and the fit.
    for (auto signal : {&AppModel::previewOriginalChanged, &AppModel::previewGradedChanged,
                        &AppModel::previewDifferenceChanged, &AppModel::imagesChanged,
                        &AppModel::modeChanged, &AppModel::previewSourceChanged,
                        &AppModel::compareWithAfterChanged, &AppModel::editFitChanged})
        connect(&model_, signal, this, &CompareView::refreshImages);
    connect(&model_, &AppModel::compareStyleChanged, this, [this] {
        placeHandle();
        update();
        splitChanged();
    });
    connect(&model_, &AppModel::splitChanged, this, &CompareView::splitChanged);
    refreshImages();
}

QString CompareView::accessibleValue() const
{
    return CompareGeometry::accessibleValue(model_.compareStyle(), model_.split());
}

void CompareView::refreshImages()
{
    QImage original = model_.originalImage();
    QImage graded = model_.previewGraded();
    QImage difference = model_.previewDifference();
    // The model hands out shared images; unchanged ones need no rescaling.
    if (original.cacheKey() == original_.cacheKey() && graded.cacheKey() == graded_.cacheKey() &&
        difference.cacheKey() == difference_.cacheKey())
        return;
    original_ = std::move(original);
    graded_ = std::move(graded);
    difference_ = std::move(difference);
    layoutImages();
}

void CompareView::layoutImages()
{
    imageRect_ = CompareGeometry::fittedRect(original_.size(), QRectF(rect()));
    originalScaled_ = scaledTo(original_, imageRect_.size(), devicePixelRatioF());
    gradedScaled_ = scaledTo(graded_, imageRect_.size(), devicePixelRatioF());
    differenceScaled_ = scaledTo(difference_, imageRect_.size(), devicePixelRatioF());
    placeHandle();
    update();
}

void CompareView::placeHandle()
{
    const bool shown = model_.compareStyle() == CompareStyle::split && !imageRect_.isEmpty();
    handle_->setVisible(shown);
    if (shown)
        handle_->centreOn(
            {CompareGeometry::splitLineX(model_.split(), imageRect_), imageRect_.center().y()});
}

void CompareView::splitChanged()
{
    placeHandle();
    update();
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent event(this, accessibleValue());
        QAccessible::updateAccessibility(&event);
    }
}

void CompareView::resizeEvent(QResizeEvent*) { layoutImages(); }

void CompareView::paintEvent(QPaintEvent*)
{
    if (imageRect_.isEmpty())
        return;
    QPainter painter(this);
    const QPointF origin = imageRect_.topLeft();
    switch (model_.compareStyle()) {
    case CompareStyle::original:
        painter.drawPixmap(origin, originalScaled_);
        drawBadge(painter, model_.originalLabel(), Qt::AlignLeft);
        return;
    case CompareStyle::graded:
        painter.drawPixmap(origin, gradedScaled_);
        drawBadge(painter, gradedLabel, Qt::AlignRight);
        return;
    case CompareStyle::difference:
        // Until the first measurement lands, the graded image stands in for the map.
        painter.drawPixmap(origin, differenceScaled_.isNull() ? gradedScaled_ : differenceScaled_);
        drawBadge(painter, model_.differenceLabel(), Qt::AlignLeft);
        if (!differenceScaled_.isNull())
            drawScale(painter);
        return;
    case CompareStyle::split: break;
    }
    const double lineX = CompareGeometry::splitLineX(model_.split(), imageRect_);
    painter.save();
    painter.setClipRect(QRectF(imageRect_.left(), imageRect_.top(), lineX - imageRect_.left(),
                               imageRect_.height()));
    painter.drawPixmap(origin, originalScaled_);
    painter.setClipRect(
        QRectF(lineX, imageRect_.top(), imageRect_.right() - lineX, imageRect_.height()));
    painter.drawPixmap(origin, gradedScaled_);
    painter.restore();
    painter.fillRect(
        QRectF(lineX - lineWidth / 2, imageRect_.top(), lineWidth, imageRect_.height()), Qt::white);
    drawBadge(painter, model_.originalLabel(), Qt::AlignLeft);
    drawBadge(painter, gradedLabel, Qt::AlignRight);
}

void CompareView::drawBadge(QPainter& painter, const QString& text, Qt::Alignment corner) const
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QFont font = Theme::font(Theme::TextStyle::caption2, QFont::Medium);
    painter.setFont(font);
    const QSizeF textSize = QFontMetricsF(font).size(Qt::TextSingleLine, text);
    const QSizeF badge(textSize.width() + 2 * badgePaddingX, textSize.height() + 2 * badgePaddingY);
    const double left = corner == Qt::AlignLeft ? imageRect_.left() + badgeInset
                                                : imageRect_.right() - badgeInset - badge.width();
    const QRectF box(QPointF(left, imageRect_.top() + badgeInset), badge);
    QColor fill(Qt::black);
    fill.setAlphaF(badgeOpacity);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(box, badgeRadius, badgeRadius);
    painter.setPen(Qt::white);
    painter.drawText(box, Qt::AlignCenter, text);
    painter.restore();
}

void CompareView::drawScale(QPainter& painter) const
{
    static const QLinearGradient gradient = heatGradient();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QFont font = Theme::font(Theme::TextStyle::caption2, QFont::Medium);
    painter.setFont(font);
    const QFontMetricsF metrics(font);
    const double boxHeight = scaleHeight + metrics.height() + 3 * badgePaddingY;
    const QRectF box(imageRect_.right() - badgeInset - scaleWidth - 2 * badgePaddingX,
                     imageRect_.bottom() - badgeInset - boxHeight, scaleWidth + 2 * badgePaddingX,
                     boxHeight);
    QColor fill(Qt::black);
    fill.setAlphaF(badgeOpacity);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(box, badgeRadius, badgeRadius);
    const QRectF bar(box.left() + badgePaddingX, box.top() + badgePaddingY, scaleWidth,
                     scaleHeight);
    painter.fillRect(bar, gradient);
    painter.setPen(Qt::white);
    const int top = static_cast<int>(HeatMap::scaleTop);
    for (int tick = 0; tick <= scaleTicks; ++tick) {
        const double x = bar.left() + bar.width() * tick / scaleTicks;
        const QString label = QString::number(top * tick / scaleTicks) +
                              (tick == scaleTicks ? QStringLiteral("+") : QString());
        const double width = metrics.horizontalAdvance(label);
        const double left = std::clamp(x - width / 2, bar.left(), bar.right() - width);
        painter.drawText(QPointF(left, bar.bottom() + badgePaddingY + metrics.ascent()), label);
    }
    painter.restore();
}

void CompareView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || model_.compareStyle() != CompareStyle::split ||
        !imageRect_.contains(event->position())) {
        QWidget::mousePressEvent(event);
        return;
    }
    dragging_ = true;
    model_.setSplit(CompareGeometry::splitAt(event->position().x(), imageRect_));
}

void CompareView::mouseMoveEvent(QMouseEvent* event)
{
    // Once the drag has begun it follows the pointer beyond the image, pinned to the edges.
    if (!dragging_ || model_.compareStyle() != CompareStyle::split) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    model_.setSplit(CompareGeometry::splitAt(event->position().x(), imageRect_));
}

void CompareView::mouseReleaseEvent(QMouseEvent* event)
{
    dragging_ = false;
    QWidget::mouseReleaseEvent(event);
}

void CompareView::keyPressEvent(QKeyEvent* event)
{
    if (model_.compareStyle() != CompareStyle::split ||
        (event->key() != Qt::Key_Left && event->key() != Qt::Key_Right)) {
        QWidget::keyPressEvent(event);
        return;
    }
    const double step = event->modifiers() & Qt::ShiftModifier ? largeKeyStep : keyStep;
    const double direction = event->key() == Qt::Key_Left ? -1 : 1;
    model_.setSplit(std::clamp(model_.split() + direction * step, 0.0, 1.0));
}

}  // namespace lumivert
