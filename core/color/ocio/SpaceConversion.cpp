#include "color/ocio/SpaceConversion.hpp"

#include "color/ColorMath.hpp"
#include "color/Precondition.hpp"
#include "color/ocio/LogShaper.hpp"

#include <vector>

namespace lumivert {

namespace {

// The lattice inputs in storage order: places 0 … 1, or with a shaper the linear values whose
// shaped places they are.
std::vector<RGB> latticeInputs(std::int64_t size, bool shaper)
{
    std::vector<float> axis = LUT3D::latticeAxis(size);
    if (shaper)
        for (float& x : axis)
            x = LogShaper::linear(x);
    const auto n = static_cast<std::size_t>(size);
    std::vector<RGB> inputs(static_cast<std::size_t>(checkedMul(checkedMul(size, size), size)));
    for (std::size_t b = 0; b < n; ++b)
        for (std::size_t g = 0; g < n; ++g)
            for (std::size_t r = 0; r < n; ++r)
                inputs[r + n * (g + n * b)] = {axis[r], axis[g], axis[b]};
    return inputs;
}

void clampAll(std::span<RGB> colours)
{
    for (RGB& colour : colours)
        colour = clamp01(colour);
}

LUTStack assembled(std::int64_t size, std::vector<RGB> values, bool shaper)
{
    LUT3D table(size, std::move(values));
    if (!shaper)
        return LUTStack(std::move(table));
    return LUTStack(LogShaper::curves(), std::move(table));
}

LUTStack baked(const LatticeProcessor& processor, std::int64_t size, bool shaper)
{
    std::vector<RGB> values = latticeInputs(size, shaper);
    processor.apply(values);
    clampAll(values);
    return assembled(size, std::move(values), shaper);
}

}  // namespace

SpaceConversion SpaceConversion::builtin(ColorSpace input, ColorSpace output)
{
    SpaceConversion conversion;
    conversion.direct_ = LatticeProcessor(ColorSpaces::chain(input, output));
    conversion.rendering_ = LatticeProcessor(ColorSpaces::chain(input, ColorSpace::srgb));
    conversion.display_ = LatticeProcessor(ColorSpaces::chain(ColorSpace::srgb, output));
    conversion.encoding_ =
        LatticeProcessor(ColorSpaces::inverse(ColorSpaces::chain(input, ColorSpace::srgb)));
    conversion.shaper_ = ColorSpaces::row(input).kind == ColorSpaceKind::sceneLinear;
    conversion.identity_ = input == ColorSpace::srgb && output == ColorSpace::srgb;
    conversion.inputTitle_ = ColorSpaces::row(input).title;
    conversion.outputTitle_ = ColorSpaces::row(output).title;
    return conversion;
}

SpaceConversion SpaceConversion::fromConfig(const std::filesystem::path& config,
                                            std::string_view input, std::string_view output)
{
    SpaceConversion conversion;
    conversion.direct_ = LatticeProcessor::fromConfig(config, input, output);
    conversion.rendering_ = conversion.direct_;
    conversion.encoding_ = LatticeProcessor::fromConfig(config, output, input);
    conversion.shaper_ =
        LatticeProcessor::configSpaceKind(config, input) == ColorSpaceKind::sceneLinear;
    conversion.identity_ = false;
    conversion.inputTitle_ = input;
    conversion.outputTitle_ = output;
    return conversion;
}

LUTStack SpaceConversion::conversion(std::int64_t size) const
{
    if (identity_)
        return LUTStack(LUT3D::identity(size));
    return baked(direct_, size, shaper_);
}

LUTStack SpaceConversion::rendering(std::int64_t size) const
{
    if (identity_)
        return LUTStack(LUT3D::identity(size));
    return baked(rendering_, size, shaper_);
}

LUT3D SpaceConversion::encoding(std::int64_t size) const
{
    if (identity_)
        return LUT3D::identity(size);
    std::vector<RGB> values = latticeInputs(size, false);
    encoding_.apply(values);
    return LUT3D(size, std::move(values));
}

LUTStack SpaceConversion::graded(const ColorTransform& grade, std::int64_t size) const
{
    if (identity_)
        return LUTStack(
            LUT3D::buildConcurrently(size, [&](const RGB& c) { return grade.apply(c); }));
    std::vector<RGB> values = latticeInputs(size, shaper_);
    rendering_.apply(values);
    const auto count = static_cast<std::int64_t>(values.size());
    // Each node is graded on its own, so the table is the same on any thread count.
#pragma omp parallel for schedule(dynamic, 512)
    for (std::int64_t i = 0; i < count; ++i) {
        RGB& node = values[static_cast<std::size_t>(i)];
        node = clamp01(grade.apply(clamp01(node)));
    }
    display_.apply(values);
    clampAll(values);
    return assembled(size, std::move(values), shaper_);
}

}  // namespace lumivert
