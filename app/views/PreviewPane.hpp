#pragma once
// The centre column: an empty drop zone until the mode has an input, then the before/after
// comparison, with the preview controls above it, the status chip, the toast and the colour under
// the pointer below it.
// Files dropped anywhere on the pane load into the model's drop target slot.
#include "AppModel.hpp"

#include <QVariantAnimation>
#include <QWidget>

class QGraphicsOpacityEffect;
class QLabel;

namespace lumivert {

class CompareView;
class EmptyDropZone;
class PreviewControls;
class StatusChip;
class ToastView;

class PreviewPane : public QWidget {
    Q_OBJECT

public:
    explicit PreviewPane(AppModel& model, QWidget* parent = nullptr);

    bool showsEmptyZone() const;
    bool showsCompareView() const;
    // True from the moment the model has a toast until the toast has faded out.
    bool showsToast() const;
    bool dropTargeted() const { return dropTargeted_; }

    EmptyDropZone* emptyZone() const { return emptyZone_; }
    CompareView* compareView() const { return compareView_; }
    PreviewControls* controls() const { return controls_; }
    StatusChip* statusChip() const { return statusChip_; }
    ToastView* toastView() const { return toastView_; }
    // The colours under the pointer, before and after; hidden while the pointer is off the image.
    QLabel* colourReadout() const { return colourReadout_; }
    // "120 80 60": a colour's 8-bit red, green and blue.
    static QString levels(QRgb colour);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // Zoomed to exactly one photo pixel per screen pixel, not merely fitting at that scale.
    bool atActualSize() const;
    void showContent();
    void showToast();
    void showColours();
    void setDropTargeted(bool targeted);
    int bottomRoom() const;
    void layoutContent();
    void layoutOverlays();

    AppModel& model_;
    QWidget* emptyHost_;
    EmptyDropZone* emptyZone_;
    CompareView* compareView_;
    PreviewControls* controls_;
    StatusChip* statusChip_;
    ToastView* toastView_;
    QLabel* colourReadout_;
    QGraphicsOpacityEffect* toastFade_;
    QVariantAnimation toastAnimation_;
    double toastProgress_ = 0;
    bool dropTargeted_ = false;
};

}  // namespace lumivert
