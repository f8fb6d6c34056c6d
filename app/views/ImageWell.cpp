#include "ImageWell.hpp"

#include "Presentation.hpp"
#include "Symbols.hpp"
#include "Theme.hpp"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFocusEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>
#include <QVariantAnimation>

#include <cmath>

namespace lumivert {

namespace {

constexpr int compactHeight = 82;
constexpr int regularHeight = 132;
constexpr int minimumWellWidth = 120;
constexpr qreal cornerRadius = 12;
constexpr qreal raisedScale = 1.02;
constexpr int scaleDurationMs = 200;
constexpr int spinDurationMs = 900;
constexpr int compactSymbolSize = 17;
constexpr int regularSymbolSize = 22;
constexpr int removeButtonSize = 22;
constexpr int removeGlyphSize = 12;
// The glyph is drawn at twice its size so that it stays sharp on high-density screens.
constexpr qreal removeGlyphRatio = 2.0;
constexpr int contentInset = 8;
constexpr int textInset = 12;
constexpr int symbolGap = 6;
constexpr int hintGap = 2;
constexpr int spinnerDiameter = 16;
constexpr int spinnerPadding = 10;
constexpr qreal spinnerBoxRadius = 8;
constexpr qreal spinnerStroke = 2;
constexpr int thumbnailSide = 900;
constexpr double emptyBorderOpacity = 0.4;
constexpr double filledBorderOpacity = 0.18;

const QColor chipFill(0, 0, 0, 115);

QString firstLocalFile(const QMimeData* data)
{
    if (data == nullptr || !data->hasUrls())
        return {};
    for (const QUrl& url : data->urls())
        if (url.isLocalFile())
            return url.toLocalFile();
    return {};
}

QFont digitsFont()
{
    // Monospaced digits keep the badge from jittering between images of similar size.
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(Theme::font(Theme::TextStyle::caption2).pointSizeF());
    return font;
}

// A capsule with light text, legible over any photo; `top` anchors it by its top edge.
void paintChip(QPainter& painter, QPointF anchor, bool top, const QString& text, const QFont& font)
{
    constexpr qreal padX = 7;
    constexpr qreal padY = 2;
    const QFontMetricsF metrics(font);
    const QSizeF size(metrics.horizontalAdvance(text) + 2 * padX, metrics.height() + 2 * padY);
    const QRectF chip(QPointF(anchor.x(), top ? anchor.y() : anchor.y() - size.height()), size);
    painter.setPen(Qt::NoPen);
    painter.setBrush(chipFill);
    painter.drawRoundedRect(chip, size.height() / 2, size.height() / 2);
    painter.setPen(Qt::white);
    painter.setFont(font);
    painter.drawText(chip, Qt::AlignCenter, text);
}

}  // namespace

ImageWell::ImageWell(AppModel& model, Slot slot, bool compact, QWidget* parent)
    : QWidget(parent), model_(model), slot_(slot), compact_(compact),
      scaleAnimation_(new QVariantAnimation(this)), spin_(new QVariantAnimation(this)),
      removeButton_(new QToolButton(this))
{
    setFixedHeight(compact ? compactHeight : regularHeight);
    setMinimumWidth(minimumWellWidth);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAcceptDrops(true);
    setFocusPolicy(Qt::TabFocus);
    setAccessibleName(Slots::title(slot));
    setAccessibleDescription(Slots::hint(slot));

    removeButton_->setAutoRaise(true);
    removeButton_->setFixedSize(removeButtonSize, removeButtonSize);
    removeButton_->setIconSize(QSize(removeGlyphSize, removeGlyphSize));
    removeButton_->setIcon(
        Symbols::tinted(QStringLiteral("xmark"), removeGlyphSize, Qt::white, removeGlyphRatio));
    removeButton_->setToolTip(QStringLiteral("Remove"));
    removeButton_->setAccessibleName(QStringLiteral("Remove"));
    removeButton_->setFocusPolicy(Qt::NoFocus);
    // A dark disc like the chips, so the button reads over light and dark photos alike.
    removeButton_->setStyleSheet(
        QStringLiteral(
            "QToolButton { background: rgba(0, 0, 0, 115); border: none; border-radius: %1px; }"
            "QToolButton:hover { background: rgba(0, 0, 0, 170); }")
            .arg(removeButtonSize / 2));
    removeButton_->hide();
    connect(removeButton_, &QToolButton::clicked, this, [this] { model_.remove(slot_); });

    scaleAnimation_->setDuration(scaleDurationMs);
    scaleAnimation_->setEasingCurve(QEasingCurve::OutCubic);
    connect(scaleAnimation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        scale_ = v.toReal();
        update();
    });
    spin_->setStartValue(0.0);
    spin_->setEndValue(360.0);
    spin_->setDuration(spinDurationMs);
    spin_->setLoopCount(-1);
    connect(spin_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        spinAngle_ = v.toReal();
        update();
    });

    connect(&model_, &AppModel::imagesChanged, this, &ImageWell::refresh);
    connect(&model_, &AppModel::loadingChanged, this, &ImageWell::refreshLoading);
    refresh();
    refreshLoading();
}

QColor ImageWell::borderColour() const
{
    if (targeted_)
        return Theme::accent();
    return Theme::secondary(filled_ ? filledBorderOpacity : emptyBorderOpacity);
}

qreal ImageWell::targetScale() const { return targeted_ || hovering_ ? raisedScale : 1.0; }

void ImageWell::refresh()
{
    const auto found = model_.images().find(slot_);
    filled_ = found != model_.images().end();
    if (filled_) {
        const LoadedImage& loaded = found->second;
        label_ = Slots::title(slot_);
        sizeBadge_ =
            QStringLiteral("%1 × %2").arg(loaded.originalWidth()).arg(loaded.originalHeight());
        prompt_.clear();
        hint_.clear();
        // The well shows a crop; the tooltip says which file it is.
        setToolTip(loaded.url()
                       ? QFile::decodeName(QByteArray::fromStdString(loaded.url()->string()))
                       : QString::fromStdString(loaded.name()));
        if (!shownImage_ || !shownImage_->sharesStorageWith(loaded.image())) {
            shownImage_ = loaded.image();
            rebuildThumbnail();
            rebuildPixmap();
        }
    } else {
        label_.clear();
        sizeBadge_.clear();
        prompt_ =
            compact_ ? QStringLiteral("Drop a photo") : QStringLiteral("Drop an image or click");
        hint_ = compact_ ? QString() : Slots::hint(slot_);
        setToolTip(QString());
        shownImage_.reset();
        thumbnail_ = QImage();
        pixmap_ = QPixmap();
        // Drawn for the densest screen, so the glyph stays sharp wherever the window goes.
        if (symbol_.isNull())
            symbol_ = Symbols::tinted(Presentation::slotSymbol(slot_),
                                      compact_ ? compactSymbolSize : regularSymbolSize,
                                      Theme::secondary(), qGuiApp->devicePixelRatio());
    }
    removeButton_->setVisible(filled_ && hovering_);
    update();
}

void ImageWell::refreshLoading()
{
    const bool loading = model_.loading().contains(slot_);
    if (loading == loading_)
        return;
    loading_ = loading;
    if (loading_)
        spin_->start();
    else
        spin_->stop();
    update();
}

void ImageWell::rebuildThumbnail()
{
    // One reduction per image, so that resizing the sidebar rescales a small copy.
    const QImage source = platformImage(*shownImage_);
    thumbnail_ = source.width() > thumbnailSide || source.height() > thumbnailSide
                     ? source.scaled(thumbnailSide, thumbnailSide, Qt::KeepAspectRatio,
                                     Qt::SmoothTransformation)
                     : source;
}

void ImageWell::rebuildPixmap()
{
    const qreal ratio = devicePixelRatioF();
    const QSize target = (shapeRect().size() * ratio).toSize();
    if (thumbnail_.isNull() || target.isEmpty()) {
        pixmap_ = QPixmap();
        return;
    }
    // Aspect fill: cover the whole shape, then keep the centre.
    const QImage cover =
        thumbnail_.scaled(target, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    pixmap_ = QPixmap::fromImage(cover.copy((cover.width() - target.width()) / 2,
                                            (cover.height() - target.height()) / 2, target.width(),
                                            target.height()));
    pixmap_.setDevicePixelRatio(ratio);
}

QRectF ImageWell::shapeRect() const
{
    // Room on every side for the raised scale, so the grown well is never clipped.
    const qreal growth = (raisedScale - 1.0) / 2.0;
    const qreal marginX = std::ceil(growth * width()) + 1;
    const qreal marginY = std::ceil(growth * height()) + 1;
    return QRectF(rect()).adjusted(marginX, marginY, -marginX, -marginY);
}

void ImageWell::placeRemoveButton()
{
    const QRectF shape = shapeRect();
    removeButton_->move(qRound(shape.right()) - contentInset - removeButtonSize,
                        qRound(shape.top()) + contentInset);
}

void ImageWell::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform |
                           QPainter::TextAntialiasing);
    const QRectF shape = shapeRect();
    const QPointF centre = shape.center();
    painter.translate(centre);
    painter.scale(scale_, scale_);
    painter.translate(-centre);

    QPainterPath outline;
    outline.addRoundedRect(shape, cornerRadius, cornerRadius);
    painter.fillPath(outline, Theme::quaternaryFill());
    // While a first image loads the invitation gives way to the progress indicator.
    if (filled_)
        paintImage(painter, shape);
    else if (!loading_)
        paintEmpty(painter, shape);
    if (loading_)
        paintProgress(painter, shape);

    const qreal border = targeted_ ? 2.0 : 1.0;
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(borderColour(), border));
    const qreal inset = border / 2;
    painter.drawRoundedRect(shape.adjusted(inset, inset, -inset, -inset), cornerRadius - inset,
                            cornerRadius - inset);
    if (hasFocus() && keyboardFocus_ && !targeted_) {
        QColor ring = Theme::accent();
        ring.setAlphaF(0.7f);
        painter.setPen(QPen(ring, 2.0));
        painter.drawRoundedRect(shape.adjusted(1, 1, -1, -1), cornerRadius - 1, cornerRadius - 1);
    }
}

void ImageWell::paintImage(QPainter& painter, const QRectF& shape) const
{
    if (!pixmap_.isNull()) {
        painter.save();
        QPainterPath clip;
        clip.addRoundedRect(shape, cornerRadius, cornerRadius);
        painter.setClipPath(clip);
        painter.drawPixmap(shape, pixmap_, QRectF(pixmap_.rect()));
        painter.restore();
    }
    paintChip(painter, shape.topLeft() + QPointF(contentInset, contentInset), true, label_,
              Theme::font(Theme::TextStyle::caption, QFont::DemiBold));
    paintChip(painter, shape.bottomLeft() + QPointF(contentInset, -contentInset), false, sizeBadge_,
              digitsFont());
}

void ImageWell::paintEmpty(QPainter& painter, const QRectF& shape) const
{
    const QFont promptFont = Theme::font(Theme::TextStyle::caption);
    const QFont hintFont = Theme::font(Theme::TextStyle::caption2);
    const qreal textWidth = shape.width() - 2 * textInset;
    const qreal symbolSide = compact_ ? compactSymbolSize : regularSymbolSize;
    const qreal promptHeight = QFontMetricsF(promptFont).height();
    const QRectF hintBounds =
        hint_.isEmpty()
            ? QRectF()
            : QFontMetricsF(hintFont).boundingRect(QRectF(0, 0, textWidth, shape.height()),
                                                   Qt::AlignHCenter | Qt::TextWordWrap, hint_);
    const qreal total = symbolSide + symbolGap + promptHeight +
                        (hint_.isEmpty() ? 0.0 : hintGap + hintBounds.height());
    qreal y = shape.center().y() - total / 2;

    painter.drawPixmap(QRectF(shape.center().x() - symbolSide / 2, y, symbolSide, symbolSide),
                       symbol_, QRectF(symbol_.rect()));
    y += symbolSide + symbolGap;
    painter.setPen(palette().color(QPalette::WindowText));
    painter.setFont(promptFont);
    painter.drawText(QRectF(shape.left() + textInset, y, textWidth, promptHeight), Qt::AlignCenter,
                     prompt_);
    if (hint_.isEmpty())
        return;
    y += promptHeight + hintGap;
    painter.setPen(Theme::secondary());
    painter.setFont(hintFont);
    painter.drawText(QRectF(shape.left() + textInset, y, textWidth, hintBounds.height()),
                     Qt::AlignHCenter | Qt::TextWordWrap, hint_);
}

void ImageWell::paintProgress(QPainter& painter, const QRectF& shape) const
{
    const QPointF centre = shape.center();
    const qreal box = spinnerDiameter + 2 * spinnerPadding;
    if (filled_) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(chipFill);
        painter.drawRoundedRect(QRectF(centre.x() - box / 2, centre.y() - box / 2, box, box),
                                spinnerBoxRadius, spinnerBoxRadius);
    }
    const QRectF ring(centre.x() - spinnerDiameter / 2.0, centre.y() - spinnerDiameter / 2.0,
                      spinnerDiameter, spinnerDiameter);
    const QColor ink = filled_ ? QColor(Qt::white) : palette().color(QPalette::WindowText);
    QColor track = ink;
    track.setAlphaF(0.2f);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(track, spinnerStroke));
    painter.drawEllipse(ring);
    painter.setPen(QPen(ink, spinnerStroke, Qt::SolidLine, Qt::RoundCap));
    // Qt's angles are in sixteenths of a degree, counter-clockwise.
    painter.drawArc(ring, qRound(-spinAngle_ * 16), 90 * 16);
}

void ImageWell::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    rebuildPixmap();
    placeRemoveButton();
}

void ImageWell::enterEvent(QEnterEvent* event)
{
    QWidget::enterEvent(event);
    setHovering(true);
}

void ImageWell::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    setHovering(false);
}

void ImageWell::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    // A hidden well gets no leave events; it must not come back raised.
    pressed_ = false;
    setTargeted(false);
    setHovering(false);
}

void ImageWell::setHovering(bool hovering)
{
    if (hovering == hovering_)
        return;
    hovering_ = hovering;
    removeButton_->setVisible(filled_ && hovering_);
    animateScale();
}

void ImageWell::setTargeted(bool targeted)
{
    if (targeted == targeted_)
        return;
    targeted_ = targeted;
    animateScale();
}

void ImageWell::animateScale()
{
    scaleAnimation_->stop();
    scaleAnimation_->setStartValue(scale_);
    scaleAnimation_->setEndValue(targetScale());
    scaleAnimation_->start();
    update();
}

void ImageWell::mousePressEvent(QMouseEvent* event)
{
    pressed_ = event->button() == Qt::LeftButton;
    event->accept();
}

void ImageWell::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click = pressed_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    pressed_ = false;
    event->accept();
    // Last statement: the panel runs a nested event loop.
    if (click)
        model_.chooseImage(slot_);
}

void ImageWell::focusInEvent(QFocusEvent* event)
{
    keyboardFocus_ = event->reason() == Qt::TabFocusReason ||
                     event->reason() == Qt::BacktabFocusReason ||
                     event->reason() == Qt::ShortcutFocusReason;
    QWidget::focusInEvent(event);
}

void ImageWell::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter: model_.chooseImage(slot_); break;
    case Qt::Key_Delete:
    case Qt::Key_Backspace:
        if (filled_)
            model_.remove(slot_);
        break;
    default: QWidget::keyPressEvent(event); break;
    }
}

void ImageWell::dragEnterEvent(QDragEnterEvent* event)
{
    if (firstLocalFile(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    setTargeted(true);
}

void ImageWell::dragLeaveEvent(QDragLeaveEvent* event)
{
    QWidget::dragLeaveEvent(event);
    setTargeted(false);
}

void ImageWell::dropEvent(QDropEvent* event)
{
    setTargeted(false);
    const QString path = firstLocalFile(event->mimeData());
    if (path.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    model_.load(path, slot_);
}

}  // namespace lumivert
