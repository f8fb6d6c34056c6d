#pragma once
// The keyboard focus, drawn the same way on every control of a window: a 2-pixel ring in the
// accent colour just outside the focused widget. Fusion draws focus on some controls and not on
// others (style-sheet segments, custom-painted sliders and handles), so one overlay draws it for
// all. It shows for focus that came from the keyboard, not for a click, and stays inside the
// part of the widget that is on screen (a scrolled inspector clips it).
#include <QPointer>
#include <QWidget>

namespace lumivert {

class FocusRing : public QWidget {
    Q_OBJECT

public:
    // Watches the focus inside `window`, over which the ring is drawn.
    explicit FocusRing(QWidget& window);

    // The widget the ring is drawn around, or nothing while no ring shows.
    QWidget* target() const { return target_; }
    static constexpr int width = 2;
    // The ring's distance outside the widget's edges.
    static constexpr int gap = 1;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void focusMoved(QWidget* now, Qt::FocusReason reason);
    void follow();

    QPointer<QWidget> target_;
};

}  // namespace lumivert
