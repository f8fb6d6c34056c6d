#pragma once

// The lumivert-cli command line: every subcommand, its options and its exit status
// (0 success, 1 a failure with the app's message on standard error, 2 a usage error).

namespace lumivert::Commands {

int run(int argc, const char* const* argv);

}  // namespace lumivert::Commands
