#include "UndoHistory.hpp"

#include "AppModel.hpp"
#include "ValueSlider.hpp"
#include "recipe/Adjustments.hpp"

#include <QFile>
#include <QUndoCommand>
#include <QUndoStack>
#include <QWidget>

#include <algorithm>

namespace lumivert {

namespace {

// While a slider is held, the history looks again this often for its release.
constexpr int dragPollMs = 40;

class StateChange final : public QUndoCommand {
public:
    StateChange(const QString& text, UndoHistory::State before, UndoHistory::State after,
                std::function<void(const UndoHistory::State&)> apply)
        : QUndoCommand(text), before_(std::move(before)), after_(std::move(after)),
          apply_(std::move(apply))
    {
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
    if (now == current_)
        return;
    const QString text = describe(current_, now);
    stack_->push(new StateChange(text, std::exchange(current_, now), now,
                                 [this](const State& state) { restore(state); }));
}

void UndoHistory::restore(const State& state)
{
    restoring_ = true;
    settle_.stop();
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
