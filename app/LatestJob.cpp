#include "LatestJob.hpp"

namespace lumivert {

LatestJob::LatestJob(QObject* context) : LatestJob(context, Options{}) {}

LatestJob::LatestJob(QObject* context, Options options)
    : context_(context), state_(std::make_shared<State>())
{
    state_->countInFlight = std::move(options.countInFlight);
    pause_.setSingleShot(true);
    pause_.setTimerType(Qt::PreciseTimer);
    pause_.setInterval(options.debounce);
    QObject::connect(&pause_, &QTimer::timeout, &pause_, [this] {
        const std::function<void()> submission = std::move(waiting_);
        waiting_ = nullptr;
        if (submission)
            submission();
    });
}

LatestJob::~LatestJob() = default;

std::shared_ptr<LatestJob::Ticket> LatestJob::supersede(bool keepsRunning)
{
    if (state_->current && !state_->current->keepsRunning)
        state_->current->skip = true;
    state_->current = std::make_shared<Ticket>();
    state_->current->keepsRunning = keepsRunning;
    state_->pending = true;
    ++state_->started;
    return state_->current;
}

void LatestJob::schedule(std::function<void()> submission)
{
    if (pause_.interval() <= 0) {
        submission();
        return;
    }
    waiting_ = std::move(submission);
    pause_.start();
}

void LatestJob::cancel()
{
    pause_.stop();
    waiting_ = nullptr;
    if (state_->current) {
        state_->current->skip = true;
        state_->current->cancelled = true;
        state_->current.reset();
    }
    state_->pending = false;
}

}  // namespace lumivert
