#include "PreviewPane.hpp"
#include "ZoomGeometry.hpp"

#include "CompareView.hpp"
#include "EmptyDropZone.hpp"
#include "PreviewControls.hpp"
#include "StatusChip.hpp"
#include "Theme.hpp"
#include "ToastView.hpp"
#include "WellChoice.hpp"

#include <QAbstractButton>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGraphicsOpacityEffect>
#include <QGridLayout>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace lumivert {

namespace {

constexpr int emptyPadding = 40;
constexpr int compareTopRoom = 66;
constexpr int compareBottomRoom = 62;
constexpr int controlsPadding = 12;
constexpr int bottomPadding = 14;
constexpr int bottomSpacing = 8;
constexpr int toastTravel = 24;
constexpr int toastDurationMs = 350;
constexpr int contentFadeMs = 200;
constexpr int swatchWidth = 3;  // non-breaking spaces
const QString colourReadoutTip =
    QStringLiteral("The colour under the pointer before and after the LUT, as 8-bit red, green "
                   "and blue (0 to 255)");

// The first local file among the dragged URLs; empty when there is none.
QString firstLocalFile(const QMimeData* data)
{
    if (!data || !data->hasUrls())
        return {};
    for (const QUrl& url : data->urls())
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            return url.toLocalFile();
    return {};
}

// Fades a widget in that has just appeared; the effect is removed afterwards because it makes
// every repaint go through an offscreen buffer.
void fadeIn(QWidget* widget)
{
    QPointer<QGraphicsOpacityEffect> effect = new QGraphicsOpacityEffect(widget);
    effect->setOpacity(0);
    widget->setGraphicsEffect(effect);
    auto* fade = new QVariantAnimation(widget);
    fade->setDuration(contentFadeMs);
    fade->setStartValue(0.0);
    fade->setEndValue(1.0);
    fade->setEasingCurve(QEasingCurve::OutCubic);
    QObject::connect(fade, &QVariantAnimation::valueChanged, widget, [effect](const QVariant& v) {
        if (effect)
            effect->setOpacity(v.toDouble());
    });
    QObject::connect(fade, &QVariantAnimation::finished, widget, [widget, effect] {
        if (effect && widget->graphicsEffect() == effect)
            widget->setGraphicsEffect(nullptr);
    });
    fade->start(QAbstractAnimation::DeleteWhenStopped);
}

}  // namespace

PreviewPane::PreviewPane(AppModel& model, QWidget* parent)
    : QWidget(parent), model_(model), emptyHost_(new QWidget(this)),
      emptyZone_(new EmptyDropZone(model, emptyHost_)), compareView_(new CompareView(model, this)),
      controls_(new PreviewControls(model, this)), statusChip_(new StatusChip(model, this)),
      toastView_(new ToastView(model, this)), colourReadout_(new QLabel(this)),
      toastFade_(new QGraphicsOpacityEffect(toastView_))
{
    setAcceptDrops(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    auto* centring = new QGridLayout(emptyHost_);
    centring->setContentsMargins(emptyPadding, emptyPadding, emptyPadding, emptyPadding);
    centring->addWidget(emptyZone_, 0, 0, Qt::AlignCenter);

    toastView_->setGraphicsEffect(toastFade_);
    toastView_->hide();
    toastAnimation_.setDuration(toastDurationMs);
    toastAnimation_.setEasingCurve(QEasingCurve::OutCubic);
    connect(&toastAnimation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        toastProgress_ = v.toDouble();
        toastFade_->setOpacity(toastProgress_);
        layoutOverlays();
    });
    connect(&toastAnimation_, &QVariantAnimation::finished, this, [this] {
        if (!model_.toast())
            toastView_->hide();
    });

    colourReadout_->setFont(Theme::font(Theme::TextStyle::caption));
    colourReadout_->setTextFormat(Qt::RichText);
    colourReadout_->setAccessibleName(QStringLiteral("Colour under the pointer"));
    colourReadout_->setToolTip(colourReadoutTip);
    colourReadout_->hide();
    connect(compareView_, &CompareView::pointerColoursChanged, this, &PreviewPane::showColours);

    for (QWidget* overlay : {static_cast<QWidget*>(statusChip_), static_cast<QWidget*>(toastView_),
                             static_cast<QWidget*>(controls_)})
        overlay->installEventFilter(this);

    for (auto signal :
         {&AppModel::modeChanged, &AppModel::imagesChanged, &AppModel::previewSourceChanged,
          &AppModel::previewOriginalChanged, &AppModel::compareWithAfterChanged})
        connect(&model_, signal, this, &PreviewPane::showContent);
    connect(&model_, &AppModel::toastChanged, this, &PreviewPane::showToast);
    QAbstractButton* zoomToggle = controls_->zoomToggle();
    connect(zoomToggle, &QAbstractButton::clicked, this, [this] {
        if (atActualSize())
            compareView_->zoomToFit();
        else
            compareView_->zoomToActualSize();
    });
    connect(controls_, &PreviewControls::fitChosen, compareView_, &CompareView::zoomToFit);
    connect(controls_, &PreviewControls::zoomChosen, compareView_, &CompareView::zoomTo);
    connect(controls_, &PreviewControls::zoomInChosen, compareView_, &CompareView::zoomIn);
    connect(controls_, &PreviewControls::zoomOutChosen, compareView_, &CompareView::zoomOut);
    connect(compareView_, &CompareView::zoomChanged, this,
            [this] { controls_->showZoom(compareView_->zoom(), atActualSize()); });
    controls_->showZoom(compareView_->zoom(), atActualSize());
    showContent();
    if (model_.toast())
        showToast();
}

bool PreviewPane::atActualSize() const
{
    return !compareView_->isFit() && compareView_->zoom() == ZoomGeometry::actualSize;
}

bool PreviewPane::showsEmptyZone() const { return !emptyHost_->isHidden(); }

bool PreviewPane::showsCompareView() const { return !compareView_->isHidden(); }

bool PreviewPane::showsToast() const { return !toastView_->isHidden(); }

void PreviewPane::showContent()
{
    const std::vector<Slot> inputs = Modes::slots(model_.mode());
    const bool hasInput = std::any_of(inputs.begin(), inputs.end(),
                                      [this](Slot slot) { return model_.images().contains(slot); });
    const bool empty = !hasInput && model_.previewSource() != PreviewSource::photo;
    const bool comparable =
        !empty && !model_.previewOriginal().isNull() && !model_.originalImage().isNull();
    const bool emptyAppears = empty && emptyHost_->isHidden();
    const bool compareAppears = comparable && compareView_->isHidden();
    emptyHost_->setVisible(empty);
    compareView_->setVisible(comparable);
    if (emptyAppears && isVisible())
        fadeIn(emptyHost_);
    if (compareAppears && isVisible())
        fadeIn(compareView_);
    layoutContent();
}

void PreviewPane::showToast()
{
    const bool shown = model_.toast().has_value();
    if (shown) {
        toastView_->show();
        toastView_->raise();
    }
    toastAnimation_.stop();
    toastAnimation_.setStartValue(toastProgress_);
    toastAnimation_.setEndValue(shown ? 1.0 : 0.0);
    toastAnimation_.start();
    layoutOverlays();
}

QString PreviewPane::levels(QRgb colour)
{
    return QStringLiteral("%1 %2 %3").arg(qRed(colour)).arg(qGreen(colour)).arg(qBlue(colour));
}

void PreviewPane::showColours()
{
    const std::optional<CompareView::Colours> colours = compareView_->pointerColours();
    colourReadout_->setVisible(colours.has_value() && !compareView_->isHidden());
    if (!colours)
        return;
    const auto swatch = [](QRgb colour) {
        return QStringLiteral("<span style=\"background-color:%1\">%2</span>")
            .arg(QColor(colour).name(), QString(swatchWidth, QChar(0x00A0)));
    };
    colourReadout_->setText(swatch(colours->original) + QChar(0x00A0) + levels(colours->original) +
                            QStringLiteral(" \u2192 ") + swatch(colours->graded) + QChar(0x00A0) +
                            levels(colours->graded));
    colourReadout_->setAccessibleDescription(
        QStringLiteral("Original %1, with LUT %2")
            .arg(levels(colours->original), levels(colours->graded)));
    colourReadout_->adjustSize();
    layoutOverlays();
}

void PreviewPane::setDropTargeted(bool targeted)
{
    dropTargeted_ = targeted;
    emptyZone_->setTargeted(targeted);
}

void PreviewPane::resizeEvent(QResizeEvent*)
{
    layoutContent();
    layoutOverlays();
}

// The chip and a toast that is shown or coming sit below the image, never on it.
int PreviewPane::bottomRoom() const
{
    int room = bottomPadding;
    if (!statusChip_->isHidden())
        room += statusChip_->height() + bottomSpacing;
    if (model_.toast())
        room += toastView_->height() + bottomSpacing;
    return std::max(compareBottomRoom, room);
}

void PreviewPane::layoutContent()
{
    emptyHost_->setGeometry(rect());
    // The full width: the comparison keeps its own margin while fitted, and zoomed in uses it all.
    // Below the controls, which take two rows in a narrow pane.
    const int top = compareTopRoom + controls_->secondRowHeight();
    const QRect compare(0, top, width(), std::max(0, height() - top - bottomRoom()));
    if (compareView_->geometry() != compare)
        compareView_->setGeometry(compare);
    controls_->raise();
    colourReadout_->raise();
    statusChip_->raise();
    toastView_->raise();
}

void PreviewPane::layoutOverlays()
{
    const int controlsHeight = controls_->sizeHint().height();
    controls_->setGeometry(controlsPadding, controlsPadding,
                           std::max(0, width() - 2 * controlsPadding), controlsHeight);

    int bottom = height() - bottomPadding;
    const QSize chip = statusChip_->sizeHint();
    const QSize readout = colourReadout_->sizeHint();
    colourReadout_->setGeometry(controlsPadding, bottom - (chip.height() + readout.height()) / 2,
                                readout.width(), readout.height());
    if (!statusChip_->isHidden()) {
        // Centred, unless that would cover the colour readout at the left.
        const int readoutRight =
            colourReadout_->isHidden() ? 0 : colourReadout_->geometry().right() + bottomSpacing;
        const int chipLeft = std::max((width() - chip.width()) / 2, readoutRight);
        statusChip_->setGeometry(chipLeft, bottom - chip.height(), chip.width(), chip.height());
        bottom -= chip.height() + bottomSpacing;
    }
    const QSize toast = toastView_->sizeWithin(std::max(0, width() - 2 * bottomPadding));
    // The toast rises into place as it fades in and sinks as it fades out.
    const int travel = static_cast<int>(std::lround((1 - toastProgress_) * toastTravel));
    toastView_->setGeometry((width() - toast.width()) / 2, bottom - toast.height() + travel,
                            toast.width(), toast.height());
    layoutContent();
}

bool PreviewPane::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::LayoutRequest:
    case QEvent::Show:
    case QEvent::Hide: layoutOverlays(); break;
    default: break;
    }
    return QWidget::eventFilter(watched, event);
}

bool PreviewPane::event(QEvent* event)
{
    // A child whose size hint changed asks its parent to lay it out again.
    if (event->type() == QEvent::LayoutRequest)
        layoutOverlays();
    return QWidget::event(event);
}

void PreviewPane::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Theme::backdrop());
}

void PreviewPane::dragEnterEvent(QDragEnterEvent* event)
{
    if (firstLocalFile(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    setDropTargeted(true);
}

void PreviewPane::dragMoveEvent(QDragMoveEvent* event)
{
    if (firstLocalFile(event->mimeData()).isEmpty())
        event->ignore();
    else
        event->acceptProposedAction();
}

void PreviewPane::dragLeaveEvent(QDragLeaveEvent*) { setDropTargeted(false); }

void PreviewPane::dropEvent(QDropEvent* event)
{
    setDropTargeted(false);
    const QString path = firstLocalFile(event->mimeData());
    if (path.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    if (AppModel::isLUTText(path)) {
        model_.openLUTFile(path);
        return;
    }
    if (!WellChoice::allFull(model_)) {
        model_.load(path, model_.dropTargetSlot());
        return;
    }
    // The question waits until the drop has ended; the window system holds the drag till then.
    QTimer::singleShot(0, this, [this, path] {
        if (const auto slot = WellChoice::target(model_, this))
            model_.load(path, *slot);
    });
}

}  // namespace lumivert
