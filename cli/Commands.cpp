#include "cli/Commands.hpp"

#include "cli/Command.hpp"
#include "cli/CommandFailure.hpp"
#include "cli/CompareCommand.hpp"
#include "cli/FileCommands.hpp"
#include "cli/GradeCommands.hpp"
#include "cli/ToolboxCommands.hpp"
#include "imaging/ImageLoader.hpp"

#include "LumivertVersion.hpp"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <new>
#include <numeric>
#include <streambuf>
#include <string>
#include <string_view>

namespace lumivert::Commands {

namespace {

constexpr int exitFailure = 1;
constexpr int exitUsage = 2;
// A typed word at most this many edits from a name, and within a third of its length, is taken
// for a slip.
constexpr std::size_t maxSuggestionDistance = 2;

constexpr const char* usageHint = "Run with --help for more information.";

const std::vector<Command>& commandTable()
{
    static const std::vector<Command> table = [] {
        std::vector<Command> all = GradeCommands::modeCommands();
        all.push_back(GradeCommands::analyse());
        for (Command& command : FileCommands::commands())
            all.push_back(std::move(command));
        for (Command& command : ToolboxCommands::commands())
            all.push_back(std::move(command));
        all.push_back(CompareCommand::command());
        return all;
    }();
    return table;
}

// Levenshtein distance: insertions, deletions and substitutions of one byte each.
std::size_t editDistance(std::string_view a, std::string_view b)
{
    std::vector<std::size_t> row(b.size() + 1);
    std::iota(row.begin(), row.end(), std::size_t{0});
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// Adds the command, or its group of subcommands, to the parser; parsing it stores its action in
// `chosen`.
void registerCommand(CLI::App& parent, const Command& command, Action& chosen)
{
    CLI::App* app = parent.add_subcommand(command.name, command.description);
    app->footer("Examples:\n" + command.examples);
    if (!command.define) {
        app->require_subcommand(1);
        for (const Command& subcommand : command.subcommands)
            registerCommand(*app, subcommand, chosen);
        return;
    }
    app->callback([&chosen, action = command.define(*app)] { chosen = action; });
}

// "unknown command 'lok'; did you mean 'look'?" for the first word that names no command at
// its level, or nothing.
std::optional<std::string> unknownCommand(int argc, const char* const* argv)
{
    const std::vector<Command>* level = &commandTable();
    for (int i = 1; i < argc && !level->empty(); ++i) {
        const std::string_view word = argv[i];
        if (word.starts_with('-'))
            return std::nullopt;
        const auto found = std::find_if(level->begin(), level->end(), [&](const Command& command) {
            return command.name == word;
        });
        if (found != level->end()) {
            level = &found->subcommands;
            continue;
        }
        std::vector<std::string> names;
        for (const Command& command : *level)
            names.push_back(command.name);
        std::string message = "unknown command '" + std::string(word) + "'";
        if (const auto nearest = suggestion(word, names))
            message += "; did you mean '" + *nearest + "'?";
        return message;
    }
    return std::nullopt;
}

int execute(const Action& action)
{
    try {
        return action();
    } catch (const UsageError& error) {
        std::cerr << error.what() << '\n' << usageHint << '\n';
        return exitUsage;
    } catch (const std::bad_alloc&) {
        std::cerr << "There is not enough memory to finish.\n";
        return exitFailure;
    } catch (const std::exception& error) {
        std::cerr << error.what() << '\n';
        return exitFailure;
    }
}

// The image files every command reads, from the loader's own list, camera RAW ones included.
std::string readableImagesLine()
{
    std::string line = "Images read:";
    for (const std::string_view extension : ImageLoader::readableExtensions())
        line.append(" .").append(extension);
    return line;
}

// std::cout through stdio's stdout, as the default synchronised buffer, keeping the reason of the
// first failed write: the failure may come in the middle of the command (a flushing std::endl),
// and errno changes many times before the end.
class RecordedOutput : public std::streambuf {
public:
    int firstError() const { return error_; }

protected:
    int_type overflow(int_type c) override
    {
        if (traits_type::eq_int_type(c, traits_type::eof()))
            return sync() == 0 ? traits_type::not_eof(c) : traits_type::eof();
        return std::fputc(c, stdout) == EOF ? failed() : c;
    }
    std::streamsize xsputn(const char* text, std::streamsize count) override
    {
        const std::size_t written = std::fwrite(text, 1, static_cast<std::size_t>(count), stdout);
        if (written < static_cast<std::size_t>(count))
            failed();
        return static_cast<std::streamsize>(written);
    }
    int sync() override { return std::fflush(stdout) == 0 ? 0 : (failed(), -1); }

private:
    int_type failed()
    {
        if (error_ == 0)
            error_ = errno;
        return traits_type::eof();
    }

    int error_ = 0;
};

// Output that never reached standard output (a full disk, a closed pipe, a size limit) fails
// the command like any other write: its reader would otherwise take a cut report for a whole one.
int withOutputChecked(int status, const RecordedOutput& output)
{
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    int error = errno;
    if (flushed && std::ferror(stdout) == 0 && output.firstError() == 0)
        return status;
    if (flushed || error == 0)
        error = output.firstError();
    // A printf whose buffer filled up failed long before, and its reason is gone.
    std::string reason = std::strerror(error != 0 ? error : EIO);
    reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
    std::cerr << "could not write to standard output: " << reason << '\n';
    return status == 0 ? exitFailure : status;
}

int parseAndExecute(int argc, const char* const* argv)
{
    Action chosen;
    const std::unique_ptr<CLI::App> app = parser(chosen);

    if (const auto unknown = unknownCommand(argc, argv)) {
        std::cerr << *unknown << '\n' << usageHint << '\n';
        return exitUsage;
    }
    try {
        app->parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app->exit(error);
        return code == 0 ? 0 : exitUsage;
    }
    return chosen ? execute(chosen) : exitUsage;
}

}  // namespace

std::optional<std::string> suggestion(std::string_view typed, const std::vector<std::string>& names)
{
    std::optional<std::string> nearest;
    std::size_t nearestDistance = maxSuggestionDistance + 1;
    for (const std::string& name : names) {
        const std::size_t distance = editDistance(typed, name);
        if (distance < nearestDistance && 3 * distance <= std::max(typed.size(), name.size())) {
            nearest = name;
            nearestDistance = distance;
        }
    }
    return nearest;
}

std::unique_ptr<CLI::App> parser(Action& chosen)
{
    auto app = std::make_unique<CLI::App>(
        "Makes 3D colour lookup tables (.cube, .3dl, HALD .png) from images and applies them.",
        "lumivert-cli");
    app->require_subcommand(1);
    app->set_version_flag("--version", "lumivert-cli " LUMIVERT_VERSION_TEXT,
                          "Print the version and exit");
    app->footer("Run lumivert-cli COMMAND --help for the options and examples of each command.\n" +
                readableImagesLine() +
                "\nExit status: 0 success, 1 a file could not be read or written, 2 a usage "
                "error.");
    for (const Command& command : commandTable())
        registerCommand(*app, command, chosen);
    return app;
}

int run(int argc, const char* const* argv)
{
    // A closed pipe is reported as a failed write, not by a silent death.
    std::signal(SIGPIPE, SIG_IGN);
    RecordedOutput output;
    std::streambuf* const standard = std::cout.rdbuf(&output);
    const int status = withOutputChecked(parseAndExecute(argc, argv), output);
    std::cout.rdbuf(standard);
    return status;
}

}  // namespace lumivert::Commands
