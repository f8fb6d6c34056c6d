#pragma once
// The before/after comparison of the preview: the model's original image (or the user's own
// edit) beside the graded one, split by a line the user drags, one of them alone, or the heat map
// of their ΔE2000 with its scale. It reads originalImage, originalLabel, previewGraded,
// previewDifference, differenceLabel, compareStyle and split, and writes split.
#include "AppModel.hpp"

#include <QPixmap>
#include <QWidget>

namespace lumivert {

class SplitHandle;

class CompareView : public QWidget {
    Q_OBJECT

public:
    explicit CompareView(AppModel& model, QWidget* parent = nullptr);

    // Where the image is drawn, in this widget's coordinates; empty when nothing is drawn.
    QRectF imageRect() const { return imageRect_; }
    // "Split at N percent", "Original" or "With LUT".
    QString accessibleValue() const;
    SplitHandle* splitHandle() const { return handle_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void refreshImages();
    void layoutImages();
    void placeHandle();
    void splitChanged();
    void drawBadge(QPainter& painter, const QString& text, Qt::Alignment corner) const;
    void drawScale(QPainter& painter) const;

    AppModel& model_;
    SplitHandle* handle_;
    QImage original_;
    QImage graded_;
    QImage difference_;
    QPixmap originalScaled_;
    QPixmap gradedScaled_;
    QPixmap differenceScaled_;
    QRectF imageRect_;
    bool dragging_ = false;
};

}  // namespace lumivert
