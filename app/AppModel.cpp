#include "AppModel.hpp"

#include "imaging/TestChart.hpp"

#include <QProcessEnvironment>

#include <algorithm>
#include <cmath>

namespace lumivert {

namespace {

// A burst of slider steps bakes one preview, and re-solves the edit once the slider rests.
constexpr std::chrono::milliseconds rebuildPause(10);
constexpr std::chrono::milliseconds refitPause(120);
constexpr int toastLifetimeMs = 6000;

const QString exportChoiceKey = QStringLiteral("exportChoice");
const QString exportSizeKey = QStringLiteral("exportSize");
const QString previewInterpolationKey = QStringLiteral("previewInterpolation");
const QString tetrahedralValue = QStringLiteral("tetrahedral");
const QString trilinearValue = QStringLiteral("trilinear");

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
    {[](const GradeRecipe::Results& x, const GradeRecipe::Results& y) { return x.hald == y.hald; },
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
      previewJob_(this, {rebuildPause, {}}), lastExport_(QtFuture::makeReadyFuture()),
      renderer_(std::make_shared<const PreviewRenderer>()),
      testChart_(QStringLiteral("Test chart").toStdString(),
                 TestChart::make(GradeRecipe::chartWidth, GradeRecipe::chartHeight)),
      ownedSettings_(services.settings ? nullptr
                                       : std::make_unique<QSettings>(QStringLiteral("Lumivert"),
                                                                     QStringLiteral("Lumivert"))),
      defaults_(services.settings ? services.settings : ownedSettings_.get()),
      ownedPanels_(services.panels ? nullptr : std::make_unique<QtFilePanels>()),
      panels_(services.panels ? services.panels : ownedPanels_.get()),
      environment_(services.environment ? *services.environment : processEnvironment())
{
    capturing_ = environment_.contains(QStringLiteral("LUMIVERT_CAPTURE"));

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
    if (const auto choice =
            ExportChoices::fromRawValue(defaults_->value(exportChoiceKey).toString()))
        setExportChoice(*choice);
    const qint64 size = defaults_->value(exportSizeKey, 0).toLongLong();
    if (GradeRecipe::isExportSize(size))
        setExportSize(size);
    if (defaults_->value(previewInterpolationKey).toString() == tetrahedralValue)
        setPreviewInterpolation(Interpolation::tetrahedral);
}

// Setters: store, notify only on a change, then run the assignment's effect.

void AppModel::setMode(Mode mode)
{
    if (mode == mode_)
        return;
    mode_ = mode;
    Q_EMIT modeChanged();
    setPreviewSource(defaultPreviewSource());
    setCompareWithAfter(false);
    if (const auto name = suggestedName())
        applyAutoName(*name);
    rebuildPreview();
}

void AppModel::setLookSettings(const LookSettings& settings)
{
    if (settings != lookSettings_) {
        lookSettings_ = settings;
        Q_EMIT lookSettingsChanged();
    }
    rebuildPreview();
}

void AppModel::setMatchSettings(const MatchSettings& settings)
{
    if (settings != matchSettings_) {
        matchSettings_ = settings;
        Q_EMIT matchSettingsChanged();
    }
    rebuildPreview();
}

void AppModel::setEditSmoothness(double smoothness)
{
    if (smoothness != editSmoothness_) {
        editSmoothness_ = smoothness;
        Q_EMIT editSmoothnessChanged();
    }
    refitEdit();
}

void AppModel::setIntensity(double intensity)
{
    if (intensity != intensity_) {
        intensity_ = intensity;
        Q_EMIT intensityChanged();
    }
    rebuildPreview();
}

void AppModel::setFineTune(const FineTune& fineTune)
{
    if (fineTune != fineTune_) {
        fineTune_ = fineTune;
        Q_EMIT fineTuneChanged();
    }
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
        defaults_->setValue(previewInterpolationKey, interpolation == Interpolation::tetrahedral
                                                         ? tetrahedralValue
                                                         : trilinearValue);
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
    if (mode == Mode::edit)
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
    changeResult(Mode::edit,
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
    return loading_.empty() && busy_ == 0 && !rendering_ && !refitJob_.waiting();
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

GradeRecipe::Settings AppModel::recipeSettings() const
{
    return {lookSettings_, matchSettings_, static_cast<float>(editSmoothness_),
            static_cast<float>(intensity_), fineTune_};
}

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
        return found == images_.end() ? testChart_ : found->second;
    };
    const GradeRecipe::ModeRecipe& recipe = GradeRecipe::recipe(toRecipe(mode_));
    switch (previewSource_) {
    case PreviewSource::testChart: return testChart_;
    case PreviewSource::photo: return imageIn(Slot::preview);
    case PreviewSource::input: break;
    }
    return recipe.hasInputPreview ? imageIn(fromRecipe(recipe.slots.front())) : testChart_;
}

namespace {
bool showsRealAfter(Mode mode, bool compareWithAfter, PreviewSource source, bool afterLoaded)
{
    return mode == Mode::edit && compareWithAfter && source == PreviewSource::input && afterLoaded;
}
}  // namespace

QImage AppModel::originalImage() const
{
    // A refused After (of another shape) is not compared with the graded Before.
    if (refusals_[index(Mode::edit)].isEmpty() &&
        showsRealAfter(mode_, compareWithAfter_, previewSource_, images_.contains(Slot::editAfter)))
        return platformImage(images_.at(Slot::editAfter).image());
    return previewOriginal_;
}

QString AppModel::originalLabel() const
{
    return refusals_[index(Mode::edit)].isEmpty() &&
                   showsRealAfter(mode_, compareWithAfter_, previewSource_,
                                  images_.contains(Slot::editAfter))
               ? QStringLiteral("Your edit")
               : QStringLiteral("Original");
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

bool AppModel::hasResult() const { return results_.has(toRecipe(mode_)); }

std::optional<QString> AppModel::suggestedName() const
{
    const auto name = GradeRecipe::suggestedName(toRecipe(mode_), slotNames());
    return name ? std::optional(QString::fromStdString(*name)) : std::nullopt;
}

GradePipeline AppModel::currentPipeline() const
{
    return GradeRecipe::pipeline(toRecipe(mode_), results_, recipeSettings());
}

std::optional<QString> AppModel::statusLine() const
{
    const QString& refusal = refusals_[index(mode_)];
    if (!refusal.isEmpty() && !hasResult()) {
        // The reason's first sentence: the chip has room for one line.
        const qsizetype end = refusal.indexOf(QStringLiteral(". "));
        return QStringLiteral("No fit: ") + (end < 0 ? refusal : refusal.left(end + 1));
    }
    const auto line = GradeRecipe::statusLine(toRecipe(mode_), results_, slotNames());
    return line ? std::optional(QString::fromStdString(*line)) : std::nullopt;
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
    setLookSettings(LookSettings{});
    setMatchSettings(MatchSettings{});
    setEditSmoothness(GradeRecipe::smoothingRange.defaultValue);
    setIntensity(GradeRecipe::intensityRange.defaultValue);
    setFineTune(FineTune{});
}

void AppModel::present(const QString& message, const QString& title)
{
    setAlert(AlertInfo{QUuid::createUuid(), title, message});
}

}  // namespace lumivert
