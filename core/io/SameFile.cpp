#include "io/SameFile.hpp"

#include <system_error>

namespace lumivert {

namespace {

using std::filesystem::path;

path resolved(const path& file)
{
    std::error_code error;
    path result = std::filesystem::weakly_canonical(file, error);
    if (error)
        return std::filesystem::absolute(file, error).lexically_normal();
    return result;
}

}  // namespace

bool sameFile(const path& a, const path& b)
{
    std::error_code error;
    return std::filesystem::equivalent(a, b, error) || resolved(a) == resolved(b);
}

}  // namespace lumivert
