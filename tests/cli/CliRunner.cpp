#include "CliRunner.hpp"

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>

namespace lumivert::testing {

namespace {

std::string shellQuoted(const std::string& argument)
{
    std::string quoted = "'";
    for (const char c : argument)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string contents(const std::filesystem::path& file)
{
    std::ifstream stream(file, std::ios::binary);
    std::ostringstream text;
    text << stream.rdbuf();
    return text.str();
}

}  // namespace

CliRunner::CliRunner()
{
    std::random_device random;
    folder_ = std::filesystem::temp_directory_path() /
              ("lumivert-cli-test-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(folder_);
}

CliRunner::~CliRunner()
{
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

CliResult CliRunner::run(const std::vector<std::string>& arguments,
                         std::chrono::seconds timeLimit) const
{
    return runProgram(LUMIVERT_CLI_PATH, arguments, {}, timeLimit);
}

CliResult CliRunner::runProgram(const std::filesystem::path& program,
                                const std::vector<std::string>& arguments,
                                const std::vector<std::string>& environment,
                                std::chrono::seconds timeLimit) const
{
    const std::filesystem::path out =
        folder_.parent_path() / (folder_.filename().string() + ".out");
    const std::filesystem::path err =
        folder_.parent_path() / (folder_.filename().string() + ".err");
    const std::string limit =
        timeLimit.count() > 0 ? "timeout -k 5 " + std::to_string(timeLimit.count()) + " " : "";
    std::string command = "cd " + shellQuoted(folder_.string()) + " && " + limit;
    if (!environment.empty()) {
        command += "env";
        for (const std::string& setting : environment)
            command += " " + shellQuoted(setting);
        command += " ";
    }
    command += shellQuoted(program.string());
    for (const std::string& argument : arguments)
        command += " " + shellQuoted(argument);
    command += " >" + shellQuoted(out.string()) + " 2>" + shellQuoted(err.string());
    const int raw = std::system(command.c_str());
    CliResult result;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = contents(out);
    result.err = contents(err);
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return result;
}

std::vector<std::string> CliRunner::entries() const
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder_))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::filesystem::path CliRunner::sample(const std::string& name)
{
    return std::filesystem::path(LUMIVERT_SAMPLES_DIR) / name;
}

}  // namespace lumivert::testing
