#pragma once
// The menu bar: File (open, export, identity HALD, quit), Edit (undo, redo), Mode (the four
// modes, reset) and View (the preview's zoom and compare styles). No item is disabled but Undo and
// Redo with nothing to undo or redo; the model answers an impossible request with an alert.
class QMainWindow;

namespace lumivert {

class AppModel;

void installCommands(QMainWindow& window, AppModel& model);

}  // namespace lumivert
