#include "cli/CommandOutline.hpp"

namespace lumivert::CommandOutline {

namespace {

// A membership check describes itself as "{a,b,c}" after the value's type: "TEXT:{cube,3dl}".
std::vector<std::string> choicesOf(const std::string& typeName)
{
    const std::size_t open = typeName.find('{');
    const std::size_t close = typeName.find('}', open);
    if (open == std::string::npos || close == std::string::npos)
        return {};
    std::vector<std::string> choices;
    std::size_t start = open + 1;
    while (start <= close) {
        const std::size_t end = std::min(typeName.find(',', start), close);
        choices.push_back(typeName.substr(start, end - start));
        start = end + 1;
    }
    return choices;
}

Option optionOf(const CLI::Option& option)
{
    Option result;
    result.positional = !option.nonpositional();
    if (result.positional) {
        result.names.push_back(option.get_name(true, false));
    } else {
        for (const std::string& name : option.get_snames())
            result.names.push_back("-" + name);
        for (const std::string& name : option.get_lnames())
            result.names.push_back("--" + name);
    }
    const std::string typeName = option.get_type_name();
    if (option.get_expected_min() > 0 || result.positional)
        result.valueName = typeName.substr(0, typeName.find(':'));
    result.choices = choicesOf(typeName);
    result.description = option.get_description();
    result.required = option.get_required();
    result.repeats = option.get_items_expected_max() >= CLI::detail::expected_max_vector_size;
    return result;
}

Command commandOf(const CLI::App& app, std::vector<std::string> path)
{
    Command command;
    command.path = std::move(path);
    command.description = app.get_description();
    command.footer = app.get_footer();
    for (const CLI::Option* option : app.get_options()) {
        if (option->get_group().empty())
            continue;
        Option described = optionOf(*option);
        (described.positional ? command.positionals : command.options)
            .push_back(std::move(described));
    }
    for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
        std::vector<std::string> subPath = command.path;
        subPath.push_back(sub->get_name());
        command.subcommands.push_back(commandOf(*sub, std::move(subPath)));
    }
    return command;
}

void collect(const Command& command, std::vector<const Command*>& all)
{
    all.push_back(&command);
    for (const Command& sub : command.subcommands)
        collect(sub, all);
}

}  // namespace

Command outline(const CLI::App& app) { return commandOf(app, {}); }

std::string joinedPath(const Command& command)
{
    std::string joined;
    for (const std::string& word : command.path)
        joined += (joined.empty() ? "" : " ") + word;
    return joined;
}

std::vector<const Command*> flatten(const Command& root)
{
    std::vector<const Command*> all;
    collect(root, all);
    return all;
}

}  // namespace lumivert::CommandOutline
