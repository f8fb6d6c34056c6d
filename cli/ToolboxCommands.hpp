#pragma once

// The commands that make a LUT out of others: combine several, invert one, or turn an ASC CDL
// into one.

#include "cli/Command.hpp"

#include <vector>

namespace lumivert::ToolboxCommands {

// combine, invert and cdl, in the order the help lists them.
std::vector<Command> commands();

}  // namespace lumivert::ToolboxCommands
