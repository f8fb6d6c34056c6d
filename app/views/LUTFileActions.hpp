#pragma once
// Opening a LUT file from the window: the open panel over every format the reader takes.
#include <QString>

class QWidget;

namespace lumivert {

class AppModel;

namespace LUTFileActions {

// "LUT files (*.cube *.3dl *.png)" first, then each format's own filter.
QString nameFilters();
// Asks for a file and opens it in the model; nothing when the user cancels.
void choose(AppModel& model, QWidget* parent);

}  // namespace LUTFileActions

}  // namespace lumivert
