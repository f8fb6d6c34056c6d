#pragma once

// The commands that work on files rather than grades: apply a LUT to images, convert and
// describe LUT files, and write the identity HALD template and the test chart.

#include "cli/Command.hpp"

#include <vector>

namespace lumivert::FileCommands {

// apply, convert, info, identity-hald and chart, in the order the help lists them.
std::vector<Command> commands();

}  // namespace lumivert::FileCommands
