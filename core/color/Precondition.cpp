#include "color/Precondition.hpp"

#include <cstdio>
#include <cstdlib>

namespace lumivert {

void preconditionFailed(const char* condition, const char* message, const char* file, int line)
{
    std::fprintf(stderr, "Lumivert precondition failed: %s (%s) at %s:%d\n", message, condition,
                 file, line);
    std::fflush(stderr);
    std::abort();
}

std::int64_t checkedMul(std::int64_t a, std::int64_t b)
{
    std::int64_t result = 0;
    LUMIVERT_PRECONDITION(!__builtin_mul_overflow(a, b, &result), "integer overflow in a product");
    return result;
}

std::int64_t checkedAdd(std::int64_t a, std::int64_t b)
{
    std::int64_t result = 0;
    LUMIVERT_PRECONDITION(!__builtin_add_overflow(a, b, &result), "integer overflow in a sum");
    return result;
}

}  // namespace lumivert
