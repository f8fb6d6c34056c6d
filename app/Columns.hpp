#pragma once
// The three columns of the main window, built on one model.
#include "ContentView.hpp"

namespace lumivert {

ContentView::Columns makeColumns(AppModel& model);

}  // namespace lumivert
