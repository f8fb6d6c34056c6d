#pragma once

// What a file's name says about it, shared by everything that routes files by their extension.

#include <filesystem>
#include <string>

namespace lumivert::FileName {

// The extension without its dot, ASCII letters lower-cased ("Look.CUBE" gives "cube"); empty
// when there is none ("notes", "notes.", ".profile").
std::string lowerCaseExtension(const std::filesystem::path& path);

}  // namespace lumivert::FileName
