#pragma once

// Broken invariants under the caller's control (sizes, counts, indices, overflow) are
// programming errors: they stop the program with a message instead of throwing.

#include <cstdint>

namespace lumivert {

[[noreturn]] void preconditionFailed(const char* condition, const char* message, const char* file,
                                     int line);

// a × b, stopping the program on signed 64-bit overflow.
std::int64_t checkedMul(std::int64_t a, std::int64_t b);
// a + b, stopping the program on signed 64-bit overflow.
std::int64_t checkedAdd(std::int64_t a, std::int64_t b);

}  // namespace lumivert

#define LUMIVERT_PRECONDITION(condition, message)                                                  \
    do {                                                                                           \
        if (!(condition)) [[unlikely]]                                                             \
            ::lumivert::preconditionFailed(#condition, message, __FILE__, __LINE__);               \
    } while (false)
