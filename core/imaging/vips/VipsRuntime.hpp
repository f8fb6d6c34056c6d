#pragma once

// libvips' start-up, shared by every file of the image loader.

#include <filesystem>
#include <string>

namespace lumivert::VipsRuntime {

// Starts libvips once per process; false when it could not start.
bool ready();

// The file's name in quotation marks, as every image error names it.
std::string quotedName(const std::filesystem::path& location);

}  // namespace lumivert::VipsRuntime
