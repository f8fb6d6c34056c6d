#include "ImageWell.hpp"
#include "ModeRow.hpp"
#include "ModelFixtures.hpp"
#include "SidebarView.hpp"
#include "Theme.hpp"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEnterEvent>
#include <QLayout>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <algorithm>
#include <memory>

using namespace lumivert;
using fixtures::ModelHarness;
using fixtures::waitUntilIdle;

namespace {

// A model of its own and a shown sidebar on it.
struct Sidebar {
    ModelHarness harness;
    std::unique_ptr<AppModel> model = harness.makeModel();
    std::unique_ptr<SidebarView> view = std::make_unique<SidebarView>(*model);

    Sidebar()
    {
        view->resize(280, 720);
        view->show();
    }
    ~Sidebar() { view.reset(); }

    ImageWell* well(Slot slot) const
    {
        if (slot == Slot::preview)
            return view->previewWell();
        const auto& wells = view->inputWells();
        const auto found = std::find_if(wells.begin(), wells.end(),
                                        [slot](ImageWell* well) { return well->slot() == slot; });
        return found == wells.end() ? nullptr : *found;
    }
};

QString loadedName(const AppModel& model, Slot slot)
{
    const auto found = model.images().find(slot);
    return found == model.images().end() ? QString() : QString::fromStdString(found->second.name());
}

bool dragEnter(ImageWell* well, QMimeData& data)
{
    QDragEnterEvent event(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(well, &event);
    return event.isAccepted();
}

// Drags `urls` onto the well and drops them there, as the window system does; true when the
// well took the drop.
bool drop(ImageWell* well, const QList<QUrl>& urls)
{
    QMimeData data;
    data.setUrls(urls);
    if (!dragEnter(well, data))
        return false;
    QDropEvent event(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(well, &event);
    return event.isAccepted();
}

void hover(QWidget* widget, bool inside)
{
    if (inside) {
        QEnterEvent enter(QPointF(20, 20), QPointF(20, 20), QPointF(20, 20));
        QApplication::sendEvent(widget, &enter);
    } else {
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(widget, &leave);
    }
}

}  // namespace

class SidebarTests : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Modes.

    void modeRowsListTheModesInOrder()
    {
        Sidebar sidebar;
        const auto& rows = sidebar.view->modeRows();
        const std::array<Mode, 4> modes{Mode::look, Mode::match, Mode::edit, Mode::hald};
        const QStringList titles{"Look", "Match", "Before & After", "HALD"};
        const QStringList descriptions{
            "Capture a photo’s colour grade", "Match your photo to a reference",
            "Learn an edit you already made", "Convert a graded HALD image"};
        for (std::size_t i = 0; i < rows.size(); ++i) {
            QCOMPARE(rows[i]->mode(), modes[i]);
            QCOMPARE(rows[i]->title(), titles[static_cast<qsizetype>(i)]);
            QCOMPARE(rows[i]->description(), descriptions[static_cast<qsizetype>(i)]);
            QCOMPARE(rows[i]->accessibleName(), titles[static_cast<qsizetype>(i)]);
            QCOMPARE(rows[i]->isSelected(), i == 0);
        }
    }

    void clickingARowSetsTheModeAndTheModelSelectsTheRow()
    {
        Sidebar sidebar;
        const auto& rows = sidebar.view->modeRows();
        QSignalSpy modeChanges(sidebar.model.get(), &AppModel::modeChanged);
        QTest::mouseClick(rows[2], Qt::LeftButton);
        QCOMPARE(sidebar.model->mode(), Mode::edit);
        QCOMPARE(modeChanges.count(), 1);
        QVERIFY(rows[2]->isSelected());
        QVERIFY(!rows[0]->isSelected());

        // A press released outside the row is no click.
        QTest::mousePress(rows[1], Qt::LeftButton);
        QTest::mouseRelease(rows[1], Qt::LeftButton, {}, QPoint(-4, -4));
        QCOMPARE(sidebar.model->mode(), Mode::edit);

        sidebar.model->setMode(Mode::hald);
        QVERIFY(rows[3]->isSelected());
        QCOMPARE(
            std::count_if(rows.begin(), rows.end(), [](ModeRow* r) { return r->isSelected(); }), 1);
    }

    void theKeyboardStepsThroughTheModes()
    {
        Sidebar sidebar;
        QApplication::setActiveWindow(sidebar.view.get());
        QVERIFY(QTest::qWaitForWindowActive(sidebar.view.get()));
        const auto& rows = sidebar.view->modeRows();
        rows[0]->setFocus(Qt::TabFocusReason);
        QTest::keyClick(rows[0], Qt::Key_Down);
        QCOMPARE(sidebar.model->mode(), Mode::match);
        QVERIFY(rows[1]->hasFocus());
        QTest::keyClick(rows[1], Qt::Key_Up);
        QTest::keyClick(rows[0], Qt::Key_Up);  // stays on the first row
        QCOMPARE(sidebar.model->mode(), Mode::look);
        QTest::keyClick(rows[3], Qt::Key_Space);
        QCOMPARE(sidebar.model->mode(), Mode::hald);
    }

    // Wells per mode.

    void wellsFollowTheMode_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QStringList>("slots");
        QTest::addColumn<QString>("header");
        QTest::newRow("look") << "look" << QStringList{"lookReference"} << "Images";
        QTest::newRow("match") << "match" << QStringList{"matchSource", "matchReference"}
                               << "Images";
        QTest::newRow("edit") << "edit" << QStringList{"editBefore", "editAfter"} << "Images";
        QTest::newRow("hald") << "hald" << QStringList{"hald"} << "HALD image";
    }

    void wellsFollowTheMode()
    {
        QFETCH(QString, mode);
        QFETCH(QStringList, slots);
        QFETCH(QString, header);
        Sidebar sidebar;
        // Pass through another mode first, so every row also covers a replacement.
        sidebar.model->setMode(mode == "match" ? Mode::edit : Mode::match);
        sidebar.model->setMode(*Modes::fromRawValue(mode));

        QStringList shown;
        for (ImageWell* well : sidebar.view->inputWells()) {
            shown << Slots::rawValue(well->slot());
            QVERIFY(!well->isCompact());
            QVERIFY(well->isVisibleTo(sidebar.view.get()));
            QCOMPARE(well->height(), 132);
        }
        QCOMPARE(shown, slots);
        const QList<ImageWell*> all = sidebar.view->findChildren<ImageWell*>();
        const auto visible = std::count_if(all.begin(), all.end(), [&](ImageWell* well) {
            return well->isVisibleTo(sidebar.view.get());
        });
        QCOMPARE(visible, slots.size() + 1);  // and the preview well
        QCOMPARE(sidebar.view->imagesHeader(), header);

        // Laid out top to bottom: the wells in slot order, the button, the preview well.
        sidebar.view->widget()->layout()->activate();
        int bottom = -1;
        for (ImageWell* well : sidebar.view->inputWells()) {
            QVERIFY(well->y() > bottom);
            bottom = well->geometry().bottom();
        }
        QPushButton* save = sidebar.view->saveHaldButton();
        QCOMPARE(save->isVisibleTo(sidebar.view.get()), mode == "hald");
        if (mode == "hald") {
            QVERIFY(save->y() > bottom);
            bottom = save->geometry().bottom();
        }
        QVERIFY(sidebar.view->previewWell()->y() > bottom);
        QCOMPARE(save->text(), QString("Save Identity HALD…"));
        QCOMPARE(
            save->toolTip(),
            QString("Save a neutral 512 × 512 HALD image to grade in Photoshop or any editor"));
    }

    void thePreviewWellIsKeptAcrossModeSwitches()
    {
        Sidebar sidebar;
        ImageWell* preview = sidebar.view->previewWell();
        QCOMPARE(preview->slot(), Slot::preview);
        QVERIFY(preview->isCompact());
        QCOMPARE(preview->height(), 82);
        sidebar.model->load(sidebar.harness.writePhoto("extra"), Slot::preview);
        QVERIFY(waitUntilIdle(*sidebar.model));

        for (Mode mode : {Mode::match, Mode::hald, Mode::edit, Mode::look}) {
            sidebar.model->setMode(mode);
            QCOMPARE(sidebar.view->previewWell(), preview);
            QVERIFY(preview->isVisibleTo(sidebar.view.get()));
            QVERIFY(preview->isFilled());
            QCOMPARE(preview->label(), QString("Preview photo"));
        }
    }

    // Clicks and drops.

    void clickingAWellAsksForAnImageForItsSlot()
    {
        Sidebar sidebar;
        sidebar.model->setMode(Mode::match);
        const QString photo = sidebar.harness.writePhoto("reference");
        sidebar.harness.panels().answers.push_back(photo);
        QTest::mouseClick(sidebar.well(Slot::matchReference), Qt::LeftButton);
        QCOMPARE(sidebar.harness.panels().imageMessages.size(), 1);
        QVERIFY(sidebar.harness.panels().imageMessages.front().startsWith("Reference look"));
        QVERIFY(waitUntilIdle(*sidebar.model));
        QCOMPARE(loadedName(*sidebar.model, Slot::matchReference), QString("reference"));
        QVERIFY(!sidebar.model->images().contains(Slot::matchSource));

        // A press released outside the well is no click.
        QTest::mousePress(sidebar.well(Slot::matchSource), Qt::LeftButton);
        QTest::mouseRelease(sidebar.well(Slot::matchSource), Qt::LeftButton, {}, QPoint(-4, -4));
        QCOMPARE(sidebar.harness.panels().imageMessages.size(), 1);

        // A cancelled panel loads nothing; the preview well asks for its own slot.
        QTest::mouseClick(sidebar.view->previewWell(), Qt::LeftButton);
        QCOMPARE(sidebar.harness.panels().imageMessages.size(), 2);
        QVERIFY(sidebar.harness.panels().imageMessages.back().startsWith("Preview photo"));
        QVERIFY(sidebar.model->loading().empty());
    }

    void spaceChoosesAnImageAndDeleteEmptiesTheWell()
    {
        Sidebar sidebar;
        ImageWell* well = sidebar.well(Slot::lookReference);
        sidebar.harness.panels().answers.push_back(sidebar.harness.writePhoto("typed"));
        QTest::keyClick(well, Qt::Key_Space);
        QCOMPARE(sidebar.harness.panels().imageMessages.size(), 1);
        QVERIFY(waitUntilIdle(*sidebar.model));
        QCOMPARE(loadedName(*sidebar.model, Slot::lookReference), QString("typed"));
        QTest::keyClick(well, Qt::Key_Delete);
        QVERIFY(!sidebar.model->images().contains(Slot::lookReference));
    }

    void aDropOfSeveralFilesLoadsOnlyTheFirst()
    {
        Sidebar sidebar;
        sidebar.model->setMode(Mode::edit);
        const QString first = sidebar.harness.writePhoto("first");
        const QString second = sidebar.harness.writePhoto("second");
        ImageWell* after = sidebar.well(Slot::editAfter);
        QSignalSpy images(sidebar.model.get(), &AppModel::imagesChanged);
        QVERIFY(drop(after, {QUrl::fromLocalFile(first), QUrl::fromLocalFile(second)}));
        QTRY_COMPARE(images.count(), 1);
        QVERIFY(waitUntilIdle(*sidebar.model));
        QCOMPARE(loadedName(*sidebar.model, Slot::editAfter), QString("first"));
        QCOMPARE(sidebar.model->images().size(), std::size_t{1});
        QCOMPARE(sidebar.model->loadJob(Slot::editAfter).started(), 1);
        QVERIFY(!after->isTargeted());

        // Remote URLs are passed over for the first local file.
        QVERIFY(drop(sidebar.well(Slot::editBefore),
                     {QUrl("https://example.com/a.png"), QUrl::fromLocalFile(second)}));
        QVERIFY(waitUntilIdle(*sidebar.model));
        QCOMPARE(loadedName(*sidebar.model, Slot::editBefore), QString("second"));
    }

    void dragsWithoutLocalFilesAreRefused()
    {
        Sidebar sidebar;
        ImageWell* well = sidebar.well(Slot::lookReference);
        QMimeData text;
        text.setText("not a file");
        QVERIFY(!dragEnter(well, text));
        QMimeData remote;
        remote.setUrls({QUrl("https://example.com/a.png")});
        QVERIFY(!dragEnter(well, remote));
        QVERIFY(!well->isTargeted());
        QVERIFY(!drop(well, {QUrl("https://example.com/a.png")}));
        QVERIFY(sidebar.model->loading().empty());
        QCOMPARE(sidebar.model->loadJob(Slot::lookReference).started(), 0);
    }

    void aFileDragTargetsTheWellUntilItLeaves()
    {
        Sidebar sidebar;
        ImageWell* well = sidebar.well(Slot::lookReference);
        QCOMPARE(well->borderColour(), Theme::secondary(0.4));
        QMimeData file;
        file.setUrls({QUrl::fromLocalFile(sidebar.harness.writePhoto("dragged"))});
        QVERIFY(dragEnter(well, file));
        QVERIFY(well->isTargeted());
        QCOMPARE(well->borderColour(), Theme::accent());
        QCOMPARE(well->targetScale(), 1.02);
        QDragLeaveEvent leave;
        QApplication::sendEvent(well, &leave);
        QVERIFY(!well->isTargeted());
        QCOMPARE(well->targetScale(), 1.0);
        QCOMPARE(sidebar.model->loadJob(Slot::lookReference).started(), 0);
    }

    // What a well shows.

    void anEmptyWellInvitesADrop()
    {
        Sidebar sidebar;
        ImageWell* regular = sidebar.well(Slot::lookReference);
        QVERIFY(!regular->isFilled());
        QCOMPARE(regular->prompt(), QString("Drop an image or click"));
        QCOMPARE(regular->hint(), QString("The image whose colours you want"));
        QVERIFY(regular->sizeBadge().isEmpty());
        QCOMPARE(regular->accessibleName(), QString("Look photo"));
        QCOMPARE(regular->accessibleDescription(), QString("The image whose colours you want"));

        ImageWell* compact = sidebar.view->previewWell();
        QCOMPARE(compact->prompt(), QString("Drop a photo"));
        QVERIFY(compact->hint().isEmpty());
        QCOMPARE(compact->accessibleName(), QString("Preview photo"));
    }

    void aFilledWellShowsItsLabelAndTheSourceSize()
    {
        Sidebar sidebar;
        ImageWell* well = sidebar.well(Slot::lookReference);
        const QString photo = sidebar.harness.writePhoto("shot", {1, 1, 1}, 120, 80);
        sidebar.model->load(photo, Slot::lookReference);
        QVERIFY(waitUntilIdle(*sidebar.model));
        QVERIFY(well->isFilled());
        QCOMPARE(well->label(), QString("Look photo"));
        QCOMPARE(well->sizeBadge(), QString("120 × 80"));
        QVERIFY(well->prompt().isEmpty());
        QVERIFY(well->hint().isEmpty());
        QCOMPARE(well->borderColour(), Theme::secondary(0.18));
        QCOMPARE(well->toolTip(), photo);
        // Other wells are untouched.
        QVERIFY(!sidebar.view->previewWell()->isFilled());
    }

    void theRemoveButtonAppearsOnHoverAndEmptiesTheSlot()
    {
        Sidebar sidebar;
        ImageWell* well = sidebar.well(Slot::lookReference);
        hover(well, true);
        QVERIFY(well->isHovering());
        QVERIFY(well->removeButton()->isHidden());  // nothing to remove yet
        hover(well, false);

        sidebar.model->load(sidebar.harness.writePhoto("shot"), Slot::lookReference);
        QVERIFY(waitUntilIdle(*sidebar.model));
        QVERIFY(well->removeButton()->isHidden());
        hover(well, true);
        QCOMPARE(well->targetScale(), 1.02);
        QToolButton* remove = well->removeButton();
        QVERIFY(!remove->isHidden());
        QCOMPARE(remove->toolTip(), QString("Remove"));

        QTest::mouseClick(remove, Qt::LeftButton);
        QVERIFY(!sidebar.model->images().contains(Slot::lookReference));
        QVERIFY(!well->isFilled());
        QVERIFY(remove->isHidden());
        QVERIFY(well->toolTip().isEmpty());
        QVERIFY(sidebar.harness.panels().imageMessages.isEmpty());  // not a click on the well

        hover(well, false);
        QVERIFY(!well->isHovering());
        QCOMPARE(well->targetScale(), 1.0);
    }

    void theWellShowsProgressWhileItsSlotLoads()
    {
        Sidebar sidebar;
        ImageWell* well = sidebar.well(Slot::lookReference);
        ImageWell* preview = sidebar.view->previewWell();
        QVERIFY(!well->isLoading());
        // Connected after the wells, so each entry is what the wells showed after the change;
        // a small file may finish before load() returns.
        QList<std::pair<bool, bool>> seen;  // (model holds the slot, well shows progress)
        connect(sidebar.model.get(), &AppModel::loadingChanged, this, [&] {
            seen.append(
                {sidebar.model->loading().contains(Slot::lookReference), well->isLoading()});
            QVERIFY(!preview->isLoading());
        });
        sidebar.model->load(sidebar.harness.writePhoto("slow"), Slot::lookReference);
        QTRY_COMPARE_WITH_TIMEOUT(seen.size(), 2, 60000);
        QCOMPARE(seen[0], std::make_pair(true, true));
        QCOMPARE(seen[1], std::make_pair(false, false));
        QVERIFY(well->isFilled());
    }

    void aWellHiddenByAModeSwitchForgetsItsHover()
    {
        Sidebar sidebar;
        ImageWell* look = sidebar.well(Slot::lookReference);
        hover(look, true);
        sidebar.model->setMode(Mode::match);
        QVERIFY(!look->isVisibleTo(sidebar.view.get()));
        sidebar.model->setMode(Mode::look);
        QCOMPARE(sidebar.well(Slot::lookReference), look);
        QVERIFY(!look->isHovering());
        QCOMPARE(look->targetScale(), 1.0);
    }
};

QTEST_MAIN(SidebarTests)
#include "SidebarTests.moc"
