#include "lut/LUTWriter.hpp"

#include "color/ColorMath.hpp"
#include "color/Precondition.hpp"
#include "imaging/ImageLoader.hpp"
#include "io/FileIO.hpp"
#include "lut/HaldCLUT.hpp"
#include "lut/TextEncoding.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>

namespace lumivert::LUTWriter {

namespace {

constexpr std::size_t kMaxTitleLength = 120;
constexpr std::string_view kUntitled = "Untitled";
constexpr char kFirstPrintable = ' ';
constexpr char kLastPrintable = '~';

constexpr double kCubeScale = 1'000'000.0;
constexpr std::int64_t kCubeFractionDigits = 6;
// "0.000000 0.000000 0.000000\n"
constexpr std::size_t kCubeEntryLength = 27;
constexpr std::size_t kHeaderReserve = 256;

constexpr float kShaperScale = 1023.0f;  // 10-bit input
constexpr int kOutputBits = 12;
constexpr float kOutputScale = 4095.0f;  // 12-bit output
// "4095 4095 4095\n" plus one spare, as the longest entry line.
constexpr std::size_t kThreeDLEntryLength = 16;
// "1023 " as the longest shaper value.
constexpr std::size_t kShaperValueLength = 5;

// 16 bits per channel, so a graded HALD keeps every table step an editor makes.
constexpr bool kHaldSixteenBit = true;

bool keepsInTitle(char c) { return c >= kFirstPrintable && c <= kLastPrintable && c != '"'; }

// Six-decimal fixed point from an exact integer rounding: the float widened to double times
// 10⁶ is exact (24 + 20 bits), so adding one half and truncating rounds halves away from zero.
char* writeCubeComponent(char* out, float value)
{
    const auto k =
        static_cast<std::int64_t>(static_cast<double>(clamp01(value)) * kCubeScale + 0.5);
    *out++ = static_cast<char>('0' + k / 1'000'000);
    *out++ = '.';
    std::int64_t fraction = k % 1'000'000;
    for (std::int64_t digit = kCubeFractionDigits - 1; digit >= 0; --digit) {
        out[digit] = static_cast<char>('0' + fraction % 10);
        fraction /= 10;
    }
    return out + kCubeFractionDigits;
}

// Decimal digits of a non-negative integer below 10⁹.
char* writeInteger(char* out, std::int64_t value)
{
    char digits[10];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value > 0);
    while (count > 0)
        *out++ = digits[--count];
    return out;
}

// round(x) with halves away from zero, for x ≥ 0: exact in double, as x has 24 bits.
std::int64_t roundNonNegative(float x)
{
    return static_cast<std::int64_t>(static_cast<double>(x) + 0.5);
}

std::int64_t twelveBit(float value) { return roundNonNegative(clamp01(value) * kOutputScale); }

// N 10-bit inputs spread evenly from 0 to 1023, and the line feed.
char* writeShaperLine(char* out, std::int64_t n)
{
    const float last = static_cast<float>(n - 1);
    for (std::int64_t i = 0; i < n; ++i) {
        if (i > 0)
            *out++ = ' ';
        out = writeInteger(out, roundNonNegative(static_cast<float>(i) * kShaperScale / last));
    }
    *out++ = '\n';
    return out;
}

// K with 2^K + 1 = n, or nothing.
std::optional<int> meshExponent(std::int64_t n)
{
    for (int exponent = 0; (std::int64_t{1} << exponent) + 1 <= n; ++exponent) {
        if ((std::int64_t{1} << exponent) + 1 == n)
            return exponent;
    }
    return std::nullopt;
}

// Readers refuse NaN and infinities, so a table holding one comes from a fault in the caller.
void requireFinite(const LUT3D& lut)
{
    const bool finite = std::all_of(lut.values().begin(), lut.values().end(), [](const RGB& v) {
        return std::isfinite(v.r) && std::isfinite(v.g) && std::isfinite(v.b);
    });
    LUMIVERT_PRECONDITION(finite, "a LUT to write has only finite entries");
}

}  // namespace

std::string commentLine()
{
    return "# Created with " + std::string(generator) +
           ". Input: sRGB-encoded (display-referred) RGB.\n";
}

std::string cleanedTitle(std::string_view title)
{
    std::string stripped = TextEncoding::withoutDiacritics(title);
    std::string kept;
    kept.reserve(stripped.size());
    for (char c : stripped) {
        if (keepsInTitle(c))
            kept.push_back(c);
    }
    const std::size_t first = kept.find_first_not_of(' ');
    if (first == std::string::npos)
        return std::string(kUntitled);
    const std::size_t last = kept.find_last_not_of(' ');
    return kept.substr(first, std::min(last + 1 - first, kMaxTitleLength));
}

std::string cube(const LUT3D& lut, std::string_view title)
{
    requireFinite(lut);
    const std::string header = "TITLE \"" + cleanedTitle(title) + "\"\n" + commentLine() +
                               "LUT_3D_SIZE " + std::to_string(lut.size()) +
                               "\nDOMAIN_MIN 0.0 0.0 0.0\nDOMAIN_MAX 1.0 1.0 1.0\n";
    const std::vector<RGB>& values = lut.values();
    std::string text;
    // Every entry line has the same length, so the text is sized once and filled in place.
    text.resize(header.size() + values.size() * kCubeEntryLength);
    char* out = std::copy(header.begin(), header.end(), text.data());
    for (const RGB& entry : values) {
        out = writeCubeComponent(out, entry.r);
        *out++ = ' ';
        out = writeCubeComponent(out, entry.g);
        *out++ = ' ';
        out = writeCubeComponent(out, entry.b);
        *out++ = '\n';
    }
    return text;
}

std::string threeDL(const LUT3D& lut, ThreeDLFlavour flavour)
{
    requireFinite(lut);
    const std::int64_t n = lut.size();
    const bool lustre = flavour == ThreeDLFlavour::lustre;
    LUMIVERT_PRECONDITION(canWrite(flavour, n), "a Lustre .3dl table has 2^K + 1 points");
    const std::string header = lustre ? "3DMESH\nMesh " + std::to_string(*meshExponent(n)) + " " +
                                            std::to_string(kOutputBits) + "\n" + commentLine()
                                      : commentLine();
    std::string text;
    text.resize(kHeaderReserve + static_cast<std::size_t>(n) * kShaperValueLength +
                lut.values().size() * kThreeDLEntryLength);
    char* out = std::copy(header.begin(), header.end(), text.data());
    // The Mesh line gives Lustre its inputs, so it has no shaper line.
    if (!lustre)
        out = writeShaperLine(out, n);
    // Blue varies fastest in .3dl, the reverse of the table's own order.
    for (std::int64_t r = 0; r < n; ++r) {
        for (std::int64_t g = 0; g < n; ++g) {
            for (std::int64_t b = 0; b < n; ++b) {
                const RGB& entry = lut(r, g, b);
                out = writeInteger(out, twelveBit(entry.r));
                *out++ = ' ';
                out = writeInteger(out, twelveBit(entry.g));
                *out++ = ' ';
                out = writeInteger(out, twelveBit(entry.b));
                *out++ = '\n';
            }
        }
    }
    text.resize(static_cast<std::size_t>(out - text.data()));
    return text;
}

bool canWrite(ThreeDLFlavour flavour, std::int64_t size)
{
    return flavour == ThreeDLFlavour::plain || meshExponent(size).has_value();
}

bool canWrite(LUTFormat format, std::int64_t size, const Options& options)
{
    return format != LUTFormat::threeDL || canWrite(options.threeDLFlavour, size);
}

std::int64_t writtenSize(std::int64_t size, LUTFormat format, const Options& options)
{
    if (format != LUTFormat::hald)
        return size;
    return static_cast<std::int64_t>(options.haldLevel) * options.haldLevel;
}

void write(const LUT3D& lut, LUTFormat format, std::string_view title,
           const std::filesystem::path& destination, const Options& options)
{
    format.writer()(lut, title, destination, options);
}

void writeCube(const LUT3D& lut, std::string_view title, const std::filesystem::path& destination)
{
    FileIO::writeAtomically(destination, cube(lut, title));
}

void writeThreeDL(const LUT3D& lut, const std::filesystem::path& destination,
                  ThreeDLFlavour flavour)
{
    FileIO::writeAtomically(destination, threeDL(lut, flavour));
}

void writeHald(const LUT3D& lut, const std::filesystem::path& destination, int level)
{
    requireFinite(lut);
    ImageLoader::writePNG(HaldCLUT::image(lut, level), destination, kHaldSixteenBit);
}

}  // namespace lumivert::LUTWriter
