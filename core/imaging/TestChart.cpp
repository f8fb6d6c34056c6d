#include "imaging/TestChart.hpp"

#include "color/ColorMath.hpp"
#include "color/Precondition.hpp"

#include <algorithm>

namespace lumivert::TestChart {

namespace {

constexpr int patchColumns = 6;
constexpr int patchRows = 4;
constexpr float background = 0.24f;
constexpr float hueBandFraction = 0.43f;
constexpr float rampFraction = 0.08f;
constexpr std::int64_t narrowWidth = 480;
constexpr std::int64_t narrowSpacing = 4;

constexpr unsigned char patchBytes[24][3] = {
    {115, 82, 68},   {194, 150, 130}, {98, 122, 157}, {87, 108, 67},   {133, 128, 177},
    {103, 189, 170}, {214, 126, 44},  {80, 91, 166},  {193, 90, 99},   {94, 60, 108},
    {157, 188, 64},  {224, 163, 46},  {56, 61, 150},  {70, 148, 73},   {175, 54, 60},
    {231, 199, 31},  {187, 86, 149},  {8, 133, 161},  {243, 243, 242}, {200, 200, 200},
    {160, 160, 160}, {122, 122, 121}, {85, 85, 85},   {52, 52, 52},
};

struct Layout {
    std::int64_t margin, gap, content, hueEnd, rampStart, rampEnd, patchTop, spacing, patchWidth,
        patchHeight;
};

Layout layout(std::int64_t width, std::int64_t height)
{
    LUMIVERT_PRECONDITION(width > 0 && height > 0, "a test chart needs a positive size");
    Layout l{};
    l.margin = width / 30;
    l.gap = width / 60;
    l.content = width - 2 * l.margin;
    l.hueEnd = static_cast<std::int64_t>(hueBandFraction * static_cast<float>(height));
    l.rampStart = l.hueEnd + l.gap;
    l.rampEnd = l.rampStart + static_cast<std::int64_t>(rampFraction * static_cast<float>(height));
    l.patchTop = l.rampEnd + l.gap;
    l.spacing = width < narrowWidth ? narrowSpacing : width / 120;
    LUMIVERT_PRECONDITION(l.hueEnd >= l.margin && height - l.margin - l.patchTop >= 3 * l.spacing,
                          "test chart too small for its bands");
    l.patchWidth = (l.content - 5 * l.spacing) / patchColumns;
    l.patchHeight = (height - l.margin - l.patchTop - 3 * l.spacing) / patchRows;
    return l;
}

void paintHueBand(const PixelBuffer& chart, const Layout& l, std::span<RGB> pixels)
{
    const std::int64_t width = chart.width();
    const float span = static_cast<float>(std::max<std::int64_t>(l.hueEnd - l.margin - 1, 1));
    for (std::int64_t y = l.margin; y < l.hueEnd; ++y) {
        const float t = static_cast<float>(y - l.margin) / span;
        const float saturation = t < 0.5f ? 0.2f + 1.4f * t : 0.9f;
        const float value = t < 0.5f ? 1.0f : 1.0f - 1.3f * (t - 0.5f);
        for (std::int64_t x = l.margin; x < l.margin + l.content; ++x) {
            const float hue = static_cast<float>(x - l.margin) / static_cast<float>(l.content);
            pixels[static_cast<std::size_t>(y * width + x)] =
                ColorMath::hsv(hue, saturation, value);
        }
    }
}

void paintRamp(const PixelBuffer& chart, const Layout& l, std::span<RGB> pixels)
{
    const std::int64_t width = chart.width();
    const float last = static_cast<float>(std::max<std::int64_t>(l.content - 1, 1));
    for (std::int64_t y = l.rampStart; y < l.rampEnd; ++y) {
        for (std::int64_t x = l.margin; x < l.margin + l.content; ++x) {
            const float grey = static_cast<float>(x - l.margin) / last;
            pixels[static_cast<std::size_t>(y * width + x)] = {grey, grey, grey};
        }
    }
}

void paintPatches(const PixelBuffer& chart, const Layout& l, std::span<RGB> pixels)
{
    const std::int64_t width = chart.width();
    for (int i = 0; i < patchColumns * patchRows; ++i) {
        const std::int64_t left = l.margin + (l.patchWidth + l.spacing) * (i % patchColumns);
        const std::int64_t top = l.patchTop + (l.patchHeight + l.spacing) * (i / patchColumns);
        for (std::int64_t y = top; y < top + l.patchHeight; ++y) {
            for (std::int64_t x = left; x < left + l.patchWidth; ++x)
                pixels[static_cast<std::size_t>(y * width + x)] = patches()[i];
        }
    }
}

}  // namespace

const std::array<RGB, 24>& patches()
{
    static const std::array<RGB, 24> shared = [] {
        std::array<RGB, 24> colours{};
        for (std::size_t i = 0; i < colours.size(); ++i) {
            colours[i] = {static_cast<float>(patchBytes[i][0]) / 255.0f,
                          static_cast<float>(patchBytes[i][1]) / 255.0f,
                          static_cast<float>(patchBytes[i][2]) / 255.0f};
        }
        return colours;
    }();
    return shared;
}

PixelBuffer make(std::int64_t width, std::int64_t height)
{
    const Layout l = layout(width, height);
    PixelBuffer chart(width, height, RGB{background, background, background});
    std::span<RGB> pixels = chart.mutablePixels();
    paintHueBand(chart, l, pixels);
    paintRamp(chart, l, pixels);
    paintPatches(chart, l, pixels);
    return chart;
}

}  // namespace lumivert::TestChart
