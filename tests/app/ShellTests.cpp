// The application shell: the main window around its three columns, the menu commands, files
// opened by the desktop (before and after the window appears, and from a second launch), and
// the window placement of the automation mode.
#include "AnalysisPanel.hpp"
#include "Commands.hpp"
#include "ContentView.hpp"
#include "FileOpenQueue.hpp"
#include "FineTuneControls.hpp"
#include "FocusRing.hpp"
#include "ImageWell.hpp"
#include "InspectorView.hpp"
#include "ModelFixtures.hpp"
#include "PreviewPane.hpp"
#include "SidebarView.hpp"
#include "SingleInstance.hpp"
#include "ValueSlider.hpp"
#include "WindowPlacement.hpp"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QSplitter>
#include <QTest>
#include <QToolButton>
#include <QUndoStack>
#include <QUuid>
#include <QVBoxLayout>

using namespace lumivert;
using namespace lumivert::fixtures;

namespace {

ContentView::Columns placeholderColumns() { return {new QWidget, new QWidget, new QWidget}; }

// Finds an item by the text the menu shows, mnemonic markers taken out as the menu takes them.
QAction* findAction(QMainWindow& window, const QString& text)
{
    for (QAction* menu : window.menuBar()->actions())
        for (QAction* item : menu->menu()->actions())
            if (item->iconText() == text)
                return item;
    return nullptr;
}

}  // namespace

class ShellTests : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void windowHasItsSizesColumnsAndModeTitle()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        ContentView window(*model, placeholderColumns());
        QCOMPARE(window.minimumSize(), QSize(1024, 680));
        QCOMPARE(window.size(), QSize(1380, 860));
        QCOMPARE(window.splitter()->count(), 3);
        QCOMPARE(window.columns().sidebar->minimumWidth(), 240);
        QCOMPARE(window.columns().sidebar->maximumWidth(), 330);
        QCOMPARE(window.columns().inspector->minimumWidth(), 300);
        QCOMPARE(window.columns().inspector->maximumWidth(), 420);
        QCOMPARE(window.windowTitle(), QStringLiteral("Lumivert — Look"));
        model->setMode(Mode::edit);
        QCOMPARE(window.windowTitle(), QStringLiteral("Lumivert — Before & After"));
        model->setMode(Mode::hald);
        QCOMPARE(window.windowTitle(), QStringLiteral("Lumivert — HALD"));
    }

    void adjustmentsButtonHidesAndShowsTheInspector()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        ContentView window(*model, placeholderColumns());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QWidget* inspector = window.columns().inspector;
        QVERIFY(window.inspectorShown());
        window.adjustmentsButton()->click();
        QVERIFY(!window.inspectorShown());
        QVERIFY(!window.adjustmentsButton()->isChecked());
        QTRY_VERIFY(inspector->isHidden());
        window.adjustmentsButton()->click();
        QVERIFY(window.inspectorShown());
        QVERIFY(inspector->isVisible());
        QTRY_COMPARE(inspector->maximumWidth(), ContentView::inspectorMaximum);
        QCOMPARE(inspector->minimumWidth(), ContentView::inspectorMinimum);
        QVERIFY(inspector->width() >= ContentView::inspectorMinimum);
    }

    void exportButtonWithoutResultShowsTheModelsAlert()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        ContentView window(*model, placeholderColumns());
        QCOMPARE(window.exportButton()->text(), QStringLiteral("Export LUT"));
        QCOMPARE(window.exportButton()->toolTip(), QStringLiteral("Export the LUT (Ctrl+E)"));
        window.exportButton()->click();
        QVERIFY(model->alert().has_value());
        QCOMPARE(model->alert()->title, QStringLiteral("Nothing to export yet"));
        QVERIFY(window.alertBox() != nullptr);
        QCOMPARE(window.alertBox()->text(), QStringLiteral("Nothing to export yet"));
        QCOMPARE(window.alertBox()->informativeText(), model->alert()->message);
    }

    void dismissingTheAlertClearsOnlyThatAlert()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        ContentView window(*model, placeholderColumns());
        model->present(QStringLiteral("First message."), QStringLiteral("First"));
        QVERIFY(window.alertBox());
        model->present(QStringLiteral("Second message."), QStringLiteral("Second"));
        QCOMPARE(window.alertBox()->text(), QStringLiteral("Second"));
        window.alertBox()->button(QMessageBox::Ok)->click();
        QVERIFY(!model->alert().has_value());
        QTRY_VERIFY(window.alertBox() == nullptr);

        // Clearing the alert from the model closes the box.
        model->present(QStringLiteral("Third message."), QStringLiteral("Third"));
        QTRY_VERIFY(window.alertBox() && window.alertBox()->isVisible());
        model->setAlert(std::nullopt);
        QTRY_VERIFY(window.alertBox() == nullptr);
    }

    void menusHoldTheItemsWithTheirShortcuts()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        ContentView window(*model, placeholderColumns());
        installCommands(window, *model);
        const std::vector<std::pair<QString, QKeySequence>> expected{
            {QStringLiteral("Open Image…"), QKeySequence(QStringLiteral("Ctrl+O"))},
            {QStringLiteral("Export LUT…"), QKeySequence(QStringLiteral("Ctrl+E"))},
            {QStringLiteral("Save Identity HALD…"), QKeySequence(QStringLiteral("Ctrl+Shift+H"))},
            {QStringLiteral("Quit"), QKeySequence(QStringLiteral("Ctrl+Q"))},
            {QStringLiteral("Look"), QKeySequence(QStringLiteral("Ctrl+1"))},
            {QStringLiteral("Match"), QKeySequence(QStringLiteral("Ctrl+2"))},
            {QStringLiteral("Before & After"), QKeySequence(QStringLiteral("Ctrl+3"))},
            {QStringLiteral("HALD"), QKeySequence(QStringLiteral("Ctrl+4"))},
            {QStringLiteral("Reset Adjustments"), QKeySequence(QStringLiteral("Ctrl+Shift+R"))},
        };
        for (const auto& [text, shortcut] : expected) {
            QAction* action = findAction(window, text);
            QVERIFY2(action, qPrintable(text));
            QCOMPARE(action->shortcut(), shortcut);
            QVERIFY(action->isEnabled());
        }
    }

    void menuItemsCallTheModel()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        ContentView window(*model, placeholderColumns());
        installCommands(window, *model);

        findAction(window, QStringLiteral("Before & After"))->trigger();
        QCOMPARE(model->mode(), Mode::edit);
        model->setMode(Mode::match);
        QVERIFY(findAction(window, QStringLiteral("Match"))->isChecked());

        fixtures::adjust(*model,
                         [&](GradeRecipe::Settings& s) { s.intensity = static_cast<float>(0.4); });
        findAction(window, QStringLiteral("Reset Adjustments"))->trigger();
        QCOMPARE(model->settings().intensity, 1.0f);
        QCOMPARE(model->mode(), Mode::match);

        harness.panels().answers.push_back(std::nullopt);
        findAction(window, QStringLiteral("Open Image…"))->trigger();
        QCOMPARE(harness.panels().imageMessages.size(), 1);

        findAction(window, QStringLiteral("Export LUT…"))->trigger();
        QVERIFY(model->alert().has_value());

        harness.panels().answers.push_back(std::nullopt);
        findAction(window, QStringLiteral("Save Identity HALD…"))->trigger();
        QCOMPARE(harness.panels().saveRequests.size(), std::size_t(1));
    }

    void shortcutsReachTheModelFromTheWindow()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        ContentView window(*model, placeholderColumns());
        installCommands(window, *model);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(&window, Qt::Key_3, Qt::ControlModifier);
        QCOMPARE(model->mode(), Mode::edit);
        QTest::keyClick(&window, Qt::Key_4, Qt::ControlModifier);
        QCOMPARE(model->mode(), Mode::hald);
    }

    void pendingFilesWaitForTheWindowThenFillTheDropSlot()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        const QString first = harness.writePhoto(QStringLiteral("first.png"), {1, 0.8f, 0.6f});
        const QString second = harness.writePhoto(QStringLiteral("second.png"), {0.6f, 0.8f, 1});
        FileOpenQueue queue;
        queue.open({first, second});
        QCOMPARE(queue.pending().size(), 2);
        QVERIFY(model->images().empty());

        ContentView window(*model, placeholderColumns());
        QObject::connect(&window, &ContentView::appeared, [&] {
            queue.setModel(model.get());
            queue.flushPending();
        });
        window.show();
        QVERIFY(queue.pending().isEmpty());
        QVERIFY(waitUntilIdle(*model));
        // Both went to the look photo; the last one started stays.
        QCOMPARE(model->images().size(), std::size_t(1));
        QCOMPARE(QString::fromStdString(model->images().at(Slot::lookReference).url()->string()),
                 second);

        // With the window shown, a file loads at once into the next drop slot.
        model->setMode(Mode::match);
        queue.open({first});
        QVERIFY(queue.pending().isEmpty());
        QVERIFY(waitUntilIdle(*model));
        QCOMPARE(QString::fromStdString(model->images().at(Slot::matchSource).url()->string()),
                 first);
    }

    void undoAndRedoStepThroughAdjustmentsModesImagesAndResets()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        // A slider of the window drives the intensity, as the inspector's does.
        auto* slider = new ValueSlider(QStringLiteral("Intensity"), 0, 1, 1);
        ContentView window(*model, {slider, new QWidget, new QWidget});
        QObject::connect(slider, &ValueSlider::valueEdited, model.get(), [&model](double value) {
            fixtures::adjust(
                *model, [&](GradeRecipe::Settings& s) { s.intensity = static_cast<float>(value); });
        });
        installCommands(window, *model);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        const auto undoText = [&window] {
            for (QAction* menu : window.menuBar()->actions())
                for (QAction* item : menu->menu()->actions())
                    if (item->shortcut() == QKeySequence(QStringLiteral("Ctrl+Z")))
                        return item->isEnabled() ? item->text() : QString();
            return QStringLiteral("(no undo item)");
        };
        QCOMPARE(undoText(), QString());

        fixtures::adjust(*model,
                         [&](GradeRecipe::Settings& s) { s.intensity = static_cast<float>(0.4); });
        QTRY_COMPARE(undoText(), QStringLiteral("Undo Intensity"));
        model->setMode(Mode::match);
        QTRY_COMPARE(undoText(), QStringLiteral("Undo Mode Change"));
        model->load(harness.writePhoto(QStringLiteral("mine")), Slot::matchSource);
        QVERIFY(waitUntilIdle(*model));
        QTRY_COMPARE(undoText(), QStringLiteral("Undo Open Image"));
        fixtures::adjust(*model, [&](GradeRecipe::Settings& s) {
            s.match = MatchSettings{0.3f, 0.9f};
        });
        QTRY_COMPARE(undoText(), QStringLiteral("Undo Match Strengths"));
        fixtures::adjust(*model, [&](GradeRecipe::Settings& s) {
            s.fineTune = FineTune{0.2f, 0, 0, 0};
        });
        QTRY_COMPARE(undoText(), QStringLiteral("Undo Fine Tune"));
        fixtures::adjust(*model, [&](GradeRecipe::Settings& s) { s.gamut = GamutMapping::smooth; });
        QTRY_COMPARE(undoText(), QStringLiteral("Undo Highlight-Safe Colour"));
        // A reset is one step, however many adjustments it moves.
        model->resetAdjustments();
        QTRY_COMPARE(undoText(), QStringLiteral("Undo Reset Adjustments"));

        // A drag, with many edits on the way, is one step back to where it started.
        const QRectF track = slider->trackRect();
        const QPoint knob(static_cast<int>(slider->knobCentreX(slider->value())),
                          static_cast<int>(track.center().y()));
        QTest::mousePress(slider, Qt::LeftButton, {}, knob);
        for (int dx = 5; dx <= 60; dx += 5)
            QTest::mouseMove(slider, knob - QPoint(dx, 0));
        QTest::mouseRelease(slider, Qt::LeftButton, {}, knob - QPoint(60, 0));
        const double dragged = model->settings().intensity;
        QVERIFY(dragged < 1.0);
        QTRY_COMPARE(undoText(), QStringLiteral("Undo Intensity"));

        QTest::keyClick(&window, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(model->settings().intensity, 1.0f);
        QTest::keyClick(&window, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(model->settings().match, (MatchSettings{0.3f, 0.9f}));
        QCOMPARE(model->settings().gamut, GamutMapping::smooth);
        QTest::keyClick(&window, Qt::Key_Z, Qt::ControlModifier);  // the gamut mapping
        QCOMPARE(model->settings().gamut, GamutMapping::preserveLightness);
        QCOMPARE(model->settings().fineTune, (FineTune{0.2f, 0, 0, 0}));
        QCOMPARE(model->settings().intensity, 0.4f);
        QTest::keyClick(&window, Qt::Key_Z, Qt::ControlModifier);  // the fine tune
        QTest::keyClick(&window, Qt::Key_Z, Qt::ControlModifier);  // the strengths
        QCOMPARE(model->settings().match, MatchSettings{});
        QTest::keyClick(&window, Qt::Key_Z, Qt::ControlModifier);  // the image
        QVERIFY(!model->images().contains(Slot::matchSource));
        QTest::keyClick(&window, Qt::Key_Z, Qt::ControlModifier);  // the mode
        QCOMPARE(model->mode(), Mode::look);
        QTest::keyClick(&window, Qt::Key_Z, Qt::ControlModifier);  // the intensity
        QCOMPARE(model->settings().intensity, 1.0f);
        QCOMPARE(undoText(), QString());

        // Redo walks forward again, the image opened anew from its file; nothing new is recorded.
        for (int step = 0; step < 3; ++step)
            QTest::keyClick(&window, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(model->mode(), Mode::match);
        QVERIFY(waitUntilIdle(*model));
        QCOMPARE(QString::fromStdString(model->images().at(Slot::matchSource).name()),
                 QStringLiteral("mine"));
        QTRY_COMPARE(undoText(), QStringLiteral("Undo Open Image"));
        for (int step = 0; step < 5; ++step)
            QTest::keyClick(&window, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(model->settings().intensity, dragged);
        QCOMPARE(model->settings().gamut, GamutMapping::smooth);
    }

    void aResetIsNamedSoAndKeyPressesOnOneSliderMakeOneStep()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        auto* slider = new ValueSlider(QStringLiteral("Intensity"), 0, 1, 1);
        auto* other = new ValueSlider(QStringLiteral("Other"), 0, 1, 1);
        auto* column = new QWidget;
        auto* layout = new QVBoxLayout(column);
        layout->addWidget(slider);
        layout->addWidget(other);
        ContentView window(*model, {column, new QWidget, new QWidget});
        QObject::connect(slider, &ValueSlider::valueEdited, model.get(), [&model](double value) {
            fixtures::adjust(
                *model, [&](GradeRecipe::Settings& s) { s.intensity = static_cast<float>(value); });
        });
        installCommands(window, *model);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QUndoStack* stack = window.findChild<QUndoStack*>();
        QVERIFY(stack);

        // Whatever a reset happens to move, one adjustment or several, it is a reset.
        fixtures::adjust(*model, [&](GradeRecipe::Settings& s) { s.look.tone = 0.5f; });
        QTRY_COMPARE(stack->undoText(), QStringLiteral("Look Strengths"));
        model->resetAdjustments();
        QTRY_COMPARE(stack->undoText(), QStringLiteral("Reset Adjustments"));
        const int afterReset = stack->count();

        // Arrow presses in a row on one slider are one step, undone at once.
        slider->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(slider->hasFocus());
        for (int press = 0; press < 4; ++press) {
            QTest::keyClick(slider, Qt::Key_Left);
            QTRY_COMPARE(model->settings().intensity, static_cast<float>(slider->value()));
        }
        QTRY_COMPARE(stack->undoText(), QStringLiteral("Intensity"));
        QCOMPARE(stack->count(), afterReset + 1);
        const float fourPressesDown = model->settings().intensity;
        QVERIFY(fourPressesDown < 1.0f);
        // Focus leaving the slider ends the run: the next presses are a step of their own.
        other->setFocus(Qt::TabFocusReason);
        slider->setFocus(Qt::TabFocusReason);
        QTest::keyClick(slider, Qt::Key_Left);
        QTRY_COMPARE(stack->count(), afterReset + 2);
        stack->undo();
        QCOMPARE(model->settings().intensity, fourPressesDown);
        stack->undo();
        QCOMPARE(model->settings().intensity, 1.0f);
    }

    void tabReachesEveryControlColumnByColumn_data()
    {
        QTest::addColumn<int>("modeIndex");
        for (Mode mode : Modes::allCases())
            QTest::newRow(qPrintable(Modes::rawValue(mode))) << static_cast<int>(mode);
    }

    void tabReachesEveryControlColumnByColumn()
    {
        QFETCH(int, modeIndex);
        const auto mode = static_cast<Mode>(modeIndex);
        ModelHarness harness;
        auto model = harness.makeModel();
        model->setMode(mode);
        const Slot input = Modes::slots(mode).front();
        if (input != Slot::hald) {
            model->load(harness.writePhoto(QStringLiteral("input")), input);
            QVERIFY(waitUntilIdle(*model));
        }
        ContentView window(*model, {new SidebarView(*model), new PreviewPane(*model),
                                    new InspectorView(*model, new AnalysisPanel(*model))});
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        const ContentView::Columns& columns = window.columns();
        const auto columnOf = [&columns](const QWidget* widget) {
            const std::array<const QWidget*, 3> order{columns.sidebar, columns.preview,
                                                      columns.inspector};
            for (std::size_t i = 0; i < order.size(); ++i)
                if (order[i]->isAncestorOf(widget))
                    return static_cast<int>(i);
            return -1;
        };

        // One round of Tab from the first control of the sidebar; each stop shows the ring.
        QWidget* first = columns.sidebar;
        while (!(first->focusPolicy() & Qt::TabFocus) || !first->isVisible())
            first = first->nextInFocusChain();
        // Showing the window may have focused it already, without a key.
        if (QWidget* shown = QApplication::focusWidget())
            shown->clearFocus();
        first->setFocus(Qt::TabFocusReason);
        QList<QWidget*> reached;
        while (!reached.contains(QApplication::focusWidget()) && reached.size() < 400) {
            QWidget* focused = QApplication::focusWidget();
            reached << focused;
            QVERIFY2(window.focusRing()->target() == focused && window.focusRing()->isVisible(),
                     qPrintable(focused->metaObject()->className() + QStringLiteral(" ") +
                                focused->accessibleName()));
            const QRect ring(window.focusRing()->mapTo(&window, QPoint()),
                             window.focusRing()->size());
            // A container its children cover (the sidebar) is ringed whole.
            QRect area = focused->visibleRegion().boundingRect();
            if (area.isEmpty())
                area = focused->rect();
            const QRect shown(focused->mapTo(&window, area.topLeft()), area.size());
            QVERIFY(ring.contains(shown));
            QTest::keyClick(focused, Qt::Key_Tab);
        }
        int column = 0;
        for (QWidget* widget : reached) {
            const int here = columnOf(widget);
            if (here < 0)
                continue;  // the toolbar
            QVERIFY2(here >= column, qPrintable(widget->metaObject()->className()));
            column = here;
        }
        // Down each column: the mode's wells before the preview well, the fine-tune sliders
        // before the switch below them.
        const auto position = [&reached](const QWidget* widget) { return reached.indexOf(widget); };
        const QList<ImageWell*> wells = columns.sidebar->findChildren<ImageWell*>();
        const auto previewWell = std::find_if(wells.begin(), wells.end(), [](ImageWell* well) {
            return well->slot() == Slot::preview;
        });
        QVERIFY(previewWell != wells.end());
        for (ImageWell* well : wells)
            if (well->isVisible() && well != *previewWell)
                QVERIFY(position(well) >= 0 && position(well) < position(*previewWell));
        auto* fineTune = columns.inspector->findChild<FineTuneControls*>();
        QVERIFY(fineTune);
        const QList<ValueSlider*> fineSliders = fineTune->findChildren<ValueSlider*>();
        const QCheckBox* safe = fineTune->findChild<QCheckBox*>();
        QVERIFY(safe && !fineSliders.isEmpty());
        // The switch shows only where the mode maps colours back.
        for (const ValueSlider* slider : fineSliders)
            QVERIFY(position(slider) >= 0 &&
                    (!safe->isVisible() || position(slider) < position(safe)));

        // Every control that takes Tab is in the round, and each has a name for assistive
        // technology.
        for (QWidget* widget : window.findChildren<QWidget*>()) {
            if (!widget->isVisible() || !widget->isEnabled() ||
                !(widget->focusPolicy() & Qt::TabFocus) || widget->focusProxy())
                continue;
            QVERIFY2(reached.contains(widget),
                     qPrintable(widget->metaObject()->className() + QStringLiteral(" ") +
                                widget->accessibleName()));
            QAccessibleInterface* element = QAccessible::queryAccessibleInterface(widget);
            QVERIFY(element);
            QVERIFY2(!element->text(QAccessible::Name).isEmpty(),
                     widget->metaObject()->className());
        }

        // A click moves the focus without a ring.
        reached.back()->setFocus(Qt::MouseFocusReason);
        QVERIFY(window.focusRing()->target() == nullptr);
        QVERIFY(!window.focusRing()->isVisible());
    }

    void openingWithEveryWellFullAsksWhichImageToReplace()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        ContentView window(*model, placeholderColumns());
        installCommands(window, *model);
        model->setMode(Mode::match);
        model->load(harness.writePhoto(QStringLiteral("mine")), Slot::matchSource);
        model->load(harness.writePhoto(QStringLiteral("theirs")), Slot::matchReference);
        QVERIFY(waitUntilIdle(*model));

        // The menu asks first, then opens the panel for the chosen well.
        const QString replacement = harness.writePhoto(QStringLiteral("new"), {0.7f, 0.8f, 1});
        harness.panels().answers.push_back(replacement);
        const auto chosen =
            answerNextBox(QStringLiteral("wellChoice"), Slots::title(Slot::matchReference));
        findAction(window, QStringLiteral("Open Image…"))->trigger();
        QVERIFY(*chosen);
        QVERIFY(
            harness.panels().imageMessages.last().startsWith(Slots::title(Slot::matchReference)));
        QVERIFY(waitUntilIdle(*model));
        QCOMPARE(QString::fromStdString(model->images().at(Slot::matchReference).name()),
                 QStringLiteral("new"));
        QCOMPARE(QString::fromStdString(model->images().at(Slot::matchSource).name()),
                 QStringLiteral("mine"));

        // A file from the desktop asks too; cancelling replaces nothing.
        FileOpenQueue queue;
        queue.setModel(model.get());
        const auto cancelled =
            answerNextBox(QStringLiteral("wellChoice"), QStringLiteral("Cancel"));
        queue.open({harness.writePhoto(QStringLiteral("other"))});
        QVERIFY(*cancelled);
        QVERIFY(model->loading().empty());
        QCOMPARE(QString::fromStdString(model->images().at(Slot::matchSource).name()),
                 QStringLiteral("mine"));
    }

    void secondLaunchForwardsItsFiles()
    {
        const QString name =
            QStringLiteral("lumivert-test-") + QUuid::createUuid().toString(QUuid::Id128);
        SingleInstance running(name);
        QVERIFY(!running.forward({QStringLiteral("/nobody/listens.png")}, 200));
        QVERIFY(running.listen());
        QSignalSpy received(&running, &SingleInstance::filesReceived);

        SingleInstance second(name);
        const QStringList files{QStringLiteral("/photos/a b.png"), QStringLiteral("/photos/é.jpg")};
        QVERIFY(second.forward(files));
        QTRY_COMPARE(received.count(), 1);
        QCOMPARE(received.at(0).at(0).toStringList(), files);

        // A launch without files still reaches the running window (to bring it forward).
        QVERIFY(second.forward({}));
        QTRY_COMPARE(received.count(), 2);
        QVERIFY(received.at(1).at(0).toStringList().isEmpty());
    }

    void secondProcessForwardsAndExits()
    {
        const QString name =
            QStringLiteral("lumivert-test-") + QUuid::createUuid().toString(QUuid::Id128);
        SingleInstance running(name);
        QVERIFY(running.listen());
        QSignalSpy received(&running, &SingleInstance::filesReceived);
        QProcess second;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        second.setProcessEnvironment(environment);
        second.start(QStringLiteral(LUMIVERT_BINARY),
                     {QStringLiteral("--instance"), name, QStringLiteral("relative.png")});
        QTRY_COMPARE_WITH_TIMEOUT(received.count(), 1, 30000);
        // The event loop above may already have seen it finish.
        QVERIFY(second.state() == QProcess::NotRunning || second.waitForFinished(30000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        const QStringList paths = received.at(0).at(0).toStringList();
        QCOMPARE(paths.size(), 1);
        QVERIFY(QFileInfo(paths[0]).isAbsolute());
        QVERIFY(paths[0].endsWith(QStringLiteral("/relative.png")));
    }

    void argumentsBecomeAbsolutePaths()
    {
        const QStringList paths =
            filesFromArguments({QStringLiteral("-platform"), QStringLiteral("/tmp/a.png"),
                                QStringLiteral("file:///tmp/b%20c.jpg"), QStringLiteral("d.tif")});
        QCOMPARE(paths.size(), 3);
        QCOMPARE(paths[0], QStringLiteral("/tmp/a.png"));
        QCOMPARE(paths[1], QStringLiteral("/tmp/b c.jpg"));
        QCOMPARE(paths[2], QDir::current().absoluteFilePath(QStringLiteral("d.tif")));
    }

    void captureWindowSizeParsing_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QSize>("size");  // invalid: no size
        QTest::newRow("two numbers") << "1200x800" << QSize(1200, 800);
        QTest::newRow("decimals") << "1200.4x799.6" << QSize(1200, 800);
        QTest::newRow("one number") << "1200" << QSize();
        QTest::newRow("text") << "widexhigh" << QSize();
        QTest::newRow("three parts") << "1x2x3" << QSize();
        QTest::newRow("spaces") << " 1200x800" << QSize();
        QTest::newRow("empty") << "" << QSize();
        QTest::newRow("upper-case X") << "1200X800" << QSize();
    }

    void captureWindowSizeParsing()
    {
        QFETCH(QString, text);
        QFETCH(QSize, size);
        const auto parsed = WindowPlacement::parseSize(text);
        QCOMPARE(parsed.has_value(), size.isValid());
        if (parsed)
            QCOMPARE(*parsed, size);
    }

    // With a title bar of 30 and borders of 2 the frame's top is 10 below the area's top and the
    // contents keep the asked-for size inside it; clamped, it is the whole frame that fits.
    void captureWindowFrameIsClampedToTheScreen_data()
    {
        QTest::addColumn<QSize>("asked");  // invalid: a malformed value, keeping the current size
        QTest::addColumn<QMargins>("decorations");
        QTest::addColumn<QRect>("frame");
        const QMargins titled(2, 30, 2, 2);
        QTest::newRow("malformed") << QSize() << QMargins() << QRect(20, 35, 1380, 860);
        QTest::newRow("fits") << QSize(1000, 700) << QMargins() << QRect(20, 35, 1000, 700);
        QTest::newRow("too large") << QSize(4000, 3000) << QMargins() << QRect(20, 35, 1920, 1050);
        QTest::newRow("fits with a frame")
            << QSize(1200, 800) << titled << QRect(20, 35, 1204, 832);
        QTest::newRow("too large with a frame")
            << QSize(4000, 3000) << titled << QRect(20, 35, 1920, 1050);
    }

    void captureWindowFrameIsClampedToTheScreen()
    {
        QFETCH(QSize, asked);
        QFETCH(QMargins, decorations);
        QFETCH(QRect, frame);
        const std::optional<QSize> desired = asked.isValid() ? std::optional(asked) : std::nullopt;
        QCOMPARE(WindowPlacement::frame(QSize(1380, 860), desired, QRect(0, 25, 1920, 1050),
                                        decorations),
                 frame);
    }

    void theWindowSizeIsRememberedForTheNextStart()
    {
        ModelHarness harness;
        auto model = harness.makeModel();
        QSettings& settings = harness.settings();
        {
            ContentView window(*model, placeholderColumns());
            QVERIFY(!WindowPlacement::restore(window, settings));
            window.resize(1111, 777);
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            WindowPlacement::remember(window, settings);
        }
        ContentView next(*model, placeholderColumns());
        QVERIFY(next.size() != QSize(1111, 777));
        QVERIFY(WindowPlacement::restore(next, settings));
        next.show();
        QTRY_COMPARE(next.size(), QSize(1111, 777));
        settings.setValue("windowGeometry", QByteArray("not a geometry"));
        QVERIFY(!WindowPlacement::restore(next, settings));
    }

    void captureWindowKeepsTheAskedSizeWhereTheDefaultSizeFits()
    {
        // The offscreen screen is smaller than the window's default size, which it keeps: a
        // size up to that one is given as asked, whatever the screen.
        ModelHarness harness;
        auto model = harness.makeModel();
        ContentView window(*model, placeholderColumns());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QRect visible = window.screen()->availableGeometry();
        for (const QSize asked : {ContentView::defaultWindowSize, QSize(1200, 800)}) {
            WindowPlacement::placeForCapture(
                window, QStringLiteral("%1x%2").arg(asked.width()).arg(asked.height()));
            QTRY_COMPARE(window.size(), asked);
            QCOMPARE(window.frameGeometry().topLeft(), visible.topLeft() + QPoint(20, 10));
        }
    }
};

QTEST_MAIN(ShellTests)
#include "ShellTests.moc"
