#include "CompareView.hpp"

#include "CompareGeometry.hpp"
#include "DetailTile.hpp"
#include "SplitHandle.hpp"
#include "Theme.hpp"
#include "ZoomGeometry.hpp"

#include "imaging/HeatMap.hpp"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace lumivert {

namespace {

constexpr double lineWidth = 2;
constexpr double badgeInset = 10;
constexpr double badgePaddingX = 7;
constexpr double badgePaddingY = 3;
constexpr double badgeRadius = 5;
// Dark enough that white text reads on a bright photo.
constexpr double badgeOpacity = 0.62;
constexpr double keyStep = 0.01;
// Room at each side of a fitted image; zoomed in, the image uses the whole width.
constexpr double fitSideInset = 30;
// Between the halves of the side-by-side style.
constexpr double sideBySideGap = 6;
constexpr double largeKeyStep = 0.1;
const QString gradedLabel = QStringLiteral("With LUT");
// Screen pixels beyond each edge of the view: below 1:1 graded too, so that a short pan only
// redraws; at 1:1 and above, cells this close stay kept for a pan back.
constexpr double detailMargin = 192;
// A wheel notch (120 eighths of a degree) zooms by this factor; touchpads send fractions of one.
constexpr double wheelNotch = 120;
constexpr double notchZoomFactor = 1.25;
// Zooms this close to 1:1 count as 1:1, where the detail is drawn pixel for pixel.
constexpr double zoomTolerance = 1e-9;
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

// Qt's native raster layout, which painting copies instead of converting each pixel every time.
QImage forScreen(const QImage& image)
{
    return image.isNull() ? image : image.convertToFormat(QImage::Format_RGB32);
}

bool sameImage(const std::optional<Image8>& a, const std::optional<Image8>& b)
{
    return a.has_value() == b.has_value() && (!a || a->sharesStorageWith(*b));
}

}  // namespace

CompareView::CompareView(AppModel& model, QWidget* parent)
    : QWidget(parent), model_(model), handle_(new SplitHandle(this)), shrinking_(this)
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(accessibleFactory);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
    setAccessibleName(QStringLiteral("Preview"));
    setAccessibleDescription(
        QStringLiteral("The photo before and after the LUT. Ctrl+scroll zooms, a drag moves a "
                       "zoomed photo, the backslash key flips between original and graded"));
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setMinimumSize(1, 1);

    // originalImage depends on the mode, the after image, the source, the switch and the fit.
    for (auto signal : {&AppModel::previewOriginalChanged, &AppModel::previewGradedChanged,
                        &AppModel::previewDifferenceChanged, &AppModel::imagesChanged,
                        &AppModel::modeChanged, &AppModel::previewSourceChanged,
                        &AppModel::compareWithAfterChanged, &AppModel::editFitChanged})
        connect(&model_, signal, this, &CompareView::refreshImages);
    connect(&model_, &AppModel::compareStyleChanged, this, [this] {
        // Side by side lays the image out in half the width.
        layoutImages();
        splitChanged();
        Q_EMIT zoomChanged();
    });
    connect(&model_, &AppModel::splitChanged, this, &CompareView::splitChanged);
    // A new grade or a loaded photo changes the full-size pixels on screen.
    connect(&model_, &AppModel::previewRebuilt, this, &CompareView::updateDetail);
    connect(&fullImages_, &FullImageCache::loaded, this, &CompareView::layoutImages);
    connect(this, &CompareView::detailRendered, this, &CompareView::updatePointerColours);
    refreshImages();
}

QString CompareView::accessibleValue() const
{
    return CompareGeometry::accessibleValue(model_.compareStyle(), model_.split());
}

QRectF CompareView::viewport(bool fit) const
{
    QRectF area(rect());
    if (fit)
        area.adjust(fitSideInset, 0, -fitSideInset, 0);
    if (model_.compareStyle() == CompareStyle::sideBySide)
        area.setWidth((area.width() - sideBySideGap) / 2);
    if (area.width() <= 0)
        area.setWidth(0);
    return area;
}

double CompareView::sideOffset() const { return sideOffset(fit_); }

double CompareView::sideOffset(bool fit) const
{
    return model_.compareStyle() == CompareStyle::sideBySide ? viewport(fit).width() + sideBySideGap
                                                             : 0;
}

QPointF CompareView::inFirstHalf(const QPointF& point) const
{
    const double offset = sideOffset();
    if (offset > 0 && point.x() >= viewport(fit_).right() + sideBySideGap / 2)
        return point - QPointF(offset, 0);
    return point;
}

QRectF CompareView::visibleImageRect() const
{
    return ZoomGeometry::visibleRect(imageRect_, viewport(fit_));
}

double CompareView::zoom() const
{
    return fit_ ? ZoomGeometry::fitZoom(fullSize_, viewport(true).size(), devicePixelRatioF())
                : zoom_;
}

QPointF CompareView::imagePointAt(const QPointF& point) const
{
    return ZoomGeometry::imagePoint(inFirstHalf(point), imageRect_, fullSize_);
}

std::optional<CompareView::Colours> CompareView::coloursAt(const QPointF& point) const
{
    if (original_.isNull() || graded_.isNull() || !visibleImageRect().contains(inFirstHalf(point)))
        return std::nullopt;
    const QPointF full = imagePointAt(point);
    const QPoint pixel(static_cast<int>(std::floor(full.x())),
                       static_cast<int>(std::floor(full.y())));
    // From 1:1 up the pieces hold the photo's own pixels.
    if (!fit_ && zoom_ >= ZoomGeometry::actualSize - zoomTolerance)
        for (const Piece& piece : detail_.pieces)
            if (piece.area.contains(pixel) && !piece.original.isNull() && !piece.graded.isNull())
                return Colours{piece.original.pixel(pixel - piece.area.topLeft()),
                               piece.graded.pixel(pixel - piece.area.topLeft())};
    const auto sample = [&full, this](const QImage& image) {
        const int x = std::clamp(static_cast<int>(full.x() * image.width() / fullSize_.width()), 0,
                                 image.width() - 1);
        const int y = std::clamp(static_cast<int>(full.y() * image.height() / fullSize_.height()),
                                 0, image.height() - 1);
        return image.pixel(x, y);
    };
    return Colours{sample(original_), sample(graded_)};
}

void CompareView::updatePointerColours()
{
    const std::optional<Colours> colours = pointer_ ? coloursAt(*pointer_) : std::nullopt;
    if (colours == pointerColours_)
        return;
    pointerColours_ = colours;
    Q_EMIT pointerColoursChanged();
}

void CompareView::leaveEvent(QEvent* event)
{
    pointer_.reset();
    updatePointerColours();
    QWidget::leaveEvent(event);
}

bool CompareView::showsFullResolution() const
{
    return needsDetail() && detail_.shows(&Piece::graded);
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

    // The photo's stored size and file, when what is shown is the model's bounded copy of it.
    const LoadedImage& input = model_.previewInput();
    const QSizeF shown = original_.size();
    QSizeF full = shown;
    QString gradedPath;
    if (input.image().width() == shown.width() && input.image().height() == shown.height()) {
        QSizeF stored(static_cast<double>(input.originalWidth()),
                      static_cast<double>(input.originalHeight()));
        // The stored size is before orientation; the copy is upright.
        if ((stored.width() >= stored.height()) != (shown.width() >= shown.height()))
            stored.transpose();
        if (stored.width() > shown.width())
            full = stored;
        if (input.url())
            gradedPath = QString::fromStdString(input.url()->string());
    }
    QString originalPath = gradedPath;
    if (const LoadedImage* target = model_.shownTarget()) {
        const auto& url = target->url();
        originalPath = url ? QString::fromStdString(url->string()) : QString();
    }
    // Another photo starts at fit, and the full-size pixels of the last one are let go.
    if (full != storedSize_ || gradedPath != gradedPath_ || originalPath != originalPath_) {
        storedSize_ = full;
        fullSize_ = full;
        gradedPath_ = gradedPath;
        originalPath_ = originalPath;
        fullImages_.want({});
        resetDetail();
        fit_ = true;
        Q_EMIT zoomChanged();
    }
    difference_ = std::move(difference);
    layoutImages();
}

void CompareView::layoutImages()
{
    const QRectF viewport = this->viewport(fit_);
    const double pixelRatio = devicePixelRatioF();
    if (fit_) {
        const double fit = ZoomGeometry::fitZoom(fullSize_, viewport.size(), pixelRatio);
        centre_ = QPointF(fullSize_.width() / 2, fullSize_.height() / 2);
        imageRect_ = ZoomGeometry::imageRect(fullSize_, viewport, fit, pixelRatio, centre_);
        originalScaled_ = scaledTo(original_, imageRect_.size(), pixelRatio);
        gradedScaled_ = scaledTo(graded_, imageRect_.size(), pixelRatio);
        differenceScaled_ = scaledTo(difference_, imageRect_.size(), pixelRatio);
    } else {
        imageRect_ = ZoomGeometry::imageRect(fullSize_, viewport, zoom_, pixelRatio, centre_);
        // Whole device pixels, so that at 1:1 each image pixel lands on one screen pixel.
        imageRect_.moveTopLeft(QPointF(std::round(imageRect_.left() * pixelRatio) / pixelRatio,
                                       std::round(imageRect_.top() * pixelRatio) / pixelRatio));
        centre_ = ZoomGeometry::centreOf(imageRect_, viewport, fullSize_);
        originalScaled_ = {};
        gradedScaled_ = {};
        differenceScaled_ = {};
    }
    updateDetail();
    placeHandle();
    updateCursor();
    updatePointerColours();
    update();
}

void CompareView::setView(bool fit, double zoom, const QPointF& centre)
{
    const double fitting =
        ZoomGeometry::fitZoom(fullSize_, viewport(true).size(), devicePixelRatioF());
    // Zooming out to the fitting zoom or below is fit, which follows the window's size.
    fit = fit || zoom <= fitting + zoomTolerance;
    zoom = std::min(zoom, ZoomGeometry::maximumZoom);
    if (fit == fit_ && (fit || (zoom == zoom_ && centre == centre_)))
        return;
    fit_ = fit;
    zoom_ = zoom;
    centre_ = centre;
    layoutImages();
    Q_EMIT zoomChanged();
}

void CompareView::zoomToFit() { setView(true, zoom_, centre_); }

void CompareView::zoomToActualSize() { zoomTo(ZoomGeometry::actualSize); }

void CompareView::zoomTo(double zoom) { zoomAbout(zoom, viewport(fit_).center()); }

void CompareView::zoomIn() { zoomTo(ZoomGeometry::zoomedIn(zoom())); }

void CompareView::zoomOut()
{
    const double fitting =
        ZoomGeometry::fitZoom(fullSize_, viewport(true).size(), devicePixelRatioF());
    zoomTo(ZoomGeometry::zoomedOut(zoom(), fitting));
}

void CompareView::zoomAbout(double zoom, const QPointF& anchor)
{
    if (imageRect_.isEmpty())
        return;
    zoom = std::clamp(zoom, ZoomGeometry::steps().front(), ZoomGeometry::maximumZoom);
    QPointF at = inFirstHalf(anchor);
    QRectF from = imageRect_;
    if (at != anchor) {
        // The halves move apart as a fitted image's margin goes; the point under the anchor
        // stays under it in the right half's new place.
        at = anchor - QPointF(sideOffset(false), 0);
        from.translate(sideOffset(fit_) - sideOffset(false), 0);
    }
    setView(false, zoom,
            ZoomGeometry::centreZoomedAbout(at, from, fullSize_, viewport(false), zoom,
                                            devicePixelRatioF()));
}

void CompareView::panBy(const QPointF& delta)
{
    if (!canPan())
        return;
    const double scale = zoom_ / devicePixelRatioF();
    setView(false, zoom_, centre_ - delta / scale);
}

bool CompareView::canPan() const
{
    const QRectF area = viewport(false);
    return !fit_ && (imageRect_.width() > area.width() + zoomTolerance ||
                     imageRect_.height() > area.height() + zoomTolerance);
}

bool CompareView::needsDetail() const
{
    // Past the copy's own resolution, when the photo has more pixels than the copy.
    return !fit_ && !original_.isNull() && !gradedPath_.isEmpty() &&
           fullSize_.width() > original_.width() &&
           zoom_ * fullSize_.width() > original_.width() * (1 + zoomTolerance);
}

void CompareView::updateDetail()
{
    if (!needsDetail()) {
        resetDetail();
        return;
    }
    fullImages_.want({gradedPath_, originalPath_});
    const std::optional<Image8> gradedFull = fullImages_.image(gradedPath_);
    const std::optional<Image8> originalFull = fullImages_.image(originalPath_);
    const std::shared_ptr<const LUT3D> lut = model_.previewLUT();
    if (!lut || (!gradedFull && !originalFull))
        return;
    const QSizeF loaded(static_cast<double>((gradedFull ? gradedFull : originalFull)->width()),
                        static_cast<double>((gradedFull ? gradedFull : originalFull)->height()));
    if (loaded != fullSize_) {
        // The header's size was a guess (a camera file's crop, say): the decoded one counts.
        fullSize_ = loaded;
        layoutImages();
        return;
    }
    const QRect bounds(QPoint(0, 0), fullSize_.toSize());
    const QRectF visible = visibleImageRect();
    const QRect needed =
        QRectF(imagePointAt(visible.topLeft()), imagePointAt(visible.bottomRight()))
            .toAlignedRect()
            .intersected(bounds);
    if (needed.isEmpty())
        return;
    const Detail wanted{.area = {},
                        .zoom = zoom_,
                        .lut = lut,
                        .interpolation = model_.previewInterpolation(),
                        .originalFull = originalFull,
                        .gradedFull = gradedFull,
                        .pieces = {}};
    if (!detail_.matches(wanted)) {
        resetDetail();
        detail_ = wanted;
    }
    detail_.zoom = zoom_;
    if (!detail_.pieces.empty() && detail_.area.contains(needed))
        return;
    const int margin = static_cast<int>(std::ceil(detailMargin / std::min(zoom_, 1.0)));
    if (zoom_ < 1) {
        shrinkInBackground(needed,
                           needed.adjusted(-margin, -margin, margin, margin).intersected(bounds));
        return;
    }
    gradeCells(needed, bounds, margin);
    update();
    Q_EMIT detailRendered();
}

bool CompareView::Detail::matches(const Detail& other) const
{
    // At 1:1 and above pieces are the photo's own pixels whatever the zoom.
    const bool sameScale = zoom == other.zoom || (zoom >= 1 && other.zoom >= 1);
    return sameScale && lut == other.lut && interpolation == other.interpolation &&
           sameImage(originalFull, other.originalFull) && sameImage(gradedFull, other.gradedFull);
}

void CompareView::resetDetail()
{
    detail_ = {};
    shrinking_.cancel();
    shrinkingArea_ = {};
}

void CompareView::gradeCells(const QRect& needed, const QRect& bounds, int margin)
{
    // Cells well clear of the screen are let go, which bounds what a long pan keeps.
    const QRect kept = needed.adjusted(-margin, -margin, margin, margin);
    std::erase_if(detail_.pieces,
                  [&kept](const Piece& piece) { return !piece.area.intersects(kept); });
    const std::vector<QRect> cells = DetailTile::cells(needed, bounds);
    std::vector<QRect> missing;
    std::copy_if(
        cells.begin(), cells.end(), std::back_inserter(missing), [this](const QRect& cell) {
            return std::none_of(detail_.pieces.begin(), detail_.pieces.end(),
                                [&cell](const Piece& piece) { return piece.area == cell; });
        });
    detail_.area = cells.front().united(cells.back());
    const LUT3D& lut = *detail_.lut;
    const Interpolation interpolation = detail_.interpolation;
    const PreviewRenderer& renderer = model_.previewRenderer();
    const std::vector<QImage> originals =
        detail_.originalFull ? DetailTile::gradedPieces(*detail_.originalFull, missing,
                                                        [](const Image8& pixels) { return pixels; })
                             : std::vector<QImage>(missing.size());
    const std::vector<QImage> graded =
        detail_.gradedFull
            ? DetailTile::gradedPieces(
                  *detail_.gradedFull, missing,
                  [&](const Image8& pixels) { return renderer.render(pixels, lut, interpolation); })
            : std::vector<QImage>(missing.size());
    for (std::size_t k = 0; k < missing.size(); ++k)
        detail_.pieces.push_back({missing[k], forScreen(originals[k]), forScreen(graded[k])});
}

void CompareView::shrinkInBackground(const QRect& needed, const QRect& area)
{
    // The tile on its way will cover the screen; the current one is drawn until it lands.
    if (shrinking_.pending() && shrinkingArea_.contains(needed))
        return;
    shrinkingArea_ = area;
    Detail source = detail_;
    source.pieces.clear();
    // Pieces shrunk apart would not join without seams, so the whole area is made at once, off
    // the main thread: shrinking and grading it costs more than a frame.
    shrinking_.start(
        [source, area, renderer = model_.previewRenderer()] {
            Piece piece{area, {}, {}};
            if (source.gradedFull)
                piece.graded = forScreen(platformImage(
                    renderer.render(DetailTile::crop(*source.gradedFull, area, source.zoom),
                                    *source.lut, source.interpolation)));
            if (source.originalFull)
                piece.original = forScreen(
                    platformImage(DetailTile::crop(*source.originalFull, area, source.zoom)));
            return piece;
        },
        [this, source](const Outcome<Piece>& outcome) {
            shrinkingArea_ = {};
            if (!outcome.value || !detail_.matches(source))
                return;
            detail_.area = outcome.value->area;
            detail_.pieces = {*outcome.value};
            update();
            Q_EMIT detailRendered();
        });
}

void CompareView::placeHandle()
{
    const QRectF visible = visibleImageRect();
    const bool shown = model_.compareStyle() == CompareStyle::split && !visible.isEmpty();
    handle_->setVisible(shown);
    if (shown)
        handle_->centreOn(
            {CompareGeometry::splitLineX(model_.split(), visible), visible.center().y()});
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

void CompareView::updateCursor()
{
    if (panning_)
        setCursor(Qt::ClosedHandCursor);
    else if (canPan())
        setCursor(Qt::OpenHandCursor);
    else
        unsetCursor();
}

void CompareView::resizeEvent(QResizeEvent*) { layoutImages(); }

void CompareView::drawSide(QPainter& painter, const QImage& preview, const QPixmap& scaled,
                           QImage Piece::*side) const
{
    if (fit_) {
        painter.drawPixmap(imageRect_.topLeft(), scaled);
        return;
    }
    const QRectF visible = visibleImageRect();
    const double scale = imageRect_.width() / fullSize_.width();
    const auto onScreen = [&](const QRect& area) {
        return QRectF(imageRect_.topLeft() + QPointF(area.topLeft()) * scale,
                      QSizeF(area.size()) * scale);
    };
    const bool detailed = detail_.shows(side);
    // The bounded copy, enlarged, stands in wherever the full-size pixels are not ready yet.
    if (!preview.isNull() && (!detailed || !onScreen(detail_.area).contains(visible))) {
        const double copyScale = preview.width() / imageRect_.width();
        const QRectF source((visible.left() - imageRect_.left()) * copyScale,
                            (visible.top() - imageRect_.top()) * copyScale,
                            visible.width() * copyScale, visible.height() * copyScale);
        painter.save();
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(visible, preview, source);
        painter.restore();
    }
    if (!detailed)
        return;
    // Cells outside the side's half of a split need no call.
    const QRectF drawn =
        painter.hasClipping() ? visible.intersected(painter.clipBoundingRect()) : visible;
    // Above 1:1 each image pixel shows as a sharp square, as photographers inspect them.
    for (const Piece& piece : detail_.pieces) {
        const QRectF target = onScreen(piece.area);
        if (target.intersects(drawn))
            painter.drawImage(target, piece.*side);
    }
}

void CompareView::paintEvent(QPaintEvent*)
{
    if (imageRect_.isEmpty())
        return;
    QPainter painter(this);
    const QRectF visible = visibleImageRect();
    switch (model_.compareStyle()) {
    case CompareStyle::original:
        drawSide(painter, original_, originalScaled_, &Piece::original);
        drawBadge(painter, model_.originalLabel(), Qt::AlignLeft);
        return;
    case CompareStyle::graded:
        drawSide(painter, graded_, gradedScaled_, &Piece::graded);
        drawBadge(painter, gradedLabel, Qt::AlignRight);
        return;
    case CompareStyle::difference:
        // Until the first measurement lands, the graded image stands in for the map.
        if (difference_.isNull())
            drawSide(painter, graded_, gradedScaled_, &Piece::graded);
        else
            drawSide(painter, difference_, differenceScaled_, nullptr);
        drawBadge(painter, model_.differenceLabel(), Qt::AlignLeft);
        if (!differenceScaled_.isNull())
            drawScale(painter);
        return;
    case CompareStyle::sideBySide:
        // Each half clipped to itself: zoomed in, the image runs on past it.
        painter.save();
        painter.setClipRect(visible);
        drawSide(painter, original_, originalScaled_, &Piece::original);
        drawBadge(painter, model_.originalLabel(), Qt::AlignLeft);
        painter.translate(sideOffset(), 0);
        painter.setClipRect(visible);
        drawSide(painter, graded_, gradedScaled_, &Piece::graded);
        drawBadge(painter, gradedLabel, Qt::AlignRight);
        painter.restore();
        return;
    case CompareStyle::split: break;
    }
    const double lineX = CompareGeometry::splitLineX(model_.split(), visible);
    painter.save();
    painter.setClipRect(
        QRectF(visible.left(), visible.top(), lineX - visible.left(), visible.height()));
    drawSide(painter, original_, originalScaled_, &Piece::original);
    painter.setClipRect(QRectF(lineX, visible.top(), visible.right() - lineX, visible.height()));
    drawSide(painter, graded_, gradedScaled_, &Piece::graded);
    painter.restore();
    // The line stops short of the labels rather than running through them.
    QRegion line(
        QRectF(lineX - lineWidth / 2, visible.top(), lineWidth, visible.height()).toAlignedRect());
    line -= badgeRect(model_.originalLabel(), Qt::AlignLeft).toAlignedRect();
    line -= badgeRect(gradedLabel, Qt::AlignRight).toAlignedRect();
    painter.save();
    painter.setClipRegion(line);
    painter.fillRect(QRectF(lineX - lineWidth / 2, visible.top(), lineWidth, visible.height()),
                     Qt::white);
    painter.restore();
    drawBadge(painter, model_.originalLabel(), Qt::AlignLeft);
    drawBadge(painter, gradedLabel, Qt::AlignRight);
}

QRectF CompareView::badgeRect(const QString& text, Qt::Alignment corner) const
{
    // On the part of the image on screen, so that a zoomed-in image keeps its labels.
    const QRectF visible = visibleImageRect();
    const QSizeF textSize = QFontMetricsF(badgeFont()).size(Qt::TextSingleLine, text);
    const QSizeF badge(textSize.width() + 2 * badgePaddingX, textSize.height() + 2 * badgePaddingY);
    const double left = corner == Qt::AlignLeft ? visible.left() + badgeInset
                                                : visible.right() - badgeInset - badge.width();
    return QRectF(QPointF(left, visible.top() + badgeInset), badge);
}

QFont CompareView::badgeFont() { return Theme::font(Theme::TextStyle::caption2, QFont::Medium); }

void CompareView::drawBadge(QPainter& painter, const QString& text, Qt::Alignment corner) const
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setFont(badgeFont());
    const QRectF box = badgeRect(text, corner);
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
    const QRectF visible = visibleImageRect();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QFont font = Theme::font(Theme::TextStyle::caption2, QFont::Medium);
    painter.setFont(font);
    const QFontMetricsF metrics(font);
    const double boxHeight = scaleHeight + metrics.height() + 3 * badgePaddingY;
    const QRectF box(visible.right() - badgeInset - scaleWidth - 2 * badgePaddingX,
                     visible.bottom() - badgeInset - boxHeight, scaleWidth + 2 * badgePaddingX,
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
    const QPointF position = event->position();
    const QRectF visible = visibleImageRect();
    const bool onLine =
        model_.compareStyle() == CompareStyle::split &&
        std::abs(position.x() - CompareGeometry::splitLineX(model_.split(), visible)) <=
            SplitHandle::diameter / 2.0;
    // Zoomed in, a drag moves the image; the split line keeps its own drag.
    const bool pans = canPan() && (event->button() == Qt::MiddleButton ||
                                   (event->button() == Qt::LeftButton && (spaceHeld_ || !onLine)));
    if (pans) {
        panning_ = true;
        lastPan_ = position;
        updateCursor();
        return;
    }
    if (event->button() != Qt::LeftButton || model_.compareStyle() != CompareStyle::split ||
        !visible.contains(position)) {
        QWidget::mousePressEvent(event);
        return;
    }
    dragging_ = true;
    model_.setSplit(CompareGeometry::splitAt(position.x(), visible));
}

void CompareView::mouseMoveEvent(QMouseEvent* event)
{
    pointer_ = event->position();
    updatePointerColours();
    if (panning_) {
        const QPointF position = event->position();
        panBy(position - std::exchange(lastPan_, position));
        return;
    }
    // Once the drag has begun it follows the pointer beyond the image, pinned to the edges.
    if (!dragging_ || model_.compareStyle() != CompareStyle::split) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    model_.setSplit(CompareGeometry::splitAt(event->position().x(), visibleImageRect()));
}

void CompareView::mouseReleaseEvent(QMouseEvent* event)
{
    dragging_ = false;
    panning_ = false;
    updateCursor();
    QWidget::mouseReleaseEvent(event);
}

void CompareView::wheelEvent(QWheelEvent* event)
{
    const QPoint angle = event->angleDelta();
    if (event->modifiers() & Qt::ControlModifier) {
        // As in GNOME's and KDE's image viewers: Ctrl+wheel zooms about the pointer.
        const double notches = angle.y() / wheelNotch;
        zoomAbout(zoom() * std::pow(notchZoomFactor, notches), event->position());
        event->accept();
        return;
    }
    if (!canPan()) {
        event->ignore();
        return;
    }
    // The plain wheel scrolls the zoomed image like a page; Shift turns it sideways.
    QPointF delta = event->pixelDelta().isNull() ? QPointF(angle) / wheelNotch * detailMargin / 4
                                                 : QPointF(event->pixelDelta());
    if (event->modifiers() & Qt::ShiftModifier)
        delta = QPointF(delta.y(), delta.x());
    panBy(delta);
    event->accept();
}

bool CompareView::event(QEvent* event)
{
    // A touchpad pinch zooms about the fingers, as in the desktops' image viewers.
    if (event->type() == QEvent::NativeGesture) {
        const auto* gesture = static_cast<QNativeGestureEvent*>(event);
        if (gesture->gestureType() == Qt::ZoomNativeGesture) {
            zoomAbout(zoom() * (1.0 + gesture->value()), gesture->position());
            event->accept();
            return true;
        }
    }
    return QWidget::event(event);
}

void CompareView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space) {
        if (!event->isAutoRepeat())
            spaceHeld_ = true;
        return;
    }
    if (model_.compareStyle() != CompareStyle::split ||
        (event->key() != Qt::Key_Left && event->key() != Qt::Key_Right)) {
        QWidget::keyPressEvent(event);
        return;
    }
    const double step = event->modifiers() & Qt::ShiftModifier ? largeKeyStep : keyStep;
    const double direction = event->key() == Qt::Key_Left ? -1 : 1;
    model_.setSplit(std::clamp(model_.split() + direction * step, 0.0, 1.0));
}

void CompareView::keyReleaseEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) {
        spaceHeld_ = false;
        return;
    }
    QWidget::keyReleaseEvent(event);
}

}  // namespace lumivert
