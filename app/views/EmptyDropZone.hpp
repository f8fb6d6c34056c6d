#pragma once
// What the preview shows before the mode has an input: the mode's symbol, what to drop and
// why, and buttons to choose an image (and, for HALD, to save the neutral template). The dashed
// outline lights up and grows slightly while files are dragged over the pane.
#include "AppModel.hpp"

#include <QVariantAnimation>
#include <QWidget>

class QLabel;
class QPushButton;

namespace lumivert {

class EmptyDropZone : public QWidget {
    Q_OBJECT

public:
    explicit EmptyDropZone(AppModel& model, QWidget* parent = nullptr);

    QSize sizeHint() const override;

    bool targeted() const { return targeted_; }
    void setTargeted(bool targeted);
    // The outline's current scale, 1 at rest and 1.015 when targeted (animated between).
    double outlineScale() const { return scale_; }

    QString title() const;
    QString description() const;
    QPushButton* chooseButton() const { return choose_; }
    QPushButton* saveTemplateButton() const { return saveTemplate_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void showMode();

    AppModel& model_;
    QLabel* symbol_;
    QLabel* title_;
    QLabel* description_;
    QPushButton* choose_;
    QPushButton* saveTemplate_;
    QVariantAnimation scaleAnimation_;
    bool targeted_ = false;
    double scale_ = 1;
};

}  // namespace lumivert
