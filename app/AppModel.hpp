#pragma once
// The one object the user interface reads and writes: the loaded images, each mode's analysis or
// fit, every adjustment, the preview, the export settings and the transient toast and alert.
// Confined to the main thread. What a mode means (its inputs, its analysis, its grade, its name
// and summary) is the core's grade recipe; the model holds the images, the results and the
// adjustments and runs the recipe's steps. Heavy work runs on the global thread pool on value
// copies, each kind of job through one LatestJob, so that only the newest request of a kind
// lands and a superseded one that has not begun never runs.
//
// Notification: a setter that stores a value equal to the current one emits nothing, except
// images, editFit, tintDots and alert, which notify on every assignment; the side effects of an
// assignment (rebuild, re-fit, persistence) run either way.
#include "AppTypes.hpp"
#include "FilePanels.hpp"
#include "LatestJob.hpp"

#include "imaging/ImageDifference.hpp"
#include "imaging/PreviewRenderer.hpp"
#include "imaging/RenderedPreview.hpp"
#include "lut/LUTFacts.hpp"
#include "lut/LUTFormat.hpp"
#include "recipe/ExportPlan.hpp"
#include "recipe/GradeRecipe.hpp"

#include <QFuture>
#include <QImage>
#include <QMap>
#include <QObject>
#include <QSettings>
#include <QTimer>
#include <QVariant>

#include <array>
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

// A LUT file opened to see what it does, from any tool: a way in beside the four modes.
struct OpenedLUT {
    QString path;
    QString name;  // the file's name without its extension
    LUTFacts::LUTFile file;
    std::vector<LUTFacts::Fact> facts;
};

// What Apply to Photos grades with: the table `lumivert-cli apply` would read, and its strength.
struct PhotoGrade {
    LUTStack lut = LUT3D::identity(2);  // a two-point identity changes nothing
    float strength = 1.0f;
};

class AppModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(lumivert::Mode mode READ mode WRITE setMode NOTIFY modeChanged)
    Q_PROPERTY(qint64 busy READ busy NOTIFY busyChanged)
    Q_PROPERTY(bool idle READ idle NOTIFY idleChanged)
    Q_PROPERTY(bool compareWithAfter READ compareWithAfter WRITE setCompareWithAfter NOTIFY
                   compareWithAfterChanged)
    Q_PROPERTY(double split READ split WRITE setSplit NOTIFY splitChanged)
    Q_PROPERTY(QImage previewOriginal READ previewOriginal NOTIFY previewOriginalChanged)
    Q_PROPERTY(QImage previewGraded READ previewGraded NOTIFY previewGradedChanged)
    Q_PROPERTY(QImage previewDifference READ previewDifference NOTIFY previewDifferenceChanged)
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
    // Every adjustment by its key: a number, a map of the values by key, a choice's name or a
    // toggle's state.
    Q_PROPERTY(QVariantMap settings READ settingsSummary NOTIFY settingsChanged)
    Q_PROPERTY(QVariant lookAnalysis READ lookAnalysisSummary NOTIFY lookAnalysisChanged)
    Q_PROPERTY(QVariant matchAnalysis READ matchAnalysisSummary NOTIFY matchAnalysisChanged)
    Q_PROPERTY(QVariant editFit READ editFitSummary NOTIFY editFitChanged)
    Q_PROPERTY(QVariant editDifference READ editDifferenceSummary NOTIFY editDifferenceChanged)
    Q_PROPERTY(QVariant haldLUT READ haldLUTSummary NOTIFY haldLUTChanged)
    Q_PROPERTY(QVariantList neutralCurve READ neutralCurveSummary NOTIFY neutralCurveChanged)
    Q_PROPERTY(QVariantList tintDots READ tintDotsSummary NOTIFY tintDotsChanged)
    Q_PROPERTY(bool showingLUTFile READ showingLUTFile WRITE setShowingLUTFile NOTIFY
                   showingLUTFileChanged)

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
    const std::optional<LookAnalysis>& lookAnalysis() const { return results_.look; }
    const std::optional<MatchAnalysis>& matchAnalysis() const { return results_.match; }
    const std::optional<EditFit>& editFit() const { return results_.edit; }
    const GradeRecipe::Results& results() const { return results_; }
    const std::shared_ptr<const LUT3D>& haldLUT() const { return results_.hald; }
    // Every adjustment of the grade, as the table of adjustments describes them. A change of an
    // adjustment that refits re-solves the edit (which then rebuilds the preview); any other
    // assignment rebuilds the preview; remembered adjustments are stored when they change.
    const GradeRecipe::Settings& settings() const { return settings_; }
    void setSettings(const GradeRecipe::Settings& settings);
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
    // The table previewGraded was rendered with, and the renderer, for views that grade more of
    // the photo (the zoomed-in preview); null before the first preview.
    const std::shared_ptr<const LUT3D>& previewLUT() const { return previewLUT_; }
    const PreviewRenderer& previewRenderer() const { return *renderer_; }
    // While the compare style is difference: the per-pixel ΔE2000 heat map of the graded
    // preview against the After image (see differenceLabel), else against the original. Null
    // otherwise, or until measured.
    const QImage& previewDifference() const { return previewDifference_; }
    // In edit mode with a usable pair: how far the preview's LUT puts Before from After.
    const std::optional<DifferenceStats>& editDifference() const { return editDifference_; }
    const std::vector<RGB>& neutralCurve() const { return neutralCurve_; }
    const std::vector<TintDot>& tintDots() const { return tintDots_; }
    const QString& lutName() const { return lutName_; }
    void setLutName(const QString& name);
    ExportChoice exportChoice() const { return exportChoice_; }
    void setExportChoice(ExportChoice choice);
    qint64 exportSize() const { return exportSize_; }
    void setExportSize(qint64 size);
    // How the preview looks its table up, to match the user's grading application; exported
    // files do not depend on it.
    Interpolation previewInterpolation() const { return previewInterpolation_; }
    void setPreviewInterpolation(Interpolation interpolation);
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
    QVariantMap settingsSummary() const;
    QVariant lookAnalysisSummary() const;      // the key numbers and the palette size
    QVariant matchAnalysisSummary() const;     // the number of bands
    QVariant editFitSummary() const;           // rmsError, coverage, iterations, lattice size
    QVariant editDifferenceSummary() const;    // rmsLevels and the ΔE2000 mean, median, …
    QVariant haldLUTSummary() const;           // the lattice size
    QVariantList neutralCurveSummary() const;  // one [r, g, b] list per point
    QVariantList tintDotsSummary() const;      // TintDot gadgets

    // Internal state that views do not observe, readable for the shell and the tests.
    bool capturing() const { return capturing_; }
    // Where the persisted values live, for views that remember choices of their own.
    QSettings& defaultsStore() const { return *defaults_; }
    bool rendering() const { return rendering_; }
    // The variables the model was started with; the automation reads its script from them.
    const Environment& environment() const { return environment_; }
    const LoadedImage& testChart() const { return testChart_; }
    // The chart as a camera in the input space would record it: what "Test chart" previews.
    const LoadedImage& shownChart() const { return shownChart_; }
    // The sentence warning that the previewed LUT clips much of itself, or nothing.
    const std::optional<QString>& clipWarning() const { return clipWarning_; }
    // The background jobs: each slot's load, each mode's analysis, the smoothness re-fit and the
    // preview bake. Tests read how many were started and how many actually ran.
    const LatestJob& loadJob(Slot slot) const { return *loadJobs_[index(slot)]; }
    const LatestJob& analysisJob(Mode mode) const { return *analysisJobs_[index(mode)]; }
    const LatestJob& refitJob() const { return refitJob_; }
    const LatestJob& previewJob() const { return previewJob_; }
    const LatestJob& differenceJob() const { return differenceJob_; }

    // Derived values, computed on every read.
    std::vector<PreviewSource> availablePreviewSources() const;
    PreviewSource defaultPreviewSource() const;
    const LoadedImage& previewInput() const;
    QImage originalImage() const;
    // The mode's target image (the After of an edit) when the preview shows it as the original,
    // else nothing.
    const LoadedImage* shownTarget() const;
    QString originalLabel() const;
    // "ΔE2000 to your edit" when the difference is measured against the After image,
    // "ΔE2000 from original" otherwise.
    QString differenceLabel() const;
    Slot dropTargetSlot() const;
    bool hasResult() const;
    // A result, or a fine tune on the identity: something an export would write.
    bool canExport() const;
    std::optional<QString> suggestedName() const;
    GradePipeline currentPipeline() const;
    std::optional<QString> statusLine() const;

    void applyAutoName(const QString& name);
    void resetAdjustments();

    // Loading, analysis and preview.
    void chooseImage(Slot slot);
    void load(const QString& path, Slot slot);
    void remove(Slot slot);
    // Runs the mode's analysis on its loaded inputs; with one of them missing, clears its result.
    void analyse(Mode mode);
    void rebuildPreview();
    void present(const QString& message, const QString& title);

    // Export, the identity HALD template and toasts.
    void exportLUT();
    // Bakes once and writes one file per format (the formats of one export choice), named like
    // `path` with each format's extension, after any export still running.
    void writeLUTs(const QString& path, const std::vector<LUTFormat>& formats);
    // The files writeLUTs writes for that path and formats.
    ExportPlan::Plan exportPlan(const QString& path, const std::vector<LUTFormat>& formats) const;
    void saveIdentityHALD();
    void showToast(const QString& message, const std::optional<QUrl>& url);
    void revealToastFile();

    // An opened LUT file. While it is shown, the preview, the figures, the status line, exports
    // and Apply to Photos use the file, blended by the intensity and fine-tuned, instead of the
    // mode's grade; choosing a mode shows the mode again and keeps the file for later.
    const std::optional<OpenedLUT>& lutFile() const { return lutFile_; }
    bool showingLUTFile() const { return showingLUTFile_ && lutFile_.has_value(); }
    void setShowingLUTFile(bool on);
    // Reads the file in the background and shows it; a file that does not read is an alert.
    void openLUTFile(const QString& path);
    // .cube and .3dl files hold a LUT whichever well they are dropped on.
    static bool isLUTText(const QString& path);
    // The grade as `lumivert-cli apply` would apply it: an opened LUT file at the intensity while
    // no fine tune is set, otherwise the table an export as .cube at the export size holds.
    PhotoGrade photoGrade() const;

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
    void settingsChanged();
    void clipWarningChanged();
    void previewSourceChanged();
    void compareStyleChanged();
    void compareWithAfterChanged();
    void splitChanged();
    void previewOriginalChanged();
    void previewGradedChanged();
    void previewDifferenceChanged();
    void editDifferenceChanged();
    void neutralCurveChanged();
    void tintDotsChanged();
    void lutNameChanged();
    void exportChoiceChanged();
    void exportSizeChanged();
    void previewInterpolationChanged();
    void toastChanged();
    void alertChanged();
    void inspectorTargetChanged();
    // Not a property: resetAdjustments is about to set the defaults, so that undo names the step
    // a reset whichever adjustments it happens to move.
    void adjustmentsReset();
    // Not a property: a file the user opened has loaded, an image into a slot or a LUT file.
    void fileOpened(const QString& path, bool lut);
    void lutFileChanged();
    void showingLUTFileChanged();
    // Not a property: a rebuilt preview was stored (also when nothing observable changed).
    void previewRebuilt();

private:
    template <typename Enum> static std::size_t index(Enum value)
    {
        return static_cast<std::size_t>(value);
    }
    GradeRecipe::SlotNames slotNames() const;
    void didLoad(Slot slot);
    void storeImage(Slot slot, const LoadedImage& image);
    void eraseImage(Slot slot);
    void setLoading(Slot slot, bool on);
    void changeBusy(int delta);
    void updateIdle();
    // Changes the results of one mode and notifies its property.
    void changeResult(Mode mode, const std::function<void(GradeRecipe::Results&)>& change);
    void storeResult(Mode mode, GradeRecipe::Analysis analysis);
    void clearResult(Mode mode);
    // Inputs the analysis turned down leave no result of earlier inputs behind.
    void refuse(Mode mode, const QString& reason);
    void setEditFit(EditFit fit);
    // Starts the re-fit of the mode that refits; false when it has nothing to fit.
    bool refitEdit();
    static Mode refittingMode();
    void storeRendered(const Image8& source, const Outcome<RenderedPreview>& outcome);
    // The LUT's title, and the name its files are proposed under before cleaning.
    QString exportTitle() const;
    // Asks before the plan replaces a loaded image, or a file other than the one just chosen in
    // the save panel (which asked itself); true to go ahead.
    bool confirmReplacing(const ExportPlan::Plan& plan, const std::filesystem::path& chosen);
    void writePlan(const ExportPlan::Plan& plan);
    void updateFigures(const LUT3D& lut);
    // The chart encoded in the settings' input space.
    void updateChart();
    // Analyses again the modes that see their images through the input space's rendering.
    void reanalyseRendered();
    // The After image of a usable edit pair (both loaded, of one size, not refused), or none.
    const LoadedImage* editTarget() const;
    bool differsAgainstEdit() const;
    // Starts the measurement of the preview's LUT: the edit's figures and, for the difference
    // style, the heat map.
    void measureDifference();
    void readPersistedSettings();
    // The opened file's own table blended by the intensity, when the preview can grade through
    // it as apply does (a plain table and no fine tune); else the pipeline is baked.
    std::optional<LUT3D> exactPreviewTable() const;

    // The remembered folders of the open and export panels.
    static const QString imageDirectoryKey;
    static const QString exportDirectoryKey;

    Mode mode_ = Mode::look;
    std::map<Slot, LoadedImage> images_;
    std::set<Slot> loading_;
    qint64 busy_ = 0;
    GradeRecipe::Results results_;
    GradeRecipe::Settings settings_;
    PreviewSource previewSource_ = PreviewSource::testChart;
    CompareStyle compareStyle_ = CompareStyle::split;
    bool compareWithAfter_ = false;
    double split_ = 0.5;
    QImage previewOriginal_;
    QImage previewGraded_;
    std::optional<Image8> previewOriginalImage_;  // what the two QImages wrap, to compare
    std::optional<Image8> previewGradedImage_;
    std::shared_ptr<const LUT3D> previewLUT_;
    QImage previewDifference_;
    std::optional<DifferenceStats> editDifference_;
    bool measuring_ = false;
    std::vector<RGB> neutralCurve_;
    std::vector<TintDot> tintDots_;
    QString lutName_;
    ExportChoice exportChoice_ = ExportChoice::cube;
    qint64 exportSize_ = GradeRecipe::defaultExportSize;
    Interpolation previewInterpolation_ = Interpolation::trilinear;
    std::optional<Toast> toast_;
    std::optional<AlertInfo> alert_;
    std::optional<QString> inspectorTarget_;
    bool capturing_ = false;
    bool scripted_ = false;  // a LUMIVERT_ variable is set: the last session's mode stays stored
    bool rendering_ = false;
    bool idle_ = false;  // as last notified
    QString autoName_;
    // Why each mode's inputs gave no result, until its inputs change; empty when none was refused.
    std::array<QString, 4> refusals_;

    std::array<std::unique_ptr<LatestJob>, 7> loadJobs_;
    std::array<std::unique_ptr<LatestJob>, 4> analysisJobs_;
    LatestJob refitJob_;
    LatestJob previewJob_;
    LatestJob differenceJob_;
    // Exports run one after another, so that two to one name end with the later one.
    QFuture<void> lastExport_;
    QTimer toastTimer_;

    std::shared_ptr<const PreviewRenderer> renderer_;
    LoadedImage testChart_;
    LoadedImage shownChart_;
    std::optional<QString> clipWarning_;
    std::unique_ptr<QSettings> ownedSettings_;
    QSettings* defaults_;
    std::unique_ptr<FilePanels> ownedPanels_;
    FilePanels* panels_;
    Environment environment_;

    std::optional<OpenedLUT> lutFile_;
    bool showingLUTFile_ = false;
    LatestJob lutFileJob_{this, LatestJob::Options{{}, [this](int delta) { changeBusy(delta); }}};
};

}  // namespace lumivert
