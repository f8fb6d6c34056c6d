#include "Commands.hpp"
#include "CompareGeometry.hpp"
#include "CompareView.hpp"
#include "EmptyDropZone.hpp"
#include "ModelFixtures.hpp"
#include "Presentation.hpp"
#include "PreviewControls.hpp"
#include "PreviewPane.hpp"
#include "SplitHandle.hpp"
#include "StatusChip.hpp"
#include "ToastView.hpp"
#include "imaging/PreviewRenderer.hpp"

#include "color/ColorMath.hpp"
#include "imaging/HeatMap.hpp"
#include "imaging/ImageLoader.hpp"

#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

#include <random>

using namespace lumivert;
using fixtures::ModelHarness;
using fixtures::waitUntilIdle;

namespace {

constexpr int jobTimeoutMs = 60000;

// A model with its own settings and panels, and a pane on it shown at a usual size.
struct PaneHarness {
    ModelHarness files;
    std::unique_ptr<AppModel> model = files.makeModel();
    std::unique_ptr<PreviewPane> pane;

    PaneHarness()
    {
        QVERIFY(waitUntilIdle(*model));
        pane = std::make_unique<PreviewPane>(*model);
        pane->resize(900, 640);
        pane->show();
        QVERIFY(QTest::qWaitForWindowExposed(pane.get()));
    }

    // Loads a generated photo into the slot and waits until the model is idle again.
    void loadPhoto(const QString& name, Slot slot)
    {
        model->load(files.writePhoto(name), slot);
        QVERIFY(waitUntilIdle(*model, jobTimeoutMs));
        QVERIFY(model->images().contains(slot));
    }
};

// One of each button's strings: its text, tool tip or accessible name.
QStringList each(const QList<QAbstractButton*>& buttons,
                 QString (QAbstractButton::*string)() const = &QAbstractButton::text)
{
    QStringList result;
    for (const QAbstractButton* button : buttons)
        result << (button->*string)();
    return result;
}

void sendMouse(QWidget* widget, QEvent::Type type, const QPointF& position)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, position, widget->mapToGlobal(position), button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
}

// Drags the URLs onto the widget and drops them there, as the window system would; returns
// whether the widget accepted the drop.
bool drop(QWidget* widget, const QList<QUrl>& urls)
{
    QMimeData data;
    data.setUrls(urls);
    const QPoint centre = widget->rect().center();
    QDragEnterEvent enter(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &enter);
    QDropEvent event(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
    return event.isAccepted();
}

}  // namespace

class PreviewPaneTests : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // What fills the pane.

    void emptyZoneGivesWayToAnyInputOfTheMode_data()
    {
        QTest::addColumn<Mode>("mode");
        QTest::addColumn<Slot>("slot");
        QTest::newRow("look") << Mode::look << Slot::lookReference;
        QTest::newRow("match, reference only") << Mode::match << Slot::matchReference;
        QTest::newRow("match, photo only") << Mode::match << Slot::matchSource;
        QTest::newRow("edit, after only") << Mode::edit << Slot::editAfter;
        QTest::newRow("edit, before only") << Mode::edit << Slot::editBefore;
    }

    void emptyZoneGivesWayToAnyInputOfTheMode()
    {
        QFETCH(Mode, mode);
        QFETCH(Slot, slot);
        PaneHarness harness;
        harness.model->setMode(mode);
        QVERIFY(harness.pane->showsEmptyZone());
        QVERIFY(!harness.pane->showsCompareView());

        harness.loadPhoto(QStringLiteral("input"), slot);
        QVERIFY(!harness.pane->showsEmptyZone());
        QVERIFY(harness.pane->showsCompareView());

        harness.model->remove(slot);
        QVERIFY(harness.pane->showsEmptyZone());
        QVERIFY(!harness.pane->showsCompareView());
    }

    void emptyZoneGivesWayToAGradedHald()
    {
        PaneHarness harness;
        harness.model->setMode(Mode::hald);
        QVERIFY(harness.pane->showsEmptyZone());
        const QString haldPath = harness.files.path(QStringLiteral("Identity HALD 8.png"));
        harness.files.panels().answers.push_back(haldPath);
        harness.model->saveIdentityHALD();
        QTRY_VERIFY_WITH_TIMEOUT(harness.model->toast().has_value(), jobTimeoutMs);

        harness.model->load(haldPath, Slot::hald);
        QVERIFY(waitUntilIdle(*harness.model, jobTimeoutMs));
        QVERIFY(harness.model->haldLUT() != nullptr);
        QVERIFY(!harness.pane->showsEmptyZone());
        QVERIFY(harness.pane->showsCompareView());
    }

    void previewPhotoAsSourceReplacesTheEmptyZone()
    {
        PaneHarness harness;
        harness.loadPhoto(QStringLiteral("elsewhere"), Slot::preview);
        QCOMPARE(harness.model->previewSource(), PreviewSource::photo);
        QVERIFY(!harness.pane->showsEmptyZone());
        QVERIFY(harness.pane->showsCompareView());

        harness.model->setPreviewSource(PreviewSource::testChart);
        QVERIFY(harness.pane->showsEmptyZone());
        harness.model->setPreviewSource(PreviewSource::photo);
        QVERIFY(!harness.pane->showsEmptyZone());
        harness.model->remove(Slot::preview);
        QCOMPARE(harness.model->previewSource(), PreviewSource::testChart);
        QVERIFY(harness.pane->showsEmptyZone());
    }

    // The empty zone.

    void emptyZoneExplainsEachMode_data()
    {
        QTest::addColumn<Mode>("mode");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("description");
        QTest::addColumn<bool>("offersTemplate");
        QTest::newRow("look") << Mode::look << QStringLiteral("Drop a photo with the look you want")
                              << QStringLiteral("Lumivert reads its tones, colour cast, "
                                                "colourfulness and palette, and turns them into a "
                                                "LUT you can use on any photo.")
                              << false;
        QTest::newRow("match") << Mode::match << QStringLiteral("Drop your photo and a reference")
                               << QStringLiteral("The LUT makes your photo’s tones and colours "
                                                 "follow the reference, shadows, mid-tones and "
                                                 "highlights separately.")
                               << false;
        QTest::newRow("edit") << Mode::edit
                              << QStringLiteral("Drop the original and your edited version")
                              << QStringLiteral("Use the same photo before and after a global "
                                                "edit. Lumivert learns the exact colour change as "
                                                "a LUT.")
                              << false;
        QTest::newRow("hald") << Mode::hald << QStringLiteral("Drop a graded HALD image")
                              << QStringLiteral("Save an identity HALD, grade it in any editor "
                                                "with adjustment layers only, then drop the "
                                                "result here.")
                              << true;
    }

    void emptyZoneExplainsEachMode()
    {
        QFETCH(Mode, mode);
        QFETCH(QString, title);
        QFETCH(QString, description);
        QFETCH(bool, offersTemplate);
        PaneHarness harness;
        harness.model->setMode(mode);
        EmptyDropZone* zone = harness.pane->emptyZone();
        QCOMPARE(zone->title(), title);
        QCOMPARE(zone->description(), description);
        QVERIFY(zone->chooseButton()->isVisibleTo(zone));
        QCOMPARE(zone->saveTemplateButton()->isVisibleTo(zone), offersTemplate);
        QVERIFY(zone->width() <= 640);
    }

    void emptyZoneButtonsCallTheModel()
    {
        PaneHarness harness;
        harness.model->setMode(Mode::match);
        EmptyDropZone* zone = harness.pane->emptyZone();
        QTest::mouseClick(zone->chooseButton(), Qt::LeftButton);
        QCOMPARE(harness.files.panels().imageMessages,
                 QStringList{QStringLiteral("Your photo: The photo you want to change")});

        harness.loadPhoto(QStringLiteral("mine"), Slot::matchSource);
        harness.model->remove(Slot::matchSource);
        harness.loadPhoto(QStringLiteral("theirs"), Slot::matchReference);
        harness.model->remove(Slot::matchReference);
        harness.model->setMode(Mode::hald);
        QTest::mouseClick(zone->saveTemplateButton(), Qt::LeftButton);
        QCOMPARE(harness.files.panels().saveRequests.size(), std::size_t{1});
        QCOMPARE(harness.files.panels().saveRequests.front().title,
                 QStringLiteral("Save Identity HALD"));
    }

    // The comparison.

    void imageFitsKeepingItsAspect_data()
    {
        QTest::addColumn<QSizeF>("image");
        QTest::addColumn<QRectF>("available");
        QTest::addColumn<QRectF>("expected");
        QTest::newRow("wide image in a square")
            << QSizeF(200, 100) << QRectF(0, 0, 400, 400) << QRectF(0, 100, 400, 200);
        QTest::newRow("tall image in a wide box")
            << QSizeF(100, 200) << QRectF(10, 20, 600, 300) << QRectF(235, 20, 150, 300);
        QTest::newRow("small image grows")
            << QSizeF(3, 2) << QRectF(0, 0, 300, 300) << QRectF(0, 50, 300, 200);
        QTest::newRow("no image") << QSizeF(0, 0) << QRectF(0, 0, 300, 300) << QRectF();
        QTest::newRow("no height") << QSizeF(40, 0) << QRectF(0, 0, 300, 300) << QRectF();
        QTest::newRow("no room") << QSizeF(40, 30) << QRectF(0, 0, 0, 300) << QRectF();
    }

    void imageFitsKeepingItsAspect()
    {
        QFETCH(QSizeF, image);
        QFETCH(QRectF, available);
        QFETCH(QRectF, expected);
        const QRectF fitted = CompareGeometry::fittedRect(image, available);
        QCOMPARE(fitted, expected);
    }

    void splitFollowsThePointerWithinTheImage_data()
    {
        QTest::addColumn<double>("x");
        QTest::addColumn<QRectF>("image");
        QTest::addColumn<double>("expected");
        QTest::newRow("left edge") << 100.0 << QRectF(100, 0, 400, 300) << 0.0;
        QTest::newRow("quarter") << 200.0 << QRectF(100, 0, 400, 300) << 0.25;
        QTest::newRow("right edge") << 500.0 << QRectF(100, 0, 400, 300) << 1.0;
        QTest::newRow("beyond the left") << -50.0 << QRectF(100, 0, 400, 300) << 0.0;
        QTest::newRow("beyond the right") << 900.0 << QRectF(100, 0, 400, 300) << 1.0;
        QTest::newRow("no width") << 100.0 << QRectF(100, 0, 0, 300) << 0.0;
        QTest::newRow("negative width") << 100.0 << QRectF(100, 0, -20, 300) << 0.0;
    }

    void splitFollowsThePointerWithinTheImage()
    {
        QFETCH(double, x);
        QFETCH(QRectF, image);
        QFETCH(double, expected);
        QCOMPARE(CompareGeometry::splitAt(x, image), expected);
    }

    void draggingTheSplitStaysWithinTheImage()
    {
        PaneHarness harness;
        harness.loadPhoto(QStringLiteral("look"), Slot::lookReference);
        CompareView* view = harness.pane->compareView();
        const QRectF image = view->imageRect();
        QVERIFY(!image.isEmpty());
        // The photo is 96 × 64: it fills the width of the room the pane leaves it.
        QCOMPARE(image.width() / image.height(), 1.5);

        const double y = image.center().y();
        QSignalSpy splits(harness.model.get(), &AppModel::splitChanged);
        sendMouse(view, QEvent::MouseButtonPress, {image.left() + image.width() / 4, y});
        QCOMPARE(harness.model->split(), 0.25);
        sendMouse(view, QEvent::MouseMove, {image.right() + 80, y});
        QCOMPARE(harness.model->split(), 1.0);
        sendMouse(view, QEvent::MouseMove, {image.left() - 80, y});
        QCOMPARE(harness.model->split(), 0.0);
        sendMouse(view, QEvent::MouseButtonRelease, {image.left() - 80, y});
        QCOMPARE(splits.count(), 3);

        // After the release, moving the pointer changes nothing.
        sendMouse(view, QEvent::MouseMove, {image.center().x(), y});
        QCOMPARE(harness.model->split(), 0.0);
    }

    void arrowKeysNudgeTheSplitWithinItsRange()
    {
        PaneHarness harness;
        harness.loadPhoto(QStringLiteral("look"), Slot::lookReference);
        CompareView* view = harness.pane->compareView();
        harness.model->setSplit(0.95);
        QTest::keyClick(view, Qt::Key_Right, Qt::ShiftModifier);
        QCOMPARE(harness.model->split(), 1.0);
        QTest::keyClick(view, Qt::Key_Left);
        QCOMPARE(harness.model->split(), 0.99);
        harness.model->setSplit(0.05);
        QTest::keyClick(view, Qt::Key_Left, Qt::ShiftModifier);
        QCOMPARE(harness.model->split(), 0.0);

        harness.model->setCompareStyle(CompareStyle::original);
        QTest::keyClick(view, Qt::Key_Right);
        QCOMPARE(harness.model->split(), 0.0);
    }

    void splitIgnoresPressesOffTheImageAndOutsideSplitStyle()
    {
        PaneHarness harness;
        harness.loadPhoto(QStringLiteral("look"), Slot::lookReference);
        CompareView* view = harness.pane->compareView();
        // In a tall pane the 3 : 2 photo leaves room above it.
        harness.pane->resize(700, 900);
        QTRY_VERIFY(view->imageRect().top() > 1);
        const QRectF image = view->imageRect();
        QSignalSpy splits(harness.model.get(), &AppModel::splitChanged);

        sendMouse(view, QEvent::MouseButtonPress, {image.center().x() + 20, image.top() - 1});
        sendMouse(view, QEvent::MouseMove, {image.right(), image.center().y()});
        sendMouse(view, QEvent::MouseButtonRelease, {image.right(), image.center().y()});

        harness.model->setCompareStyle(CompareStyle::graded);
        sendMouse(view, QEvent::MouseButtonPress, {image.left() + 1, image.center().y()});
        sendMouse(view, QEvent::MouseButtonRelease, {image.left() + 1, image.center().y()});
        QCOMPARE(splits.count(), 0);
        QCOMPARE(harness.model->split(), 0.5);
        QVERIFY(view->splitHandle()->isHidden());
    }

    void accessibleValueNamesTheComparison_data()
    {
        QTest::addColumn<CompareStyle>("style");
        QTest::addColumn<double>("split");
        QTest::addColumn<QString>("expected");
        QTest::newRow("half") << CompareStyle::split << 0.5
                              << QStringLiteral("Split at 50 percent");
        QTest::newRow("truncated, not rounded")
            << CompareStyle::split << 0.379 << QStringLiteral("Split at 37 percent");
        QTest::newRow("almost all")
            << CompareStyle::split << 0.999 << QStringLiteral("Split at 99 percent");
        QTest::newRow("all") << CompareStyle::split << 1.0
                             << QStringLiteral("Split at 100 percent");
        QTest::newRow("none") << CompareStyle::split << 0.0 << QStringLiteral("Split at 0 percent");
        QTest::newRow("original") << CompareStyle::original << 0.3 << QStringLiteral("Original");
        QTest::newRow("graded") << CompareStyle::graded << 0.3 << QStringLiteral("With LUT");
        QTest::newRow("difference")
            << CompareStyle::difference << 0.3 << QStringLiteral("Difference");
        QTest::newRow("side by side")
            << CompareStyle::sideBySide << 0.3 << QStringLiteral("Side by side");
    }

    void accessibleValueNamesTheComparison()
    {
        QFETCH(CompareStyle, style);
        QFETCH(double, split);
        QFETCH(QString, expected);
        PaneHarness harness;
        harness.model->setCompareStyle(style);
        harness.model->setSplit(split);
        QAccessibleInterface* element =
            QAccessible::queryAccessibleInterface(harness.pane->compareView());
        QVERIFY(element);
        QCOMPARE(element->text(QAccessible::Name), QStringLiteral("Preview"));
        QCOMPARE(element->text(QAccessible::Value), expected);
    }

    // The controls above the preview.

    void sourcePickerOffersTheModesSources_data()
    {
        QTest::addColumn<Mode>("mode");
        QTest::addColumn<QStringList>("labels");
        QTest::newRow("look") << Mode::look
                              << QStringList{QStringLiteral("Look photo"),
                                             QStringLiteral("Test chart")};
        QTest::newRow("match") << Mode::match
                               << QStringList{QStringLiteral("Your photo"),
                                              QStringLiteral("Test chart")};
        QTest::newRow("edit") << Mode::edit
                              << QStringList{QStringLiteral("Before"),
                                             QStringLiteral("Test chart")};
        QTest::newRow("hald") << Mode::hald << QStringList{QStringLiteral("Test chart")};
    }

    void sourcePickerOffersTheModesSources()
    {
        QFETCH(Mode, mode);
        QFETCH(QStringList, labels);
        PaneHarness harness;
        PreviewControls* controls = harness.pane->controls();
        harness.model->setMode(mode);
        QCOMPARE(each(controls->sourceButtons()), labels);

        harness.loadPhoto(QStringLiteral("extra"), Slot::preview);
        QCOMPARE(each(controls->sourceButtons()), labels << QStringLiteral("Preview photo"));
        QVERIFY(controls->sourceButtons().back()->isChecked());

        // Where the labels do not fit, the segments show icons named as the labels; never a cut
        // label.
        const QStringList withPreview = labels;  // the comparison above appended the photo
        for (const int width : {900, 430, 900}) {
            harness.pane->resize(width, 640);
            QTRY_COMPARE(controls->width(), harness.pane->width() - 2 * 12);
            bool labelled = true;
            for (QAbstractButton* button : controls->sourceButtons()) {
                auto* segment = static_cast<QToolButton*>(button);
                labelled = labelled && segment->toolButtonStyle() == Qt::ToolButtonTextOnly;
                QVERIFY(!segment->icon().isNull());
                QTRY_VERIFY(segment->width() >= segment->sizeHint().width());
            }
            // Narrow, the labels give way to icons unless moving the compare controls to a
            // second row made room for them.
            QVERIFY(width == 900 ? labelled : !labelled || controls->usesTwoRows());
            QCOMPARE(each(controls->sourceButtons(), &QWidget::accessibleName), withPreview);
        }

        // Picking a segment sets the source; the model's choice checks the segment.
        const int chart = static_cast<int>(labels.indexOf(QStringLiteral("Test chart")));
        QTest::mouseClick(controls->sourceButtons()[chart], Qt::LeftButton);
        QCOMPARE(harness.model->previewSource(), PreviewSource::testChart);
        harness.model->setPreviewSource(PreviewSource::photo);
        QVERIFY(controls->sourceButtons().back()->isChecked());
        QVERIFY(!controls->sourceButtons()[chart]->isChecked());

        harness.model->remove(Slot::preview);
        labels.removeLast();
        QCOMPARE(each(controls->sourceButtons()), labels);
    }

    void comparePickerSetsTheStyle()
    {
        PaneHarness harness;
        PreviewControls* controls = harness.pane->controls();
        const QList<QAbstractButton*> buttons = controls->compareButtons();
        QCOMPARE(each(buttons, &QWidget::toolTip),
                 (QStringList{QStringLiteral("Split"), QStringLiteral("Original"),
                              QStringLiteral("With LUT"), QStringLiteral("Difference"),
                              QStringLiteral("Side by side")}));
        QVERIFY(buttons[0]->isChecked());
        for (int index = 1; index < buttons.size(); ++index) {
            QTest::mouseClick(buttons[index], Qt::LeftButton);
            QCOMPARE(harness.model->compareStyle(), CompareStyles::allCases()[index]);
            QVERIFY(!buttons[0]->isChecked());
        }
        harness.model->setCompareStyle(CompareStyle::split);
        QVERIFY(buttons[0]->isChecked());
        QVERIFY(!buttons.back()->isChecked());
    }

    void backslashFlipsOriginalAndGradedUnlessTyping()
    {
        PaneHarness harness;
        QMainWindow window;
        auto* central = new QWidget;
        auto* column = new QVBoxLayout(central);
        auto* pane = new PreviewPane(*harness.model);
        auto* field = new QLineEdit;
        column->addWidget(pane);
        column->addWidget(field);
        window.setCentralWidget(central);
        installCommands(window, *harness.model);
        window.resize(900, 640);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));

        // From any style the key shows the original, then flips between it and the graded one.
        const std::array<CompareStyle, 4> flips{CompareStyle::original, CompareStyle::graded,
                                                CompareStyle::original, CompareStyle::graded};
        for (CompareStyle expected : flips) {
            QTest::keyClick(&window, Qt::Key_Backslash);
            QCOMPARE(harness.model->compareStyle(), expected);
        }
        harness.model->setCompareStyle(CompareStyle::sideBySide);
        QTest::keyClick(&window, Qt::Key_Backslash);
        QCOMPARE(harness.model->compareStyle(), CompareStyle::original);

        // In a text field the key is a character.
        field->setFocus(Qt::MouseFocusReason);
        QTest::keyClick(field, Qt::Key_Backslash);
        QCOMPARE(field->text(), QStringLiteral("\\"));
        QCOMPARE(harness.model->compareStyle(), CompareStyle::original);
    }

    void viewMenuOffersEveryCompareStyle()
    {
        PaneHarness harness;
        QMainWindow window;
        installCommands(window, *harness.model);
        const auto item = [&window](const QString& text) -> QAction* {
            for (QAction* action : window.findChildren<QAction*>())
                if (action->text() == text)
                    return action;
            return nullptr;
        };
        QAction* flip = item(QStringLiteral("Flip Original and With LUT"));
        QVERIFY(flip);
        QCOMPARE(flip->shortcut(), QKeySequence(Qt::Key_Backslash));
        for (CompareStyle style : CompareStyles::allCases()) {
            QAction* action = item(Presentation::compareStyleLabel(style));
            QVERIFY2(action, qPrintable(CompareStyles::rawValue(style)));
            action->trigger();
            QCOMPARE(harness.model->compareStyle(), style);
            QVERIFY(action->isChecked());
        }
        harness.model->setCompareStyle(CompareStyle::split);
        QVERIFY(item(QStringLiteral("Split"))->isChecked());
        QVERIFY(!item(QStringLiteral("Side by side"))->isChecked());
    }

    void colourReadoutShowsThePixelsUnderThePointer_data()
    {
        QTest::addColumn<CompareStyle>("style");
        QTest::newRow("split") << CompareStyle::split;
        QTest::newRow("side by side") << CompareStyle::sideBySide;
        QTest::newRow("original") << CompareStyle::original;
    }

    void colourReadoutShowsThePixelsUnderThePointer()
    {
        QFETCH(CompareStyle, style);
        PaneHarness harness;
        harness.loadPhoto(QStringLiteral("look"), Slot::lookReference);
        harness.model->setCompareStyle(style);
        CompareView* view = harness.pane->compareView();
        QLabel* readout = harness.pane->colourReadout();
        QVERIFY(!readout->isVisible());
        const QImage original = harness.model->previewOriginal();
        const QImage graded = harness.model->previewGraded();
        QVERIFY(!graded.isNull());
        QVERIFY(original != graded);
        const QRectF image = view->imageRect();
        const double scale = image.width() / graded.width();
        std::mt19937 random(5);
        std::uniform_int_distribution<int> column(0, graded.width() - 1),
            row(0, graded.height() - 1);
        for (int sample = 0; sample < 40; ++sample) {
            const QPoint pixel(column(random), row(random));
            // The centre of that preview pixel, in whichever half holds the graded side.
            const QPointF at = image.topLeft() + (QPointF(pixel) + QPointF(0.5, 0.5)) * scale +
                               QPointF(view->sideOffset(), 0);
            sendMouse(view, QEvent::MouseMove, at);
            const std::optional<CompareView::Colours> colours = view->pointerColours();
            QVERIFY(colours);
            QCOMPARE(colours->graded, graded.pixel(pixel));
            QCOMPARE(colours->original, original.pixel(pixel));
            QVERIFY(readout->isVisible());
            QVERIFY2(readout->text().contains(PreviewPane::levels(graded.pixel(pixel))),
                     qPrintable(readout->text()));
        }
        QCOMPARE(PreviewPane::levels(qRgb(7, 128, 255)), QStringLiteral("7 128 255"));

        // Off the image, or out of the view, it goes.
        sendMouse(view, QEvent::MouseMove, image.topLeft() - QPointF(5, 5));
        QVERIFY(!view->pointerColours());
        QVERIFY(!readout->isVisible());
        sendMouse(view, QEvent::MouseMove, image.center());
        QVERIFY(readout->isVisible());
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(view, &leave);
        QVERIFY(!readout->isVisible());
    }

    void differenceStyleShowsTheHeatMapWhereTheLUTMissesTheEdit()
    {
        // After is Before with a global tint, except a patch painted over by hand. Before's
        // colours change only across, so the patch's colours also appear untouched above and
        // below it: no LUT can make the patch, and the heat map lights up there alone.
        PaneHarness harness;
        // Large enough that the badge and the scale, drawn over a photo shown at 1:1, miss the
        // patch.
        constexpr int width = 384;
        constexpr int height = 256;
        const QRect patch(240, 80, 64, 32);
        std::vector<RGB> before;
        std::vector<RGB> after;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const RGB colour{x / float(width - 1), 0.5f, 0.4f};
                before.push_back(colour);
                after.push_back(patch.contains(x, y) ? RGB{0.1f, 0.9f, 0.9f}
                                                     : colour * RGB{0.9f, 0.95f, 1.0f});
            }
        const auto write = [&](const QString& name, std::vector<RGB> pixels) {
            const QString file = harness.files.path(name);
            ImageLoader::writePNG(PixelBuffer(width, height, std::move(pixels)),
                                  QFile::encodeName(file).toStdString(), false);
            return file;
        };
        harness.model->setMode(Mode::edit);
        harness.model->load(write(QStringLiteral("before.png"), before), Slot::editBefore);
        harness.model->load(write(QStringLiteral("after.png"), after), Slot::editAfter);
        QVERIFY(waitUntilIdle(*harness.model, jobTimeoutMs));
        QVERIFY(harness.model->previewDifference().isNull());

        harness.model->setCompareStyle(CompareStyle::difference);
        QVERIFY(waitUntilIdle(*harness.model, jobTimeoutMs));
        const QImage map = harness.model->previewDifference();
        QCOMPARE(map.size(), QSize(width, height));
        QCOMPARE(harness.model->differenceLabel(), QStringLiteral("\u0394E2000 to your edit"));
        const auto levels = [](const RGB& c) {
            return QColor(qRound(c.r * 255), qRound(c.g * 255), qRound(c.b * 255));
        };
        QCOMPARE(map.pixelColor(patch.center()).rgb(),
                 levels(HeatMap::colour(HeatMap::scaleTop)).rgb());
        const double lightnessOutside =
            ColorMath::luma({map.pixelColor(10, 50).redF(), map.pixelColor(10, 50).greenF(),
                             map.pixelColor(10, 50).blueF()});
        QVERIFY(lightnessOutside < ColorMath::luma(HeatMap::colour(2)));

        // The view draws the map where the image is: bright on the patch, dark beside it.
        CompareView* view = harness.pane->compareView();
        QTRY_VERIFY(!view->imageRect().isEmpty());
        const QImage shown = view->grab().toImage();
        const QRectF rect = view->imageRect();
        const auto at = [&](QPointF p) {
            const double scale = rect.width() / width;
            return shown.pixelColor((rect.topLeft() + p * scale).toPoint() *
                                    shown.devicePixelRatio());
        };
        QVERIFY(at(QPointF(patch.center()) + QPointF(0.5, 0.5)).lightnessF() > 0.5);
        QVERIFY(at(QPointF(20.5, 40.5)).lightnessF() < 0.35);

        // Against the test chart there is no After: the map shows what the LUT changes.
        harness.model->setPreviewSource(PreviewSource::testChart);
        QVERIFY(waitUntilIdle(*harness.model, jobTimeoutMs));
        QCOMPARE(harness.model->differenceLabel(), QStringLiteral("\u0394E2000 from original"));
        QCOMPARE(harness.model->previewDifference().size(), harness.model->previewGraded().size());
        harness.model->setCompareStyle(CompareStyle::split);
        QVERIFY(waitUntilIdle(*harness.model, jobTimeoutMs));
        QVERIFY(harness.model->previewDifference().isNull());
    }

    // The menu's interpolation reaches the preview only, and is remembered.
    void previewInterpolationMenuRendersThePreviewAndPersists()
    {
        PaneHarness harness;
        harness.loadPhoto(QStringLiteral("look"), Slot::lookReference);
        QMenu* menu = harness.pane->controls()->menuButton()->menu();
        QList<QAction*> choices;
        for (QAction* action : menu->actions())
            if (action->isCheckable())
                choices << action;
        QCOMPARE(choices.size(), 2);
        QCOMPARE(choices[0]->text(), QStringLiteral("Trilinear"));
        QCOMPARE(choices[1]->text(), QStringLiteral("Tetrahedral"));
        QVERIFY(choices[0]->isChecked());
        // The open menu shows its header whole.
        QLabel* header = harness.pane->controls()->interpolationHeader();
        QCOMPARE(header->text(), QStringLiteral("Preview interpolation"));
        menu->popup(QPoint(0, 0));
        QTRY_VERIFY(header->isVisible());
        QVERIFY(header->width() >= header->sizeHint().width());
        QVERIFY(header->contentsRect().width() >=
                header->fontMetrics().horizontalAdvance(header->text()));
        menu->hide();

        const auto rendered = [&](Interpolation interpolation) {
            const LUT3D lut =
                harness.model->currentPipeline().makeLUT(GradeRecipe::previewLatticeSize);
            return platformImage(PreviewRenderer().render(harness.model->previewInput().image(),
                                                          lut, interpolation));
        };
        QVERIFY(harness.model->previewGraded() == rendered(Interpolation::trilinear));
        QVERIFY(rendered(Interpolation::trilinear) != rendered(Interpolation::tetrahedral));
        choices[1]->trigger();
        QCOMPARE(harness.model->previewInterpolation(), Interpolation::tetrahedral);
        QVERIFY(waitUntilIdle(*harness.model, jobTimeoutMs));
        QVERIFY(harness.model->previewGraded() == rendered(Interpolation::tetrahedral));
        QVERIFY(choices[1]->isChecked() && !choices[0]->isChecked());

        // A new window starts with the remembered choice.
        QCOMPARE(harness.files.settings().value("previewInterpolation").toString(),
                 QStringLiteral("tetrahedral"));
        auto next = harness.files.makeModel();
        QCOMPARE(next->previewInterpolation(), Interpolation::tetrahedral);
        next->setPreviewInterpolation(Interpolation::trilinear);
        QCOMPARE(harness.files.settings().value("previewInterpolation").toString(),
                 QStringLiteral("trilinear"));
        QVERIFY(waitUntilIdle(*next, jobTimeoutMs));
    }

    void compareWithYourEditSwitchAppearsOnlyWhereItApplies()
    {
        PaneHarness harness;
        QCheckBox* toggle = harness.pane->controls()->compareWithAfterSwitch();
        QCOMPARE(toggle->text(), QStringLiteral("Compare with your edit"));
        QCOMPARE(toggle->toolTip(),
                 QStringLiteral("Show your real edit on the left instead of the original, to "
                                "judge how closely the LUT reproduces it"));
        harness.model->setMode(Mode::edit);
        QVERIFY(!toggle->isVisibleTo(harness.pane.get()));

        harness.loadPhoto(QStringLiteral("before"), Slot::editBefore);
        QVERIFY(!toggle->isVisibleTo(harness.pane.get()));
        harness.loadPhoto(QStringLiteral("after"), Slot::editAfter);
        QCOMPARE(harness.model->previewSource(), PreviewSource::input);
        QVERIFY(toggle->isVisibleTo(harness.pane.get()));

        QTest::mouseClick(toggle, Qt::LeftButton);
        QVERIFY(harness.model->compareWithAfter());
        QCOMPARE(harness.model->originalLabel(), QStringLiteral("Your edit"));

        harness.model->setPreviewSource(PreviewSource::testChart);
        QVERIFY(!toggle->isVisibleTo(harness.pane.get()));
        harness.model->setPreviewSource(PreviewSource::input);
        QVERIFY(toggle->isVisibleTo(harness.pane.get()));
        QVERIFY(toggle->isChecked());

        harness.model->remove(Slot::editAfter);
        QVERIFY(!toggle->isVisibleTo(harness.pane.get()));
        QVERIFY(harness.pane->showsCompareView());

        harness.model->setMode(Mode::look);
        QVERIFY(!toggle->isVisibleTo(harness.pane.get()));
        QVERIFY(!harness.model->compareWithAfter());
    }

    // The status chip and the toast.

    void statusChipShowsWorkThenTheResult()
    {
        PaneHarness harness;
        StatusChip* chip = harness.pane->statusChip();
        QVERIFY(chip->isHidden());
        QVERIFY(chip->text().isEmpty());

        QStringList whileBusy;
        QList<bool> progressWhileBusy;
        connect(harness.model.get(), &AppModel::busyChanged, chip, [&] {
            if (harness.model->busy() > 0) {
                whileBusy << chip->text();
                progressWhileBusy << chip->showsProgress();
            }
        });
        harness.loadPhoto(QStringLiteral("look"), Slot::lookReference);
        QVERIFY(!whileBusy.isEmpty());
        QCOMPARE(whileBusy.front(), QStringLiteral("Analysing…"));
        QVERIFY(progressWhileBusy.front());

        QVERIFY(harness.model->statusLine().has_value());
        QVERIFY(!chip->isHidden());
        QVERIFY(!chip->showsProgress());
        QCOMPARE(chip->text(), *harness.model->statusLine());

        // A mode without a result says nothing.
        harness.model->setMode(Mode::hald);
        QVERIFY(chip->isHidden());
        QVERIFY(chip->text().isEmpty());
        harness.model->setMode(Mode::look);
        QCOMPARE(chip->text(), *harness.model->statusLine());
        harness.model->remove(Slot::lookReference);
        QVERIFY(chip->isHidden());
    }

    void toastShowsTheMessageAndRevealsTheFile()
    {
        PaneHarness harness;
        QVERIFY(!harness.pane->showsToast());
        const QString file = harness.files.path(QStringLiteral("Teal.cube"));
        harness.model->showToast(QStringLiteral("Saved “Teal.cube”"), QUrl::fromLocalFile(file));
        QVERIFY(harness.pane->showsToast());
        ToastView* toast = harness.pane->toastView();
        QCOMPARE(toast->message(), QStringLiteral("Saved “Teal.cube”"));
        QVERIFY(toast->revealButton()->isVisibleTo(toast));
        QCOMPARE(toast->revealButton()->text(), QStringLiteral("Show in Folder"));
        QTest::mouseClick(toast->revealButton(), Qt::LeftButton);
        QCOMPARE(harness.files.panels().revealed, QStringList{file});

        harness.model->showToast(QStringLiteral("Done"), std::nullopt);
        QCOMPARE(toast->message(), QStringLiteral("Done"));
        QVERIFY(!toast->revealButton()->isVisibleTo(toast));

        harness.model->setToast(std::nullopt);
        QTRY_VERIFY(!harness.pane->showsToast());
        // A toast that returns while the last one fades out is shown again.
        harness.model->showToast(QStringLiteral("Again"), std::nullopt);
        harness.model->setToast(std::nullopt);
        harness.model->showToast(QStringLiteral("Again"), std::nullopt);
        QTRY_VERIFY(harness.pane->toastView()->geometry().bottom() < harness.pane->height());
        QVERIFY(harness.pane->showsToast());
    }

    void refusedAfterLeavesTheBeforeUnsquashedAndSaysWhy()
    {
        PaneHarness harness;
        AppModel& model = *harness.model;
        model.setMode(Mode::edit);
        harness.loadPhoto(QStringLiteral("before"), Slot::editBefore);
        model.load(harness.files.writePhoto(QStringLiteral("after"), {1, 0.9f, 0.8f}),
                   Slot::editAfter);
        QVERIFY(waitUntilIdle(model, jobTimeoutMs));
        QVERIFY(model.hasResult());
        model.setCompareWithAfter(true);
        QCOMPARE(model.originalLabel(), QStringLiteral("Your edit"));

        // An After of another shape (portrait against landscape) is refused.
        model.load(harness.files.writePhoto(QStringLiteral("portrait"), {1, 0.9f, 0.8f}, 64, 96),
                   Slot::editAfter);
        QVERIFY(waitUntilIdle(model, jobTimeoutMs));
        QVERIFY(model.alert().has_value());
        QVERIFY(!model.hasResult());
        QVERIFY(!model.editFit().has_value());
        QCOMPARE(model.originalLabel(), QStringLiteral("Original"));
        const QString status = model.statusLine().value_or(QString());
        QVERIFY2(status.startsWith(QStringLiteral("No fit: ")), qPrintable(status));
        QTRY_COMPARE(harness.pane->statusChip()->text(), status);
        // Drawn at the Before's proportions, and with nothing graded left over from the old fit.
        const QRectF image = harness.pane->compareView()->imageRect();
        QVERIFY(std::abs(image.width() / image.height() - 96.0 / 64.0) < 0.02);
        const QRgb graded = model.previewGraded().pixel(10, 10);
        const QRgb original = model.previewOriginal().pixel(10, 10);
        QVERIFY(std::abs(qRed(graded) - qRed(original)) <= 2);
        QVERIFY(std::abs(qBlue(graded) - qBlue(original)) <= 2);

        // A pair that fits again replaces the reason with its result.
        model.load(harness.files.writePhoto(QStringLiteral("after2"), {1, 0.9f, 0.8f}),
                   Slot::editAfter);
        QVERIFY(waitUntilIdle(model, jobTimeoutMs));
        QVERIFY(model.hasResult());
        QVERIFY(!model.statusLine()->startsWith(QStringLiteral("No fit")));
    }

    void toastFitsItsTextAndStaysClearOfTheImage()
    {
        PaneHarness harness;
        harness.model->load(
            harness.files.writePhoto(QStringLiteral("tall.png"), {1, 1, 1}, 60, 200),
            Slot::lookReference);
        QVERIFY(waitUntilIdle(*harness.model, jobTimeoutMs));
        ToastView* toast = harness.pane->toastView();
        const QUrl file = QUrl::fromLocalFile(harness.files.path(QStringLiteral("y.cube")));
        harness.model->showToast(QStringLiteral("Done"), file);
        QTRY_VERIFY(harness.pane->showsToast());
        const int oneLine = toast->sizeWithin(10000).height();
        harness.model->showToast(QStringLiteral("Saved “y.cube”, “y.3dl”, “y.png”"), file);

        for (const int paneWidth : {900, 640, 420}) {
            harness.pane->resize(paneWidth, 640);
            QTRY_COMPARE(harness.pane->compareView()->width(), paneWidth);
            const QRect shown = toast->geometry();
            QVERIFY(shown.left() >= 0 && shown.right() < paneWidth);
            // One line wherever the pane has room for it.
            if (toast->sizeWithin(10000).width() <= paneWidth - 28)
                QCOMPARE(shown.height(), oneLine);
            else
                QVERIFY(shown.height() > oneLine);
            CompareView* view = harness.pane->compareView();
            const QRectF image = view->imageRect().translated(view->pos());
            QVERIFY(!image.isEmpty());
            QVERIFY(!image.intersects(QRectF(shown)));
            QVERIFY(!image.intersects(QRectF(harness.pane->statusChip()->geometry())));
            QVERIFY(!harness.pane->statusChip()->isHidden());
        }
    }

    // Dropping files on the pane.

    void dropLoadsTheFirstFileIntoTheDropTarget()
    {
        PaneHarness harness;
        harness.model->setMode(Mode::match);
        const QString first = harness.files.writePhoto(QStringLiteral("first"));
        const QString second = harness.files.writePhoto(QStringLiteral("second"));
        QVERIFY(
            drop(harness.pane.get(), {QUrl(QStringLiteral("https://example.com/a.jpg")),
                                      QUrl::fromLocalFile(first), QUrl::fromLocalFile(second)}));
        QVERIFY(waitUntilIdle(*harness.model, jobTimeoutMs));
        QCOMPARE(harness.model->images().size(), std::size_t{1});
        QCOMPARE(QString::fromStdString(harness.model->images().at(Slot::matchSource).name()),
                 QStringLiteral("first"));

        // The next drop goes to the slot that is still empty.
        QVERIFY(drop(harness.pane.get(), {QUrl::fromLocalFile(second)}));
        QVERIFY(waitUntilIdle(*harness.model, jobTimeoutMs));
        QCOMPARE(QString::fromStdString(harness.model->images().at(Slot::matchReference).name()),
                 QStringLiteral("second"));

        // With both wells full the drop asks which image it replaces; cancelling keeps both.
        const QString third = harness.files.writePhoto(QStringLiteral("third"));
        const auto cancelled =
            fixtures::answerNextBox(QStringLiteral("wellChoice"), QStringLiteral("Cancel"));
        QVERIFY(drop(harness.pane.get(), {QUrl::fromLocalFile(third)}));
        QTRY_VERIFY(*cancelled);
        QCOMPARE(harness.model->images().size(), std::size_t{2});
        QVERIFY(harness.model->loading().empty());
        const QString reference = Slots::title(Slot::matchReference);
        fixtures::answerNextBox(QStringLiteral("wellChoice"), reference);
        QVERIFY(drop(harness.pane.get(), {QUrl::fromLocalFile(third)}));
        QTRY_VERIFY_WITH_TIMEOUT(harness.model->images().at(Slot::matchReference).name() == "third",
                                 jobTimeoutMs);
        QCOMPARE(QString::fromStdString(harness.model->images().at(Slot::matchSource).name()),
                 QStringLiteral("first"));
    }

    void dropWithoutFilesIsRefused()
    {
        PaneHarness harness;
        QSignalSpy loading(harness.model.get(), &AppModel::loadingChanged);
        QVERIFY(!drop(harness.pane.get(), {}));
        QVERIFY(!drop(harness.pane.get(), {QUrl(QStringLiteral("https://example.com/a.jpg"))}));
        QCOMPARE(loading.count(), 0);
        QVERIFY(harness.model->images().empty());
    }

    void draggingFilesOverThePaneTargetsTheEmptyZone()
    {
        PaneHarness harness;
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(harness.files.writePhoto(QStringLiteral("hover")))});
        const QPoint centre = harness.pane->rect().center();
        QDragEnterEvent enter(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(harness.pane.get(), &enter);
        QVERIFY(enter.isAccepted());
        QVERIFY(harness.pane->dropTargeted());
        QVERIFY(harness.pane->emptyZone()->targeted());
        QTRY_COMPARE(harness.pane->emptyZone()->outlineScale(), 1.015);

        QDragLeaveEvent leave;
        QCoreApplication::sendEvent(harness.pane.get(), &leave);
        QVERIFY(!harness.pane->emptyZone()->targeted());
        QTRY_COMPARE(harness.pane->emptyZone()->outlineScale(), 1.0);

        QMimeData empty;
        QDragEnterEvent refused(centre, Qt::CopyAction, &empty, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(harness.pane.get(), &refused);
        QVERIFY(!refused.isAccepted());
        QVERIFY(!harness.pane->dropTargeted());
    }
};

QTEST_MAIN(PreviewPaneTests)
#include "PreviewPaneTests.moc"
