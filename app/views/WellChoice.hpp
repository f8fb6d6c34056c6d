#pragma once
// Where an image opened without a well of its own goes: the first empty well of the mode, or,
// when every well already holds an image, the one the user picks (replacing an image silently
// would lose it).
#include "AppTypes.hpp"

#include <optional>

class QWidget;

namespace lumivert {

class AppModel;

namespace WellChoice {

// True when each of the mode's wells holds an image and none is loading a new one.
bool allFull(const AppModel& model);

// The drop target while a well is empty; otherwise asks, and gives nothing when the user cancels.
std::optional<Slot> target(AppModel& model, QWidget* parent);

}  // namespace WellChoice

}  // namespace lumivert
