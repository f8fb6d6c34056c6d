// lumivert-cli-reference FOLDER: writes lumivert-cli's manual page and its bash, zsh and fish
// completions into FOLDER, all from the parser the program itself runs, at build time.
#include "cli/CommandOutline.hpp"
#include "cli/Commands.hpp"
#include "cli/Completions.hpp"
#include "cli/ManPage.hpp"

#include "LumivertVersion.hpp"

#include <filesystem>
#include <fstream>
#include <iostream>

namespace {

constexpr const char* programName = "lumivert-cli";

bool write(const std::filesystem::path& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
    out.close();
    if (!out)
        std::cerr << "Could not write " << path << ".\n";
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: lumivert-cli-reference FOLDER\n";
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    lumivert::Action unused;
    const auto outline = lumivert::CommandOutline::outline(*lumivert::Commands::parser(unused));
    const std::string program = programName;
    const bool written =
        write(folder / (program + ".1"),
              lumivert::ManPage::render(outline, program, LUMIVERT_VERSION_TEXT)) &&
        write(folder / program, lumivert::Completions::bash(outline, program)) &&
        write(folder / ("_" + program), lumivert::Completions::zsh(outline, program)) &&
        write(folder / (program + ".fish"), lumivert::Completions::fish(outline, program));
    return written ? 0 : 1;
}
