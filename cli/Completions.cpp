#include "cli/Completions.hpp"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace lumivert::Completions {

namespace {

using CommandOutline::Command;
using CommandOutline::Option;

// Shell function names cannot hold every character of a program's name.
std::string identifier(std::string_view text)
{
    std::string result;
    for (const char c : text)
        result.push_back(std::isalnum(static_cast<unsigned char>(c)) ? c : '_');
    return result;
}

// Inside single quotes every character is literal but the quote itself.
std::string singleQuoted(std::string_view text)
{
    std::string result = "'";
    for (const char c : text)
        result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return result + "'";
}

std::string joined(const std::vector<std::string>& words)
{
    std::string result;
    for (const std::string& word : words)
        result += (result.empty() ? "" : " ") + word;
    return result;
}

std::vector<std::string> commandNames(const Command& command)
{
    std::vector<std::string> names;
    for (const Command& sub : command.subcommands)
        names.push_back(sub.path.back());
    return names;
}

std::vector<std::string> optionNames(const Command& command)
{
    std::vector<std::string> names;
    for (const Option& option : command.options)
        names.insert(names.end(), option.names.begin(), option.names.end());
    return names;
}

// The first sentence or clause of a description, for the one-line hints of zsh and fish. A dot
// inside a word (".cube") ends nothing.
std::string hint(std::string_view description)
{
    std::size_t end = description.size();
    for (const std::string_view stop : {". ", "; ", " (", "\n"})
        end = std::min(end, description.find(stop));
    std::string_view first = description.substr(0, end);
    while (!first.empty() && (first.back() == ' ' || first.back() == '.'))
        first.remove_suffix(1);
    return std::string(first);
}

// ---- bash ----

// One `case` over the command paths ("" for the program, "analyse look"), each arm printing
// its words.
void bashTable(std::ostream& out, const std::string& function,
               const std::vector<const Command*>& commands,
               std::vector<std::string> (*words)(const Command&))
{
    out << function << "()\n{\n    case \"$1\" in\n";
    for (const Command* command : commands) {
        const std::vector<std::string> list = words(*command);
        if (!list.empty())
            out << "        " << singleQuoted(CommandOutline::joinedPath(*command)) << ") echo "
                << singleQuoted(joined(list)) << " ;;\n";
    }
    out << "    esac\n}\n\n";
}

std::string bashValueKey(const Command& command, const std::string& name)
{
    return CommandOutline::joinedPath(command) + "|" + name;
}

}  // namespace

std::string bash(const Command& root, std::string_view program)
{
    const std::string prefix = "_" + identifier(program);
    const std::vector<const Command*> commands = CommandOutline::flatten(root);
    std::ostringstream out;
    out << "# bash completion for " << program
        << ", generated from its own command table; do not edit.\n\n";
    bashTable(out, prefix + "_commands", commands, commandNames);
    bashTable(out, prefix + "_options", commands, optionNames);

    // "PATH|OPTION" of every option that takes a value, and the values of those with a fixed set.
    out << prefix << "_values()\n{\n    case \"$1\" in\n";
    for (const Command* command : commands) {
        for (const Option& option : command->options) {
            if (option.valueName.empty())
                continue;
            for (const std::string& name : option.names)
                out << "        " << singleQuoted(bashValueKey(*command, name)) << ") echo "
                    << singleQuoted(option.choices.empty() ? "<file>" : joined(option.choices))
                    << " ;;\n";
        }
    }
    out << "        *) return 1 ;;\n    esac\n}\n\n";

    out << prefix << "()\n{\n"
        << "    local cur=\"${COMP_WORDS[COMP_CWORD]}\" prev=\"\" path=\"\" word i values\n"
        << "    (( COMP_CWORD > 0 )) && prev=\"${COMP_WORDS[COMP_CWORD - 1]}\"\n"
        << "    # The command path typed so far: each word that names a command at its level.\n"
        << "    for (( i = 1; i < COMP_CWORD; i++ )); do\n"
        << "        word=\"${COMP_WORDS[i]}\"\n"
        << "        if [[ \" $(" << prefix << "_commands \"$path\") \" == *\" $word \"* ]]; then\n"
        << "            path=\"${path:+$path }$word\"\n"
        << "        fi\n"
        << "    done\n"
        << "    if values=\"$(" << prefix << "_values \"$path|$prev\")\"; then\n"
        << "        if [[ $values == \"<file>\" ]]; then\n"
        << "            mapfile -t COMPREPLY < <(compgen -f -- \"$cur\")\n"
        << "        else\n"
        << "            mapfile -t COMPREPLY < <(compgen -W \"$values\" -- \"$cur\")\n"
        << "        fi\n"
        << "    elif [[ $cur == -* ]]; then\n"
        << "        mapfile -t COMPREPLY < <(compgen -W \"$(" << prefix
        << "_options \"$path\")\" -- \"$cur\")\n"
        << "    elif values=\"$(" << prefix << "_commands \"$path\")\"; [[ -n $values ]]; then\n"
        << "        mapfile -t COMPREPLY < <(compgen -W \"$values\" -- \"$cur\")\n"
        << "    else\n"
        << "        mapfile -t COMPREPLY < <(compgen -f -- \"$cur\")\n"
        << "    fi\n"
        << "}\n\n"
        << "complete -o filenames -o bashdefault -F " << prefix << ' ' << program << '\n';
    return out.str();
}

// ---- zsh ----

namespace {

// Brackets and colons end the parts of an _arguments entry.
std::string zshEscaped(std::string_view text)
{
    std::string result;
    for (const char c : text) {
        if (c == '[' || c == ']' || c == ':' || c == '\\')
            result.push_back('\\');
        result.push_back(c);
    }
    return result;
}

std::string zshAction(const Option& option)
{
    if (option.choices.empty())
        return "_files";
    return "(" + joined(option.choices) + ")";
}

// One _arguments entry per name, each excluding the option's other names.
void zshOption(std::ostream& out, const Option& option)
{
    const std::string exclusions = option.names.size() > 1 ? "(" + joined(option.names) + ")" : "";
    for (const std::string& name : option.names) {
        std::string entry = exclusions + name + "[" + zshEscaped(hint(option.description)) + "]";
        if (!option.valueName.empty())
            entry += ":" + zshEscaped(option.valueName) + ":" + zshAction(option);
        out << " \\\n        " << singleQuoted(entry);
    }
}

void zshCommand(std::ostream& out, const Command& command, const std::string& function)
{
    out << function << "()\n{\n";
    if (command.subcommands.empty()) {
        out << "    _arguments -s";
        for (const Option& option : command.options)
            zshOption(out, option);
        for (const Option& positional : command.positionals)
            out << " \\\n        "
                << singleQuoted((positional.repeats ? "*:" : ":") +
                                zshEscaped(positional.names.front()) + ":_files");
        out << "\n}\n\n";
        return;
    }
    out << "    local curcontext=\"$curcontext\" state line\n    _arguments -C";
    for (const Option& option : command.options)
        zshOption(out, option);
    out << " \\\n        '1: :->command' \\\n        '*:: :->argument'\n"
        << "    case $state in\n    command)\n        local -a commands=(\n";
    for (const Command& sub : command.subcommands)
        out << "            "
            << singleQuoted(zshEscaped(sub.path.back()) + ":" + hint(sub.description)) << '\n';
    out << "        )\n        _describe command commands ;;\n    argument)\n"
        << "        case $line[1] in\n";
    for (const Command& sub : command.subcommands)
        out << "        " << sub.path.back() << ") " << function << "_"
            << identifier(sub.path.back()) << " ;;\n";
    out << "        esac ;;\n    esac\n}\n\n";
    for (const Command& sub : command.subcommands)
        zshCommand(out, sub, function + "_" + identifier(sub.path.back()));
}

}  // namespace

std::string zsh(const Command& root, std::string_view program)
{
    std::ostringstream out;
    const std::string function = "_" + identifier(program);
    out << "#compdef " << program << "\n# zsh completion for " << program
        << ", generated from its own command table; do not edit.\n\n";
    zshCommand(out, root, function);
    out << function << " \"$@\"\n";
    return out.str();
}

// ---- fish ----

namespace {

// The condition under which a command's own words are offered: every word of its path typed,
// and none of its subcommands yet.
std::string fishCondition(const Command& command)
{
    std::string condition;
    for (const std::string& word : command.path)
        condition += (condition.empty() ? "" : "; and ") + ("__fish_seen_subcommand_from " + word);
    if (command.path.empty())
        condition = "__fish_use_subcommand";
    if (!command.path.empty() && !command.subcommands.empty())
        condition += "; and not __fish_seen_subcommand_from " + joined(commandNames(command));
    return condition;
}

void fishCommand(std::ostream& out, const Command& command, std::string_view program,
                 const std::string& rootGroups)
{
    std::string condition = fishCondition(command);
    // A top-level command also named under a group ("look", "analyse look") is the group's there.
    if (command.path.size() == 1 && command.subcommands.empty() && !rootGroups.empty())
        condition += "; and not __fish_seen_subcommand_from " + rootGroups;
    const std::string head =
        "complete -c " + std::string(program) + " -n " + singleQuoted(condition);
    for (const Command& sub : command.subcommands)
        out << head << " -f -a " << singleQuoted(sub.path.back()) << " -d "
            << singleQuoted(hint(sub.description)) << '\n';
    for (const Option& option : command.options) {
        out << head;
        for (const std::string& name : option.names)
            out << (name.starts_with("--") ? " -l " + name.substr(2) : " -s " + name.substr(1));
        if (!option.choices.empty())
            out << " -x -a " << singleQuoted(joined(option.choices));
        else if (!option.valueName.empty())
            out << " -r -F";
        out << " -d " << singleQuoted(hint(option.description)) << '\n';
    }
    for (const Command& sub : command.subcommands)
        fishCommand(out, sub, program, rootGroups);
}

}  // namespace

std::string fish(const Command& root, std::string_view program)
{
    std::vector<std::string> groups;
    for (const Command& command : root.subcommands)
        if (!command.subcommands.empty())
            groups.push_back(command.path.back());
    std::ostringstream out;
    out << "# fish completion for " << program
        << ", generated from its own command table; do not edit.\n\n";
    fishCommand(out, root, program, joined(groups));
    return out.str();
}

}  // namespace lumivert::Completions
