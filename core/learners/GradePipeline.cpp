#include "learners/GradePipeline.hpp"

#include "color/ColorMath.hpp"
#include "color/Precondition.hpp"

#include <algorithm>
#include <array>
#include <vector>

namespace lumivert {

namespace {

// Lattice nodes handed to the base per call: long enough to spread the call's cost, short
// enough to live on the stack.
constexpr std::size_t run = 16;

}  // namespace

GradePipeline::GradePipeline(std::shared_ptr<const ColorTransform> base, float intensity,
                             FineTune fineTune, GamutMapping gamut)
    : base_(std::move(base)), intensity_(intensity), fineTune_(fineTune), gamut_(gamut),
      tune_(fineTune, gamut)
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
    tune_ = FineTune::Prepared(fineTune, gamut_);
}

RGB GradePipeline::apply(const RGB& colour) const { return finish(colour, base_->apply(colour)); }

RGB GradePipeline::finish(const RGB& colour, const RGB& output) const
{
    const RGB blended = intensity_ == 1.0f ? output : colour + (output - colour) * intensity_;
    return clamp01(tune_.apply(clamp01(blended)));
}

LUT3D GradePipeline::makeLUT(std::int64_t size) const
{
    return LUT3D::buildRowsConcurrently(size, rowMaker(size));
}

void GradePipeline::makeRows(std::int64_t size, std::int64_t firstRow, std::span<RGB> out) const
{
    LUT3D::buildRowsInto(size, firstRow, out, rowMaker(size));
}

LUT3D::RowFunction GradePipeline::rowMaker(std::int64_t size) const
{
    // Lattice inputs repeat along each axis, so each axis is decoded once per bake and the base
    // gets the decoded values with every run, exactly as it would decode them itself.
    std::vector<float> axis = LUT3D::latticeAxis(size);
    std::vector<float> decoded(axis.size());
    std::transform(axis.begin(), axis.end(), decoded.begin(),
                   [](float x) { return ColorMath::decode(x); });
    return [this, axis = std::move(axis),
            decoded = std::move(decoded)](std::int64_t g, std::int64_t b, std::span<RGB> row) {
        const auto gi = static_cast<std::size_t>(g);
        const auto bi = static_cast<std::size_t>(b);
        for (std::size_t start = 0; start < row.size(); start += run) {
            const std::size_t count = std::min(run, row.size() - start);
            std::array<RGB, run> colours;
            std::array<RGB, run> linear;
            for (std::size_t i = 0; i < count; ++i) {
                colours[i] = {axis[start + i], axis[gi], axis[bi]};
                linear[i] = {decoded[start + i], decoded[gi], decoded[bi]};
            }
            const std::span<RGB> out = row.subspan(start, count);
            base_->applyDecoded(std::span(colours).first(count), std::span(linear).first(count),
                                out);
            for (std::size_t i = 0; i < count; ++i)
                out[i] = finish(colours[i], out[i]);
        }
    };
}

}  // namespace lumivert
