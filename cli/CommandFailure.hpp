#pragma once

// A user-data failure of one step of a command, with the title the app gives that workflow
// ("Couldn’t open the image", …) and the error's own sentence. The program exits with status 1.

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
