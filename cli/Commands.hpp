#pragma once

// The lumivert-cli command line: the table of subcommands, the parser built from it and the
// exit status (0 success, 1 a failure with the app's message on standard error, 2 a usage
// error).

#include "cli/Command.hpp"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumivert::Commands {

// Runs the command; whatever it printed must reach standard output, else it fails with status 1
// and "could not write to standard output: <reason>".
int run(int argc, const char* const* argv);

// The whole parser: the program's help, its version flag and every command of the table. The
// manual and the shell completions are generated from it. Parsing stores the chosen command's
// action in `chosen`, which must outlive the parser.
std::unique_ptr<CLI::App> parser(Action& chosen);

// The name nearest the typed word by edit distance, when it is near enough to be a slip of the
// keyboard rather than another word; the earlier name wins a tie.
std::optional<std::string> suggestion(std::string_view typed,
                                      const std::vector<std::string>& names);

}  // namespace lumivert::Commands
