#include "recipe/ClipWarning.hpp"

#include "color/Precondition.hpp"

#include <cmath>

namespace lumivert::ClipWarning {

namespace {

bool anyBelow(const RGB& c, float limit) { return c.r <= limit || c.g <= limit || c.b <= limit; }
bool anyAbove(const RGB& c, float limit) { return c.r >= limit || c.g >= limit || c.b >= limit; }

bool clipsLow(const RGB& graded, const RGB& plain)
{
    return (graded.r <= 0 && plain.r > 0) || (graded.g <= 0 && plain.g > 0) ||
           (graded.b <= 0 && plain.b > 0);
}

bool clipsHigh(const RGB& graded, const RGB& plain)
{
    return (graded.r >= 1 && plain.r < 1) || (graded.g >= 1 && plain.g < 1) ||
           (graded.b >= 1 && plain.b < 1);
}

}  // namespace

double Clipping::share() const
{
    return total == 0 ? 0.0 : static_cast<double>(clipped) / static_cast<double>(total);
}

namespace {

void count(Clipping& clipping, const RGB& graded, const RGB& plain)
{
    const bool low = anyBelow(graded, 0) && clipsLow(graded, plain);
    const bool high = anyAbove(graded, 1) && clipsHigh(graded, plain);
    clipping.atBlack += low ? 1 : 0;
    clipping.atWhite += high ? 1 : 0;
    clipping.clipped += low || high ? 1 : 0;
    ++clipping.total;
}

}  // namespace

Clipping measure(const LUT3D& lut, const LUT3D& plain)
{
    LUMIVERT_PRECONDITION(lut.size() == plain.size(), "a LUT and its plain table share a lattice");
    Clipping clipping;
    for (std::size_t i = 0; i < lut.values().size(); ++i)
        count(clipping, lut.values()[i], plain.values()[i]);
    return clipping;
}

void addAgainstIdentity(Clipping& clipping, std::int64_t size, std::int64_t first,
                        std::span<const RGB> entries)
{
    const std::vector<float> axis = LUT3D::latticeAxis(size);
    const auto n = static_cast<std::size_t>(size);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::size_t index = static_cast<std::size_t>(first) + i;
        count(clipping, entries[i], {axis[index % n], axis[index / n % n], axis[index / (n * n)]});
    }
}

Clipping measure(const LUTStack& lut, const SpaceConversion& spaces)
{
    const LUT3D& table = lut.table();
    if (spaces.isIdentity())
        return measure(table, LUT3D::identity(table.size()));
    return measure(table, spaces.conversion(table.size()).table());
}

std::optional<std::string> warning(const Clipping& clipping)
{
    if (clipping.share() <= warnedShare)
        return std::nullopt;
    const auto percent = static_cast<long>(std::lround(clipping.share() * 100));
    const bool white = clipping.atWhite >= clipping.atBlack;
    return std::to_string(percent) + " % of the LUT\u2019s entries clip at " +
           (white ? "white: the reference is much brighter"
                  : "black: the reference is much darker") +
           " than your photo. Lower the intensity or the tone strength, or choose a reference "
           "closer in brightness.";
}

}  // namespace lumivert::ClipWarning
