#pragma once
// The Help menu: the keyboard shortcuts (read from the menus themselves, so the list cannot go
// stale), how to use an exported LUT in other applications, and About with the version and the
// licences of the libraries the program is built on.
#include <QString>

#include <vector>

class QMainWindow;
class QMenuBar;

namespace lumivert::HelpMenu {

struct Shortcut {
    QString command;  // "File › Open LUT…"
    QString keys;     // "Ctrl+L", as this platform writes it
};

// Every menu item with a shortcut, in menu order.
std::vector<Shortcut> shortcuts(const QMenuBar& menus);
QString usingLUTsText();
QString aboutText();

void install(QMainWindow& window);

}  // namespace lumivert::HelpMenu
