#pragma once

// Runs a shell command line for the packaging tests and captures its standard output.

#include <filesystem>
#include <string>

namespace lumivert::testing {

struct ShellResult {
    int status = -1;
    std::string out;
};

// `command` runs under /bin/sh; standard error goes to the test's own.
ShellResult shell(const std::string& command);

// The text in single quotes for /bin/sh.
std::string quoted(const std::string& text);

// Whether a program of this name is on the PATH.
bool installed(const std::string& program);

std::string readText(const std::filesystem::path& path);

}  // namespace lumivert::testing
