#include "cli/ManPage.hpp"

#include <cctype>
#include <sstream>

namespace lumivert::ManPage {

namespace {

using CommandOutline::Command;
using CommandOutline::Option;

constexpr std::string_view examplesHeading = "Examples:";

std::string upper(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return result;
}

// The NAME line's convention: "program \- makes tables", without a capital or a full stop.
std::string nameLineSummary(std::string_view description)
{
    std::string summary(description);
    if (!summary.empty() && summary.back() == '.')
        summary.pop_back();
    if (summary.size() > 1 && std::islower(static_cast<unsigned char>(summary[1])))
        summary[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(summary[0])));
    return summary;
}

// Whether the description already names every allowed value.
bool namesEveryChoice(const Option& option)
{
    for (const std::string& choice : option.choices)
        if (option.description.find(choice) == std::string::npos)
            return false;
    return true;
}

// "\fB\-o\fR, \fB\-\-output\fR \fITEXT\fR"
std::string optionTerm(const Option& option)
{
    std::string term;
    for (const std::string& name : option.names)
        term += (term.empty() ? "" : ", ") + ("\\fB" + escaped(name) + "\\fR");
    if (!option.valueName.empty())
        term += " \\fI" + escaped(option.valueName) + "\\fR";
    return term;
}

std::string positionalWord(const Option& positional)
{
    std::string word = escaped(positional.names.front());
    if (positional.repeats)
        word += "\\ ...";
    return positional.required ? word : "[" + word + "]";
}

// The footer's lines as they are, examples indented under their heading.
void writeFooter(std::ostream& out, std::string_view footer)
{
    std::istringstream lines{std::string(footer)};
    std::string line;
    bool inExamples = false;
    while (std::getline(lines, line)) {
        if (line.empty())
            continue;
        if (line == examplesHeading) {
            out << ".PP\n" << examplesHeading << "\n.RS\n.nf\n";
            inExamples = true;
            continue;
        }
        out << (inExamples ? "" : ".PP\n") << escaped(line) << '\n';
    }
    if (inExamples)
        out << ".fi\n.RE\n";
}

void writeOptions(std::ostream& out, const Command& command)
{
    for (const Option& positional : command.positionals)
        out << ".TP\n\\fI" << escaped(positional.names.front()) << "\\fR\n"
            << escaped(positional.description) << '\n';
    for (const Option& option : command.options) {
        out << ".TP\n" << optionTerm(option) << '\n' << escaped(option.description);
        if (!namesEveryChoice(option)) {
            std::string choices;
            for (const std::string& choice : option.choices)
                choices += (choices.empty() ? "" : ", ") + choice;
            out << " (one of: " << escaped(choices) << ")";
        }
        out << '\n';
    }
}

void writeCommand(std::ostream& out, const Command& command, std::string_view program)
{
    std::string heading = escaped(std::string(program) + " " + CommandOutline::joinedPath(command));
    if (!command.subcommands.empty())
        heading += " \\fICOMMAND\\fR";
    if (!command.options.empty())
        heading += " [\\fIOPTIONS\\fR]";
    for (const Option& positional : command.positionals)
        heading += " " + positionalWord(positional);
    out << ".SS \"" << heading << "\"\n" << escaped(command.description) << '\n';
    writeOptions(out, command);
    writeFooter(out, command.footer);
    for (const Command& sub : command.subcommands)
        writeCommand(out, sub, program);
}

}  // namespace

std::string escaped(std::string_view text)
{
    std::string result;
    for (const char c : text) {
        if (c == '\\')
            result += "\\e";
        else if (c == '-')
            result += "\\-";
        else if ((c == '.' || c == '\'') && (result.empty() || result.back() == '\n'))
            result.append("\\&").push_back(c);
        else
            result.push_back(c);
    }
    return result;
}

std::string render(const Command& root, std::string_view program, std::string_view version)
{
    std::ostringstream out;
    const std::string name = escaped(program);
    out << ".\\\" Generated from " << program << "'s own command table; do not edit.\n"
        << ".TH " << upper(name) << " 1 \"\" \"" << name << ' ' << escaped(version)
        << "\" \"User Commands\"\n"
        // Option names must stay whole and typeable: no hyphenation, no stretched spaces.
        << ".nh\n.ad l\n"
        << ".SH NAME\n"
        << name << " \\- " << escaped(nameLineSummary(root.description)) << '\n'
        << ".SH SYNOPSIS\n.B " << name << "\n\\fICOMMAND\\fR [\\fIOPTIONS\\fR] "
        << "[\\fIARGUMENTS\\fR]\n.br\n";
    for (const Option& option : root.options)
        out << ".B " << name << ' ' << escaped(option.names.back()) << "\n.br\n";
    out << ".SH DESCRIPTION\n" << escaped(root.description) << '\n';
    writeFooter(out, root.footer);
    out << ".SH OPTIONS\n";
    writeOptions(out, root);
    out << ".SH COMMANDS\n";
    for (const Command& command : root.subcommands)
        writeCommand(out, command, program);
    out << ".SH SEE ALSO\n.BR lumivert (1)\n";
    return out.str();
}

}  // namespace lumivert::ManPage
