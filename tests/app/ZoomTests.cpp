// The zoomed preview: the arithmetic over many views, then the comparison on a real photo (keys,
// wheel, drag, split line) and the full-size pixels it shows at 1:1.
#include "Commands.hpp"
#include "CompareGeometry.hpp"
#include "CompareView.hpp"
#include "DetailTile.hpp"
#include "ModelFixtures.hpp"
#include "PreviewControls.hpp"
#include "PreviewPane.hpp"
#include "SplitHandle.hpp"
#include "ZoomGeometry.hpp"

#include "imaging/ImageLoader.hpp"

#include <QAbstractButton>
#include <QMainWindow>
#include <QMenu>
#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>

#include <cmath>
#include <cstring>
#include <random>

using namespace lumivert;
using fixtures::ModelHarness;
using fixtures::waitUntilIdle;

namespace {

constexpr int jobTimeoutMs = 60000;
constexpr int photoWidth = 2400;
constexpr int photoHeight = 1600;
constexpr double tolerance = 1e-6;

// A photo larger than the model's bounded copy, with one-pixel detail that shrinking blurs: a
// gradient crossed by a fine checkerboard.
QString writeDetailedPhoto(ModelHarness& files)
{
    std::vector<RGB> pixels;
    pixels.reserve(static_cast<std::size_t>(photoWidth) * photoHeight);
    for (int y = 0; y < photoHeight; ++y)
        for (int x = 0; x < photoWidth; ++x) {
            const float u = static_cast<float>(x) / (photoWidth - 1);
            const float v = static_cast<float>(y) / (photoHeight - 1);
            const float check = (x + y) % 2 == 0 ? 0.15f : -0.15f;
            pixels.push_back(RGB{std::clamp(0.2f + 0.6f * u + check, 0.0f, 1.0f),
                                 std::clamp(0.3f + 0.5f * v - check, 0.0f, 1.0f), 0.4f});
        }
    const QString file = files.path(QStringLiteral("detailed.png"));
    ImageLoader::writePNG(PixelBuffer(photoWidth, photoHeight, std::move(pixels)),
                          QFile::encodeName(file).toStdString(), false);
    return file;
}

// A window holding the preview pane and the menus, on a model with the detailed photo loaded in
// the look mode, previewed on that photo.
struct ZoomHarness {
    ModelHarness files;
    std::unique_ptr<AppModel> model = files.makeModel();
    QMainWindow window;
    PreviewPane* pane = nullptr;
    CompareView* view = nullptr;
    QString photo;

    ZoomHarness()
    {
        QVERIFY(waitUntilIdle(*model));
        pane = new PreviewPane(*model);
        window.setCentralWidget(pane);
        installCommands(window, *model);
        window.resize(1000, 700);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        photo = writeDetailedPhoto(files);
        model->load(photo, Slot::lookReference);
        QVERIFY(waitUntilIdle(*model, jobTimeoutMs));
        model->setPreviewSource(PreviewSource::input);
        QVERIFY(waitUntilIdle(*model, jobTimeoutMs));
        view = pane->compareView();
        QTRY_COMPARE(view->fullSize(), QSizeF(photoWidth, photoHeight));
    }

    // The graded side alone, at 1:1, once its full-size pixels are on screen.
    void showGradedAtActualSize()
    {
        model->setCompareStyle(CompareStyle::graded);
        view->zoomToActualSize();
        QTRY_VERIFY_WITH_TIMEOUT(view->showsFullResolution(), jobTimeoutMs);
    }
};

void wheel(QWidget* widget, const QPointF& position, int angle, Qt::KeyboardModifiers modifiers)
{
    QWheelEvent event(position, widget->mapToGlobal(position), QPoint(), QPoint(0, angle),
                      Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(widget, &event);
}

void pinch(QWidget* widget, const QPointF& position, double value)
{
    QNativeGestureEvent event(Qt::ZoomNativeGesture, QPointingDevice::primaryPointingDevice(), 2,
                              position, position, widget->mapToGlobal(position), value, {}, 0);
    QCoreApplication::sendEvent(widget, &event);
}

void mouse(QWidget* widget, QEvent::Type type, const QPointF& position, Qt::MouseButton button)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : button;
    QMouseEvent event(type, position, widget->mapToGlobal(position),
                      type == QEvent::MouseMove ? Qt::NoButton : button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
}

bool near(const QPointF& a, const QPointF& b, double within)
{
    return std::abs(a.x() - b.x()) <= within && std::abs(a.y() - b.y()) <= within;
}

// The full-size pixel under a point of the photo.
QRgb pixelAt(const Image8& image, const QPointF& point)
{
    const auto column = static_cast<std::int64_t>(point.x());
    const auto line = static_cast<std::int64_t>(point.y());
    return qRgb(image.sample(column, line, 0), image.sample(column, line, 1),
                image.sample(column, line, 2));
}

}  // namespace

class ZoomTests : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The arithmetic, over many random views.

    void placedImageCoversTheViewportOrIsCentred()
    {
        std::mt19937 random(11);
        std::uniform_real_distribution<double> length(50, 5000), zoom(0.05, 8), ratio(1, 2);
        std::uniform_real_distribution<double> unit(-0.5, 1.5);
        for (int trial = 0; trial < 2000; ++trial) {
            const QSizeF full(length(random), length(random));
            const QRectF viewport(10, 20, length(random) / 4, length(random) / 4);
            const double z = zoom(random), pixelRatio = ratio(random);
            const QPointF centre(unit(random) * full.width(), unit(random) * full.height());
            const QRectF placed = ZoomGeometry::imageRect(full, viewport, z, pixelRatio, centre);
            QVERIFY(std::abs(placed.width() - full.width() * z / pixelRatio) < tolerance);
            if (placed.width() <= viewport.width())
                QVERIFY(std::abs(placed.center().x() - viewport.center().x()) < tolerance);
            else
                QVERIFY(placed.left() <= viewport.left() + tolerance &&
                        placed.right() >= viewport.right() - tolerance);
            if (placed.height() <= viewport.height())
                QVERIFY(std::abs(placed.center().y() - viewport.center().y()) < tolerance);
            else
                QVERIFY(placed.top() <= viewport.top() + tolerance &&
                        placed.bottom() >= viewport.bottom() - tolerance);

            // Fit shows the whole image, never above 1:1, and touches the viewport on one axis
            // unless that would enlarge it.
            const double fit = ZoomGeometry::fitZoom(full, viewport.size(), pixelRatio);
            QVERIFY(fit <= ZoomGeometry::actualSize);
            const QRectF fitted = ZoomGeometry::imageRect(full, viewport, fit, pixelRatio, centre);
            QVERIFY(
                viewport.adjusted(-tolerance, -tolerance, tolerance, tolerance).contains(fitted));
            if (fit < ZoomGeometry::actualSize)
                QVERIFY(std::abs(fitted.width() - viewport.width()) < tolerance ||
                        std::abs(fitted.height() - viewport.height()) < tolerance);
        }
    }

    void zoomingAboutAPointKeepsThatPointUnlessAnEdgeHolds()
    {
        std::mt19937 random(5);
        std::uniform_real_distribution<double> zoom(0.05, 8), unit(0, 1);
        const QSizeF full(6000, 4000);
        const QRectF viewport(0, 0, 1200, 800);
        for (int trial = 0; trial < 2000; ++trial) {
            const double from = zoom(random), to = zoom(random);
            const QPointF centre(unit(random) * full.width(), unit(random) * full.height());
            const QRectF before = ZoomGeometry::imageRect(full, viewport, from, 1, centre);
            const QPointF anchor(viewport.left() + unit(random) * viewport.width(),
                                 viewport.top() + unit(random) * viewport.height());
            const QPointF held = ZoomGeometry::imagePoint(anchor, before, full);
            const QRectF after = ZoomGeometry::imageRect(
                full, viewport, to, 1,
                ZoomGeometry::centreZoomedAbout(anchor, before, full, viewport, to, 1));
            const QPointF now = ZoomGeometry::imagePoint(anchor, after, full);
            // Along each axis the point stays put, or the image is centred or pinned to an edge.
            const bool xHeld = std::abs(now.x() - held.x()) < 1e-3 ||
                               after.width() <= viewport.width() ||
                               std::abs(after.left() - viewport.left()) < tolerance ||
                               std::abs(after.right() - viewport.right()) < tolerance;
            const bool yHeld = std::abs(now.y() - held.y()) < 1e-3 ||
                               after.height() <= viewport.height() ||
                               std::abs(after.top() - viewport.top()) < tolerance ||
                               std::abs(after.bottom() - viewport.bottom()) < tolerance;
            QVERIFY2(xHeld && yHeld, qPrintable(QStringLiteral("trial %1").arg(trial)));
        }
    }

    void stepsClimbAndDescendToFit()
    {
        const double fit = 0.2;
        double zoom = fit;
        std::vector<double> climbed;
        while (zoom < ZoomGeometry::maximumZoom) {
            const double next = ZoomGeometry::zoomedIn(zoom);
            QVERIFY(next > zoom);
            climbed.push_back(zoom = next);
        }
        QVERIFY(std::find(climbed.begin(), climbed.end(), ZoomGeometry::actualSize) !=
                climbed.end());
        for (auto step = climbed.rbegin() + 1; step != climbed.rend(); ++step) {
            zoom = ZoomGeometry::zoomedOut(zoom, fit);
            QCOMPARE(zoom, *step);
        }
        QCOMPARE(ZoomGeometry::zoomedOut(zoom, fit), fit);
    }

    void detailTilesShrinkBelowActualSizeOnly()
    {
        const Image8 full(8, 6, std::vector<std::uint8_t>(8 * 6 * 4, 200));
        const Image8 exact = DetailTile::crop(full, QRect(2, 1, 4, 3), 1);
        QCOMPARE(exact.width(), 4);
        QCOMPARE(exact.height(), 3);
        QCOMPARE(DetailTile::crop(full, QRect(0, 0, 8, 6), 4).width(), 8);
        const Image8 half = DetailTile::crop(full, QRect(0, 0, 8, 6), 0.5);
        QCOMPARE(half.width(), 4);
        QCOMPARE(half.height(), 3);
        QCOMPARE(half.sample(1, 1, 0), std::uint8_t{200});
    }

    void gridCellsCoverAnAreaOnceAndGradeAsTheWholeWould()
    {
        std::mt19937 random(23);
        std::uniform_int_distribution<int> length(1, 500), offset(-100, 600);
        const PreviewRenderer renderer;
        const LUT3D lut = LUT3D::build(5, [](const RGB& c) {
            return RGB{c.g * c.g, 1 - c.b, 0.5f * (c.r + c.b)};
        });
        const QSize photo(640, 480);
        std::vector<std::uint8_t> samples(
            static_cast<std::size_t>(photo.width() * photo.height() * Image8::channels));
        std::generate(samples.begin(), samples.end(), random);
        const Image8 full(photo.width(), photo.height(), samples);
        const Image8 graded = renderer.render(full, lut);
        for (int trial = 0; trial < 100; ++trial) {
            const QRect bounds(0, 0, length(random), length(random));
            const QRect area(offset(random), offset(random), length(random), length(random));
            const std::vector<QRect> cells = DetailTile::cells(area, bounds);
            // Every pixel of the area on the image lies in exactly one cell; each cell is a grid
            // square (cut at the image's edge) that meets the area.
            std::vector<int> hits(static_cast<std::size_t>(bounds.width()) * bounds.height());
            for (const QRect& cell : cells) {
                QVERIFY(bounds.contains(cell) && cell.intersects(area));
                QCOMPARE(cell,
                         QRect(cell.left(), cell.top(), DetailTile::cellEdge, DetailTile::cellEdge)
                             .intersected(bounds));
                QCOMPARE(cell.left() % DetailTile::cellEdge, 0);
                QCOMPARE(cell.top() % DetailTile::cellEdge, 0);
                for (int y = cell.top(); y <= cell.bottom(); ++y)
                    for (int x = cell.left(); x <= cell.right(); ++x)
                        ++hits[static_cast<std::size_t>(y) * bounds.width() + x];
            }
            for (int y = 0; y < bounds.height(); ++y)
                for (int x = 0; x < bounds.width(); ++x) {
                    const int hit = hits[static_cast<std::size_t>(y) * bounds.width() + x];
                    QVERIFY(hit <= 1);
                    if (area.contains(x, y))
                        QCOMPARE(hit, 1);
                }

            // Graded together, each piece is what grading the photo whole gives there.
            const std::vector<QRect> pieces =
                DetailTile::cells(area, bounds.intersected(QRect(QPoint(0, 0), photo)));
            const std::vector<QImage> images = DetailTile::gradedPieces(
                full, pieces, [&](const Image8& pixels) { return renderer.render(pixels, lut); });
            QCOMPARE(images.size(), pieces.size());
            for (std::size_t k = 0; k < pieces.size(); ++k) {
                QCOMPARE(images[k].size(), pieces[k].size());
                const auto rowBytes =
                    static_cast<std::size_t>(pieces[k].width()) * Image8::channels;
                for (int y = 0; y < pieces[k].height(); ++y)
                    QVERIFY(std::memcmp(images[k].constScanLine(y),
                                        graded.data() +
                                            (std::int64_t{pieces[k].top() + y} * photo.width() +
                                             pieces[k].left()) *
                                                Image8::channels,
                                        rowBytes) == 0);
            }
        }
    }

    // The comparison on a photo.

    void shortcutsAndTheToggleSwitchTheZoom()
    {
        ZoomHarness harness;
        CompareView* view = harness.view;
        QAbstractButton* toggle = harness.pane->controls()->zoomToggle();
        QVERIFY(view->isFit());
        QVERIFY(view->zoom() < 1);
        QVERIFY(!toggle->isChecked());

        QTest::keyClick(&harness.window, Qt::Key_0, Qt::ControlModifier | Qt::AltModifier);
        QVERIFY(!view->isFit());
        QCOMPARE(view->zoom(), 1.0);
        QVERIFY(toggle->isChecked());
        QCOMPARE(view->imageRect().size(), QSizeF(photoWidth, photoHeight));

        QToolButton* readout = harness.pane->controls()->zoomReadout();
        QCOMPARE(readout->text(), QStringLiteral("100 %"));

        // Any other zoom is shown as a percentage and leaves 1:1 unlit; clicked there, 1:1 goes
        // to 1:1.
        QTest::keyClick(&harness.window, Qt::Key_Plus, Qt::ControlModifier);
        QCOMPARE(view->zoom(), ZoomGeometry::zoomedIn(1));
        QVERIFY(!toggle->isChecked());
        QCOMPARE(readout->text(),
                 QStringLiteral("%1 %").arg(std::lround(ZoomGeometry::zoomedIn(1) * 100)));
        toggle->click();
        QCOMPARE(view->zoom(), 1.0);
        QVERIFY(toggle->isChecked());
        QTest::keyClick(&harness.window, Qt::Key_Plus, Qt::ControlModifier);
        QTest::keyClick(&harness.window, Qt::Key_Minus, Qt::ControlModifier);
        QCOMPARE(view->zoom(), 1.0);
        QTest::keyClick(&harness.window, Qt::Key_0, Qt::ControlModifier);
        QVERIFY(view->isFit());
        QVERIFY(!toggle->isChecked());

        // From fit, Ctrl+minus stays at fit; Ctrl+plus goes to the first step above it.
        const double fit = view->zoom();
        QTest::keyClick(&harness.window, Qt::Key_Minus, Qt::ControlModifier);
        QVERIFY(view->isFit());
        QCOMPARE(readout->text(), QStringLiteral("%1 %").arg(std::lround(fit * 100)));
        QTest::keyClick(&harness.window, Qt::Key_Equal, Qt::ControlModifier);
        QCOMPARE(view->zoom(), ZoomGeometry::zoomedIn(fit));
        QVERIFY(!toggle->isChecked());
        toggle->click();
        QCOMPARE(view->zoom(), 1.0);
        toggle->click();
        QVERIFY(view->isFit());
        toggle->click();
        QCOMPARE(view->zoom(), 1.0);

        // Another photo starts at fit again.
        harness.model->load(harness.files.writePhoto(QStringLiteral("other"), {1, 1, 1}, 300, 200),
                            Slot::lookReference);
        QVERIFY(waitUntilIdle(*harness.model, jobTimeoutMs));
        QTRY_VERIFY(view->isFit());
        // A photo smaller than the pane is shown at 1:1, not enlarged.
        QCOMPARE(view->imageRect().size(), QSizeF(300, 200));
    }

    void wheelZoomsAboutThePointerAndDragPansToTheEdges()
    {
        ZoomHarness harness;
        CompareView* view = harness.view;
        view->zoomToActualSize();
        const QPointF anchor(view->width() * 0.3, view->height() * 0.6);
        for (int angle : {120, 240, -120, 60, -360}) {
            const QPointF held = view->imagePointAt(anchor);
            wheel(view, anchor, angle, Qt::ControlModifier);
            QVERIFY2(near(view->imagePointAt(anchor), held, 1.0 / view->zoom()),
                     qPrintable(QStringLiteral("angle %1").arg(angle)));
        }
        // A touchpad pinch does the same about the fingers.
        for (double spread : {0.25, -0.1, 0.5}) {
            const double before = view->zoom();
            const QPointF held = view->imagePointAt(anchor);
            pinch(view, anchor, spread);
            QCOMPARE(view->zoom(), before * (1.0 + spread));
            QVERIFY(near(view->imagePointAt(anchor), held, 1.0 / view->zoom()));
        }
        view->zoomToActualSize();
        const QPointF start = view->imageRect().topLeft();

        // A drag away from the split line moves the image with the pointer.
        const QPointF from(view->width() * 0.8, view->height() / 2.0);
        mouse(view, QEvent::MouseButtonPress, from, Qt::LeftButton);
        mouse(view, QEvent::MouseMove, from + QPointF(-40, -30), Qt::LeftButton);
        mouse(view, QEvent::MouseButtonRelease, from + QPointF(-40, -30), Qt::LeftButton);
        QCOMPARE(view->imageRect().topLeft(), start + QPointF(-40, -30));
        QCOMPARE(harness.model->split(), 0.5);

        // Panning stops with the image's edge at the view's edge, in all four directions.
        view->panBy({1e6, 1e6});
        QCOMPARE(view->imageRect().topLeft(), QPointF(0, 0));
        mouse(view, QEvent::MouseButtonPress, from, Qt::MiddleButton);
        mouse(view, QEvent::MouseMove, from + QPointF(-1e5, -1e5), Qt::MiddleButton);
        mouse(view, QEvent::MouseButtonRelease, from, Qt::MiddleButton);
        QCOMPARE(view->imageRect().right(), double(view->width()));
        QCOMPARE(view->imageRect().bottom(), double(view->height()));
        // The plain wheel scrolls the image.
        wheel(view, from, 120, Qt::NoModifier);
        QVERIFY(view->imageRect().bottom() > view->height());
    }

    void zoomReadoutIsAlsoTheZoomMenu()
    {
        ZoomHarness harness;
        CompareView* view = harness.view;
        QToolButton* readout = harness.pane->controls()->zoomReadout();
        QVERIFY(readout->menu());
        const auto choose = [readout](const QString& text) {
            for (QAction* action : readout->menu()->actions())
                if (action->text() == text) {
                    action->trigger();
                    return true;
                }
            return false;
        };
        const double fit = view->zoom();
        struct Choice {
            const char* text;
            bool fit;
            double zoom;
        };
        for (const Choice& choice :
             {Choice{"200 %", false, 2.0}, Choice{"50 %", false, 0.5}, Choice{"Fit", true, fit},
              Choice{"100 %", false, 1.0}, Choice{"Zoom In", false, ZoomGeometry::zoomedIn(1)},
              Choice{"Zoom Out", false, 1.0}}) {
            QVERIFY2(choose(QString::fromUtf8(choice.text)), choice.text);
            QCOMPARE(view->isFit(), choice.fit);
            QCOMPARE(view->zoom(), choice.zoom);
            QCOMPARE(readout->text(), QStringLiteral("%1 %").arg(std::lround(choice.zoom * 100)));
        }
    }

    void fittedKeepsItsMarginAndZoomedInUsesTheWholeWidth()
    {
        ZoomHarness harness;
        CompareView* view = harness.view;
        QCOMPARE(view->width(), harness.pane->width());
        const QRectF fitted = view->visibleImageRect();
        QVERIFY(fitted.left() >= 20 && fitted.right() <= view->width() - 20);
        for (double zoom : {0.5, 1.0, 4.0}) {
            view->zoomTo(zoom);
            QCOMPARE(view->visibleImageRect().left(), 0.0);
            QCOMPARE(view->visibleImageRect().right(), double(view->width()));
        }
        view->zoomToFit();
        QCOMPARE(view->visibleImageRect(), fitted);
    }

    void sideBySideHalvesZoomAndPanTogether()
    {
        ZoomHarness harness;
        CompareView* view = harness.view;
        harness.model->setCompareStyle(CompareStyle::sideBySide);
        QVERIFY(!view->splitHandle()->isVisible());
        const auto halvesAgree = [view](const char* when) {
            const double offset = view->sideOffset();
            const QRectF left = view->visibleImageRect();
            QVERIFY2(offset >= left.width() && left.right() + offset <= view->width() + 1e-6, when);
            for (double u : {0.1, 0.5, 0.9})
                for (double v : {0.2, 0.7}) {
                    const QPointF at(left.left() + u * left.width(),
                                     left.top() + v * left.height());
                    QVERIFY2(near(view->imagePointAt(at),
                                  view->imagePointAt(at + QPointF(offset, 0)), 1e-6),
                             when);
                }
        };
        halvesAgree("fitted");

        // Ctrl+wheel over the right half zooms both about the point under the pointer.
        // At mid-height, where a photo shorter than the view stays centred.
        const QPointF anchor(view->width() * 0.8, view->height() * 0.5);
        const QPointF held = view->imagePointAt(anchor);
        wheel(view, anchor, 240, Qt::ControlModifier);
        QVERIFY(!view->isFit());
        QVERIFY(near(view->imagePointAt(anchor), held, 1.0 / view->zoom()));
        halvesAgree("zoomed");

        // A drag in the right half pans both, and leaves the split alone.
        view->zoomToActualSize();
        const QPointF start = view->imageRect().topLeft();
        mouse(view, QEvent::MouseButtonPress, anchor, Qt::LeftButton);
        mouse(view, QEvent::MouseMove, anchor + QPointF(-30, 20), Qt::LeftButton);
        mouse(view, QEvent::MouseButtonRelease, anchor + QPointF(-30, 20), Qt::LeftButton);
        QCOMPARE(view->imageRect().topLeft(), start + QPointF(-30, 20));
        QCOMPARE(harness.model->split(), 0.5);
        halvesAgree("panned");

        // Both halves read the same point's colours.
        QTRY_VERIFY_WITH_TIMEOUT(view->showsFullResolution(), jobTimeoutMs);
        const QPointF inLeft = view->visibleImageRect().center();
        QCOMPARE(view->coloursAt(inLeft), view->coloursAt(inLeft + QPointF(view->sideOffset(), 0)));
        QVERIFY(view->coloursAt(inLeft)->original != view->coloursAt(inLeft)->graded);
    }

    void splitLineStaysOnScreenAndKeepsItsDragAtAnyZoom()
    {
        ZoomHarness harness;
        CompareView* view = harness.view;
        harness.model->setSplit(0.25);
        view->zoomToActualSize();
        view->panBy({300, 0});
        // The split divides the part of the photo on screen, which fills the view.
        QCOMPARE(view->visibleImageRect(), QRectF(view->rect()));
        const double lineX = 0.25 * view->width();
        QVERIFY(std::abs(view->splitHandle()->geometry().center().x() - lineX) <= 1);
        view->panBy({-200, 0});
        QVERIFY(std::abs(view->splitHandle()->geometry().center().x() - lineX) <= 1);

        // A drag on the line moves the split, not the image.
        const QRectF before = view->imageRect();
        const double y = view->height() / 2.0;
        mouse(view, QEvent::MouseButtonPress, {lineX + 3, y}, Qt::LeftButton);
        mouse(view, QEvent::MouseMove, {view->width() * 0.75, y}, Qt::LeftButton);
        mouse(view, QEvent::MouseButtonRelease, {view->width() * 0.75, y}, Qt::LeftButton);
        QCOMPARE(harness.model->split(), 0.75);
        QCOMPARE(view->imageRect(), before);

        // Each side of the line shows its own image at this zoom too: the checkerboard's
        // one-pixel pairs differ after grading on the right.
        harness.model->setCompareStyle(CompareStyle::original);
        QTRY_VERIFY(view->showsFullResolution());
        const QImage original = view->grab().toImage();
        harness.model->setCompareStyle(CompareStyle::split);
        const QImage split = view->grab().toImage();
        const int row = view->height() / 2;
        QCOMPARE(split.pixel(view->width() / 4, row), original.pixel(view->width() / 4, row));
        QVERIFY(split.pixel(view->width() * 7 / 8, row) !=
                original.pixel(view->width() * 7 / 8, row));
    }

    void actualSizeShowsTheFullSizePhotoGraded()
    {
        ZoomHarness harness;
        CompareView* view = harness.view;
        harness.model->setCompareStyle(CompareStyle::graded);
        fixtures::adjust(*harness.model,
                         [&](GradeRecipe::Settings& s) { s.intensity = static_cast<float>(0.8); });
        QVERIFY(waitUntilIdle(*harness.model, jobTimeoutMs));
        view->zoomToActualSize();
        view->panBy({-517, 233});
        QTRY_VERIFY_WITH_TIMEOUT(view->showsFullResolution(), jobTimeoutMs);

        const Image8 full =
            ImageLoader::loadFull(QFile::encodeName(harness.photo).toStdString()).image.image();
        const Image8 expected =
            harness.model->previewRenderer().render(full, *harness.model->previewLUT());
        const QImage shown = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QImage copy = harness.model->previewGraded().convertToFormat(QImage::Format_RGB32);
        std::mt19937 random(3);
        std::uniform_int_distribution<int> x(0, view->width() - 1), y(0, view->height() - 1);
        int blurred = 0;
        for (int sample = 0; sample < 400; ++sample) {
            const QPoint at(x(random), y(random));
            const QPointF image = view->imagePointAt(QPointF(at) + QPointF(0.5, 0.5));
            const QRgb want = pixelAt(expected, image);
            // Badges sit in the top corners; the rest is the photo, pixel for pixel.
            if (at.y() < 40)
                continue;
            QCOMPARE(shown.pixel(at), want);
            // The readout reports the same full-size pixel.
            QCOMPARE(view->coloursAt(QPointF(at) + QPointF(0.5, 0.5))->graded, want);
            const QPoint inCopy(static_cast<int>(image.x() * copy.width() / photoWidth),
                                static_cast<int>(image.y() * copy.height() / photoHeight));
            blurred += copy.pixel(inCopy) != want;
        }
        // The model's bounded copy could not have shown these pixels.
        QVERIFY(blurred > 100);
    }

    void pansKeepTheDetailExactAndANewGradeRedrawsIt()
    {
        ZoomHarness harness;
        CompareView* view = harness.view;
        AppModel& model = *harness.model;
        harness.showGradedAtActualSize();
        const Image8 full =
            ImageLoader::loadFull(QFile::encodeName(harness.photo).toStdString()).image.image();
        const auto gradedWhole = [&] {
            return model.previewRenderer().render(full, *model.previewLUT(),
                                                  model.previewInterpolation());
        };
        // Screen pixels (below the badges) that differ from the photo graded whole at once.
        const auto differing = [&](const Image8& expected) {
            const QImage shown = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
            int count = 0;
            for (int y = 40; y < shown.height(); ++y)
                for (int x = 0; x < shown.width(); ++x)
                    count += shown.pixel(x, y) !=
                             pixelAt(expected, view->imagePointAt(QPointF(x + 0.5, y + 0.5)));
            return count;
        };

        // Short and long pans in every direction, out to the edges and back over kept ground,
        // and a zoom in and back: the screen always shows the whole grade, without seams.
        Image8 expected = gradedWhole();
        std::mt19937 random(29);
        std::uniform_real_distribution<double> step(-700, 700);
        for (int pan = 0; pan < 24; ++pan) {
            const double length = pan % 3 == 0 ? 1 : 0.1;
            view->panBy({step(random) * length, step(random) * length});
            if (pan == 12) {
                view->zoomIn();
                view->zoomToActualSize();
            }
            if (pan % 6 == 5)
                QCOMPARE(differing(expected), 0);
        }

        // Another grade (the intensity, then the interpolation) redraws every pixel on screen.
        const Image8 before = expected;
        fixtures::adjust(model,
                         [&](GradeRecipe::Settings& s) { s.intensity = static_cast<float>(0.3); });
        QVERIFY(waitUntilIdle(model, jobTimeoutMs));
        expected = gradedWhole();
        QVERIFY(differing(before) > 1000);
        QCOMPARE(differing(expected), 0);
        model.setPreviewInterpolation(Interpolation::tetrahedral);
        QVERIFY(waitUntilIdle(model, jobTimeoutMs));
        QVERIFY(!(gradedWhole() == expected));
        expected = gradedWhole();
        QCOMPARE(differing(expected), 0);
    }

    void belowActualSizeTheShrunkDetailLandsInTheBackgroundWithTheNewestGrade()
    {
        ZoomHarness harness;
        CompareView* view = harness.view;
        AppModel& model = *harness.model;
        harness.showGradedAtActualSize();

        // Past the bounded copy but below 1:1 the shrunk tile is made off the main thread: the
        // zoom returns before it, and a grade changed meanwhile is the one that lands.
        const double belowActual = 0.8;
        QVERIFY(belowActual * photoWidth > model.previewGraded().width());
        view->zoomAbout(belowActual, QRectF(view->rect()).center());
        QVERIFY(!view->showsFullResolution());
        fixtures::adjust(model,
                         [&](GradeRecipe::Settings& s) { s.intensity = static_cast<float>(0.3); });
        QVERIFY(waitUntilIdle(model, jobTimeoutMs));
        QTRY_VERIFY_WITH_TIMEOUT(view->showsFullResolution(), jobTimeoutMs);

        // Both sides come from one shrunk tile, so the graded side is the original's pixels
        // through the current table, pixel for pixel.
        const QImage graded = view->grab().toImage().convertToFormat(QImage::Format_RGBX8888);
        model.setCompareStyle(CompareStyle::original);
        const QImage original = view->grab().toImage().convertToFormat(QImage::Format_RGBX8888);
        QCOMPARE(graded.size(), original.size());
        std::vector<std::uint8_t> samples;
        for (int y = 0; y < original.height(); ++y)
            samples.insert(samples.end(), original.constScanLine(y),
                           original.constScanLine(y) + original.width() * Image8::channels);
        const Image8 expected =
            model.previewRenderer().render(Image8(original.width(), original.height(), samples),
                                           *model.previewLUT(), model.previewInterpolation());
        int differing = 0;
        for (int y = 40; y < graded.height(); ++y)
            for (int x = 0; x < graded.width(); ++x)
                for (int c = 0; c < 3; ++c)
                    differing += graded.constScanLine(y)[x * Image8::channels + c] !=
                                 expected.sample(x, y, c);
        QCOMPARE(differing, 0);
    }
};

QTEST_MAIN(ZoomTests)
#include "ZoomTests.moc"
