#include "learners/GradePipeline.hpp"

#include "color/ColorMath.hpp"
#include "color/Precondition.hpp"

namespace lumivert {

namespace {

// The blend and fine tune with the tune's constants already worked out; apply() and the bake
// share it so both give the same bits.
RGB graded(const ColorTransform& base, float intensity, const FineTune::Prepared& tune,
           const RGB& colour)
{
    const RGB output = base.apply(colour);
    const RGB blended = intensity == 1.0f ? output : colour + (output - colour) * intensity;
    return clamp01(tune.apply(clamp01(blended)));
}

} // namespace

GradePipeline::GradePipeline(std::shared_ptr<const ColorTransform> base, float intensity,
                             FineTune fineTune)
    : base_(std::move(base)), intensity_(intensity), fineTune_(fineTune)
{
    LUMIVERT_PRECONDITION(base_ != nullptr, "a grade pipeline needs a base transform");
}

void GradePipeline::setBase(std::shared_ptr<const ColorTransform> base)
{
    LUMIVERT_PRECONDITION(base != nullptr, "a grade pipeline needs a base transform");
    base_ = std::move(base);
}

RGB GradePipeline::apply(const RGB& colour) const
{
    return graded(*base_, intensity_, FineTune::Prepared(fineTune_), colour);
}

LUT3D GradePipeline::makeLUT(std::int64_t size) const
{
    const FineTune::Prepared tune(fineTune_);
    const ColorTransform& base = *base_;
    return LUT3D::buildConcurrently(size, [&base, intensity = intensity_, &tune](const RGB& c) {
        return graded(base, intensity, tune, c);
    });
}

} // namespace lumivert
