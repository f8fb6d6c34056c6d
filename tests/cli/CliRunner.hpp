#pragma once

// Runs the built lumivert-cli in a temporary folder and captures what it prints.

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace lumivert::testing {

struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
};

class CliRunner {
public:
    // A fresh, empty working folder, removed with its contents at the end.
    CliRunner();
    ~CliRunner();
    CliRunner(const CliRunner&) = delete;
    CliRunner& operator=(const CliRunner&) = delete;

    // The program run with these arguments (quoted for the shell) in the working folder. With a
    // time limit, a run that outlasts it is killed and has the status 124.
    CliResult run(const std::vector<std::string>& arguments,
                  std::chrono::seconds timeLimit = std::chrono::seconds(0)) const;
    // Another program, such as a tool to compare with, run the same way; `environment` holds
    // "NAME=value" settings for it alone.
    CliResult runProgram(const std::filesystem::path& program,
                         const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment = {},
                         std::chrono::seconds timeLimit = std::chrono::seconds(0)) const;

    const std::filesystem::path& folder() const { return folder_; }
    std::filesystem::path operator/(const std::string& name) const { return folder_ / name; }
    // Names of the folder's entries, sorted.
    std::vector<std::string> entries() const;

    // A sample photo that ships with the project.
    static std::filesystem::path sample(const std::string& name);

private:
    std::filesystem::path folder_;
};

}  // namespace lumivert::testing
