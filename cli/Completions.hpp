#pragma once

// Tab completion scripts for bash, zsh and fish, written from the command outline: commands at
// each level, each command's options, the allowed values of an option with a fixed set of them,
// and file names elsewhere.

#include "cli/CommandOutline.hpp"

#include <string>
#include <string_view>

namespace lumivert::Completions {

// For /usr/share/bash-completion/completions/<program>.
std::string bash(const CommandOutline::Command& root, std::string_view program);
// For a folder on zsh's fpath, as the file _<program>.
std::string zsh(const CommandOutline::Command& root, std::string_view program);
// For /usr/share/fish/vendor_completions.d/<program>.fish.
std::string fish(const CommandOutline::Command& root, std::string_view program);

}  // namespace lumivert::Completions
