#include "Commands.hpp"

#include "AppModel.hpp"
#include "ApplyPhotosDialog.hpp"
#include "CompareView.hpp"
#include "HelpMenu.hpp"
#include "LUTFileActions.hpp"
#include "Presentation.hpp"
#include "RecentFiles.hpp"
#include "UndoHistory.hpp"
#include "WellChoice.hpp"

#include <QActionGroup>
#include <QApplication>
#include <QFileInfo>
#include <QMainWindow>
#include <QMenuBar>
#include <QUndoStack>

namespace lumivert {

namespace {

const std::array<QKeySequence, 4> modeShortcuts{
    QKeySequence(Qt::CTRL | Qt::Key_1), QKeySequence(Qt::CTRL | Qt::Key_2),
    QKeySequence(Qt::CTRL | Qt::Key_3), QKeySequence(Qt::CTRL | Qt::Key_4)};

// Images go where a drop would put them; LUT files are shown.
void openRecent(QMainWindow& window, AppModel& model, const RecentFiles::Entry& entry)
{
    if (entry.lut) {
        model.openLUTFile(entry.path);
        return;
    }
    if (const auto slot = WellChoice::target(model, &window))
        model.load(entry.path, *slot);
}

void fillRecentMenu(QMenu& menu, QMainWindow& window, AppModel& model, RecentFiles& recent)
{
    menu.clear();
    const std::vector<RecentFiles::Entry> entries = recent.entries();
    for (const RecentFiles::Entry& entry : entries) {
        QAction* item =
            menu.addAction(QFileInfo(entry.path).fileName(), &model,
                           [&window, &model, entry] { openRecent(window, model, entry); });
        item->setToolTip(entry.path);
    }
    if (entries.empty())
        menu.addAction(QStringLiteral("No Recent Files"))->setEnabled(false);
    menu.addSeparator();
    QAction* clear = menu.addAction(QStringLiteral("Clear"), &recent, &RecentFiles::clear);
    clear->setEnabled(!entries.empty());
}

void addRecentMenu(QMenu& file, QMainWindow& window, AppModel& model)
{
    auto* recent = new RecentFiles(model.defaultsStore(), &window);
    recent->setObjectName(QStringLiteral("recentFiles"));
    // A scripted run leaves the user's list alone, as it does every other setting.
    if (!model.capturing())
        QObject::connect(&model, &AppModel::fileOpened, recent, &RecentFiles::add);
    QMenu* menu = file.addMenu(QStringLiteral("Open Recent"));
    menu->setObjectName(QStringLiteral("openRecentMenu"));
    const auto fill = [menu, &window, &model, recent] {
        fillRecentMenu(*menu, window, model, *recent);
    };
    // Queued: "Clear" and the items change the list from inside their own trigger.
    QObject::connect(recent, &RecentFiles::changed, menu, fill, Qt::QueuedConnection);
    fill();
}

void applyToPhotos(QMainWindow& window, AppModel& model)
{
    auto* dialog = new ApplyPhotosDialog(model, &window);
    dialog->setObjectName(QStringLiteral("applyPhotosDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

void addFileMenu(QMainWindow& window, AppModel& model)
{
    QMenu* file = window.menuBar()->addMenu(QStringLiteral("&File"));
    QAction* open = file->addAction(QStringLiteral("Open Image…"), &model, [&window, &model] {
        if (const auto slot = WellChoice::target(model, &window))
            model.chooseImage(*slot);
    });
    open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    QAction* openLUT = file->addAction(QStringLiteral("Open LUT…"), &model, [&window, &model] {
        LUTFileActions::choose(model, &window);
    });
    openLUT->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    addRecentMenu(*file, window, model);
    file->addSeparator();
    QAction* exportLUT =
        file->addAction(QStringLiteral("Export LUT…"), &model, [&model] { model.exportLUT(); });
    exportLUT->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    QAction* apply = file->addAction(QStringLiteral("Apply to Photos…"), &model,
                                     [&window, &model] { applyToPhotos(window, model); });
    apply->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A));
    QAction* hald = file->addAction(QStringLiteral("Save Identity HALD…"), &model,
                                    [&model] { model.saveIdentityHALD(); });
    hald->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_H));
    file->addSeparator();
    QAction* quit = file->addAction(QStringLiteral("Quit"), &window, [&window] { window.close(); });
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setMenuRole(QAction::QuitRole);
}

void addEditMenu(QMainWindow& window, AppModel& model)
{
    QMenu* edit = window.menuBar()->addMenu(QStringLiteral("&Edit"));
    auto* history = new UndoHistory(model, &window, &window);
    history->setObjectName(QStringLiteral("undoHistory"));
    // The items name the step they undo or redo ("Undo Intensity").
    QAction* undo = history->stack()->createUndoAction(edit, QStringLiteral("Undo"));
    undo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    QAction* redo = history->stack()->createRedoAction(edit, QStringLiteral("Redo"));
    redo->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    edit->addAction(undo);
    edit->addAction(redo);
}

void addModeMenu(QMainWindow& window, AppModel& model)
{
    QMenu* menu = window.menuBar()->addMenu(QStringLiteral("&Mode"));
    auto* group = new QActionGroup(menu);
    group->setExclusive(true);
    std::array<QAction*, 4> actions{};
    for (std::size_t index = 0; index < Modes::allCases().size(); ++index) {
        const Mode mode = Modes::allCases()[index];
        QAction* action = menu->addAction(Presentation::actionText(Modes::title(mode)), &model,
                                          [&model, mode] { model.setMode(mode); });
        action->setShortcut(modeShortcuts[index]);
        action->setCheckable(true);
        action->setChecked(model.mode() == mode);
        group->addAction(action);
        actions[index] = action;
    }
    QObject::connect(&model, &AppModel::modeChanged, menu, [&model, actions] {
        actions[static_cast<std::size_t>(model.mode())]->setChecked(true);
    });
    menu->addSeparator();
    QAction* reset = menu->addAction(QStringLiteral("Reset Adjustments"), &model,
                                     [&model] { model.resetAdjustments(); });
    reset->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
}

// The compare styles, as the preview's picker offers them, and a key that flips between the
// original and the graded photo (`\`, as in darktable).
void addCompareItems(QMenu& view, AppModel& model)
{
    auto* group = new QActionGroup(&view);
    for (CompareStyle style : CompareStyles::allCases()) {
        QAction* action =
            view.addAction(Presentation::actionText(Presentation::compareStyleLabel(style)), &model,
                           [&model, style] { model.setCompareStyle(style); });
        action->setCheckable(true);
        action->setChecked(model.compareStyle() == style);
        action->setData(static_cast<int>(style));
        group->addAction(action);
    }
    QObject::connect(&model, &AppModel::compareStyleChanged, group, [group, &model] {
        for (QAction* action : group->actions())
            action->setChecked(action->data().toInt() == static_cast<int>(model.compareStyle()));
    });
    QAction* flip = view.addAction(QStringLiteral("Flip Original and With LUT"), &model, [&model] {
        model.setCompareStyle(model.compareStyle() == CompareStyle::original
                                  ? CompareStyle::graded
                                  : CompareStyle::original);
    });
    flip->setShortcut(QKeySequence(Qt::Key_Backslash));
}

// Zoom acts on the window's comparison, found when the item is chosen: the preview pane is
// built before the menus but may be rebuilt.
void addViewMenu(QMainWindow& window, AppModel& model)
{
    QMenu* view = window.menuBar()->addMenu(QStringLiteral("&View"));
    const auto onPreview = [&window](void (CompareView::*zoom)()) {
        return [&window, zoom] {
            if (auto* compare = window.findChild<CompareView*>())
                (compare->*zoom)();
        };
    };
    QAction* fit =
        view->addAction(QStringLiteral("Zoom to Fit"), &window, onPreview(&CompareView::zoomToFit));
    fit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
    // Ctrl+1 to Ctrl+4 pick the modes, so 1:1 takes the key of fit with Alt.
    QAction* actual = view->addAction(QStringLiteral("Actual Size"), &window,
                                      onPreview(&CompareView::zoomToActualSize));
    actual->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_0));
    QAction* in =
        view->addAction(QStringLiteral("Zoom In"), &window, onPreview(&CompareView::zoomIn));
    // Ctrl+= as well: on most layouts plus needs Shift.
    in->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    QAction* out =
        view->addAction(QStringLiteral("Zoom Out"), &window, onPreview(&CompareView::zoomOut));
    out->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Minus));
    view->addSeparator();
    addCompareItems(*view, model);
}

}  // namespace

void installCommands(QMainWindow& window, AppModel& model)
{
    addFileMenu(window, model);
    addEditMenu(window, model);
    addModeMenu(window, model);
    addViewMenu(window, model);
    HelpMenu::install(window);
    // The shortcuts work wherever the focus is inside the window.
    for (QAction* action : window.menuBar()->actions())
        if (action->menu())
            for (QAction* item : action->menu()->actions())
                item->setShortcutContext(Qt::ApplicationShortcut);
}

}  // namespace lumivert
