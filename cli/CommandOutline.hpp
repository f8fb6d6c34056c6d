#pragma once

// The command line as plain data, read from the parser itself: the manual and the shell
// completions are written from this, so that they list exactly what the parser accepts.

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

namespace lumivert::CommandOutline {

struct Option {
    std::vector<std::string> names;    // "-o" before "--output"; a positional's single name
    std::string valueName;             // "TEXT", "INT", …; empty for a flag
    std::vector<std::string> choices;  // the values a membership check allows, in its order
    std::string description;
    bool positional = false;
    bool required = false;
    bool repeats = false;  // takes any number of values (a positional list)
};

struct Command {
    std::vector<std::string> path;  // the words that select it, after the program's name
    std::string description;
    std::string footer;
    std::vector<Option> options;      // flags and options, in the order they were added
    std::vector<Option> positionals;  // in the order they are given
    std::vector<Command> subcommands;
};

// The program (empty path) and every command under it. Options without a group are hidden
// from the help, and so from the outline too.
Command outline(const CLI::App& app);

// The path joined by spaces, such as "analyse look"; empty for the program.
std::string joinedPath(const Command& command);

// Every command of the tree, the program first, each before its subcommands.
std::vector<const Command*> flatten(const Command& root);

}  // namespace lumivert::CommandOutline
