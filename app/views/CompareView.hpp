#pragma once
// The before/after comparison of the preview: the model's original image (or the user's own
// edit) beside the graded one, split by a line the user drags, both whole side by side (zoomed and
// panned together), one of them alone, or the heat map of their ΔE2000 with its scale. It reads
// originalImage, originalLabel, previewGraded, previewLUT, previewDifference, differenceLabel,
// compareStyle and split, and writes split.
//
// Fitted, the image keeps a margin at each side; zoomed in, it uses the view's whole width.
// Zoom: fit (the default; never above 1:1) or any zoom up to 16 times, about the pointer with
// Ctrl+wheel. Zoomed in, a drag pans (except on the split line, which keeps its drag), as do the
// middle button, Space+drag and the plain wheel. Past the resolution of the model's bounded copy
// the full-size photo is loaded in the background and only the area on screen is graded: at 1:1
// and above in grid cells, the new ones as they come on screen; below 1:1 as one tile shrunk to
// the screen's resolution, in the background. The upscaled copy stands in until then. The heat map
// is the preview's, enlarged.
#include "AppModel.hpp"
#include "FullImageCache.hpp"
#include "LatestJob.hpp"

#include <QImage>
#include <QPixmap>
#include <QWidget>

#include <memory>
#include <optional>
#include <vector>

namespace lumivert {

class SplitHandle;

class CompareView : public QWidget {
    Q_OBJECT

public:
    explicit CompareView(AppModel& model, QWidget* parent = nullptr);

    // The colours of one image point: before (the left side's image) and after (graded).
    struct Colours {
        QRgb original = 0;
        QRgb graded = 0;
        friend bool operator==(const Colours&, const Colours&) = default;
    };

    // Where the whole image is drawn, in this widget's coordinates (larger than the widget when
    // zoomed in); empty when nothing is drawn. Side by side, the left half's; the right half's
    // is the same moved by sideOffset().
    QRectF imageRect() const { return imageRect_; }
    double sideOffset() const;
    // The part of imageRect on screen; the split is a fraction of its width.
    QRectF visibleImageRect() const;
    // "Split at N percent", "Original" or "With LUT".
    QString accessibleValue() const;
    SplitHandle* splitHandle() const { return handle_; }

    // The photo's size in pixels as stored (upright), which zooms count in.
    QSizeF fullSize() const { return fullSize_; }
    bool isFit() const { return fit_; }
    // Screen pixels per full-size pixel; at fit, the fitting zoom.
    double zoom() const;
    // The image point (full-size pixels) under a point of this widget, in either half.
    QPointF imagePointAt(const QPointF& point) const;
    // The colours shown at a point of this widget: the full-size pixels where they are on screen,
    // else the preview's; none off the image.
    std::optional<Colours> coloursAt(const QPointF& point) const;
    // coloursAt the pointer, while it is over the image.
    std::optional<Colours> pointerColours() const { return pointerColours_; }
    // The graded side on screen comes from the full-size photo, not the bounded copy.
    bool showsFullResolution() const;

    void zoomToFit();
    void zoomToActualSize();
    // Zooms about the centre of the view.
    void zoomTo(double zoom);
    void zoomIn();
    void zoomOut();
    // Zooms keeping the image point under `anchor` (this widget's coordinates) where it is.
    void zoomAbout(double zoom, const QPointF& anchor);
    // Moves the image by `delta` logical pixels, stopping at its edges.
    void panBy(const QPointF& delta);

Q_SIGNALS:
    void zoomChanged();
    // The full-size detail on screen was rendered again (a pan, a zoom, a grade, a load).
    void detailRendered();
    void pointerColoursChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    // A piece of the full-size detail: its area (full-size pixels) and both sides' pixels there
    // (null: that side has no full-size photo yet).
    struct Piece {
        QRect area;
        QImage original;
        QImage graded;
    };
    // The full-size pixels around the screen, as drawn: below 1:1 one piece shrunk to the
    // screen's resolution, at 1:1 and above the grid's cells.
    struct Detail {
        QRect area;  // where every pixel is in a piece, full-size pixels
        double zoom = 0;
        std::shared_ptr<const LUT3D> lut;
        Interpolation interpolation = Interpolation::trilinear;
        // The photos the pieces were cut from (none: that side has none yet).
        std::optional<Image8> originalFull;
        std::optional<Image8> gradedFull;
        std::vector<Piece> pieces;

        bool shows(QImage Piece::*side) const
        {
            return side && !pieces.empty() && !(pieces.front().*side).isNull();
        }
        // Whether `other`'s pieces could stand beside these: the same photos, grade and scale.
        bool matches(const Detail& other) const;
    };

    // The area the image is laid out in: fitted, inset at the sides; side by side, the left half.
    QRectF viewport(bool fit) const;
    double sideOffset(bool fit) const;
    // A point of the right half moved onto the left half, where imageRect_ lies.
    QPointF inFirstHalf(const QPointF& point) const;
    void updatePointerColours();
    void refreshImages();
    void layoutImages();
    void setView(bool fit, double zoom, const QPointF& centre);
    bool canPan() const;
    bool needsDetail() const;
    void updateDetail();
    void resetDetail();
    void gradeCells(const QRect& needed, const QRect& bounds, int margin);
    void shrinkInBackground(const QRect& needed, const QRect& area);
    void placeHandle();
    void splitChanged();
    void updateCursor();
    void drawSide(QPainter& painter, const QImage& preview, const QPixmap& scaled,
                  QImage Piece::*side) const;
    void drawBadge(QPainter& painter, const QString& text, Qt::Alignment corner) const;
    void drawScale(QPainter& painter) const;
    // Where a corner's label is drawn, in this widget's coordinates.
    QRectF badgeRect(const QString& text, Qt::Alignment corner) const;
    static QFont badgeFont();

    AppModel& model_;
    SplitHandle* handle_;
    QImage original_;
    QImage graded_;
    QImage difference_;
    QPixmap originalScaled_;
    QPixmap gradedScaled_;
    QPixmap differenceScaled_;
    QRectF imageRect_;
    QSizeF storedSize_;  // as the file's header gives it, which tells photos apart
    QSizeF fullSize_;    // as decoded, once the full-size photo is loaded
    QString originalPath_;
    QString gradedPath_;
    bool fit_ = true;
    double zoom_ = 1;
    QPointF centre_;
    FullImageCache fullImages_;
    Detail detail_;
    LatestJob shrinking_;
    QRect shrinkingArea_;  // the area of the shrunk tile being made
    bool dragging_ = false;
    bool panning_ = false;
    bool spaceHeld_ = false;
    QPointF lastPan_;
    std::optional<QPointF> pointer_;
    std::optional<Colours> pointerColours_;
};

}  // namespace lumivert
