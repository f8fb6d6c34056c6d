#include "UndoHistory.hpp"

#include "AppModel.hpp"
#include "ValueSlider.hpp"
#include "recipe/Adjustments.hpp"

#include <QApplication>
#include <QFile>
#include <QUndoCommand>
#include <QUndoStack>
#include <QWidget>

#include <algorithm>

namespace lumivert {

namespace {

// While a slider is held, the history looks again this often for its release.
constexpr int dragPollMs = 40;
// Key presses on one slider closer together than this make one step.
constexpr qint64 keyRunPauseMs = 1000;
// The undo stack merges commands of equal id; only runs of key presses merge.
constexpr int keyRunCommandId = 1;

class StateChange final : public QUndoCommand {
public:
    // `keyRun` is the number of the run of key presses the step belongs to, or 0.
    StateChange(const QString& text, UndoHistory::State before, UndoHistory::State after,
                std::function<void(const UndoHistory::State&)> apply, int keyRun)
        : QUndoCommand(text), before_(std::move(before)), after_(std::move(after)),
          apply_(std::move(apply)), keyRun_(keyRun)
    {
    }

    int id() const override { return keyRun_ > 0 ? keyRunCommandId : -1; }
    bool mergeWith(const QUndoCommand* other) override
    {
        const auto* next = static_cast<const StateChange*>(other);
        if (next->keyRun_ != keyRun_)
            return false;
        after_ = next->after_;
        return true;
    }

    // The change has already happened when the step is recorded.
    void redo() override
    {
        if (done_)
            apply_(after_);
        done_ = true;
    }
    void undo() override { apply_(before_); }

private:
    UndoHistory::State before_;
    UndoHistory::State after_;
    std::function<void(const UndoHistory::State&)> apply_;
    int keyRun_;
    bool done_ = false;
};

}  // namespace

UndoHistory::UndoHistory(AppModel& model, QWidget* controls, QObject* parent)
    : QObject(parent), model_(model), controls_(controls), stack_(new QUndoStack(this)),
      current_(stateOf(model))
{
    settle_.setSingleShot(true);
    settle_.setInterval(0);
    connect(&settle_, &QTimer::timeout, this, &UndoHistory::record);
    for (auto signal :
         {&AppModel::modeChanged, &AppModel::settingsChanged, &AppModel::imagesChanged})
        connect(&model_, signal, this, &UndoHistory::changed);
    // Recorded on the same turn as the reset's changes; a reset that changes nothing clears the
    // mark there, so that it cannot name a later step.
    connect(&model_, &AppModel::adjustmentsReset, this, [this] {
        if (restoring_)
            return;
        resetPending_ = true;
        changed();
    });
    // Focus leaving the slider ends its run of key presses.
    connect(qApp, &QApplication::focusChanged, this, [this] { keyRun_ = nullptr; });
}

UndoHistory::State UndoHistory::stateOf(const AppModel& model)
{
    State state{model.mode(), model.settings(), {}};
    for (const auto& [slot, image] : model.images())
        if (image.url())
            state.files.emplace(
                slot, QFile::decodeName(QByteArray::fromStdString(image.url()->string())));
    return state;
}

QString UndoHistory::describe(const State& before, const State& after)
{
    if (before.files != after.files) {
        const bool removed =
            std::any_of(before.files.begin(), before.files.end(),
                        [&after](const auto& entry) { return !after.files.contains(entry.first); });
        return removed ? QStringLiteral("Remove Image") : QStringLiteral("Open Image");
    }
    if (before.mode != after.mode)
        return QStringLiteral("Mode Change");
    const auto changed = GradeRecipe::differences(before.settings, after.settings);
    if (changed.size() == 1) {
        const std::string_view name = changed.front()->undoName;
        return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    }
    return QStringLiteral("Reset Adjustments");
}

void UndoHistory::changed()
{
    if (!restoring_)
        settle_.start(0);
}

void UndoHistory::record()
{
    // A drag in progress is one step: it is recorded once the knob is let go.
    if (controls_) {
        const QList<ValueSlider*> sliders = controls_->findChildren<ValueSlider*>();
        if (std::any_of(sliders.begin(), sliders.end(),
                        [](const ValueSlider* slider) { return slider->isDragging(); })) {
            settle_.start(dragPollMs);
            return;
        }
    }
    State now = stateOf(model_);
    const bool reset = std::exchange(resetPending_, false);
    if (now == current_)
        return;
    const QString text = reset ? QStringLiteral("Reset Adjustments") : describe(current_, now);
    ValueSlider* const keyed = reset ? nullptr : keyedSlider(now);
    const bool continuesRun = keyed && keyed == keyRun_ && keyRunClock_.isValid() &&
                              keyRunClock_.elapsed() < keyRunPauseMs;
    if (keyed && !continuesRun)
        ++keyRunNumber_;
    keyRun_ = keyed;
    keyRunClock_.start();
    stack_->push(new StateChange(
        text, std::exchange(current_, now), now, [this](const State& state) { restore(state); },
        keyed ? keyRunNumber_ : 0));
}

ValueSlider* UndoHistory::keyedSlider(const State& now) const
{
    if (!controls_ || now.mode != current_.mode || now.files != current_.files ||
        GradeRecipe::differences(current_.settings, now.settings).size() != 1)
        return nullptr;
    auto* slider = qobject_cast<ValueSlider*>(QApplication::focusWidget());
    return slider && controls_->isAncestorOf(slider) && slider->lastEditWasKey() ? slider : nullptr;
}

void UndoHistory::restore(const State& state)
{
    restoring_ = true;
    settle_.stop();
    keyRun_ = nullptr;
    model_.setMode(state.mode);
    if (model_.settings() != state.settings)
        model_.setSettings(state.settings);
    // Images come back from their files; the loads land later and then match the state.
    const State now = stateOf(model_);
    for (const auto& [slot, file] : now.files)
        if (!state.files.contains(slot))
            model_.remove(slot);
    for (const auto& [slot, file] : state.files) {
        const auto shown = now.files.find(slot);
        if (shown == now.files.end() || shown->second != file)
            model_.load(file, slot);
    }
    current_ = state;
    restoring_ = false;
}

}  // namespace lumivert
