#pragma once
// The place of one image slot in the sidebar: shows the slot's image with its title and source
// size, or an invitation to drop or pick one. A click opens the model's image panel for the
// slot, a dropped file is loaded into it, and the hover-only "Remove" button empties it. The
// well only forwards its slot and the file; the model decides everything else.
#include "AppModel.hpp"
#include "AppTypes.hpp"

#include <QColor>
#include <QPixmap>
#include <QWidget>

#include <optional>

class QToolButton;
class QVariantAnimation;

namespace lumivert {

class ImageWell : public QWidget {
    Q_OBJECT

public:
    ImageWell(AppModel& model, Slot slot, bool compact, QWidget* parent = nullptr);

    Slot slot() const { return slot_; }
    bool isCompact() const { return compact_; }

    // What the well shows now, kept in step with the model.
    bool isFilled() const { return filled_; }
    bool isLoading() const { return loading_; }
    bool isTargeted() const { return targeted_; }
    bool isHovering() const { return hovering_; }
    // Texts drawn on the well; empty when the current state shows none.
    const QString& label() const { return label_; }
    const QString& sizeBadge() const { return sizeBadge_; }
    const QString& prompt() const { return prompt_; }
    const QString& hint() const { return hint_; }
    QColor borderColour() const;
    // The scale the well settles at (the drawing animates towards it).
    qreal targetScale() const;
    QToolButton* removeButton() const { return removeButton_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void refresh();
    void refreshLoading();
    void rebuildThumbnail();
    void rebuildPixmap();
    void setTargeted(bool targeted);
    void setHovering(bool hovering);
    void animateScale();
    void placeRemoveButton();
    QRectF shapeRect() const;
    void paintImage(QPainter& painter, const QRectF& shape) const;
    void paintEmpty(QPainter& painter, const QRectF& shape) const;
    void paintProgress(QPainter& painter, const QRectF& shape) const;

    AppModel& model_;
    Slot slot_;
    bool compact_;
    bool filled_ = false;
    bool loading_ = false;
    bool targeted_ = false;
    bool hovering_ = false;
    bool pressed_ = false;
    bool keyboardFocus_ = false;  // the focus ring shows only for focus the keyboard moved
    QString label_;
    QString sizeBadge_;
    QString prompt_;
    QString hint_;
    std::optional<Image8> shownImage_;  // the display image behind the two caches
    QImage thumbnail_;                  // shownImage_ reduced once, rescaled on every resize
    QPixmap pixmap_;                    // the thumbnail filling the shape, cropped to it
    QPixmap symbol_;
    qreal scale_ = 1.0;
    qreal spinAngle_ = 0;
    QVariantAnimation* scaleAnimation_;
    QVariantAnimation* spin_;
    QToolButton* removeButton_;
};

}  // namespace lumivert
