#include "AppModel.hpp"
#include "learners/StatusLine.hpp"

#include "imaging/TestChart.hpp"
#include "learners/LookTransform.hpp"
#include "learners/MatchTransform.hpp"

#include <QProcessEnvironment>

#include <algorithm>
#include <cmath>

namespace lumivert {

namespace {

constexpr std::int64_t chartWidth = 1200;
constexpr std::int64_t chartHeight = 800;
constexpr int rebuildPauseMs = 10;
constexpr int solvePauseMs = 120;
constexpr int toastLifetimeMs = 6000;
const std::array<qint64, 3> exportSizes{17, 33, 65};

const QString exportChoiceKey = QStringLiteral("exportChoice");
const QString exportSizeKey = QStringLiteral("exportSize");

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
    : QObject(parent), renderer_(std::make_shared<const PreviewRenderer>()),
      testChart_(QStringLiteral("Test chart").toStdString(),
                 TestChart::make(chartWidth, chartHeight)),
      ownedSettings_(services.settings ? nullptr
                                       : std::make_unique<QSettings>(QStringLiteral("Lumivert"),
                                                                     QStringLiteral("Lumivert"))),
      defaults_(services.settings ? services.settings : ownedSettings_.get()),
      ownedPanels_(services.panels ? nullptr : std::make_unique<QtFilePanels>()),
      panels_(services.panels ? services.panels : ownedPanels_.get()),
      environment_(services.environment ? *services.environment : processEnvironment())
{
    capturing_ = environment_.contains(QStringLiteral("LUMIVERT_CAPTURE"));

    rebuildTimer_.setSingleShot(true);
    rebuildTimer_.setTimerType(Qt::PreciseTimer);
    rebuildTimer_.setInterval(rebuildPauseMs);
    connect(&rebuildTimer_, &QTimer::timeout, this, &AppModel::startRebuild);
    solveTimer_.setSingleShot(true);
    solveTimer_.setTimerType(Qt::PreciseTimer);
    solveTimer_.setInterval(solvePauseMs);
    connect(&solveTimer_, &QTimer::timeout, this, &AppModel::startResolve);
    toastTimer_.setSingleShot(true);
    toastTimer_.setInterval(toastLifetimeMs);
    connect(&toastTimer_, &QTimer::timeout, this, [this] { setToast(std::nullopt); });

    readPersistedSettings();
    rebuildPreview();
}

AppModel::AppModel(QObject* parent) : AppModel(Services{}, parent) {}

AppModel::~AppModel() = default;

std::int64_t AppModel::generation(const QString& key) const
{
    const auto found = generations_.find(key);
    return found == generations_.end() ? 0 : found->second;
}

std::int64_t AppModel::nextGeneration(const QString& key) { return ++generations_[key]; }

void AppModel::readPersistedSettings()
{
    if (capturing_)
        return;
    if (const auto choice =
            ExportChoices::fromRawValue(defaults_->value(exportChoiceKey).toString()))
        setExportChoice(*choice);
    const qint64 size = defaults_->value(exportSizeKey, 0).toLongLong();
    if (std::find(exportSizes.begin(), exportSizes.end(), size) != exportSizes.end())
        setExportSize(size);
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
    resolveEdit();
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

void AppModel::setLookAnalysis(std::optional<LookAnalysis> analysis)
{
    if (analysis == lookAnalysis_)
        return;
    lookAnalysis_ = std::move(analysis);
    Q_EMIT lookAnalysisChanged();
}

void AppModel::setMatchAnalysis(std::optional<MatchAnalysis> analysis)
{
    if (analysis == matchAnalysis_)
        return;
    matchAnalysis_ = std::move(analysis);
    Q_EMIT matchAnalysisChanged();
}

void AppModel::setEditFit(std::optional<EditFit> fit)
{
    editFit_ = std::move(fit);
    Q_EMIT editFitChanged();
}

void AppModel::setHaldLUT(std::optional<LUT3D> lut)
{
    if (lut == haldLUT_)
        return;
    haldLUT_ = std::move(lut);
    Q_EMIT haldLUTChanged();
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
    return loading_.empty() && busy_ == 0 && !rendering_ && !solveTimer_.isActive();
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

std::vector<PreviewSource> AppModel::availablePreviewSources() const
{
    std::vector<PreviewSource> sources;
    if (mode_ != Mode::hald)
        sources.push_back(PreviewSource::input);
    sources.push_back(PreviewSource::testChart);
    if (images_.contains(Slot::preview))
        sources.push_back(PreviewSource::photo);
    return sources;
}

PreviewSource AppModel::defaultPreviewSource() const
{
    if (mode_ == Mode::match || mode_ == Mode::edit)
        return PreviewSource::input;
    return images_.contains(Slot::preview) ? PreviewSource::photo : PreviewSource::testChart;
}

const LoadedImage& AppModel::previewInput() const
{
    const auto imageIn = [this](Slot slot) -> const LoadedImage& {
        const auto found = images_.find(slot);
        return found == images_.end() ? testChart_ : found->second;
    };
    switch (previewSource_) {
    case PreviewSource::testChart: return testChart_;
    case PreviewSource::photo: return imageIn(Slot::preview);
    case PreviewSource::input: break;
    }
    if (mode_ == Mode::hald)
        return testChart_;
    return imageIn(Modes::slots(mode_).front());
}

namespace {
bool showsRealAfter(Mode mode, bool compareWithAfter, PreviewSource source, bool afterLoaded)
{
    return mode == Mode::edit && compareWithAfter && source == PreviewSource::input && afterLoaded;
}
}  // namespace

QImage AppModel::originalImage() const
{
    if (showsRealAfter(mode_, compareWithAfter_, previewSource_, images_.contains(Slot::editAfter)))
        return platformImage(images_.at(Slot::editAfter).image());
    return previewOriginal_;
}

QString AppModel::originalLabel() const
{
    return showsRealAfter(mode_, compareWithAfter_, previewSource_,
                          images_.contains(Slot::editAfter))
               ? QStringLiteral("Your edit")
               : QStringLiteral("Original");
}

Slot AppModel::dropTargetSlot() const
{
    const std::vector<Slot> slots = Modes::slots(mode_);
    // A slot whose new file is still loading counts as empty, even while it shows an older one.
    const auto empty = std::find_if(slots.begin(), slots.end(), [this](Slot slot) {
        return !images_.contains(slot) || loading_.contains(slot);
    });
    return empty == slots.end() ? slots.front() : *empty;
}

bool AppModel::hasResult() const
{
    switch (mode_) {
    case Mode::look: return lookAnalysis_.has_value();
    case Mode::match: return matchAnalysis_.has_value();
    case Mode::edit: return editFit_.has_value();
    case Mode::hald: return haldLUT_.has_value();
    }
    return false;
}

std::optional<QString> AppModel::suggestedName() const
{
    const auto nameIn = [this](Slot slot, const QString& suffix) -> std::optional<QString> {
        const auto found = images_.find(slot);
        if (found == images_.end())
            return std::nullopt;
        return QString::fromStdString(found->second.name()) + suffix;
    };
    switch (mode_) {
    case Mode::look: return nameIn(Slot::lookReference, QStringLiteral(" Look"));
    case Mode::match: return nameIn(Slot::matchReference, QStringLiteral(" Match"));
    case Mode::edit: return nameIn(Slot::editAfter, QStringLiteral(" Edit"));
    case Mode::hald: return nameIn(Slot::hald, QString());
    }
    return std::nullopt;
}

GradePipeline AppModel::currentPipeline() const
{
    std::shared_ptr<const ColorTransform> base;
    switch (mode_) {
    case Mode::look:
        if (lookAnalysis_)
            base = std::make_shared<const LookTransform>(*lookAnalysis_, lookSettings_);
        break;
    case Mode::match:
        if (matchAnalysis_)
            base = std::make_shared<const MatchTransform>(*matchAnalysis_, matchSettings_);
        break;
    case Mode::edit:
        if (editFit_)
            base = std::make_shared<const LUT3D>(editFit_->lut);
        break;
    case Mode::hald:
        if (haldLUT_)
            base = std::make_shared<const LUT3D>(*haldLUT_);
        break;
    }
    if (!base)
        base = std::make_shared<const IdentityTransform>();
    return GradePipeline(std::move(base), static_cast<float>(intensity_), fineTune_);
}

std::optional<QString> AppModel::statusLine() const
{
    switch (mode_) {
    case Mode::look:
        if (lookAnalysis_)
            return QString::fromStdString(StatusLine::look(*lookAnalysis_));
        break;
    case Mode::match:
        if (matchAnalysis_ && images_.contains(Slot::matchSource) &&
            images_.contains(Slot::matchReference))
            return QString::fromStdString(StatusLine::match(
                images_.at(Slot::matchSource).name(), images_.at(Slot::matchReference).name()));
        break;
    case Mode::edit:
        if (editFit_)
            return QString::fromStdString(StatusLine::edit(editFit_->rmsError));
        break;
    case Mode::hald:
        if (haldLUT_)
            return QString::fromStdString(StatusLine::hald(haldLUT_->size()));
        break;
    }
    return std::nullopt;
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
    setEditSmoothness(0.02);
    setIntensity(1.0);
    setFineTune(FineTune{});
}

void AppModel::present(const QString& message, const QString& title)
{
    setAlert(AlertInfo{QUuid::createUuid(), title, message});
}

}  // namespace lumivert
