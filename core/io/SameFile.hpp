#pragma once

// Whether two paths name one file, which is what an output that would replace an input is.

#include <filesystem>

namespace lumivert {

// One file under two names: the same device and inode (hard links, links, "..", another
// spelling), or, where either does not exist yet, the same path once "..", "." and symbolic
// links are resolved as far as they exist.
bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b);

}  // namespace lumivert
