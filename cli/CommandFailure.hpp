#pragma once

// The two ways a command fails. A user-data failure of one step carries the title the app gives
// that workflow ("Couldn’t open the image", …) and the error's own sentence; the program exits
// with status 1. A command line that asks for something impossible exits with status 2.

#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace lumivert {

class CommandFailure : public std::runtime_error {
public:
    CommandFailure(std::string_view title, const std::string& message)
        : std::runtime_error(std::string(title) + ": " + message)
    {
    }
};

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Runs the step and gives its user-data error (any std::runtime_error) the step's title.
template <typename Step> auto attempt(std::string_view title, Step&& step) -> decltype(step())
{
    try {
        return std::forward<Step>(step)();
    } catch (const CommandFailure&) {
        throw;
    } catch (const std::runtime_error& error) {
        throw CommandFailure(title, error.what());
    }
}

}  // namespace lumivert
