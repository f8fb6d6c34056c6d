#pragma once

// compare: how far one image is from another, or a LUT's result from a target image, in
// 8-bit levels and in CIEDE2000, with an optional heat map of the per-pixel difference.

#include "cli/Command.hpp"

namespace lumivert::CompareCommand {

Command command();

}  // namespace lumivert::CompareCommand
