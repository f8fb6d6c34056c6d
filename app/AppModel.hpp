#pragma once
// The one object the user interface reads and writes: the loaded images, each mode's analysis or
// fit, every adjustment, the preview, the export settings and the transient toast and alert.
// Confined to the main thread. Heavy work runs on the global thread pool on value copies and
// comes back to the main thread, where a result is stored only if no newer request of its kind
// was made meanwhile (generation counters for loads and analyses, a request number for the
// debounced preview rebuild and smoothness re-fit).
//
// Notification: a setter that stores a value equal to the current one emits nothing, except
// images, editFit, tintDots and alert, which notify on every assignment; the side effects of an
// assignment (rebuild, re-fit, persistence) run either way.
#include "AppTypes.hpp"
#include "FilePanels.hpp"

#include "color/LUT3D.hpp"
#include "imaging/LoadedImage.hpp"
#include "imaging/PreviewRenderer.hpp"
#include "imaging/RenderedPreview.hpp"
#include "learners/EditLearner.hpp"
#include "learners/FineTune.hpp"
#include "learners/GradePipeline.hpp"
#include "learners/LookAnalysis.hpp"
#include "learners/MatchAnalysis.hpp"
#include "lut/LUTFormat.hpp"

#include <QImage>
#include <QMap>
#include <QObject>
#include <QSettings>
#include <QTimer>
#include <QVariant>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

namespace lumivert {

// The display image of the core wrapped without copying its pixels; the QImage keeps the
// shared block alive.
QImage platformImage(const Image8& image);

class AppModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(lumivert::Mode mode READ mode WRITE setMode NOTIFY modeChanged)
    Q_PROPERTY(qint64 busy READ busy NOTIFY busyChanged)
    Q_PROPERTY(bool idle READ idle NOTIFY idleChanged)
    Q_PROPERTY(double editSmoothness READ editSmoothness WRITE setEditSmoothness NOTIFY
                   editSmoothnessChanged)
    Q_PROPERTY(double intensity READ intensity WRITE setIntensity NOTIFY intensityChanged)
    Q_PROPERTY(bool compareWithAfter READ compareWithAfter WRITE setCompareWithAfter NOTIFY
                   compareWithAfterChanged)
    Q_PROPERTY(double split READ split WRITE setSplit NOTIFY splitChanged)
    Q_PROPERTY(QImage previewOriginal READ previewOriginal NOTIFY previewOriginalChanged)
    Q_PROPERTY(QImage previewGraded READ previewGraded NOTIFY previewGradedChanged)
    Q_PROPERTY(QString lutName READ lutName WRITE setLutName NOTIFY lutNameChanged)
    Q_PROPERTY(qint64 exportSize READ exportSize WRITE setExportSize NOTIFY exportSizeChanged)
    Q_PROPERTY(lumivert::PreviewSource previewSource READ previewSource WRITE setPreviewSource
                   NOTIFY previewSourceChanged)
    Q_PROPERTY(lumivert::CompareStyle compareStyle READ compareStyle WRITE setCompareStyle NOTIFY
                   compareStyleChanged)
    Q_PROPERTY(lumivert::ExportChoice exportChoice READ exportChoice WRITE setExportChoice NOTIFY
                   exportChoiceChanged)
    // Optional records and strings as QVariants: an invalid QVariant stands for none, otherwise
    // the variant holds the Toast, the AlertInfo or the QString.
    Q_PROPERTY(QVariant toast READ toastVariant WRITE setToastVariant NOTIFY toastChanged)
    Q_PROPERTY(QVariant alert READ alertVariant WRITE setAlertVariant NOTIFY alertChanged)
    Q_PROPERTY(QVariant inspectorTarget READ inspectorTargetVariant WRITE setInspectorTargetVariant
                   NOTIFY inspectorTargetChanged)
    // Read-only summaries of the records and collections that have no Qt type of their own.
    Q_PROPERTY(QVariantMap images READ imagesSummary NOTIFY imagesChanged)
    Q_PROPERTY(QStringList loading READ loadingSummary NOTIFY loadingChanged)
    Q_PROPERTY(QVariantMap lookSettings READ lookSettingsSummary NOTIFY lookSettingsChanged)
    Q_PROPERTY(QVariantMap matchSettings READ matchSettingsSummary NOTIFY matchSettingsChanged)
    Q_PROPERTY(QVariantMap fineTune READ fineTuneSummary NOTIFY fineTuneChanged)
    Q_PROPERTY(QVariant lookAnalysis READ lookAnalysisSummary NOTIFY lookAnalysisChanged)
    Q_PROPERTY(QVariant matchAnalysis READ matchAnalysisSummary NOTIFY matchAnalysisChanged)
    Q_PROPERTY(QVariant editFit READ editFitSummary NOTIFY editFitChanged)
    Q_PROPERTY(QVariant haldLUT READ haldLUTSummary NOTIFY haldLUTChanged)
    Q_PROPERTY(QVariantList neutralCurve READ neutralCurveSummary NOTIFY neutralCurveChanged)
    Q_PROPERTY(QVariantList tintDots READ tintDotsSummary NOTIFY tintDotsChanged)

public:
    using Environment = QMap<QString, QString>;

    // What the model talks to outside itself; tests replace each of them.
    struct Services {
        QSettings* settings = nullptr;           // nullptr: QSettings("Lumivert", "Lumivert")
        FilePanels* panels = nullptr;            // nullptr: QFileDialog and the file manager
        std::optional<Environment> environment;  // nothing: the process environment
    };

    // Sets the defaults, builds the test chart, reads the persisted export settings and starts the
    // first preview. LUMIVERT_CAPTURE in the environment keeps the export settings unpersisted.
    explicit AppModel(Services services, QObject* parent = nullptr);
    // The standard store, the Qt panels and the process environment.
    explicit AppModel(QObject* parent = nullptr);
    ~AppModel() override;

    // Observed state.
    Mode mode() const { return mode_; }
    void setMode(Mode mode);
    const std::map<Slot, LoadedImage>& images() const { return images_; }
    const std::set<Slot>& loading() const { return loading_; }
    qint64 busy() const { return busy_; }
    // Nothing loading, no job running or waiting for its pause to end, no preview rendering:
    // what a driver of the model waits for before its next step.
    bool idle() const;
    const std::optional<LookAnalysis>& lookAnalysis() const { return lookAnalysis_; }
    const std::optional<MatchAnalysis>& matchAnalysis() const { return matchAnalysis_; }
    const std::optional<EditFit>& editFit() const { return editFit_; }
    const std::optional<LUT3D>& haldLUT() const { return haldLUT_; }
    const LookSettings& lookSettings() const { return lookSettings_; }
    void setLookSettings(const LookSettings& settings);
    const MatchSettings& matchSettings() const { return matchSettings_; }
    void setMatchSettings(const MatchSettings& settings);
    double editSmoothness() const { return editSmoothness_; }
    void setEditSmoothness(double smoothness);
    double intensity() const { return intensity_; }
    void setIntensity(double intensity);
    const FineTune& fineTune() const { return fineTune_; }
    void setFineTune(const FineTune& fineTune);
    PreviewSource previewSource() const { return previewSource_; }
    void setPreviewSource(PreviewSource source);
    CompareStyle compareStyle() const { return compareStyle_; }
    void setCompareStyle(CompareStyle style);
    bool compareWithAfter() const { return compareWithAfter_; }
    void setCompareWithAfter(bool on);
    double split() const { return split_; }
    void setSplit(double split);
    const QImage& previewOriginal() const { return previewOriginal_; }  // null: none
    const QImage& previewGraded() const { return previewGraded_; }      // null: none
    const std::vector<RGB>& neutralCurve() const { return neutralCurve_; }
    const std::vector<TintDot>& tintDots() const { return tintDots_; }
    const QString& lutName() const { return lutName_; }
    void setLutName(const QString& name);
    ExportChoice exportChoice() const { return exportChoice_; }
    void setExportChoice(ExportChoice choice);
    qint64 exportSize() const { return exportSize_; }
    void setExportSize(qint64 size);
    const std::optional<Toast>& toast() const { return toast_; }
    void setToast(const std::optional<Toast>& toast);
    const std::optional<AlertInfo>& alert() const { return alert_; }
    void setAlert(const std::optional<AlertInfo>& alert);
    const std::optional<QString>& inspectorTarget() const { return inspectorTarget_; }
    void setInspectorTarget(const std::optional<QString>& target);

    // The QVariant faces of the properties above, for access by name. A variant of the wrong
    // type leaves the property unchanged.
    QVariant toastVariant() const;
    void setToastVariant(const QVariant& toast);
    QVariant alertVariant() const;
    void setAlertVariant(const QVariant& alert);
    QVariant inspectorTargetVariant() const;
    void setInspectorTargetVariant(const QVariant& target);
    QVariantMap imagesSummary() const;   // slot raw value → image name
    QStringList loadingSummary() const;  // slot raw values, in slot order
    QVariantMap lookSettingsSummary() const;
    QVariantMap matchSettingsSummary() const;
    QVariantMap fineTuneSummary() const;
    QVariant lookAnalysisSummary() const;      // the key numbers and the palette size
    QVariant matchAnalysisSummary() const;     // the number of bands
    QVariant editFitSummary() const;           // rmsError, coverage, iterations, lattice size
    QVariant haldLUTSummary() const;           // the lattice size
    QVariantList neutralCurveSummary() const;  // one [r, g, b] list per point
    QVariantList tintDotsSummary() const;      // TintDot gadgets

    // Internal state that views do not observe, readable for the shell and the tests.
    bool capturing() const { return capturing_; }
    bool rendering() const { return rendering_; }
    // The variables the model was started with; the automation reads its script from them.
    const Environment& environment() const { return environment_; }
    const LoadedImage& testChart() const { return testChart_; }
    std::int64_t generation(const QString& key) const;

    // Derived values, computed on every read.
    std::vector<PreviewSource> availablePreviewSources() const;
    PreviewSource defaultPreviewSource() const;
    const LoadedImage& previewInput() const;
    QImage originalImage() const;
    QString originalLabel() const;
    Slot dropTargetSlot() const;
    bool hasResult() const;
    std::optional<QString> suggestedName() const;
    GradePipeline currentPipeline() const;
    std::optional<QString> statusLine() const;

    void applyAutoName(const QString& name);
    void resetAdjustments();

    // Loading, analysis and preview.
    void chooseImage(Slot slot);
    void load(const QString& path, Slot slot);
    void remove(Slot slot);
    void analyseLook();
    void analyseMatch();
    void analyseEdit();
    void rebuildPreview();
    void present(const QString& message, const QString& title);

    // Export, the identity HALD template and toasts.
    void exportLUT();
    void writeLUTs(const QString& path, const std::vector<LUTFormat>& formats);
    void saveIdentityHALD();
    void showToast(const QString& message, const std::optional<QUrl>& url);
    void revealToastFile();
    static QString sanitisedFileName(const QString& name);

Q_SIGNALS:
    void modeChanged();
    void imagesChanged();
    void loadingChanged();
    void busyChanged();
    void idleChanged();
    void lookAnalysisChanged();
    void matchAnalysisChanged();
    void editFitChanged();
    void haldLUTChanged();
    void lookSettingsChanged();
    void matchSettingsChanged();
    void editSmoothnessChanged();
    void intensityChanged();
    void fineTuneChanged();
    void previewSourceChanged();
    void compareStyleChanged();
    void compareWithAfterChanged();
    void splitChanged();
    void previewOriginalChanged();
    void previewGradedChanged();
    void neutralCurveChanged();
    void tintDotsChanged();
    void lutNameChanged();
    void exportChoiceChanged();
    void exportSizeChanged();
    void toastChanged();
    void alertChanged();
    void inspectorTargetChanged();
    // Not a property: a rebuilt preview was stored (also when nothing observable changed).
    void previewRebuilt();

private:
    template <typename Result>
    void runSolve(const QString& key, std::function<Result()> work,
                  std::function<void(Result)> apply);
    std::int64_t nextGeneration(const QString& key);
    void didLoad(Slot slot);
    void storeImage(Slot slot, const LoadedImage& image);
    void eraseImage(Slot slot);
    void setLoading(Slot slot, bool on);
    void changeBusy(int delta);
    void updateIdle();
    void setLookAnalysis(std::optional<LookAnalysis> analysis);
    void setMatchAnalysis(std::optional<MatchAnalysis> analysis);
    void setEditFit(std::optional<EditFit> fit);
    void setHaldLUT(std::optional<LUT3D> lut);
    void resolveEdit();
    void startResolve();
    void startRebuild();
    void updateFigures(const LUT3D& lut);
    void readPersistedSettings();

    Mode mode_ = Mode::look;
    std::map<Slot, LoadedImage> images_;
    std::set<Slot> loading_;
    qint64 busy_ = 0;
    std::optional<LookAnalysis> lookAnalysis_;
    std::optional<MatchAnalysis> matchAnalysis_;
    std::optional<EditFit> editFit_;
    std::optional<LUT3D> haldLUT_;
    std::optional<EditSystem> editSystem_;
    std::map<QString, std::int64_t> generations_;
    LookSettings lookSettings_;
    MatchSettings matchSettings_;
    double editSmoothness_ = 0.02;
    double intensity_ = 1.0;
    FineTune fineTune_;
    PreviewSource previewSource_ = PreviewSource::testChart;
    CompareStyle compareStyle_ = CompareStyle::split;
    bool compareWithAfter_ = false;
    double split_ = 0.5;
    QImage previewOriginal_;
    QImage previewGraded_;
    std::optional<Image8> previewOriginalImage_;  // what the two QImages wrap, to compare
    std::optional<Image8> previewGradedImage_;
    std::vector<RGB> neutralCurve_;
    std::vector<TintDot> tintDots_;
    QString lutName_;
    ExportChoice exportChoice_ = ExportChoice::cube;
    qint64 exportSize_ = 33;
    std::optional<Toast> toast_;
    std::optional<AlertInfo> alert_;
    std::optional<QString> inspectorTarget_;
    bool capturing_ = false;
    bool rendering_ = false;
    bool idle_ = false;  // as last notified
    QString autoName_;

    // Debounced requests: a request number that a newer request bumps stands for cancellation.
    QTimer rebuildTimer_;
    std::uint64_t rebuildRequest_ = 0;
    std::optional<GradePipeline> pendingPipeline_;
    std::optional<LoadedImage> pendingSource_;
    QTimer solveTimer_;
    std::uint64_t solveRequest_ = 0;
    std::optional<EditSystem> pendingSystem_;
    float pendingSmoothness_ = 0;
    QTimer toastTimer_;

    std::shared_ptr<const PreviewRenderer> renderer_;
    LoadedImage testChart_;
    std::unique_ptr<QSettings> ownedSettings_;
    QSettings* defaults_;
    std::unique_ptr<FilePanels> ownedPanels_;
    FilePanels* panels_;
    Environment environment_;
};

}  // namespace lumivert
