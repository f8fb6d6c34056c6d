#include "ScreenshotScene.hpp"

#include "AppModel.hpp"
#include "CheckedFiles.hpp"
#include "CompareView.hpp"
#include "ExportPanel.hpp"

#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QMainWindow>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>

namespace lumivert::ScreenshotScene {

namespace {

// How long the full-size photo and the save panel's folder listing get to appear.
constexpr int detailPatienceMs = 30000;
constexpr int panelSettleMs = 700;

void zoom(QMainWindow& window, const QString& level)
{
    auto* view = window.findChild<CompareView*>();
    if (!view || level != QStringLiteral("1:1"))
        return;
    view->zoomToActualSize();
    if (view->showsFullResolution())
        return;
    QEventLoop loop;
    QObject::connect(view, &CompareView::detailRendered, &loop, &QEventLoop::quit);
    QTimer::singleShot(detailPatienceMs, &loop, &QEventLoop::quit);
    loop.exec();
}

void openHelp(QMainWindow& window)
{
    for (ExportPanel* panel : window.findChildren<ExportPanel*>()) {
        for (QToolButton* toggle : panel->helpToggles())
            toggle->setChecked(true);
        // The disclosures end the inspector: its bottom shows them.
        for (QWidget* parent = panel->parentWidget(); parent; parent = parent->parentWidget())
            if (auto* scroll = qobject_cast<QScrollArea*>(parent)) {
                QApplication::processEvents();
                scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
            }
    }
}

// The save panel runs modally; it is photographed and dismissed from inside its own loop.
bool shootSavePanel(AppModel& model, const QString& path)
{
    bool saved = false;
    QTimer::singleShot(panelSettleMs, [&saved, path] {
        if (auto* panel = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            saved = CheckedFiles::savePng(panel->grab().toImage(), path);
            panel->reject();
        }
    });
    model.saveIdentityHALD();
    return saved;
}

}  // namespace

bool shoot(QMainWindow& window, AppModel& model, const QMap<QString, QString>& environment,
           const QString& path)
{
    if (environment.value(QStringLiteral("LUMIVERT_SHOT")) == QStringLiteral("save-dialog"))
        return shootSavePanel(model, path);
    zoom(window, environment.value(QStringLiteral("LUMIVERT_ZOOM")));
    if (environment.value(QStringLiteral("LUMIVERT_HELP")) == QStringLiteral("open"))
        openHelp(window);
    QApplication::processEvents();
    return CheckedFiles::savePng(window.grab().toImage(), path);
}

}  // namespace lumivert::ScreenshotScene
