// The automation mode: environment variables load images, set every adjustment, export one LUT
// and signal completion with marker files, without any user interaction.
#include "AppModel.hpp"

#include "lut/LUTFormat.hpp"

#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <array>

namespace lumivert {

namespace {

constexpr int idlePollMs = 100;
constexpr int idlePollsNeeded = 4;
constexpr int maxIdlePolls = 600;
constexpr int readyDelayMs = 900;
const std::array<qint64, 3> gridSizes{17, 33, 65};

const QString automationPrefix = QStringLiteral("LUMIVERT_");

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

QString trimmedOfSpacesAndTabs(const QString& text)
{
    const auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && blank(text[first]))
        ++first;
    while (last > first && blank(text[last - 1]))
        --last;
    return text.mid(first, last - first);
}

// A whole decimal literal: Qt's parsers skip surrounding white space, which is not allowed here.
std::optional<double> wholeNumber(const QString& text)
{
    if (text.isEmpty() || text.trimmed() != text)
        return std::nullopt;
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok ? std::optional<double>(value) : std::nullopt;
}

std::optional<qint64> wholeInteger(const QString& text)
{
    if (text.isEmpty() || text.trimmed() != text)
        return std::nullopt;
    bool ok = false;
    const qint64 value = text.toLongLong(&ok, 10);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

LUTFormat formatForExtension(const QString& path)
{
    const QString extension = QFileInfo(path).suffix().toLower();
    if (extension == QStringLiteral("3dl"))
        return LUTFormat::threeDL;
    if (extension == QStringLiteral("png"))
        return LUTFormat::hald;
    return LUTFormat::cube;
}

void writeMarker(const QString& path, const QByteArray& contents)
{
    // Whatever reads the marker is outside the application; a failed write is ignored.
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(contents);
}

}  // namespace

std::vector<float> AppModel::captureFloats(const QString& value)
{
    std::vector<float> numbers;
    for (const QString& piece : value.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const float number = trimmedOfSpacesAndTabs(piece).toFloat(&ok);
        if (ok)
            numbers.push_back(number);
    }
    return numbers;
}

void AppModel::startCapture()
{
    const QStringList names = environment_.keys();
    const bool automated = std::any_of(names.begin(), names.end(), [](const QString& name) {
        return name.startsWith(automationPrefix);
    });
    if (!automated)
        return;
    if (const auto mode = Modes::fromRawValue(environment_.value(QStringLiteral("LUMIVERT_MODE"))))
        setMode(*mode);
    for (const FileVariable& variable : fileVariables) {
        const QString name = QString::fromUtf8(variable.name);
        if (environment_.contains(name))
            load(environment_.value(name), variable.slot);
    }
    waitUntilIdle([this] {
        applyCaptureSettings(environment_);
        waitUntilIdle([this] { runCaptureExport(); });
    });
}

void AppModel::runCaptureExport()
{
    const QString exportKey = QStringLiteral("LUMIVERT_EXPORT");
    if (!environment_.contains(exportKey)) {
        finishCapture();
        return;
    }
    const QString path = environment_.value(exportKey);
    writeLUTs(path, {formatForExtension(path)});
    waitUntilIdle([this, path] {
        writeMarker(path + QStringLiteral(".done"), QByteArrayLiteral("ok"));
        finishCapture();
    });
}

void AppModel::finishCapture()
{
    const QString readyKey = QStringLiteral("LUMIVERT_READY");
    if (!environment_.contains(readyKey)) {
        Q_EMIT automationIdle();
        Q_EMIT automationFinished();
        return;
    }
    QTimer::singleShot(readyDelayMs, Qt::PreciseTimer, this, [this, readyKey] {
        Q_EMIT automationIdle();
        writeMarker(environment_.value(readyKey), QByteArrayLiteral("ready"));
        Q_EMIT automationFinished();
    });
}

void AppModel::waitUntilIdle(std::function<void()> then) { pollIdle(0, 0, std::move(then)); }

void AppModel::pollIdle(int polls, int idleRun, std::function<void()> then)
{
    QTimer::singleShot(idlePollMs, Qt::PreciseTimer, this, [this, polls, idleRun, then] {
        const bool idle = loading_.empty() && busy_ == 0 && !rendering_;
        const int run = idle ? idleRun + 1 : 0;
        if (run >= idlePollsNeeded || polls + 1 >= maxIdlePolls)
            then();
        else
            pollIdle(polls + 1, run, then);
    });
}

void AppModel::applyCaptureSettings(const Environment& environment)
{
    const auto value = [&](const char* name) -> std::optional<QString> {
        const QString key = QString::fromUtf8(name);
        if (!environment.contains(key))
            return std::nullopt;
        return environment.value(key);
    };
    const auto numbers = [&](const char* name, std::size_t count) -> std::vector<float> {
        const auto text = value(name);
        std::vector<float> parsed = text ? captureFloats(*text) : std::vector<float>();
        return parsed.size() == count ? parsed : std::vector<float>();
    };

    if (const auto text = value("LUMIVERT_PREVIEW_ON"))
        if (const auto source = PreviewSources::fromRawValue(*text))
            setPreviewSource(*source);
    if (const auto text = value("LUMIVERT_COMPARE"))
        if (const auto style = CompareStyles::fromRawValue(*text))
            setCompareStyle(*style);
    if (value("LUMIVERT_COMPARE_AFTER"))
        setCompareWithAfter(true);
    if (const auto text = value("LUMIVERT_SPLIT"))
        if (const auto number = wholeNumber(*text))
            setSplit(*number);
    if (const auto text = value("LUMIVERT_INTENSITY"))
        if (const auto number = wholeNumber(*text))
            setIntensity(*number);
    if (const auto look = numbers("LUMIVERT_LOOK_SETTINGS", 4); !look.empty())
        setLookSettings(LookSettings{look[0], look[1], look[2], look[3]});
    if (const auto match = numbers("LUMIVERT_MATCH_SETTINGS", 2); !match.empty())
        setMatchSettings(MatchSettings{match[0], match[1]});
    if (const auto text = value("LUMIVERT_SMOOTHING"))
        if (const auto number = wholeNumber(*text))
            setEditSmoothness(*number);
    if (const auto tune = numbers("LUMIVERT_FINETUNE", 4); !tune.empty())
        setFineTune(FineTune{tune[0], tune[1], tune[2], tune[3]});
    if (const auto text = value("LUMIVERT_NAME"))
        setLutName(*text);
    if (const auto text = value("LUMIVERT_FORMAT"))
        if (const auto choice = ExportChoices::fromRawValue(*text))
            setExportChoice(*choice);
    if (const auto text = value("LUMIVERT_GRID"))
        if (const auto size = wholeInteger(*text);
            size && std::find(gridSizes.begin(), gridSizes.end(), *size) != gridSizes.end())
            setExportSize(*size);
    if (const auto text = value("LUMIVERT_INSPECTOR"))
        setInspectorTarget(*text);
    if (const auto text = value("LUMIVERT_TOAST")) {
        // A captured toast stays: no hiding timer.
        toastTimer_.stop();
        setToast(Toast{QUuid::createUuid(), *text, QUrl::fromLocalFile(QStringLiteral("/"))});
    }
}

}  // namespace lumivert
