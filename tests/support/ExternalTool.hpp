#pragma once
// Other programs the tests compare against: found on PATH, or the test skips with a message
// naming the Debian package that brings them.
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <unistd.h>

namespace lumivert::fixtures {

inline std::optional<std::filesystem::path> findOnPath(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::istringstream folders(path ? path : "");
    for (std::string folder; std::getline(folders, folder, ':');) {
        const std::filesystem::path candidate = std::filesystem::path(folder) / name;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return std::nullopt;
}

// Why a test that needs the tool skips: "ffmpeg is not installed (Debian package ffmpeg); …".
inline std::string missingTool(const std::string& name, const std::string& package)
{
    return name + " is not installed (Debian package " + package +
           "); skipping the comparison with it";
}

}  // namespace lumivert::fixtures
