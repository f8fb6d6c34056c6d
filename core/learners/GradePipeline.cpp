#include "learners/GradePipeline.hpp"

#include "color/ColorMath.hpp"
#include "color/Precondition.hpp"

namespace lumivert {

GradePipeline::GradePipeline(std::shared_ptr<const ColorTransform> base, float intensity,
                             FineTune fineTune)
    : base_(std::move(base)), intensity_(intensity), fineTune_(fineTune), tune_(fineTune)
{
    LUMIVERT_PRECONDITION(base_ != nullptr, "a grade pipeline needs a base transform");
}

void GradePipeline::setBase(std::shared_ptr<const ColorTransform> base)
{
    LUMIVERT_PRECONDITION(base != nullptr, "a grade pipeline needs a base transform");
    base_ = std::move(base);
}

void GradePipeline::setFineTune(const FineTune& fineTune)
{
    fineTune_ = fineTune;
    tune_ = FineTune::Prepared(fineTune);
}

RGB GradePipeline::apply(const RGB& colour) const
{
    const RGB output = base_->apply(colour);
    const RGB blended = intensity_ == 1.0f ? output : colour + (output - colour) * intensity_;
    return clamp01(tune_.apply(clamp01(blended)));
}

LUT3D GradePipeline::makeLUT(std::int64_t size) const
{
    // apply() is pure and already clamps, so the concurrent bake holds exactly its outputs.
    return LUT3D::buildConcurrently(size, [this](const RGB& c) { return apply(c); });
}

}  // namespace lumivert
