#pragma once
// The menu bar: File (open, export, identity HALD, quit) and Mode (the four modes, reset).
// No item is ever disabled; the model answers an impossible request with an alert.
class QMainWindow;

namespace lumivert {

class AppModel;

void installCommands(QMainWindow& window, AppModel& model);

}  // namespace lumivert
