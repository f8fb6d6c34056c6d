#pragma once

// The lumivert-cli(1) manual page, in roff, written from the command outline: one section per
// command with its arguments, options and examples.

#include "cli/CommandOutline.hpp"

#include <string>
#include <string_view>

namespace lumivert::ManPage {

// `program` names the page ("lumivert-cli"); `version` goes to its header and footer.
std::string render(const CommandOutline::Command& root, std::string_view program,
                   std::string_view version);

// Text made safe for roff: backslashes and hyphens escaped, and a line that would start with a
// control character guarded. Hyphens become minus signs so that options stay typeable and whole.
std::string escaped(std::string_view text);

}  // namespace lumivert::ManPage
