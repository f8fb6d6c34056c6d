#include "CliRunner.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace lumivert {
namespace {

using testing::CliResult;
using testing::CliRunner;

// The built program run in the runner's folder with its standard output on `out`.
CliResult runWithOutput(const CliRunner& cli, int out, const std::vector<std::string>& arguments)
{
    const std::filesystem::path err = cli / "stderr.txt";
    std::vector<std::string> words{LUMIVERT_CLI_PATH};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, cli.folder().c_str());
    posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t child = -1;
    CliResult result;
    if (::posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        ::waitpid(child, &status, 0);
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    std::ifstream stream(err);
    std::ostringstream text;
    text << stream.rdbuf();
    result.err = text.str();
    return result;
}

struct Printing {
    const char* label;
    std::vector<std::string> arguments;
};

class StandardOutput : public ::testing::TestWithParam<Printing> {
protected:
    static void SetUpTestSuite()
    {
        cli_ = std::make_unique<CliRunner>();
        std::filesystem::copy_file(CliRunner::sample("chelsea.png"), *cli_ / "photo.png");
        ASSERT_EQ(cli_->run({"identity-hald", "identity.png", "--level", "4"}).status, 0);
        ASSERT_EQ(cli_->run({"hald", "identity.png", "-o", "identity.cube"}).status, 0);
    }
    static void TearDownTestSuite() { cli_.reset(); }

    static std::unique_ptr<CliRunner> cli_;
};

std::unique_ptr<CliRunner> StandardOutput::cli_;

// Every command that prints checks that its words reached standard output: a full device and a
// pipe nobody reads fail the command with the reason, where a reader would otherwise take a cut
// report for a whole one.
TEST_P(StandardOutput, AnOutputThatCannotBeWrittenFailsTheCommand)
{
    const std::vector<std::string>& arguments = GetParam().arguments;
    const int file = ::open((*cli_ / "stdout.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const CliResult written = runWithOutput(*cli_, file, arguments);
    ::close(file);
    EXPECT_EQ(written.status, 0) << written.err;
    EXPECT_GT(std::filesystem::file_size(*cli_ / "stdout.txt"), 0u) << "the command prints";

    const int full = ::open("/dev/full", O_WRONLY);
    ASSERT_GE(full, 0);
    const CliResult onFull = runWithOutput(*cli_, full, arguments);
    ::close(full);
    EXPECT_EQ(onFull.status, 1);
    EXPECT_TRUE(onFull.err.ends_with("could not write to standard output: no space left on "
                                     "device\n"))
        << onFull.err;

    int ends[2] = {-1, -1};
    ASSERT_EQ(::pipe(ends), 0);
    ::close(ends[0]);
    const CliResult onClosedPipe = runWithOutput(*cli_, ends[1], arguments);
    ::close(ends[1]);
    EXPECT_EQ(onClosedPipe.status, 1) << "not killed by SIGPIPE";
    EXPECT_TRUE(onClosedPipe.err.ends_with("could not write to standard output: broken pipe\n"))
        << onClosedPipe.err;
}

INSTANTIATE_TEST_SUITE_P(
    EveryCommand, StandardOutput,
    ::testing::Values(Printing{"look", {"look", "photo.png", "-o", "look.cube"}},
                      Printing{"match", {"match", "photo.png", "photo.png", "-o", "match.cube"}},
                      Printing{"edit", {"edit", "photo.png", "photo.png", "-o", "edit.cube"}},
                      Printing{"hald", {"hald", "identity.png", "-o", "hald.cube"}},
                      Printing{"analyse", {"analyse", "look", "photo.png"}},
                      Printing{"apply",
                               {"apply", "identity.cube", "photo.png", "-o", "graded.png"}},
                      Printing{"convert", {"convert", "identity.cube", "-o", "identity.3dl"}},
                      Printing{"info", {"info", "identity.cube"}},
                      Printing{"identity_hald", {"identity-hald", "small.png", "--level", "2"}},
                      Printing{"chart", {"chart", "chart.png"}},
                      Printing{"compare", {"compare", "photo.png", "photo.png"}},
                      Printing{"compare_json", {"compare", "photo.png", "photo.png", "--json"}},
                      Printing{"help", {"info", "--help"}}, Printing{"version", {"--version"}}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace lumivert
