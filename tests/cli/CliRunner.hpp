#pragma once

// Runs the built lumivert-cli in a temporary folder and captures what it prints.

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

    // The program run with these arguments (quoted for the shell) in the working folder.
    CliResult run(const std::vector<std::string>& arguments) const;

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
