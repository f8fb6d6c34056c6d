#pragma once

// Where the LUT commands write: the files and formats that an output path and a --format choice
// name, following the app's export (one base name, each format's extension in export order).

#include "lut/LUTFormat.hpp"

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace lumivert {

// A command line that asks for something impossible; the program exits with status 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct PlannedFile {
    std::filesystem::path path;
    LUTFormat format;
};

namespace OutputPlan {

// The choices of --format: "cube", "3dl", "hald" and "all".
const std::vector<std::string>& formatChoices();

// The format of a LUT file by its extension (".cube", ".3dl", ".png", any case), or nothing.
std::optional<LUTFormat> formatOf(const std::filesystem::path& path);

// The name split at the ten characters no exported file name may hold, joined with "-" and
// trimmed of spaces and tabs.
std::string sanitisedFileName(std::string_view name);

// Without a format the output's extension decides (UsageError when it names no LUT format);
// with one, the output's extension is replaced by each format's. Without an output the files
// are named after the sanitised title in the current folder.
std::vector<PlannedFile> files(const std::optional<std::filesystem::path>& output,
                               const std::optional<std::string>& format, std::string_view title);

}  // namespace OutputPlan

}  // namespace lumivert
