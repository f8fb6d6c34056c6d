// The model's loading, analysis and preview workflows.
#include "AppModel.hpp"
#include "BackgroundJob.hpp"

#include "color/ColorMath.hpp"
#include "imaging/ImageLoader.hpp"
#include "learners/ColorMatcher.hpp"
#include "learners/LookExtractor.hpp"
#include "lut/HaldCLUT.hpp"

#include <QFile>

#include <array>

namespace lumivert {

namespace {

constexpr std::int64_t photoPixelSize = 1600;
constexpr std::int64_t haldThumbnailSize = 600;
constexpr std::int64_t editGridSize = 33;
constexpr std::int64_t previewLUTSize = 33;

const QString openFailedTitle = QStringLiteral("Couldn’t open the image");
const QString analyseFailedTitle = QStringLiteral("Couldn’t analyse the images");

struct TintLevel {
    const char* id;
    float level;
};
constexpr std::array<TintLevel, 3> tintLevels{{{"S", 0.18f}, {"M", 0.5f}, {"H", 0.85f}}};

struct LoadResult {
    LoadedImage image;
    std::optional<LUT3D> lut;  // the graded HALD's table
};

LoadResult loadFile(const std::filesystem::path& location, Slot slot)
{
    if (slot != Slot::hald)
        return {ImageLoader::load(location, photoPixelSize), std::nullopt};
    // The table is read at full size; the thumbnail only shows the user which image it was.
    LUT3D lut = HaldCLUT::lut(ImageLoader::loadExact(location));
    return {ImageLoader::load(location, haldThumbnailSize), std::move(lut)};
}

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
    const auto path =
        panels_->chooseImage(Slots::title(slot) + QStringLiteral(": ") + Slots::hint(slot));
    if (path)
        load(*path, slot);
}

void AppModel::load(const QString& path, Slot slot)
{
    setLoading(slot, true);
    const QString key = Slots::loadKey(slot);
    const std::int64_t generation = nextGeneration(key);
    const std::filesystem::path location = QFile::encodeName(path).toStdString();
    runInBackground([location, slot] {
        return loadFile(location, slot);
    }).then(this, [this, key, generation, slot](const Outcome<LoadResult>& outcome) {
        const bool current = this->generation(key) == generation;
        if (outcome.value && current) {
            storeImage(slot, outcome.value->image);
            if (slot == Slot::hald)
                setHaldLUT(outcome.value->lut);
            didLoad(slot);
        } else if (!outcome.value) {
            // Even a superseded load reports its failure: the user asked for that file.
            present(outcome.error, openFailedTitle);
        }
        if (current)
            setLoading(slot, false);
    });
}

void AppModel::didLoad(Slot slot)
{
    const auto nameOf = [this](Slot filled, const char* fallback) {
        const std::string& name = images_.at(filled).name();
        return name.empty() ? QString::fromUtf8(fallback) : QString::fromStdString(name);
    };
    switch (slot) {
    case Slot::lookReference:
        applyAutoName(nameOf(slot, "Photo") + QStringLiteral(" Look"));
        analyseLook();
        break;
    case Slot::matchSource:
    case Slot::matchReference:
        if (images_.contains(Slot::matchReference))
            applyAutoName(nameOf(Slot::matchReference, "Photo") + QStringLiteral(" Match"));
        if (slot == Slot::matchSource && previewSource_ == PreviewSource::testChart)
            setPreviewSource(PreviewSource::input);
        analyseMatch();
        break;
    case Slot::editBefore:
    case Slot::editAfter:
        if (images_.contains(Slot::editAfter))
            applyAutoName(nameOf(Slot::editAfter, "Photo") + QStringLiteral(" Edit"));
        if (slot == Slot::editBefore && previewSource_ == PreviewSource::testChart)
            setPreviewSource(PreviewSource::input);
        analyseEdit();
        break;
    case Slot::hald:
        applyAutoName(nameOf(slot, "HALD"));
        rebuildPreview();
        break;
    case Slot::preview:
        setPreviewSource(PreviewSource::photo);
        rebuildPreview();
        break;
    }
}

void AppModel::remove(Slot slot)
{
    eraseImage(slot);
    switch (slot) {
    case Slot::lookReference: setLookAnalysis(std::nullopt); break;
    case Slot::matchSource:
    case Slot::matchReference: setMatchAnalysis(std::nullopt); break;
    case Slot::editBefore:
    case Slot::editAfter:
        editSystem_.reset();
        setEditFit(std::nullopt);
        break;
    case Slot::hald: setHaldLUT(std::nullopt); break;
    case Slot::preview:
        if (previewSource_ == PreviewSource::photo)
            setPreviewSource(defaultPreviewSource());
        break;
    }
    rebuildPreview();
}

template <typename Result>
void AppModel::runSolve(const QString& key, std::function<Result()> work,
                        std::function<void(Result)> apply)
{
    const std::int64_t generation = nextGeneration(key);
    changeBusy(+1);
    runInBackground(std::move(work))
        .then(this, [this, key, generation, apply](const Outcome<Result>& outcome) {
            if (this->generation(key) == generation) {
                if (outcome.value) {
                    apply(*outcome.value);
                    rebuildPreview();
                } else {
                    present(outcome.error, analyseFailedTitle);
                }
            }
            changeBusy(-1);
        });
}

void AppModel::analyseLook()
{
    const auto found = images_.find(Slot::lookReference);
    if (found == images_.end())
        return;
    const PixelBuffer pixels = found->second.pixels();
    runSolve<LookAnalysis>(
        QStringLiteral("look"), [pixels] { return LookExtractor::analyse(pixels); },
        [this](LookAnalysis analysis) { setLookAnalysis(std::move(analysis)); });
}

void AppModel::analyseMatch()
{
    if (!images_.contains(Slot::matchSource) || !images_.contains(Slot::matchReference)) {
        setMatchAnalysis(std::nullopt);
        rebuildPreview();
        return;
    }
    const PixelBuffer source = images_.at(Slot::matchSource).pixels();
    const PixelBuffer reference = images_.at(Slot::matchReference).pixels();
    runSolve<MatchAnalysis>(
        QStringLiteral("match"),
        [source, reference] { return ColorMatcher::analyse(source, reference); },
        [this](MatchAnalysis analysis) { setMatchAnalysis(std::move(analysis)); });
}

void AppModel::analyseEdit()
{
    if (!images_.contains(Slot::editBefore) || !images_.contains(Slot::editAfter)) {
        editSystem_.reset();
        setEditFit(std::nullopt);
        rebuildPreview();
        return;
    }
    using Prepared = std::pair<EditSystem, EditFit>;
    const PixelBuffer before = images_.at(Slot::editBefore).pixels();
    const PixelBuffer after = images_.at(Slot::editAfter).pixels();
    const auto smoothness = static_cast<float>(editSmoothness_);
    runSolve<Prepared>(
        QStringLiteral("edit"),
        [before, after, smoothness] {
            EditSystem system = EditLearner::prepare(before, after, editGridSize);
            EditFit fit = EditLearner::solve(system, smoothness);
            return Prepared{std::move(system), std::move(fit)};
        },
        [this](Prepared prepared) {
            editSystem_ = std::move(prepared.first);
            setEditFit(std::move(prepared.second));
        });
}

void AppModel::resolveEdit()
{
    ++solveRequest_;
    solveTimer_.stop();
    if (editSystem_) {
        pendingSystem_ = editSystem_;
        pendingSmoothness_ = static_cast<float>(editSmoothness_);
        solveTimer_.start();
    }
    updateIdle();
}

void AppModel::startResolve()
{
    if (!pendingSystem_)
        return;
    const std::uint64_t request = solveRequest_;
    const EditSystem system = *pendingSystem_;
    const float smoothness = pendingSmoothness_;
    pendingSystem_.reset();
    changeBusy(+1);
    // A newer smoothness does not stop this fit; it only discards it when it returns.
    runInBackground([system, smoothness] {
        return EditLearner::solve(system, smoothness);
    }).then(this, [this, request](const Outcome<EditFit>& outcome) {
        if (request == solveRequest_ && outcome.value) {
            setEditFit(*outcome.value);
            rebuildPreview();
        }
        changeBusy(-1);
    });
}

void AppModel::rebuildPreview()
{
    ++rebuildRequest_;
    pendingPipeline_ = currentPipeline();
    pendingSource_ = previewInput();
    rendering_ = true;
    rebuildTimer_.start();
    updateIdle();
}

void AppModel::startRebuild()
{
    if (!pendingPipeline_ || !pendingSource_)
        return;
    const std::uint64_t request = rebuildRequest_;
    const GradePipeline pipeline = *pendingPipeline_;
    const Image8 source = pendingSource_->image();
    const std::shared_ptr<const PreviewRenderer> renderer = renderer_;
    pendingPipeline_.reset();
    pendingSource_.reset();
    runInBackground([pipeline, source, renderer] {
        LUT3D lut = pipeline.makeLUT(previewLUTSize);
        Image8 graded = renderer->render(source, lut);
        return RenderedPreview(std::move(lut), std::move(graded));
    }).then(this, [this, request, source](const Outcome<RenderedPreview>& outcome) {
        if (request != rebuildRequest_)
            return;  // a newer rebuild owns `rendering` and the preview
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
        Q_EMIT previewRebuilt();
        updateIdle();
    });
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
