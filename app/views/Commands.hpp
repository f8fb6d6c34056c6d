#pragma once
// The menu bar: File (open an image or a LUT file, recent files, export, apply to photos,
// identity HALD, quit), Edit (undo, redo), Mode (the four modes, reset), View (the preview's zoom
// and compare styles) and Help. No item is disabled but Undo and Redo with nothing to undo or
// redo; the model answers an impossible request with an alert.
class QMainWindow;

namespace lumivert {

class AppModel;

void installCommands(QMainWindow& window, AppModel& model);

}  // namespace lumivert
