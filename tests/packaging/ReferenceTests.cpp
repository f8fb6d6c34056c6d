// The manual page and the completions the build writes, checked against the parser the program
// runs: every command and option must reach the reader and the shell.
#include "Shell.hpp"
#include "cli/CommandOutline.hpp"
#include "cli/Commands.hpp"
#include "cli/Completions.hpp"
#include "cli/ManPage.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <unistd.h>

namespace lumivert {
namespace {

using testing::quoted;
using testing::shell;

const std::filesystem::path reference = LUMIVERT_REFERENCE_DIR;

const CommandOutline::Command& programOutline()
{
    static const CommandOutline::Command outline = [] {
        Action unused;
        return CommandOutline::outline(*Commands::parser(unused));
    }();
    return outline;
}

std::set<std::string> lines(const std::string& text)
{
    std::set<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            result.insert(line);
    return result;
}

// What the page shows a reader: formatted by man, wide enough that no line is broken.
std::string renderedPage(const std::filesystem::path& page)
{
    const testing::ShellResult result = shell("MAN_DISABLE_SECCOMP=1 MANWIDTH=250 LC_ALL=C.UTF-8 "
                                              "man --no-hyphenation --no-justification -l " +
                                              quoted(page.string()) + " 2>&1");
    EXPECT_EQ(result.status, 0) << result.out;
    return result.out;
}

// The words bash completion offers after `typed` (the words before the cursor, the last one
// being completed).
std::set<std::string> bashOffers(const std::filesystem::path& script,
                                 const std::vector<std::string>& typed)
{
    std::string words = "lumivert-cli";
    for (const std::string& word : typed)
        words += " " + quoted(word);
    const std::string program = "source " + quoted(script.string()) + "; COMP_WORDS=(" + words +
                                "); COMP_CWORD=" + std::to_string(typed.size()) +
                                "; _lumivert_cli; printf '%s\\n' \"${COMPREPLY[@]}\"";
    const testing::ShellResult result = shell("bash -c " + quoted(program));
    EXPECT_EQ(result.status, 0);
    return lines(result.out);
}

std::set<std::string> subcommandsOf(const CommandOutline::Command& command)
{
    std::set<std::string> names;
    for (const CommandOutline::Command& sub : command.subcommands)
        names.insert(sub.path.back());
    return names;
}

std::set<std::string> longOptionsOf(const CommandOutline::Command& command)
{
    std::set<std::string> names;
    for (const CommandOutline::Option& option : command.options)
        for (const std::string& name : option.names)
            if (name.starts_with("--"))
                names.insert(name);
    return names;
}

TEST(ManualPage, ShowsEveryCommandOptionAndExampleOfTheParser)
{
    const std::string page = renderedPage(reference / "lumivert-cli.1");
    for (const CommandOutline::Command* command : CommandOutline::flatten(programOutline())) {
        const std::string path = CommandOutline::joinedPath(*command);
        EXPECT_NE(page.find("lumivert-cli " + path), std::string::npos) << path;
        for (const CommandOutline::Option& option : command->options)
            for (const std::string& name : option.names)
                EXPECT_NE(page.find(name), std::string::npos) << path << ' ' << name;
        for (const CommandOutline::Option& positional : command->positionals)
            EXPECT_NE(page.find(positional.names.front()), std::string::npos) << path;
        // Each example as typed.
        std::istringstream footer(command->footer);
        for (std::string line; std::getline(footer, line);) {
            if (line.starts_with("  lumivert-cli")) {
                EXPECT_NE(page.find(line.substr(2)), std::string::npos) << line;
            }
        }
    }
}

TEST(ManualPage, RendersWithoutWarningsFromGroff)
{
    for (const char* name : {"lumivert-cli.1", "lumivert.1"}) {
        const testing::ShellResult result =
            shell("MAN_DISABLE_SECCOMP=1 LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings "
                  "-E UTF-8 -l " +
                  quoted((reference / name).string()) + " 2>&1 >/dev/null");
        EXPECT_EQ(result.out, "") << name;
    }
}

TEST(ManualPage, EscapesWhatRoffWouldReadAsMarkup)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"--output", "\\-\\-output"},      {"C:\\path", "C:\\epath"},
        {".cube files", "\\&.cube files"}, {"'quoted", "\\&'quoted"},
        {"a .cube file", "a .cube file"},  {"one\n.3dl", "one\n\\&.3dl"},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(ManPage::escaped(text), expected) << text;
}

TEST(BashCompletion, OffersEveryCommandAtEachLevel)
{
    for (const CommandOutline::Command* command : CommandOutline::flatten(programOutline())) {
        if (command->subcommands.empty())
            continue;
        std::vector<std::string> typed = command->path;
        typed.push_back("");
        EXPECT_EQ(bashOffers(reference / "lumivert-cli", typed), subcommandsOf(*command))
            << CommandOutline::joinedPath(*command);
    }
}

TEST(BashCompletion, OffersEachCommandsOptionsAndTheirValues)
{
    for (const CommandOutline::Command* command : CommandOutline::flatten(programOutline())) {
        std::vector<std::string> typed = command->path;
        typed.push_back("--");
        EXPECT_EQ(bashOffers(reference / "lumivert-cli", typed), longOptionsOf(*command))
            << CommandOutline::joinedPath(*command);
        for (const CommandOutline::Option& option : command->options) {
            if (option.choices.empty())
                continue;
            std::vector<std::string> value = command->path;
            value.insert(value.end(), {option.names.back(), ""});
            EXPECT_EQ(bashOffers(reference / "lumivert-cli", value),
                      std::set<std::string>(option.choices.begin(), option.choices.end()))
                << CommandOutline::joinedPath(*command) << ' ' << option.names.back();
        }
    }
}

TEST(BashCompletion, CompletesFileNamesWhereAFileIsExpected)
{
    const std::filesystem::path folder = std::filesystem::path(LUMIVERT_REFERENCE_DIR);
    // The generated files themselves are at hand: "…/lumivert-cli.f" can only grow into one.
    const std::string partial = (folder / "lumivert-cli.f").string();
    EXPECT_EQ(bashOffers(reference / "lumivert-cli", {"look", partial}),
              std::set<std::string>{(folder / "lumivert-cli.fish").string()});
    EXPECT_EQ(bashOffers(reference / "lumivert-cli", {"look", "-o", partial}),
              std::set<std::string>{(folder / "lumivert-cli.fish").string()});
}

// Completions of a parser made here, so that the shapes the program does not use yet (a flag
// and an option of one name, a value list on a short option) are covered too.
TEST(BashCompletion, FollowsAnyParsersShape)
{
    CLI::App app("test program", "lumivert-cli");
    std::string value;
    bool dry = false;
    CLI::App* group = app.add_subcommand("group", "a group");
    CLI::App* leaf = group->add_subcommand("leaf", "a leaf");
    leaf->add_option("-m,--mode", value, "a mode")->check(CLI::IsMember({"fast", "slow"}));
    leaf->add_flag("--dry", dry, "no changes");
    leaf->add_option("--hidden", value)->group("");
    app.add_subcommand("other", "another");
    const CommandOutline::Command outline = CommandOutline::outline(app);

    const std::filesystem::path script =
        std::filesystem::temp_directory_path() / ("completion-" + std::to_string(getpid()));
    std::ofstream(script) << Completions::bash(outline, "lumivert-cli");
    using Words = std::set<std::string>;
    EXPECT_EQ(bashOffers(script, {""}), (Words{"group", "other"}));
    EXPECT_EQ(bashOffers(script, {"group", ""}), (Words{"leaf"}));
    EXPECT_EQ(bashOffers(script, {"group", "leaf", "--"}), (Words{"--help", "--mode", "--dry"}));
    EXPECT_EQ(bashOffers(script, {"group", "leaf", "-m", "s"}), (Words{"slow"}));
    EXPECT_EQ(bashOffers(script, {"other", "--dr"}), (Words{}));
    std::filesystem::remove(script);
}

TEST(OtherShells, FishOffersEveryCommandAndOption)
{
    if (!testing::installed("fish")) {
        std::cout << "fish is not installed (scripts/install-deps --optional); not checked.\n";
        return;
    }
    // fish's `complete -C` prints what Tab would offer for a command line, one per line.
    const auto offers = [](const std::string& line) {
        std::set<std::string> words;
        const std::string program = "source " + quoted((reference / "lumivert-cli.fish").string()) +
                                    "; complete -C " + quoted(line);
        for (const std::string& offered : lines(shell("fish -c " + quoted(program)).out))
            words.insert(offered.substr(0, offered.find('\t')));
        return words;
    };
    for (const CommandOutline::Command* command : CommandOutline::flatten(programOutline())) {
        const std::string typed = "lumivert-cli " + CommandOutline::joinedPath(*command);
        if (!command->subcommands.empty()) {
            EXPECT_EQ(offers(typed + (command->path.empty() ? "" : " ")), subcommandsOf(*command))
                << typed;
        }
        EXPECT_EQ(offers(typed + " --"), longOptionsOf(*command)) << typed;
    }
}

// zsh cannot be asked what it would offer without a terminal: its script must parse and name
// every dispatch and option.
TEST(OtherShells, ZshReadsItsCompletionNamingEveryCommandAndLongOption)
{
    const std::filesystem::path file = reference / "_lumivert-cli";
    if (testing::installed("zsh"))
        EXPECT_EQ(shell("zsh -n " + quoted(file.string()) + " 2>&1").status, 0);
    else
        std::cout << "zsh is not installed (scripts/install-deps --optional); not parsed.\n";
    const std::string script = testing::readText(file);
    for (const CommandOutline::Command* command : CommandOutline::flatten(programOutline())) {
        if (!command->path.empty()) {
            EXPECT_NE(script.find("\n        " + command->path.back() + ") "), std::string::npos)
                << command->path.back();
        }
        for (const std::string& name : longOptionsOf(*command))
            EXPECT_NE(script.find(name + "["), std::string::npos) << name;
    }
}

}  // namespace
}  // namespace lumivert
