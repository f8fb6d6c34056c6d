#pragma once
// The automation mode: the LUMIVERT_ variables of the model's environment load images, set every
// adjustment, export one LUT and signal completion with marker files, with nobody at the window.
// A driver of the model's public interface: it calls its operations and setters and waits for
// its idle signal between steps.
//
// A run fails when the model raises an alert while the script runs (a file that cannot be
// opened, images that cannot be analysed, a LUT that cannot be saved) or stays busy for a
// minute. A failed run exports nothing more, never writes the "ok" marker, prints the reason on
// standard error and still writes the ready marker, so that a waiting script ends.
#include "AppModel.hpp"

#include <QObject>
#include <QStringList>
#include <QTimer>

namespace lumivert {

class Automation : public QObject {
    Q_OBJECT

public:
    using Environment = AppModel::Environment;

    // Reads its script from the model's environment.
    explicit Automation(AppModel& model, QObject* parent = nullptr);

    // True when a variable's name begins with LUMIVERT_, whatever its value.
    static bool isRequested(const QStringList& variableNames);
    // Assigns the mode, starts loading the files and runs the script; does nothing (and
    // signals nothing) when no LUMIVERT_ variable is set.
    void start();

    bool running() const { return running_; }
    // "title: message" of each failure, in order; empty while the run has not failed.
    const QStringList& failures() const { return failures_; }

    // The setting variables, read as the command line reads its options; returns a sentence for
    // each variable whose value does not parse or lies outside its range, which leaves its
    // property unchanged.
    static QStringList applySettings(AppModel& model, const Environment& environment);

Q_SIGNALS:
    // The script is done and about to write the ready marker (when one is asked for): the
    // moment for a screenshot of the settled window.
    void settled();
    // The last marker is written; `succeeded` is false when the run failed.
    void finished(bool succeeded);

private:
    using Step = void (Automation::*)();

    void whenIdle(Step step);
    void takeNextStep();
    void gaveUpWaiting();
    void noteAlert();
    void fail(const QString& reason);
    void applyEnvironment();
    void exportLUT();
    // LUMIVERT_EXPORT names a folder (or nothing) rather than a file.
    bool exportFolder() const;
    void markExport();
    void finish();
    void writeReady();

    AppModel& model_;
    Environment environment_;
    bool running_ = false;
    Step next_ = nullptr;
    QTimer patience_;
    QStringList failures_;
    QString exported_;  // the file the export writes
};

}  // namespace lumivert
