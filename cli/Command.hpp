#pragma once

// One subcommand of lumivert-cli, registered in the command table: its name, its help with
// examples, and a function that declares its arguments and options and returns its action.

#include <CLI/CLI.hpp>

#include <functional>
#include <string>
#include <vector>

namespace lumivert {

// What a command does once its command line is parsed; returns the exit status.
using Action = std::function<int()>;

struct Command {
    std::string name;
    std::string description;
    std::string examples;  // the help's "Examples:" lines, each ending in a newline
    // Adds the arguments and options to the command's parser and returns the action that reads
    // them; empty for a group of subcommands.
    std::function<Action(CLI::App&)> define;
    std::vector<Command> subcommands;
};

}  // namespace lumivert
