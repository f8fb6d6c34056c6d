// The model's loading, analysis and preview workflows: the grade recipe's steps, each kind of
// job run in the background through its LatestJob.
#include "AppModel.hpp"

#include "color/ColorMath.hpp"
#include "color/Precondition.hpp"
#include "recipe/Adjustments.hpp"
#include "recipe/ClipWarning.hpp"

#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <array>

namespace lumivert {

namespace {

const QString openFailedTitle =
    QString::fromUtf8(GradeRecipe::openFailedTitle.data(), GradeRecipe::openFailedTitle.size());
const QString analyseFailedTitle = QString::fromUtf8(GradeRecipe::analyseFailedTitle.data(),
                                                     GradeRecipe::analyseFailedTitle.size());

struct TintLevel {
    const char* id;
    float level;
};
constexpr std::array<TintLevel, 3> tintLevels{{{"S", 0.18f}, {"M", 0.5f}, {"H", 0.85f}}};

std::vector<RGB> diagonal(const LUT3D& lut)
{
    std::vector<RGB> curve;
    curve.reserve(static_cast<std::size_t>(lut.size()));
    for (std::int64_t i = 0; i < lut.size(); ++i)
        curve.push_back(lut(i, i, i));
    return curve;
}

}  // namespace

void AppModel::chooseImage(Slot slot)
{
    // The folder of the last image opened; before any, the last export's.
    QUrl folder = defaults_->value(imageDirectoryKey).toUrl();
    if (!folder.isLocalFile())
        folder = defaults_->value(exportDirectoryKey).toUrl();
    const auto path =
        panels_->chooseImage(Slots::title(slot) + QStringLiteral(": ") + Slots::hint(slot),
                             folder.isLocalFile() ? folder.toLocalFile() : QString());
    if (path)
        load(*path, slot);
}

void AppModel::load(const QString& path, Slot slot)
{
    // A LUT file dropped on any well, or opened by the desktop, is shown rather than refused.
    if (isLUTText(path)) {
        openLUTFile(path);
        return;
    }
    setLoading(slot, true);
    const std::filesystem::path location = QFile::encodeName(path).toStdString();
    const GradeRecipe::Slot input = toRecipe(slot);
    loadJobs_[index(slot)]->start(
        [location, input] { return GradeRecipe::load(input, location); },
        [this, slot, path](const Outcome<GradeRecipe::Input>& outcome) {
            if (outcome.value) {
                if (!capturing_)
                    defaults_->setValue(imageDirectoryKey,
                                        QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
                storeImage(slot, outcome.value->image);
                Q_EMIT fileOpened(path, false);
                // A mode whose input is its result (a graded HALD's table) has it now.
                const auto mode = GradeRecipe::modeOf(toRecipe(slot));
                if (mode && GradeRecipe::recipe(*mode).analysedOnLoad)
                    storeResult(
                        fromRecipe(*mode),
                        GradeRecipe::analyse(*mode, std::span(&*outcome.value, 1), settings_));
                didLoad(slot);
            } else {
                present(outcome.error, openFailedTitle);
            }
            setLoading(slot, false);
        },
        // Even a superseded load reports its failure: the user asked for that file.
        [this](const Outcome<GradeRecipe::Input>& outcome) {
            if (!outcome.value)
                present(outcome.error, openFailedTitle);
        });
}

void AppModel::didLoad(Slot slot)
{
    const auto mode = GradeRecipe::modeOf(toRecipe(slot));
    if (!mode) {
        // The preview photo, which belongs to no mode.
        setPreviewSource(PreviewSource::photo);
        rebuildPreview();
        return;
    }
    const GradeRecipe::ModeRecipe& recipe = GradeRecipe::recipe(*mode);
    if (const auto name = GradeRecipe::suggestedName(*mode, slotNames()))
        applyAutoName(QString::fromStdString(*name));
    if (recipe.previewsInput && toRecipe(slot) == recipe.slots.front() &&
        previewSource_ == PreviewSource::testChart)
        setPreviewSource(PreviewSource::input);
    if (recipe.analysedOnLoad)
        rebuildPreview();
    else
        analyse(fromRecipe(*mode));
}

void AppModel::remove(Slot slot)
{
    // The slot's load, and the analysis of its mode, would bring the image or the result back.
    loadJobs_[index(slot)]->cancel();
    setLoading(slot, false);
    eraseImage(slot);
    if (const auto mode = GradeRecipe::modeOf(toRecipe(slot)))
        clearResult(fromRecipe(*mode));
    else if (previewSource_ == PreviewSource::photo)
        setPreviewSource(defaultPreviewSource());
    rebuildPreview();
}

void AppModel::analyse(Mode mode)
{
    const GradeRecipe::Mode recipeMode = toRecipe(mode);
    const GradeRecipe::ModeRecipe& recipe = GradeRecipe::recipe(recipeMode);
    std::vector<GradeRecipe::Input> inputs;
    for (GradeRecipe::Slot slot : recipe.slots) {
        const auto found = images_.find(fromRecipe(slot));
        if (found == images_.end()) {
            clearResult(mode);
            rebuildPreview();
            return;
        }
        inputs.push_back({found->second, nullptr});
    }
    if (recipe.analysedOnLoad)
        return;  // the result came with the file
    const GradeRecipe::Settings settings = settings_;
    analysisJobs_[index(mode)]->start(
        [recipeMode, inputs, settings] {
            return GradeRecipe::analyse(recipeMode, inputs, settings);
        },
        [this, mode, settings](const Outcome<GradeRecipe::Analysis>& outcome) {
            if (!outcome.value) {
                refuse(mode, outcome.error);
                present(outcome.error, analyseFailedTitle);
                return;
            }
            storeResult(mode, *outcome.value);
            if (GradeRecipe::recipe(toRecipe(mode)).refits) {
                // A re-fit of the previous inputs must not replace this fit; an adjustment that
                // refits and changed while this one was prepared is fitted now.
                refitJob_.cancel();
                const auto moved = GradeRecipe::differences(settings, settings_);
                if (std::any_of(moved.begin(), moved.end(),
                                [](const auto* row) { return row->refits; }))
                    refitEdit();
            }
            rebuildPreview();
        });
}

Mode AppModel::refittingMode()
{
    const auto& modes = GradeRecipe::modes();
    const auto found = std::find_if(modes.begin(), modes.end(),
                                    [](const GradeRecipe::ModeRecipe& row) { return row.refits; });
    LUMIVERT_PRECONDITION(found != modes.end(), "one mode refits its result");
    return fromRecipe(found->mode);
}

bool AppModel::refitEdit()
{
    if (!results_.editSystem) {
        refitJob_.cancel();
        updateIdle();
        return false;
    }
    const EditSystem system = *results_.editSystem;
    refitJob_.start(
        [system, smoothing = settings_.smoothing, extend = settings_.extendEdit] {
            return GradeRecipe::refit(system, smoothing, extend);
        },
        [this](const Outcome<EditFit>& outcome) {
            if (!outcome.value)
                return;
            setEditFit(*outcome.value);
            rebuildPreview();
        });
    updateIdle();
    return true;
}

void AppModel::updateChart()
{
    const SpaceConversion spaces = GradeRecipe::spacesOf(toRecipe(mode_), settings_);
    if (spaces.isIdentity()) {
        shownChart_ = testChart_;
        return;
    }
    const LUT3D encoding = spaces.encoding(GradeRecipe::renderingLatticeSize);
    shownChart_ = LoadedImage(testChart_.name(), testChart_.pixels().applying(encoding));
}

void AppModel::reanalyseRendered()
{
    for (const GradeRecipe::ModeRecipe& row : GradeRecipe::modes()) {
        const bool loaded = std::all_of(row.slots.begin(), row.slots.end(), [this](auto slot) {
            return images_.contains(fromRecipe(slot));
        });
        if (row.gradesRendered && loaded)
            analyse(fromRecipe(row.mode));
    }
}

namespace {

// A LUT for the renderer, which takes tables over 0 … 1: a shaper and its table baked into one.
LUT3D rendererTable(const LUTStack& stack)
{
    return stack.hasCurves() ? stack.bakedOnUnitDomain(stack.table().size()) : stack.table();
}

RenderedPreview renderedPreview(const GradePipeline& pipeline, const SpaceConversion& spaces,
                                GradeRecipe::Mode mode, const Image8& source,
                                const PreviewRenderer& renderer, Interpolation interpolation)
{
    if (spaces.isIdentity()) {
        LUT3D lut = pipeline.makeLUT(GradeRecipe::previewLatticeSize);
        Image8 graded = renderer.render(source, lut, interpolation);
        return RenderedPreview(std::move(lut), std::move(graded));
    }
    LUT3D lut =
        rendererTable(GradeRecipe::bake(mode, pipeline, spaces, GradeRecipe::previewLatticeSize));
    Image8 graded = renderer.render(source, lut, interpolation);
    // Footage the grade sees rendered is shown rendered; an edit's Before as it was given.
    std::optional<Image8> original;
    if (GradeRecipe::recipe(mode).gradesRendered)
        original = renderer.render(
            source, rendererTable(spaces.rendering(GradeRecipe::renderingLatticeSize)),
            interpolation);
    return RenderedPreview(std::move(lut), std::move(graded), std::move(original));
}

std::optional<QString> clipWarningOf(const LUT3D& lut, const SpaceConversion& spaces)
{
    const LUT3D plain = spaces.isIdentity() ? LUT3D::identity(lut.size())
                                            : rendererTable(spaces.conversion(lut.size()));
    const auto warning = ClipWarning::warning(ClipWarning::measure(lut, plain));
    return warning ? std::optional(QString::fromStdString(*warning)) : std::nullopt;
}

}  // namespace

void AppModel::rebuildPreview()
{
    const GradePipeline pipeline = currentPipeline();
    const std::optional<LUT3D> exact = exactPreviewTable();
    const Image8 source = previewInput().image();
    const GradeRecipe::Mode mode = toRecipe(mode_);
    const SpaceConversion spaces = GradeRecipe::spacesOf(mode, settings_);
    rendering_ = true;
    previewJob_.start(
        [pipeline, exact, source, spaces, mode, renderer = renderer_,
         interpolation = previewInterpolation_] {
            // An opened LUT file is previewed as it is, not baked again.
            if (exact) {
                LUT3D lut = *exact;
                Image8 graded = renderer->render(source, lut, interpolation);
                return RenderedPreview(std::move(lut), std::move(graded));
            }
            return renderedPreview(pipeline, spaces, mode, source, *renderer, interpolation);
        },
        [this, source, spaces](const Outcome<RenderedPreview>& outcome) {
            if (outcome.value) {
                const std::optional<QString> warning = clipWarningOf(outcome.value->lut(), spaces);
                if (warning != clipWarning_) {
                    clipWarning_ = warning;
                    Q_EMIT clipWarningChanged();
                }
            }
            storeRendered(outcome.value && outcome.value->original() ? *outcome.value->original()
                                                                     : source,
                          outcome);
        });
    updateIdle();
}

void AppModel::storeRendered(const Image8& source, const Outcome<RenderedPreview>& outcome)
{
    // Stored first: a view redrawing on the notifications below grades with the new table.
    if (outcome.value)
        previewLUT_ = std::make_shared<const LUT3D>(outcome.value->lut());
    if (!previewOriginalImage_ || !(*previewOriginalImage_ == source)) {
        previewOriginalImage_ = source;
        previewOriginal_ = platformImage(source);
        Q_EMIT previewOriginalChanged();
    }
    const std::optional<Image8> graded =
        outcome.value ? outcome.value->image() : std::optional<Image8>();
    if (graded != previewGradedImage_) {
        previewGradedImage_ = graded;
        previewGraded_ = graded ? platformImage(*graded) : QImage();
        Q_EMIT previewGradedChanged();
    }
    if (outcome.value)
        updateFigures(outcome.value->lut());
    rendering_ = false;
    measureDifference();
    updateIdle();
    Q_EMIT previewRebuilt();
}

void AppModel::updateFigures(const LUT3D& lut)
{
    std::vector<RGB> curve = diagonal(lut);
    if (curve != neutralCurve_) {
        neutralCurve_ = std::move(curve);
        Q_EMIT neutralCurveChanged();
    }
    std::vector<TintDot> dots;
    for (const TintLevel& row : tintLevels) {
        const RGB colour = lut.sample({row.level, row.level, row.level});
        const Lab lab = ColorMath::linearToOklab(ColorMath::decode(colour));
        dots.push_back(
            TintDot{QString::fromUtf8(row.id), {lab.a, lab.b}, {colour.r, colour.g, colour.b}});
    }
    tintDots_ = std::move(dots);
    Q_EMIT tintDotsChanged();
}

}  // namespace lumivert
