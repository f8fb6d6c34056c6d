#include "imaging/HeatMap.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <string_view>

namespace lumivert::HeatMap {

namespace {

// Viridis at nine even steps (van der Walt and Smith, matplotlib's default colour map):
// lightness rises evenly, and it reads in grey and to colour-blind eyes.
constexpr std::array<std::array<int, 3>, 9> viridis = {{{0x44, 0x01, 0x54},
                                                        {0x47, 0x2c, 0x7a},
                                                        {0x3b, 0x51, 0x8b},
                                                        {0x2c, 0x71, 0x8e},
                                                        {0x21, 0x90, 0x8d},
                                                        {0x27, 0xad, 0x81},
                                                        {0x5c, 0xc8, 0x63},
                                                        {0xaa, 0xdc, 0x32},
                                                        {0xfd, 0xe7, 0x25}}};
constexpr float levels = 255.0f;

// The legend, in units that grow with the picture's width so it stays legible on large ones.
constexpr std::int64_t unitWidth = 300;  // picture width per unit
constexpr std::int64_t sideMargin = 8;   // margin left and right of the scale bar
constexpr std::int64_t topPad = 4;
constexpr std::int64_t barHeight = 8;
constexpr std::int64_t minorTick = 2;
constexpr std::int64_t majorTick = 4;
constexpr std::int64_t gap = 2;
constexpr std::int64_t glyphWidth = 3;
constexpr std::int64_t glyphHeight = 5;
constexpr std::int64_t bottomPad = 3;
constexpr std::int64_t unitsHigh = topPad + barHeight + majorTick + gap + glyphHeight + bottomPad;
constexpr int labelStep = 2;  // every second tick carries its number
const RGB background{0.1f, 0.1f, 0.1f};
const RGB ink{0.85f, 0.85f, 0.85f};

// Digits and "+" three pixels wide and five high, each row's bits left to right.
constexpr std::string_view glyphs = "0123456789+";
constexpr std::array<std::array<std::uint8_t, 5>, 11> glyphRows = {{
    {0b111, 0b101, 0b101, 0b101, 0b111},
    {0b010, 0b110, 0b010, 0b010, 0b111},
    {0b111, 0b001, 0b111, 0b100, 0b111},
    {0b111, 0b001, 0b111, 0b001, 0b111},
    {0b101, 0b101, 0b111, 0b001, 0b001},
    {0b111, 0b100, 0b111, 0b001, 0b111},
    {0b111, 0b100, 0b111, 0b101, 0b111},
    {0b111, 0b001, 0b001, 0b001, 0b001},
    {0b111, 0b101, 0b111, 0b101, 0b111},
    {0b111, 0b101, 0b111, 0b001, 0b111},
    {0b000, 0b010, 0b111, 0b010, 0b000},
}};

std::int64_t unitFor(std::int64_t width) { return std::max<std::int64_t>(1, width / unitWidth); }

// Drawing clipped to the buffer, so that a narrow picture's legend never writes outside it.
void fill(PixelBuffer& canvas, std::int64_t left, std::int64_t top, std::int64_t width,
          std::int64_t height, const RGB& colour)
{
    const std::int64_t x0 = std::max<std::int64_t>(left, 0);
    const std::int64_t x1 = std::min(left + width, canvas.width());
    const std::int64_t y0 = std::max<std::int64_t>(top, 0);
    const std::int64_t y1 = std::min(top + height, canvas.height());
    for (std::int64_t y = y0; y < y1; ++y)
        for (std::int64_t x = x0; x < x1; ++x)
            canvas.set(x, y, colour);
}

void drawText(PixelBuffer& canvas, std::string_view text, std::int64_t centreX, std::int64_t top,
              std::int64_t unit)
{
    const auto length = static_cast<std::int64_t>(text.size());
    std::int64_t left = centreX - (length * (glyphWidth + 1) - 1) * unit / 2;
    for (const char character : text) {
        const auto& rows = glyphRows[glyphs.find(character)];
        for (std::int64_t row = 0; row < glyphHeight; ++row)
            for (std::int64_t column = 0; column < glyphWidth; ++column)
                if (rows[static_cast<std::size_t>(row)] >> (glyphWidth - 1 - column) & 1)
                    fill(canvas, left + column * unit, top + row * unit, unit, unit, ink);
        left += (glyphWidth + 1) * unit;
    }
}

void drawLegend(PixelBuffer& canvas, std::int64_t top)
{
    const std::int64_t width = canvas.width();
    const std::int64_t unit = unitFor(width);
    fill(canvas, 0, top, width, legendHeight(width), background);
    const std::int64_t side = std::min(sideMargin * unit, width / 4);
    const std::int64_t barWidth = std::max<std::int64_t>(1, width - 2 * side);
    const std::int64_t barTop = top + topPad * unit;
    for (std::int64_t x = 0; x < barWidth; ++x) {
        const double deltaE =
            (static_cast<double>(x) + 0.5) / static_cast<double>(barWidth) * scaleTop;
        fill(canvas, side + x, barTop, 1, barHeight * unit, colour(deltaE));
    }
    const std::int64_t tickTop = barTop + barHeight * unit;
    const auto ticks = static_cast<int>(scaleTop);
    for (int tick = 0; tick <= ticks; ++tick) {
        const std::int64_t x = side + (barWidth - unit) * tick / ticks;
        const bool labelled = tick % labelStep == 0;
        fill(canvas, x, tickTop, unit, (labelled ? majorTick : minorTick) * unit, ink);
        if (labelled) {
            const std::string label = std::to_string(tick) + (tick == ticks ? "+" : "");
            drawText(canvas, label, x + unit / 2, tickTop + (majorTick + gap) * unit, unit);
        }
    }
}

}  // namespace

RGB colour(double deltaE)
{
    const double position = std::isnan(deltaE) ? 0.0 : std::clamp(deltaE / scaleTop, 0.0, 1.0);
    const double scaled = position * static_cast<double>(viridis.size() - 1);
    const auto lower = std::min(static_cast<std::size_t>(scaled), viridis.size() - 2);
    const auto t = static_cast<float>(scaled - static_cast<double>(lower));
    const auto stop = [](const std::array<int, 3>& c) {
        return RGB{static_cast<float>(c[0]) / levels, static_cast<float>(c[1]) / levels,
                   static_cast<float>(c[2]) / levels};
    };
    return lerp(stop(viridis[lower]), stop(viridis[lower + 1]), t);
}

PixelBuffer picture(const ImageDifferenceResult& difference)
{
    std::vector<RGB> pixels(difference.deltaE.size());
    const auto count = static_cast<std::int64_t>(pixels.size());
#pragma omp parallel for schedule(static)
    for (std::int64_t i = 0; i < count; ++i)
        pixels[static_cast<std::size_t>(i)] =
            colour(difference.deltaE[static_cast<std::size_t>(i)]);
    return {difference.width, difference.height, std::move(pixels)};
}

std::int64_t legendHeight(std::int64_t width) { return unitsHigh * unitFor(width); }

PixelBuffer pictureWithLegend(const ImageDifferenceResult& difference)
{
    const PixelBuffer map = picture(difference);
    std::vector<RGB> pixels = map.pixels();
    pixels.resize(static_cast<std::size_t>(difference.width *
                                           (difference.height + legendHeight(difference.width))));
    PixelBuffer canvas(difference.width, difference.height + legendHeight(difference.width),
                       std::move(pixels));
    drawLegend(canvas, difference.height);
    return canvas;
}

}  // namespace lumivert::HeatMap
