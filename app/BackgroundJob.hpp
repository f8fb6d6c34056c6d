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

template <typename Work> using WorkResult = std::invoke_result_t<Work>;

// Runs `work` where it is called and catches what it throws.
template <typename Work> Outcome<WorkResult<Work>> outcomeOf(Work& work)
{
    try {
        return {work(), {}};
    } catch (const std::exception& error) {
        return {std::nullopt, QString::fromUtf8(error.what())};
    }
}

template <typename Work> auto runInBackground(Work work) -> QFuture<Outcome<WorkResult<Work>>>
{
    return QtConcurrent::run([work = std::move(work)]() mutable { return outcomeOf(work); });
}

}  // namespace lumivert
