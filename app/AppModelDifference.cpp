#include "AppModel.hpp"

#include "imaging/HeatMap.hpp"
#include "imaging/Packing.hpp"

namespace lumivert {

namespace {

// What one measurement of the preview's LUT finds.
struct Measurement {
    std::optional<DifferenceStats> edit;
    std::optional<Image8> heatMap;
};

bool sameSize(const Image8& x, const Image8& y)
{
    return x.width() == y.width() && x.height() == y.height();
}

Image8 heatMapOf(const ImageDifferenceResult& difference)
{
    return Packing::makeImage8(HeatMap::picture(difference));
}

}  // namespace

const LoadedImage* AppModel::editTarget() const
{
    const GradeRecipe::ModeRecipe& recipe = GradeRecipe::recipe(toRecipe(mode_));
    if (!recipe.comparesWithTarget)
        return nullptr;
    const auto before = images_.find(fromRecipe(recipe.slots.front()));
    const auto after = images_.find(fromRecipe(recipe.slots.back()));
    if (before == images_.end() || after == images_.end() || !refusals_[index(mode_)].isEmpty() ||
        !sameSize(before->second.image(), after->second.image()))
        return nullptr;
    return &after->second;
}

bool AppModel::differsAgainstEdit() const
{
    return editTarget() != nullptr && previewSource_ == PreviewSource::input;
}

QString AppModel::differenceLabel() const
{
    return differsAgainstEdit() ? QStringLiteral("\u0394E2000 to your edit")
                                : QStringLiteral("\u0394E2000 from original");
}

void AppModel::measureDifference()
{
    const LoadedImage* target = editTarget();
    std::optional<Image8> before;
    std::optional<Image8> after;
    if (target && previewLUT_ && previewGradedImage_) {
        before = images_.at(fromRecipe(GradeRecipe::recipe(toRecipe(mode_)).slots.front())).image();
        after = target->image();
    }
    // The graded preview of Before is the LUT's result on Before, so one measurement serves both.
    const bool againstEdit = differsAgainstEdit();
    std::optional<Image8> reference;
    if (compareStyle_ == CompareStyle::difference && previewGradedImage_)
        reference = againstEdit ? after : previewOriginalImage_;
    if (reference && !sameSize(*reference, *previewGradedImage_))
        reference.reset();

    const auto land = [this](const Outcome<Measurement>& outcome) {
        measuring_ = false;
        const Measurement found = outcome.value.value_or(Measurement{});
        if (found.edit != editDifference_) {
            editDifference_ = found.edit;
            Q_EMIT editDifferenceChanged();
        }
        const QImage heatMap = found.heatMap ? platformImage(*found.heatMap) : QImage();
        if (!heatMap.isNull() || !previewDifference_.isNull()) {
            previewDifference_ = heatMap;
            Q_EMIT previewDifferenceChanged();
        }
        updateIdle();
    };
    if (!before && !reference) {
        differenceJob_.cancel();
        land(Outcome<Measurement>{Measurement{}, {}});
        return;
    }
    measuring_ = true;
    differenceJob_.start(
        [before, after, reference, againstEdit, graded = *previewGradedImage_, lut = previewLUT_,
         renderer = renderer_, interpolation = previewInterpolation_] {
            Measurement found;
            if (before) {
                // The preview may still show the last pair while a new one is graded.
                const Image8 gradedBefore = againstEdit && sameSize(graded, *after)
                                                ? graded
                                                : renderer->render(*before, *lut, interpolation);
                const ImageDifferenceResult difference =
                    ImageDifference::measure(gradedBefore, *after);
                found.edit = difference.stats;
                if (reference && againstEdit)
                    found.heatMap = heatMapOf(difference);
            }
            if (reference && !found.heatMap)
                found.heatMap = heatMapOf(ImageDifference::measure(graded, *reference));
            return found;
        },
        land);
    updateIdle();
}

}  // namespace lumivert
