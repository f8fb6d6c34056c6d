#include "Automation.hpp"

#include "CheckedFiles.hpp"

#include "lut/LUTFormat.hpp"
#include "recipe/Adjustments.hpp"
#include "recipe/GradeRecipe.hpp"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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

// "“split”, “original” or “graded”"
template <typename Cases, typename RawValue> QString rawValues(const Cases& cases, RawValue raw)
{
    QStringList names;
    for (const auto value : cases)
        names << QStringLiteral("\u201C") + raw(value) + QStringLiteral("\u201D");
    const QString last = names.takeLast();
    return names.isEmpty() ? last
                           : names.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
}

std::optional<double> splitNamed(const QString& text)
{
    const auto number = GradeRecipe::wholeNumber(text.toStdString());
    return number && *number >= 0 && *number <= 1 ? number : std::nullopt;
}

std::optional<qint64> exportSizeNamed(const QString& text)
{
    const auto size = GradeRecipe::wholeInteger(text.toStdString());
    return size && GradeRecipe::isExportSize(*size) ? std::optional<qint64>(*size) : std::nullopt;
}

QString exportSizesText()
{
    QStringList sizes;
    for (const std::int64_t size : GradeRecipe::exportSizes)
        sizes << QString::number(size);
    const QString last = sizes.takeLast();
    return sizes.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
}

void writeMarker(const QString& path, const QByteArray& contents)
{
    // Whatever reads the marker is outside the application; a failed write is only reported.
    QString reason;
    if (!CheckedFiles::write(path, contents, &reason))
        std::fprintf(stderr, "lumivert: %s\n", qPrintable(reason));
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
    const QString prefix = QStringLiteral("Couldn\u2019t finish the automation: ");
    for (const QString& problem : applySettings(model_, environment_))
        fail(prefix + problem);
    if (environment_.contains(exportKey) && exportFolder())
        fail(prefix +
             QStringLiteral("The LUMIVERT_EXPORT \u201C%1\u201D names a folder; name a LUT "
                            "file in it, such as \u201C%2\u201D.")
                 .arg(environment_.value(exportKey),
                      QDir(environment_.value(exportKey)).filePath(QStringLiteral("Look.cube"))));
    whenIdle(&Automation::exportLUT);
}

bool Automation::exportFolder() const
{
    const QString path = environment_.value(exportKey);
    return path.isEmpty() || path.endsWith(QLatin1Char('/')) || QFileInfo(path).isDir() ||
           path.endsWith(QStringLiteral("/.")) || path.endsWith(QStringLiteral("/..")) ||
           path == QStringLiteral(".") || path == QStringLiteral("..");
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
    const ExportPlan::Plan plan = model_.exportPlan(path, {format.value_or(LUTFormat::cube)});
    exported_ = QFile::decodeName(QByteArray::fromStdString(plan.front().path.string()));
    model_.writeLUTs(path, {format.value_or(LUTFormat::cube)});
    whenIdle(&Automation::markExport);
}

void Automation::markExport()
{
    if (failures_.isEmpty())
        writeMarker(exported_ + QStringLiteral(".done"), QByteArrayLiteral("ok"));
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

QStringList Automation::applySettings(AppModel& model, const Environment& environment)
{
    QStringList problems;
    const auto value = [&](QStringView name) -> std::optional<std::string> {
        const QString key = name.toString();
        if (!environment.contains(key))
            return std::nullopt;
        return environment.value(key).toStdString();
    };
    // A value of a fixed set: the raw values of an enumeration.
    const auto named = [&]<typename Parse>(QStringView name, Parse parse, const QString& expected) {
        const auto text = value(name);
        if (!text)
            return decltype(parse(QString()))();
        const auto parsed = parse(QString::fromStdString(*text));
        if (!parsed)
            problems << QStringLiteral("The %1 must be %2, not \u201C%3\u201D.")
                            .arg(name, expected, QString::fromStdString(*text));
        return parsed;
    };

    if (const auto source = named(u"LUMIVERT_PREVIEW_ON", PreviewSources::fromRawValue,
                                  rawValues(PreviewSources::allCases(), PreviewSources::rawValue)))
        model.setPreviewSource(*source);
    if (const auto style = named(u"LUMIVERT_COMPARE", CompareStyles::fromRawValue,
                                 rawValues(CompareStyles::allCases(), CompareStyles::rawValue)))
        model.setCompareStyle(*style);
    if (value(u"LUMIVERT_COMPARE_AFTER"))
        model.setCompareWithAfter(true);
    if (const auto split =
            named(u"LUMIVERT_SPLIT", splitNamed, QStringLiteral("a number between 0 and 1")))
        model.setSplit(*split);

    GradeRecipe::Settings settings = model.settings();
    for (const GradeRecipe::Adjustment& row : GradeRecipe::adjustments()) {
        const QString name =
            QString::fromUtf8(row.variable.data(), static_cast<qsizetype>(row.variable.size()));
        if (const auto text = value(name))
            if (const auto problem = GradeRecipe::assignText(row, *text, settings))
                problems << QString::fromStdString(*problem);
    }
    model.setSettings(settings);

    if (const auto text = value(u"LUMIVERT_NAME"))
        model.setLutName(QString::fromStdString(*text));
    if (const auto choice = named(u"LUMIVERT_FORMAT", ExportChoices::fromRawValue,
                                  rawValues(ExportChoices::allCases(), ExportChoices::rawValue)))
        model.setExportChoice(*choice);
    if (const auto size = named(u"LUMIVERT_GRID", exportSizeNamed, exportSizesText()))
        model.setExportSize(*size);
    if (const auto text = value(u"LUMIVERT_INSPECTOR"))
        model.setInspectorTarget(QString::fromStdString(*text));
    // The model's own toasts start a hiding timer; a scripted one stays.
    if (const auto text = value(u"LUMIVERT_TOAST"))
        model.setToast(Toast{QUuid::createUuid(), QString::fromStdString(*text),
                             QUrl::fromLocalFile(QStringLiteral("/"))});
    return problems;
}

}  // namespace lumivert
