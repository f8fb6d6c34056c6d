#include "lut/HaldCLUT.hpp"

#include "color/Precondition.hpp"

#include <string>

namespace lumivert {

namespace {

std::string notHaldMessage(std::int64_t width, std::int64_t height)
{
    return "This " + std::to_string(width) + " × " + std::to_string(height) +
           " image is not a HALD CLUT. HALD images are square with a side of level³ pixels, "
           "such as 512 × 512 (level 8) or 1728 × 1728 (level 12).";
}

std::int64_t side(int level)
{
    LUMIVERT_PRECONDITION(level >= HaldCLUT::minLevel && level <= HaldCLUT::maxLevel,
                          "HALD level must be between 2 and 16");
    return HaldCLUT::sideLength(level);
}

}  // namespace

HaldError::HaldError(std::int64_t width, std::int64_t height)
    : std::runtime_error(notHaldMessage(width, height)), width_(width), height_(height)
{
}

HaldError HaldError::notHald(std::int64_t width, std::int64_t height)
{
    return HaldError(width, height);
}

namespace HaldCLUT {

std::optional<int> level(std::int64_t width, std::int64_t height)
{
    if (width != height)
        return std::nullopt;
    for (int candidate = minLevel; candidate <= maxLevel; ++candidate) {
        if (side(candidate) == width)
            return candidate;
    }
    return std::nullopt;
}

int requiredLevel(std::int64_t width, std::int64_t height)
{
    const std::optional<int> found = level(width, height);
    if (!found)
        throw HaldError::notHald(width, height);
    return *found;
}

PixelBuffer identity(int level)
{
    const std::int64_t edge = side(level);
    std::vector<RGB> values = LUT3D::identity(static_cast<std::int64_t>(level) * level).values();
    return PixelBuffer(edge, edge, std::move(values));
}

PixelBuffer image(const LUT3D& lut, int level)
{
    const std::int64_t edge = side(level);
    std::vector<RGB> values = lut.onUnitDomain(static_cast<std::int64_t>(level) * level).values();
    return PixelBuffer(edge, edge, std::move(values));
}

LUT3D lut(const PixelBuffer& image)
{
    const int found = requiredLevel(image.width(), image.height());
    return LUT3D(static_cast<std::int64_t>(found) * found, image.pixels());
}

LUT3D lut(PixelBuffer&& image)
{
    const int found = requiredLevel(image.width(), image.height());
    return LUT3D(static_cast<std::int64_t>(found) * found, std::move(image).takePixels());
}

}  // namespace HaldCLUT

}  // namespace lumivert
