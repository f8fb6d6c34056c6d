#include "Columns.hpp"

#include <QWidget>

namespace lumivert {

// Placeholder until the views land (not committed).
ContentView::Columns makeColumns(AppModel&) { return {new QWidget, new QWidget, new QWidget}; }

}  // namespace lumivert
