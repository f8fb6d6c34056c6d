#pragma once
// What the automation's screenshot shows besides the window as the script left it, chosen by
// variables of the environment: LUMIVERT_ZOOM ("fit" or "1:1", the preview's zoom, waiting at 1:1
// for the full-size photo), LUMIVERT_HELP ("open": every help disclosure of the export panel
// open and scrolled into view) and LUMIVERT_SHOT ("save-dialog": the save panel of the identity
// HALD, with its message, instead of the window).
#include <QMap>
#include <QString>

class QMainWindow;

namespace lumivert {

class AppModel;

namespace ScreenshotScene {

// Sets the scene up, saves the PNG at `path` and returns whether it was written.
bool shoot(QMainWindow& window, AppModel& model, const QMap<QString, QString>& environment,
           const QString& path);

}  // namespace ScreenshotScene

}  // namespace lumivert
