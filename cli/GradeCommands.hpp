#pragma once

// The commands that grade: one per mode of the grade recipe (look, match, edit, hald), each
// loading its inputs, analysing them and baking the recipe's pipeline into the planned LUT
// files, and `analyse`, which prints a mode's analysis as JSON.

#include "cli/Command.hpp"

#include <vector>

namespace lumivert::GradeCommands {

// In the recipe's order of modes.
std::vector<Command> modeCommands();
Command analyse();

}  // namespace lumivert::GradeCommands
