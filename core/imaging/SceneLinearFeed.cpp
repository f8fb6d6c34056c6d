#include "imaging/SceneLinearFeed.hpp"

#include "color/ColorMath.hpp"
#include "color/ocio/LatticeProcessor.hpp"

#include <string>
#include <vector>

namespace lumivert {

namespace {

RGB times(const std::array<RGB, 3>& rows, const RGB& c)
{
    const auto dot = [&c](const RGB& row) { return row.r * c.r + row.g * c.g + row.b * c.b; };
    return {dot(rows[0]), dot(rows[1]), dot(rows[2])};
}

// Cramer's rule; the primaries of a colour space are independent, so the determinant is not 0.
std::array<RGB, 3> inverted(const std::array<RGB, 3>& m)
{
    const auto [a, b, c] = m[0];
    const auto [d, e, f] = m[1];
    const auto [g, h, i] = m[2];
    const double det =
        double{a} * (e * i - f * h) - double{b} * (d * i - f * g) + double{c} * (d * h - e * g);
    const auto at = [det](double x) { return static_cast<float>(x / det); };
    return {RGB{at(e * i - f * h), at(c * h - b * i), at(b * f - c * e)},
            RGB{at(f * g - d * i), at(a * i - c * g), at(c * d - a * f)},
            RGB{at(d * h - e * g), at(b * g - a * h), at(a * e - b * d)}};
}

std::string sceneLinearKeys()
{
    std::string keys;
    for (const ColorSpaceRow& row : ColorSpaces::all()) {
        if (row.kind != ColorSpaceKind::sceneLinear)
            continue;
        keys += keys.empty() ? "" : " or ";
        keys += row.key;
    }
    return keys;
}

}  // namespace

namespace SceneLinear {

std::array<RGB, 3> toLinearRec709(ColorSpace imageSpace)
{
    const ColorSpaceRow& row = ColorSpaces::row(imageSpace);
    if (row.kind != ColorSpaceKind::sceneLinear)
        throw ColorSpaceError("Float images hold scene-linear values, and \u201C" +
                              std::string(row.key) +
                              "\u201D is not a scene-linear colour space; "
                              "choose " +
                              sceneLinearKeys() + ".");
    if (imageSpace == ColorSpace::linearRec709)
        return {RGB{1, 0, 0}, RGB{0, 1, 0}, RGB{0, 0, 1}};
    std::vector<BuiltinStep> steps(row.acesSteps().begin(), row.acesSteps().end());
    const std::vector<BuiltinStep> fromAces =
        ColorSpaces::inverse(ColorSpaces::row(ColorSpace::linearRec709).acesSteps());
    steps.insert(steps.end(), fromAces.begin(), fromAces.end());
    // The chain is linear, so the images of the three unit colours are its matrix's columns.
    std::array<RGB, 3> columns{RGB{1, 0, 0}, RGB{0, 1, 0}, RGB{0, 0, 1}};
    LatticeProcessor(steps).apply(columns);
    return {RGB{columns[0].r, columns[1].r, columns[2].r},
            RGB{columns[0].g, columns[1].g, columns[2].g},
            RGB{columns[0].b, columns[1].b, columns[2].b}};
}

}  // namespace SceneLinear

SceneLinearFeed::SceneLinearFeed(ColorSpace imageSpace, bool lutTakesSceneLinear)
    : passes_(lutTakesSceneLinear), rec709_(imageSpace == ColorSpace::linearRec709),
      toRec709_(SceneLinear::toLinearRec709(imageSpace)), fromRec709_(inverted(toRec709_))
{
}

RGB SceneLinearFeed::toLUT(const RGB& value) const
{
    if (passes_)
        return value;
    return ColorMath::encode(rec709_ ? value : times(toRec709_, value));
}

RGB SceneLinearFeed::fromLUT(const RGB& output) const
{
    if (passes_)
        return output;
    return rec709_ ? ColorMath::decode(output) : times(fromRec709_, ColorMath::decode(output));
}

}  // namespace lumivert
