#pragma once
// The newest of a series of background jobs of one kind (a preview bake, a slot's load, a mode's
// analysis), where only the newest may land. Starting a job supersedes the one before it: a
// superseded job that no worker has begun yet never runs, and the result of one already running
// is dropped when it comes back. An optional pause holds each job back until the requests stop,
// so a dragged slider sends one job, not one per step.
#include "BackgroundJob.hpp"

#include <QObject>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

namespace lumivert {

class LatestJob {
public:
    template <typename Result> using Landing = std::function<void(const Outcome<Result>&)>;

    struct Options {
        // How long start() waits for a newer start() before the job goes to the thread pool.
        std::chrono::milliseconds debounce{0};
        // Told +1 when a job goes to the thread pool and −1 when it comes back, run or skipped.
        std::function<void(int)> countInFlight;
    };

    // Landings run on the thread of `context`, and never after it is destroyed.
    explicit LatestJob(QObject* context);
    LatestJob(QObject* context, Options options);
    LatestJob(const LatestJob&) = delete;
    LatestJob& operator=(const LatestJob&) = delete;
    ~LatestJob();

    // Supersedes the previous job and runs `work` on the global thread pool; `land` gets its
    // outcome unless a newer start() or a cancel() came first.
    template <typename Work> void start(Work work, Landing<WorkResult<Work>> land);
    // The same, except that a job superseded by a newer start() still runs and `dropped` gets its
    // outcome: for work whose failure the user must hear about even when it comes too late.
    // A cancel() skips and silences it all the same.
    template <typename Work>
    void start(Work work, Landing<WorkResult<Work>> land, Landing<WorkResult<Work>> dropped);
    // Supersedes the previous job without starting another: nothing of it lands.
    void cancel();

    // A job was started and has neither landed nor been superseded or cancelled.
    bool pending() const { return state_->pending; }
    // A job waits for its pause to end before it goes to the pool.
    bool waiting() const { return pause_.isActive(); }
    // How many jobs were started, and how many of them a worker actually ran.
    std::int64_t started() const { return state_->started; }
    std::int64_t ran() const { return state_->ran.load(); }

private:
    struct Ticket {
        std::atomic<bool> skip{false};  // read by the worker before it begins
        bool keepsRunning = false;
        bool cancelled = false;
    };
    // Shared with the continuations, which outlive neither it nor the context.
    struct State {
        std::function<void(int)> countInFlight;
        std::shared_ptr<Ticket> current;
        bool pending = false;
        std::int64_t started = 0;
        std::atomic<std::int64_t> ran{0};

        void count(int delta) const
        {
            if (countInFlight)
                countInFlight(delta);
        }
    };

    std::shared_ptr<Ticket> supersede(bool keepsRunning);
    void schedule(std::function<void()> submission);

    QObject* context_;
    std::shared_ptr<State> state_;
    QTimer pause_;
    std::function<void()> waiting_;  // the job the pause holds back
};

template <typename Work> void LatestJob::start(Work work, Landing<WorkResult<Work>> land)
{
    start(std::move(work), std::move(land), {});
}

template <typename Work>
void LatestJob::start(Work work, Landing<WorkResult<Work>> land, Landing<WorkResult<Work>> dropped)
{
    using Result = WorkResult<Work>;
    const std::shared_ptr<Ticket> ticket = supersede(static_cast<bool>(dropped));
    schedule([context = context_, state = state_, ticket, work = std::move(work),
              land = std::move(land), dropped = std::move(dropped)] {
        state->count(+1);
        const std::weak_ptr<State> owner = state;
        QtConcurrent::run([ticket, state, work]() mutable -> std::optional<Outcome<Result>> {
            if (ticket->skip.load())
                return std::nullopt;
            state->ran.fetch_add(1);
            return outcomeOf(work);
        })
            .then(context, [context, owner, ticket, land,
                            dropped](const std::optional<Outcome<Result>>& outcome) {
                // A job that finished before then() was attached would land inside start();
                // landing from the event loop keeps every landing outside the caller's step.
                QMetaObject::invokeMethod(
                    context,
                    [owner, ticket, land, dropped, outcome] {
                        const std::shared_ptr<State> state = owner.lock();
                        if (!state)
                            return;
                        const bool current = outcome && ticket == state->current;
                        if (current)
                            state->pending = false;
                        state->count(-1);
                        if (current)
                            land(*outcome);
                        else if (outcome && dropped && !ticket->cancelled)
                            dropped(*outcome);
                    },
                    Qt::QueuedConnection);
            });
    });
}

}  // namespace lumivert
