#include "FocusRing.hpp"

#include "Theme.hpp"

#include <QApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QPainter>

namespace lumivert {

namespace {

constexpr double ringRadius = 5;

}  // namespace

FocusRing::FocusRing(QWidget& window) : QWidget(&window)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    hide();
    // The focus reason travels with the focus-in event; the application's signal lacks it.
    qApp->installEventFilter(this);
}

bool FocusRing::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::FocusIn:
        if (watched->isWidgetType())
            focusMoved(static_cast<QWidget*>(watched), static_cast<QFocusEvent*>(event)->reason());
        break;
    case QEvent::FocusOut:
        if (watched == target_ && !target_->hasFocus())
            focusMoved(nullptr, Qt::OtherFocusReason);
        break;
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::LayoutRequest:
        if (target_ &&
            (watched == target_ || static_cast<QObject*>(window()) == watched ||
             (watched->isWidgetType() && static_cast<QWidget*>(watched)->isAncestorOf(target_))))
            follow();
        break;
    default: break;
    }
    return false;
}

void FocusRing::focusMoved(QWidget* now, Qt::FocusReason reason)
{
    const bool fromKeyboard = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
                              reason == Qt::ShortcutFocusReason;
    const bool ours =
        now && now != this && now->window() == parentWidget() && now->focusPolicy() != Qt::NoFocus;
    // A window that comes back keeps the ring it had; a click hides it.
    if (reason == Qt::ActiveWindowFocusReason && now == target_)
        return;
    target_ = ours && fromKeyboard ? now : nullptr;
    follow();
}

void FocusRing::follow()
{
    if (!target_ || !target_->isVisible()) {
        hide();
        return;
    }
    // A container whose children cover it all (the sidebar) has no region of its own left.
    QRect shown = target_->visibleRegion().boundingRect();
    if (shown.isEmpty())
        shown = target_->rect();
    const int outset = gap + width;
    const QRect ring(target_->mapTo(parentWidget(), shown.topLeft()), shown.size());
    setGeometry(ring.adjusted(-outset, -outset, outset, outset));
    show();
    raise();
    update();
}

void FocusRing::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(Theme::accent(), width);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const double inset = width / 2.0;
    painter.drawRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset), ringRadius,
                            ringRadius);
}

}  // namespace lumivert
