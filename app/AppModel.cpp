#include "AppModel.hpp"

#include "imaging/TestChart.hpp"
#include "recipe/Adjustments.hpp"

#include <QFileInfo>
#include <QProcessEnvironment>

#include <algorithm>
#include <cmath>
#include <utility>

namespace lumivert {

namespace {

// A burst of slider steps bakes one preview, and re-solves the edit once the slider rests.
constexpr std::chrono::milliseconds rebuildPause(10);
constexpr std::chrono::milliseconds refitPause(120);
// Measuring a photo's ΔE2000 costs more than its preview: it waits until a drag rests.
constexpr std::chrono::milliseconds measurePause(120);
constexpr int toastLifetimeMs = 6000;

const QString exportChoiceKey = QStringLiteral("exportChoice");
const QString exportSizeKey = QStringLiteral("exportSize");
const QString previewInterpolationKey = QStringLiteral("previewInterpolation");
const QString modeKey = QStringLiteral("mode");

QString text(std::string_view raw)
{
    return QString::fromUtf8(raw.data(), static_cast<qsizetype>(raw.size()));
}

// A remembered adjustment as the defaults store it: a choice's name, a toggle's state.
QVariant storedValue(const GradeRecipe::Adjustment& row, const GradeRecipe::Settings& settings)
{
    if (row.kind == GradeRecipe::AdjustmentKind::toggle)
        return row.chosen(settings) != 0;
    return text(row.choices[row.chosen(settings)].id);
}

// The stored value's index among the adjustment's choices, if it names one.
std::optional<std::size_t> storedChoice(const GradeRecipe::Adjustment& row, const QVariant& value)
{
    if (!value.isValid())
        return std::nullopt;
    if (row.kind == GradeRecipe::AdjustmentKind::toggle)
        return value.toBool() ? 1 : 0;
    for (std::size_t i = 0; i < row.choices.size(); ++i)
        if (text(row.choices[i].id) == value.toString())
            return i;
    return std::nullopt;
}

// A mode's result property: whether a change leaves it equal, and its notification. An edit
// fit notifies on every assignment.
struct ResultProperty {
    bool (*same)(const GradeRecipe::Results& x, const GradeRecipe::Results& y);
    void (AppModel::*changed)();
};

const std::array<ResultProperty, 4> resultProperties{{
    {[](const GradeRecipe::Results& x, const GradeRecipe::Results& y) { return x.look == y.look; },
     &AppModel::lookAnalysisChanged},
    {[](const GradeRecipe::Results& x, const GradeRecipe::Results& y) {
         return x.match == y.match;
     },
     &AppModel::matchAnalysisChanged},
    {[](const GradeRecipe::Results&, const GradeRecipe::Results&) { return false; },
     &AppModel::editFitChanged},
    {[](const GradeRecipe::Results& x, const GradeRecipe::Results& y) {
         return x.hald == y.hald || (x.hald && y.hald && *x.hald == *y.hald);
     },
     &AppModel::haldLUTChanged},
}};

AppModel::Environment processEnvironment()
{
    AppModel::Environment environment;
    const QProcessEnvironment system = QProcessEnvironment::systemEnvironment();
    for (const QString& name : system.keys())
        environment.insert(name, system.value(name));
    return environment;
}

}  // namespace

QImage platformImage(const Image8& image)
{
    // The copy shares the samples; the cleanup function releases it with the QImage.
    auto* keep = new Image8(image);
    return QImage(
        keep->data(), static_cast<int>(keep->width()), static_cast<int>(keep->height()),
        static_cast<qsizetype>(keep->bytesPerRow()), QImage::Format_RGBX8888,
        [](void* info) { delete static_cast<Image8*>(info); }, keep);
}

AppModel::AppModel(Services services, QObject* parent)
    : QObject(parent), refitJob_(this, {refitPause, [this](int delta) { changeBusy(delta); }}),
      previewJob_(this, {rebuildPause, {}}), differenceJob_(this, {measurePause, {}}),
      lastExport_(QtFuture::makeReadyFuture()),
      renderer_(std::make_shared<const PreviewRenderer>()),
      testChart_(QStringLiteral("Test chart").toStdString(),
                 TestChart::make(GradeRecipe::chartWidth, GradeRecipe::chartHeight)),
      shownChart_(testChart_),
      ownedSettings_(services.settings ? nullptr
                                       : std::make_unique<QSettings>(QStringLiteral("Lumivert"),
                                                                     QStringLiteral("Lumivert"))),
      defaults_(services.settings ? services.settings : ownedSettings_.get()),
      ownedPanels_(services.panels ? nullptr : std::make_unique<QtFilePanels>()),
      panels_(services.panels ? services.panels : ownedPanels_.get()),
      environment_(services.environment ? *services.environment : processEnvironment())
{
    capturing_ = environment_.contains(QStringLiteral("LUMIVERT_CAPTURE"));
    // A script names its mode or means the default one; the last mode is the user's own.
    const QStringList names = environment_.keys();
    scripted_ = std::any_of(names.begin(), names.end(), [](const QString& name) {
        return name.startsWith(QStringLiteral("LUMIVERT_"));
    });

    for (std::unique_ptr<LatestJob>& job : loadJobs_)
        job = std::make_unique<LatestJob>(this);
    for (std::unique_ptr<LatestJob>& job : analysisJobs_)
        job = std::make_unique<LatestJob>(
            this, LatestJob::Options{{}, [this](int delta) { changeBusy(delta); }});
    toastTimer_.setSingleShot(true);
    toastTimer_.setInterval(toastLifetimeMs);
    connect(&toastTimer_, &QTimer::timeout, this, [this] { setToast(std::nullopt); });

    readPersistedSettings();
    rebuildPreview();
}

AppModel::AppModel(QObject* parent) : AppModel(Services{}, parent) {}

AppModel::~AppModel() = default;

void AppModel::readPersistedSettings()
{
    if (capturing_)
        return;
    if (const auto mode = Modes::fromRawValue(defaults_->value(modeKey).toString());
        mode && !scripted_)
        setMode(*mode);
    if (const auto choice =
            ExportChoices::fromRawValue(defaults_->value(exportChoiceKey).toString()))
        setExportChoice(*choice);
    const qint64 size = defaults_->value(exportSizeKey, 0).toLongLong();
    if (GradeRecipe::isExportSize(size))
        setExportSize(size);
    if (const auto interpolation =
            interpolationNamed(defaults_->value(previewInterpolationKey).toString().toStdString()))
        setPreviewInterpolation(*interpolation);
    GradeRecipe::Settings stored = settings_;
    for (const GradeRecipe::Adjustment& row : GradeRecipe::adjustments())
        if (!row.storedKey.empty())
            if (const auto choice = storedChoice(row, defaults_->value(text(row.storedKey))))
                row.choose(stored, *choice);
    setSettings(stored);
}

// Setters: store, notify only on a change, then run the assignment's effect.

void AppModel::setMode(Mode mode)
{
    // Choosing a mode leaves an opened LUT file, even the mode it was opened from.
    if (mode == mode_) {
        setShowingLUTFile(false);
        return;
    }
    if (std::exchange(showingLUTFile_, false))
        Q_EMIT showingLUTFileChanged();
    mode_ = mode;
    // The next start opens in the mode the user was last in.
    if (!capturing_ && !scripted_)
        defaults_->setValue(modeKey, Modes::rawValue(mode));
    Q_EMIT modeChanged();
    setPreviewSource(defaultPreviewSource());
    setCompareWithAfter(false);
    // The name follows the mode's own input; without one, an automatic name from another mode's
    // gives way to the default.
    applyAutoName(suggestedName().value_or(QString()));
    updateChart();
    rebuildPreview();
}

void AppModel::setSettings(const GradeRecipe::Settings& settings)
{
    const std::vector<const GradeRecipe::Adjustment*> changed =
        GradeRecipe::differences(settings_, settings);
    settings_ = settings;
    if (!changed.empty())
        Q_EMIT settingsChanged();
    bool refits = false;
    bool reanalyses = false;
    for (const GradeRecipe::Adjustment* row : changed) {
        refits = refits || row->refits;
        reanalyses = reanalyses || row->reanalyses;
        if (!row->storedKey.empty() && !capturing_)
            defaults_->setValue(text(row->storedKey), storedValue(*row, settings_));
    }
    if (reanalyses) {
        updateChart();
        reanalyseRendered();
    }
    // The re-fit rebuilds the preview once it lands.
    if (!refits || !refitEdit())
        rebuildPreview();
}

void AppModel::setPreviewSource(PreviewSource source)
{
    if (source == previewSource_)
        return;
    previewSource_ = source;
    Q_EMIT previewSourceChanged();
    rebuildPreview();
}

void AppModel::setCompareStyle(CompareStyle style)
{
    if (style == compareStyle_)
        return;
    compareStyle_ = style;
    Q_EMIT compareStyleChanged();
    measureDifference();
}

void AppModel::setCompareWithAfter(bool on)
{
    if (on == compareWithAfter_)
        return;
    compareWithAfter_ = on;
    Q_EMIT compareWithAfterChanged();
}

void AppModel::setSplit(double split)
{
    if (split == split_)
        return;
    split_ = split;
    Q_EMIT splitChanged();
}

void AppModel::setLutName(const QString& name)
{
    if (name == lutName_)
        return;
    lutName_ = name;
    Q_EMIT lutNameChanged();
}

void AppModel::setExportChoice(ExportChoice choice)
{
    if (choice != exportChoice_) {
        exportChoice_ = choice;
        Q_EMIT exportChoiceChanged();
    }
    if (!capturing_)
        defaults_->setValue(exportChoiceKey, ExportChoices::rawValue(choice));
}

void AppModel::setExportSize(qint64 size)
{
    if (size != exportSize_) {
        exportSize_ = size;
        Q_EMIT exportSizeChanged();
    }
    if (!capturing_)
        defaults_->setValue(exportSizeKey, size);
}

void AppModel::setPreviewInterpolation(Interpolation interpolation)
{
    if (interpolation != previewInterpolation_) {
        previewInterpolation_ = interpolation;
        Q_EMIT previewInterpolationChanged();
        rebuildPreview();
    }
    if (!capturing_)
        defaults_->setValue(previewInterpolationKey, text(nameOf(interpolation).id));
}

void AppModel::setToast(const std::optional<Toast>& toast)
{
    if (toast == toast_)
        return;
    toast_ = toast;
    Q_EMIT toastChanged();
}

void AppModel::setAlert(const std::optional<AlertInfo>& alert)
{
    alert_ = alert;
    Q_EMIT alertChanged();
}

void AppModel::setInspectorTarget(const std::optional<QString>& target)
{
    if (target == inspectorTarget_)
        return;
    inspectorTarget_ = target;
    Q_EMIT inspectorTargetChanged();
}

const QString AppModel::imageDirectoryKey = QStringLiteral("imageDirectory");
const QString AppModel::exportDirectoryKey = QStringLiteral("exportDirectory");

void AppModel::changeResult(Mode mode, const std::function<void(GradeRecipe::Results&)>& change)
{
    const GradeRecipe::Results before = results_;
    change(results_);
    const ResultProperty& property = resultProperties[index(mode)];
    if (!property.same(before, results_))
        Q_EMIT(this->*property.changed)();
}

void AppModel::storeResult(Mode mode, GradeRecipe::Analysis analysis)
{
    refusals_[index(mode)].clear();
    changeResult(
        mode, [&analysis](GradeRecipe::Results& results) { results.store(std::move(analysis)); });
}

void AppModel::clearResult(Mode mode)
{
    // Whatever is still being worked out for the mode would bring the result back.
    analysisJobs_[index(mode)]->cancel();
    if (GradeRecipe::recipe(toRecipe(mode)).refits)
        refitJob_.cancel();
    refusals_[index(mode)].clear();
    changeResult(mode, [mode](GradeRecipe::Results& results) { results.clear(toRecipe(mode)); });
    updateIdle();
}

void AppModel::refuse(Mode mode, const QString& reason)
{
    clearResult(mode);
    refusals_[index(mode)] = reason;
    // Notified even when there was no result before: the status line now gives the reason.
    Q_EMIT(this->*resultProperties[index(mode)].changed)();
    rebuildPreview();
}

void AppModel::setEditFit(EditFit fit)
{
    changeResult(refittingMode(),
                 [&fit](GradeRecipe::Results& results) { results.edit = std::move(fit); });
}

void AppModel::storeImage(Slot slot, const LoadedImage& image)
{
    images_.insert_or_assign(slot, image);
    Q_EMIT imagesChanged();
}

void AppModel::eraseImage(Slot slot)
{
    images_.erase(slot);
    Q_EMIT imagesChanged();
}

void AppModel::setLoading(Slot slot, bool on)
{
    const bool changed = on ? loading_.insert(slot).second : loading_.erase(slot) > 0;
    if (changed)
        Q_EMIT loadingChanged();
    updateIdle();
}

void AppModel::changeBusy(int delta)
{
    busy_ += delta;
    Q_EMIT busyChanged();
    updateIdle();
}

bool AppModel::idle() const
{
    return loading_.empty() && busy_ == 0 && !rendering_ && !measuring_ && !refitJob_.waiting();
}

// Called wherever one of the parts of idle() may have changed.
void AppModel::updateIdle()
{
    if (idle() == idle_)
        return;
    idle_ = idle();
    Q_EMIT idleChanged();
}

// Derived values.

GradeRecipe::SlotNames AppModel::slotNames() const
{
    GradeRecipe::SlotNames names;
    for (const auto& [slot, image] : images_)
        names.emplace(toRecipe(slot), image.name());
    return names;
}

std::vector<PreviewSource> AppModel::availablePreviewSources() const
{
    std::vector<PreviewSource> sources;
    if (GradeRecipe::recipe(toRecipe(mode_)).hasInputPreview)
        sources.push_back(PreviewSource::input);
    sources.push_back(PreviewSource::testChart);
    if (images_.contains(Slot::preview))
        sources.push_back(PreviewSource::photo);
    return sources;
}

PreviewSource AppModel::defaultPreviewSource() const
{
    if (GradeRecipe::recipe(toRecipe(mode_)).previewsInput)
        return PreviewSource::input;
    return images_.contains(Slot::preview) ? PreviewSource::photo : PreviewSource::testChart;
}

const LoadedImage& AppModel::previewInput() const
{
    const auto imageIn = [this](Slot slot) -> const LoadedImage& {
        const auto found = images_.find(slot);
        return found == images_.end() ? shownChart_ : found->second;
    };
    const GradeRecipe::ModeRecipe& recipe = GradeRecipe::recipe(toRecipe(mode_));
    switch (previewSource_) {
    case PreviewSource::testChart: return shownChart_;
    case PreviewSource::photo: return imageIn(Slot::preview);
    case PreviewSource::input: break;
    }
    return recipe.hasInputPreview ? imageIn(fromRecipe(recipe.slots.front())) : shownChart_;
}

const LoadedImage* AppModel::shownTarget() const
{
    const GradeRecipe::ModeRecipe& recipe = GradeRecipe::recipe(toRecipe(mode_));
    if (!recipe.comparesWithTarget || !compareWithAfter_ ||
        previewSource_ != PreviewSource::input || showingLUTFile())
        return nullptr;
    // A refused target (of another shape) is not compared with the graded input.
    if (!refusals_[index(mode_)].isEmpty())
        return nullptr;
    const auto target = images_.find(fromRecipe(recipe.slots.back()));
    return target == images_.end() ? nullptr : &target->second;
}

QImage AppModel::originalImage() const
{
    const LoadedImage* target = shownTarget();
    return target ? platformImage(target->image()) : previewOriginal_;
}

QString AppModel::originalLabel() const
{
    return shownTarget() ? QStringLiteral("Your edit") : QStringLiteral("Original");
}

Slot AppModel::dropTargetSlot() const
{
    const std::span<const GradeRecipe::Slot> slots = GradeRecipe::recipe(toRecipe(mode_)).slots;
    // A slot whose new file is still loading counts as empty, even while it shows an older one.
    const auto empty = std::find_if(slots.begin(), slots.end(), [this](GradeRecipe::Slot slot) {
        return !images_.contains(fromRecipe(slot)) || loading_.contains(fromRecipe(slot));
    });
    return fromRecipe(empty == slots.end() ? slots.front() : *empty);
}

bool AppModel::hasResult() const { return showingLUTFile() || results_.has(toRecipe(mode_)); }

bool AppModel::canExport() const { return hasResult() || !settings_.fineTune.isNeutral(); }

std::optional<QString> AppModel::suggestedName() const
{
    if (showingLUTFile())
        return lutFile_->name;
    const auto name = GradeRecipe::suggestedName(toRecipe(mode_), slotNames());
    return name ? std::optional(QString::fromStdString(*name)) : std::nullopt;
}

GradePipeline AppModel::currentPipeline() const
{
    if (showingLUTFile())
        return GradePipeline(std::make_shared<const LUTStack>(lutFile_->file.lut),
                             settings_.intensity, settings_.fineTune, settings_.gamut);
    return GradeRecipe::pipeline(toRecipe(mode_), results_, settings_);
}

std::optional<QString> AppModel::statusLine() const
{
    if (showingLUTFile())
        return QStringLiteral("LUT file “%1”: %2")
            .arg(QFileInfo(lutFile_->path).fileName(),
                 QString::fromStdString(lutFile_->file.format));
    const QString& refusal = refusals_[index(mode_)];
    if (!refusal.isEmpty() && !hasResult()) {
        // The reason's first sentence: the chip has room for one line.
        const qsizetype end = refusal.indexOf(QStringLiteral(". "));
        return QStringLiteral("No fit: ") + (end < 0 ? refusal : refusal.left(end + 1));
    }
    const auto line = GradeRecipe::statusLine(toRecipe(mode_), results_, slotNames());
    if (!line)
        return clipWarning_;
    const QString status = QString::fromStdString(*line);
    return clipWarning_ ? status + QStringLiteral(" \u2014 ") + *clipWarning_ : status;
}

void AppModel::applyAutoName(const QString& name)
{
    if (!lutName_.isEmpty() && lutName_ != autoName_)
        return;
    setLutName(name);
    autoName_ = name;
}

void AppModel::resetAdjustments()
{
    // Remembered preferences are the user's choice, not an adjustment of this grade.
    GradeRecipe::Settings reset;
    for (const GradeRecipe::Adjustment& row : GradeRecipe::adjustments())
        if (!row.storedKey.empty())
            row.copy(settings_, reset);
    Q_EMIT adjustmentsReset();
    setSettings(reset);
    // A reset fits the edit again even where its smoothing was already the default.
    refitEdit();
}

void AppModel::present(const QString& message, const QString& title)
{
    setAlert(AlertInfo{QUuid::createUuid(), title, message});
}

}  // namespace lumivert
