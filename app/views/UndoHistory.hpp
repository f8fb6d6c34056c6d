#pragma once
// Undo and redo for what the user changes: every adjustment, the mode, the images opened or
// removed, and a reset. The history watches the model rather than each control: the changes of
// one event-loop turn (a reset moves several adjustments at once) make one step, and so do all
// the changes of a slider drag, from press to release, and so do the key presses on one slider
// until its focus leaves or the keys pause. An image comes back by opening its file
// again, so an undone load never holds a second copy of a photo in memory.
#include "AppTypes.hpp"

#include "recipe/GradeRecipe.hpp"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <map>

class QAction;
class QUndoStack;
class QWidget;

namespace lumivert {

class AppModel;
class ValueSlider;

class UndoHistory : public QObject {
    Q_OBJECT

public:
    // What one step restores: the user's choices, and each slot's file.
    struct State {
        Mode mode = Mode::look;
        GradeRecipe::Settings settings;
        std::map<Slot, QString> files;
        friend bool operator==(const State&, const State&) = default;
    };

    // `controls` holds the sliders whose drags make one step each.
    UndoHistory(AppModel& model, QWidget* controls, QObject* parent = nullptr);

    QUndoStack* stack() const { return stack_; }
    static State stateOf(const AppModel& model);
    // The name of the step between two states: an adjustment's own ("Intensity"), "Open Image",
    // "Reset Adjustments" when several adjustments changed…
    static QString describe(const State& before, const State& after);

private:
    void changed();
    void record();
    void restore(const State& state);
    // The slider whose keys made the change now being recorded, if it was one adjustment.
    ValueSlider* keyedSlider(const State& now) const;

    AppModel& model_;
    QPointer<QWidget> controls_;
    QUndoStack* stack_;
    QTimer settle_;
    State current_;
    bool restoring_ = false;
    bool resetPending_ = false;
    // The slider of the current run of key presses, when its last one was recorded, and the run's
    // number, which is the one its steps merge on.
    QPointer<ValueSlider> keyRun_;
    QElapsedTimer keyRunClock_;
    int keyRunNumber_ = 0;
};

}  // namespace lumivert
