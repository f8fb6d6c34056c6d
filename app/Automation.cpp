#include "Automation.hpp"

#include "AutomationValues.hpp"
#include "lut/LUTFormat.hpp"
#include "recipe/GradeRecipe.hpp"

#include <QFile>
#include <QUrl>
#include <QUuid>

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <utility>
#include <vector>

namespace lumivert {

namespace {

constexpr int patienceMs = 60000;
constexpr int readyDelayMs = 900;

const QString automationPrefix = QStringLiteral("LUMIVERT_");
const QString modeKey = QStringLiteral("LUMIVERT_MODE");
const QString exportKey = QStringLiteral("LUMIVERT_EXPORT");
const QString readyKey = QStringLiteral("LUMIVERT_READY");
const QString patienceFailure =
    QStringLiteral("Couldn’t finish the automation: Lumivert was still working after a minute.");

// The seven file variables, in loading order.
struct FileVariable {
    const char* name;
    Slot slot;
};
constexpr std::array<FileVariable, 7> fileVariables{{{"LUMIVERT_LOOK", Slot::lookReference},
                                                     {"LUMIVERT_SOURCE", Slot::matchSource},
                                                     {"LUMIVERT_REFERENCE", Slot::matchReference},
                                                     {"LUMIVERT_BEFORE", Slot::editBefore},
                                                     {"LUMIVERT_AFTER", Slot::editAfter},
                                                     {"LUMIVERT_HALD", Slot::hald},
                                                     {"LUMIVERT_PREVIEW", Slot::preview}}};

void writeMarker(const QString& path, const QByteArray& contents)
{
    // Whatever reads the marker is outside the application; a failed write is ignored.
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(contents);
}

}  // namespace

Automation::Automation(AppModel& model, QObject* parent)
    : QObject(parent), model_(model), environment_(model.environment())
{
    patience_.setSingleShot(true);
    patience_.setInterval(patienceMs);
    connect(&patience_, &QTimer::timeout, this, &Automation::gaveUpWaiting);
    // Queued: the next step starts after the model has finished the continuation that made it
    // idle, never in the middle of it.
    connect(&model_, &AppModel::idleChanged, this, &Automation::takeNextStep, Qt::QueuedConnection);
    connect(&model_, &AppModel::alertChanged, this, &Automation::noteAlert);
}

bool Automation::isRequested(const QStringList& variableNames)
{
    return std::any_of(variableNames.begin(), variableNames.end(),
                       [](const QString& name) { return name.startsWith(automationPrefix); });
}

void Automation::start()
{
    if (running_ || !isRequested(environment_.keys()))
        return;
    running_ = true;
    if (const auto mode = Modes::fromRawValue(environment_.value(modeKey)))
        model_.setMode(*mode);
    for (const FileVariable& variable : fileVariables) {
        const QString name = QString::fromUtf8(variable.name);
        if (environment_.contains(name))
            model_.load(environment_.value(name), variable.slot);
    }
    whenIdle(&Automation::applyEnvironment);
}

void Automation::whenIdle(Step step)
{
    next_ = step;
    patience_.start();
    QMetaObject::invokeMethod(this, &Automation::takeNextStep, Qt::QueuedConnection);
}

void Automation::takeNextStep()
{
    if (!next_ || !model_.idle())
        return;
    patience_.stop();
    (this->*std::exchange(next_, nullptr))();
}

void Automation::gaveUpWaiting()
{
    if (!next_)
        return;
    fail(patienceFailure);
    (this->*std::exchange(next_, nullptr))();
}

void Automation::noteAlert()
{
    if (running_ && model_.alert())
        fail(model_.alert()->title + QStringLiteral(": ") + model_.alert()->message);
}

void Automation::fail(const QString& reason)
{
    failures_ << reason;
    std::fprintf(stderr, "lumivert: %s\n", reason.toUtf8().constData());
}

void Automation::applyEnvironment()
{
    applySettings(model_, environment_);
    whenIdle(&Automation::exportLUT);
}

void Automation::exportLUT()
{
    // After a failure the grade is not the one asked for: no file is better than a wrong one.
    if (!environment_.contains(exportKey) || !failures_.isEmpty()) {
        finish();
        return;
    }
    const QString path = environment_.value(exportKey);
    const auto format = LUTFormat::fromPath(QFile::encodeName(path).toStdString());
    model_.writeLUTs(path, {format.value_or(LUTFormat::cube)});
    whenIdle(&Automation::markExport);
}

void Automation::markExport()
{
    if (failures_.isEmpty())
        writeMarker(environment_.value(exportKey) + QStringLiteral(".done"),
                    QByteArrayLiteral("ok"));
    finish();
}

void Automation::finish()
{
    // The window's fades and relayouts end before anyone looks at it (screenshot, ready marker).
    QTimer::singleShot(readyDelayMs, Qt::PreciseTimer, this, [this] {
        Q_EMIT settled();
        if (environment_.contains(readyKey))
            writeMarker(environment_.value(readyKey), QByteArrayLiteral("ready"));
        writeReady();
    });
}

void Automation::writeReady()
{
    running_ = false;
    Q_EMIT finished(failures_.isEmpty());
}

void Automation::applySettings(AppModel& model, const Environment& environment)
{
    const auto value = [&](const char* name) -> std::optional<QString> {
        const QString key = QString::fromUtf8(name);
        if (!environment.contains(key))
            return std::nullopt;
        return environment.value(key);
    };
    const auto numbers = [&](const char* name, std::size_t count) -> std::vector<float> {
        const auto text = value(name);
        std::vector<float> parsed = text ? AutomationValues::floats(*text) : std::vector<float>();
        return parsed.size() == count ? parsed : std::vector<float>();
    };

    if (const auto text = value("LUMIVERT_PREVIEW_ON"))
        if (const auto source = PreviewSources::fromRawValue(*text))
            model.setPreviewSource(*source);
    if (const auto text = value("LUMIVERT_COMPARE"))
        if (const auto style = CompareStyles::fromRawValue(*text))
            model.setCompareStyle(*style);
    if (value("LUMIVERT_COMPARE_AFTER"))
        model.setCompareWithAfter(true);
    if (const auto text = value("LUMIVERT_SPLIT"))
        if (const auto number = AutomationValues::wholeNumber(*text))
            model.setSplit(*number);
    if (const auto text = value("LUMIVERT_INTENSITY"))
        if (const auto number = AutomationValues::wholeNumber(*text))
            model.setIntensity(*number);
    if (const auto look = numbers("LUMIVERT_LOOK_SETTINGS", 4); !look.empty())
        model.setLookSettings(LookSettings{look[0], look[1], look[2], look[3]});
    if (const auto match = numbers("LUMIVERT_MATCH_SETTINGS", 2); !match.empty())
        model.setMatchSettings(MatchSettings{match[0], match[1]});
    if (const auto text = value("LUMIVERT_SMOOTHING"))
        if (const auto number = AutomationValues::wholeNumber(*text))
            model.setEditSmoothness(*number);
    if (const auto tune = numbers("LUMIVERT_FINETUNE", 4); !tune.empty())
        model.setFineTune(FineTune{tune[0], tune[1], tune[2], tune[3]});
    if (const auto text = value("LUMIVERT_GAMUT"))
        if (const auto mapping = GradeRecipe::gamutNamed(text->toStdString()))
            model.setGamutMapping(*mapping);
    if (value("LUMIVERT_EXTEND"))
        model.setExtendEdit(true);
    if (const auto text = value("LUMIVERT_NAME"))
        model.setLutName(*text);
    if (const auto text = value("LUMIVERT_FORMAT"))
        if (const auto choice = ExportChoices::fromRawValue(*text))
            model.setExportChoice(*choice);
    if (const auto text = value("LUMIVERT_GRID"))
        if (const auto size = AutomationValues::wholeInteger(*text);
            size && GradeRecipe::isExportSize(*size))
            model.setExportSize(*size);
    if (const auto text = value("LUMIVERT_INSPECTOR"))
        model.setInspectorTarget(*text);
    // The model's own toasts start a hiding timer; a scripted one stays.
    if (const auto text = value("LUMIVERT_TOAST"))
        model.setToast(Toast{QUuid::createUuid(), *text, QUrl::fromLocalFile(QStringLiteral("/"))});
}

}  // namespace lumivert
