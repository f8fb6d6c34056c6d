#pragma once
// Fixtures for the model tests: small photos written into a temporary folder, a settings file
// of their own, scripted file panels, and a wait for the model to fall idle.
#include "AppModel.hpp"
#include "FilePanels.hpp"

#include <QSemaphore>
#include <QSettings>
#include <QTemporaryDir>

#include <deque>
#include <memory>
#include <vector>

namespace lumivert::fixtures {

// Answers the panels from a queue (an empty answer is a cancel), and the questions from another
// (an unscripted question is declined), and records every request.
class ScriptedPanels final : public FilePanels {
public:
    std::deque<std::optional<QString>> answers;
    std::deque<bool> confirmations;
    std::vector<SaveRequest> saveRequests;
    std::vector<Question> questions;
    QStringList imageMessages;
    QStringList imageFolders;
    QStringList revealed;

    std::optional<QString> chooseImage(const QString& message, const QString& startFolder) override;
    std::optional<QString> chooseSaveLocation(const SaveRequest& request) override;
    bool confirm(const Question& question) override;
    void reveal(const QString& path) override;

private:
    std::optional<QString> next();
};

// A folder for photos and outputs, a settings file and panels that outlive the model.
class ModelHarness {
public:
    ModelHarness();
    // A smooth width × height gradient photo whose colours are multiplied by `tint`.
    QString writePhoto(const QString& name, const RGB& tint = {1, 1, 1}, int width = 96,
                       int height = 64);
    // A graded HALD image of a small level: the identity with its colours multiplied by `tint`.
    QString writeHald(const QString& name, const RGB& tint);
    QString path(const QString& name) const { return folder_.filePath(name); }
    QSettings& settings() { return *settings_; }
    ScriptedPanels& panels() { return panels_; }
    std::unique_ptr<AppModel> makeModel(const AppModel::Environment& environment = {});

private:
    QTemporaryDir folder_;
    std::unique_ptr<QSettings> settings_;
    ScriptedPanels panels_;
};

// Holds every worker of the global thread pool until released, so that background jobs started
// meanwhile wait in the pool's queue in the order they were started: "still running" made
// certain rather than likely.
class PoolGate {
public:
    // Returns once every worker is held.
    PoolGate();
    // Releases the workers still held.
    ~PoolGate();
    PoolGate(const PoolGate&) = delete;
    PoolGate& operator=(const PoolGate&) = delete;

    // One worker goes back to the queue, whose first job it takes.
    void releaseOne();
    void releaseAll();

private:
    std::shared_ptr<QSemaphore> open_;
    int held_;
};

// Clicks the button of this text in the next message box of this object name that is opened
// modally (the question of a nested event loop), within `timeoutMs`; the flag turns true once
// it has clicked.
std::shared_ptr<bool> answerNextBox(const QString& objectName, const QString& buttonText,
                                    int timeoutMs = 10000);

// True once the model is idle; false after `timeoutMs`.
bool waitUntilIdle(const AppModel& model, int timeoutMs = 60000);

// Assigns the model's settings with one change made to them, as a control does.
template <typename Change> void adjust(AppModel& model, Change&& change)
{
    GradeRecipe::Settings settings = model.settings();
    change(settings);
    model.setSettings(settings);
}

}  // namespace lumivert::fixtures
