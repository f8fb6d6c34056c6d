#pragma once
// Runs a pure function of copied values on the global thread pool. A thrown error comes back as
// its message, so the main-thread continuation decides what to show without rethrowing.
#include <QFuture>
#include <QString>
#include <QtConcurrent/QtConcurrentRun>

#include <exception>
#include <optional>
#include <type_traits>
#include <utility>

namespace lumivert {

template <typename T> struct Outcome {
    std::optional<T> value;  // present on success
    QString error;           // the error's sentence otherwise
};

template <typename Work>
auto runInBackground(Work work) -> QFuture<Outcome<std::invoke_result_t<Work>>>
{
    using Result = std::invoke_result_t<Work>;
    return QtConcurrent::run([work = std::move(work)]() -> Outcome<Result> {
        try {
            return {work(), {}};
        } catch (const std::exception& error) {
            return {std::nullopt, QString::fromUtf8(error.what())};
        }
    });
}

}  // namespace lumivert
