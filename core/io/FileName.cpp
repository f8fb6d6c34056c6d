#include "io/FileName.hpp"

#include <algorithm>

namespace lumivert::FileName {

std::string lowerCaseExtension(const std::filesystem::path& path)
{
    std::string extension = path.extension().string();
    if (!extension.empty())
        extension.erase(0, 1);
    // ASCII only, whatever the locale: extensions are compared with ASCII names.
    std::transform(extension.begin(), extension.end(), extension.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return extension;
}

}  // namespace lumivert::FileName
