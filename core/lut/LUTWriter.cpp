#include "lut/LUTWriter.hpp"

#include "color/ColorMath.hpp"
#include "color/Precondition.hpp"
#include "imaging/ImageLoader.hpp"
#include "io/FileIO.hpp"
#include "io/SystemCalls.hpp"
#include "lut/HaldCLUT.hpp"
#include "lut/ICCProfile.hpp"
#include "lut/TextEncoding.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>

namespace lumivert::LUTWriter {

namespace {

constexpr std::size_t maxTitleLength = 120;
constexpr std::string_view untitled = "Untitled";
constexpr char firstPrintable = ' ';
constexpr char lastPrintable = '~';

constexpr double cubeScale = 1'000'000.0;
constexpr std::int64_t cubeFractionDigits = 6;
// "0.000000 0.000000 0.000000\n"
constexpr std::size_t cubeEntryLength = 27;
constexpr std::size_t headerReserve = 256;
// 64 Ki lines, 1.7 MB of text, per write.
constexpr std::size_t cubeBlockEntries = std::size_t{1} << 16;

constexpr float shaperScale = 1023.0f;  // 10-bit input
constexpr int outputBits = 12;
constexpr float outputScale = 4095.0f;  // 12-bit output
// "4095 4095 4095\n" plus one spare, as the longest entry line.
constexpr std::size_t threeDLEntryLength = 16;
// "1023 " as the longest shaper value.
constexpr std::size_t shaperValueLength = 5;

// 16 bits per channel, so a graded HALD keeps every table step an editor makes.
constexpr bool haldSixteenBit = true;

bool keepsInTitle(char c) { return c >= firstPrintable && c <= lastPrintable && c != '"'; }

// Six-decimal fixed point from an exact integer rounding: the float widened to double times
// 10⁶ is exact (24 + 20 bits), so adding one half and truncating rounds halves away from zero.
char* writeCubeComponent(char* out, float value)
{
    const auto k = static_cast<std::int64_t>(static_cast<double>(clamp01(value)) * cubeScale + 0.5);
    *out++ = static_cast<char>('0' + k / 1'000'000);
    *out++ = '.';
    std::int64_t fraction = k % 1'000'000;
    for (std::int64_t digit = cubeFractionDigits - 1; digit >= 0; --digit) {
        out[digit] = static_cast<char>('0' + fraction % 10);
        fraction /= 10;
    }
    return out + cubeFractionDigits;
}

// Values beyond this many millionths no longer fit the integer rounding below; such floats are
// whole numbers anyway.
constexpr double largestRoundedMillionths = 9.0e15;

// The same six-decimal rounding for any finite value, with a sign and as many whole digits as
// it needs: HDR and scene-referred tables reach beyond 0 … 1.
void appendCubeComponent(std::string& text, float value)
{
    const double magnitude = std::fabs(static_cast<double>(value));
    const double millionths = magnitude * cubeScale;
    char buffer[64];
    if (millionths >= largestRoundedMillionths) {
        const int length = std::snprintf(buffer, sizeof buffer, "%.6f", static_cast<double>(value));
        text.append(buffer, static_cast<std::size_t>(length));
        return;
    }
    const auto k = static_cast<std::int64_t>(millionths + 0.5);
    // −0.0000001 rounds to zero, which has no sign.
    const int length =
        std::snprintf(buffer, sizeof buffer, "%s%lld.%06lld", value < 0.0f && k != 0 ? "-" : "",
                      static_cast<long long>(k / 1'000'000), static_cast<long long>(k % 1'000'000));
    text.append(buffer, static_cast<std::size_t>(length));
}

// A domain bound as its shortest exact decimal, with ".0" for whole numbers: "0.0", "4.0", "-0.5".
std::string domainNumber(float value)
{
    char buffer[32];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string number(buffer, end);
    if (number.find_first_of(".e") == std::string::npos)
        number += ".0";
    return number;
}

std::string domainLines(const LUTDomain& domain)
{
    const auto triple = [](const RGB& v) {
        return domainNumber(v.r) + " " + domainNumber(v.g) + " " + domainNumber(v.b);
    };
    return "DOMAIN_MIN " + triple(domain.min) + "\nDOMAIN_MAX " + triple(domain.max) + "\n";
}

std::string inputRangeLine(std::string_view keyword, const LUTDomain& domain)
{
    return std::string(keyword) + " " + domainNumber(domain.min.r) + " " +
           domainNumber(domain.max.r) + "\n";
}

void appendEntries(std::string& text, std::span<const RGB> values)
{
    for (const RGB& entry : values) {
        appendCubeComponent(text, entry.r);
        text += ' ';
        appendCubeComponent(text, entry.g);
        text += ' ';
        appendCubeComponent(text, entry.b);
        text += '\n';
    }
}

bool finite(const RGB& v) { return std::isfinite(v.r) && std::isfinite(v.g) && std::isfinite(v.b); }

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

std::int64_t twelveBit(float value) { return roundNonNegative(clamp01(value) * outputScale); }

// N 10-bit inputs spread evenly from 0 to 1023, and the line feed.
char* writeShaperLine(char* out, std::int64_t n)
{
    const float last = static_cast<float>(n - 1);
    for (std::int64_t i = 0; i < n; ++i) {
        if (i > 0)
            *out++ = ' ';
        out = writeInteger(out, roundNonNegative(static_cast<float>(i) * shaperScale / last));
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
void requireFinite(const std::vector<RGB>& values)
{
    LUMIVERT_PRECONDITION(std::all_of(values.begin(), values.end(), finite),
                          "a LUT to write has only finite entries");
}

std::string noteLines(std::span<const std::string> notes)
{
    std::string lines;
    for (const std::string& note : notes)
        lines += "# " + note + "\n";
    return lines;
}

std::string cubeHeader(std::string_view title, std::span<const std::string> notes)
{
    return "TITLE \"" + cleanedTitle(title) + "\"\n" + commentLine(notes) + noteLines(notes);
}

// One block of entry lines: every line of a table within 0 … 1 has the same length, so the
// block is sized once and filled in place.
void formatCubeEntries(std::string& block, std::span<const RGB> entries, bool withinUnitRange)
{
    block.clear();
    if (!withinUnitRange) {
        appendEntries(block, entries);
        return;
    }
    block.resize(entries.size() * cubeEntryLength);
    char* out = block.data();
    for (const RGB& entry : entries) {
        out = writeCubeComponent(out, entry.r);
        *out++ = ' ';
        out = writeCubeComponent(out, entry.g);
        *out++ = ' ';
        out = writeCubeComponent(out, entry.b);
        *out++ = '\n';
    }
}

bool withinUnitRange(std::span<const RGB> entries)
{
    return std::all_of(entries.begin(), entries.end(), [](const RGB& v) {
        return v.r >= 0.0f && v.r <= 1.0f && v.g >= 0.0f && v.g <= 1.0f && v.b >= 0.0f &&
               v.b <= 1.0f;
    });
}

// The .cube text of a size³ table, handed to `emit` in pieces (the header, then blocks of whole
// rows whose entries `fill` makes), so that writing a level-16 HALD's 16.7 million lines holds
// neither all 450 MB of them nor, when `fill` bakes as it goes, the table. Lines within 0 … 1
// read the same from either formatting, so each block picks its own. Stops and returns false as
// soon as `emit` does.
template <typename Emit>
bool emitCube(std::int64_t size, const LUTDomain& domain, std::string_view title,
              std::span<const std::string> notes, const EntryBlock& fill, Emit emit)
{
    if (!emit(cubeHeader(title, notes) + "LUT_3D_SIZE " + std::to_string(size) + "\n" +
              domainLines(domain)))
        return false;
    const std::int64_t total = size * size * size;
    const std::int64_t blockEntries =
        std::max<std::int64_t>(1, static_cast<std::int64_t>(cubeBlockEntries) / size) * size;
    std::vector<RGB> entries;
    std::string block;
    for (std::int64_t first = 0; first < total; first += blockEntries) {
        entries.resize(static_cast<std::size_t>(std::min(blockEntries, total - first)));
        fill(first, entries);
        requireFinite(entries);
        formatCubeEntries(block, entries, withinUnitRange(entries));
        if (!emit(std::string_view(block)))
            return false;
    }
    return true;
}

// The blocks of a table held whole.
EntryBlock entriesOf(const LUT3D& lut)
{
    return [&lut](std::int64_t first, std::span<RGB> entries) {
        const auto from = lut.values().begin() + first;
        std::copy(from, from + std::ssize(entries), entries.begin());
    };
}

}  // namespace

std::string commentLine(std::span<const std::string> notes)
{
    const bool namesInput = std::ranges::any_of(
        notes, [](const std::string& note) { return note.starts_with(inputNote); });
    return "# Created with " + std::string(generator) +
           (namesInput ? ".\n" : ". Input: sRGB-encoded (display-referred) RGB.\n");
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
        return std::string(untitled);
    const std::size_t last = kept.find_last_not_of(' ');
    return kept.substr(first, std::min(last + 1 - first, maxTitleLength));
}

std::string cube(const LUT3D& lut, std::string_view title, std::span<const std::string> notes)
{
    requireFinite(lut.values());
    std::string text;
    text.reserve(headerReserve + lut.values().size() * cubeEntryLength);
    emitCube(lut.size(), lut.domain(), title, notes, entriesOf(lut),
             [&text](std::string_view piece) {
                 text += piece;
                 return true;
             });
    return text;
}

bool streamCube(std::int64_t size, const EntryBlock& fill, std::string_view title, int fd,
                std::span<const std::string> notes)
{
    return emitCube(size, LUTDomain{}, title, notes, fill, [fd](std::string_view piece) {
        return SystemCalls::current().writeFully(fd, piece);
    });
}

std::string cube(const LUTStack& stack, std::string_view title, std::span<const std::string> notes)
{
    if (!stack.hasCurves())
        return cube(stack.table(), title, notes);
    // The file holds curves and a table, not a blend with the input.
    LUMIVERT_PRECONDITION(stack.strength() == 1.0f, "a LUT with a strength is baked to be written");
    const LUT1D& curves = stack.curves();
    requireFinite(curves.values());
    const std::string size1D = "LUT_1D_SIZE " + std::to_string(curves.size()) + "\n";
    if (!stack.hasTable()) {
        std::string text = cubeHeader(title, notes) + size1D + domainLines(curves.domain());
        appendEntries(text, curves.values());
        return text;
    }
    // OpenColorIO's reader of the shaper layout refuses a TITLE line, so the title is a comment.
    std::string text =
        "# " + cleanedTitle(title) + "\n" + commentLine(notes) + noteLines(notes) + size1D;
    const LUT3D& table = stack.table();
    requireFinite(table.values());
    // The shaper layout of grading applications gives each table its own range, the same for
    // all channels; a per-channel domain goes into DOMAIN lines, which the reader gives to
    // every table without a range of its own, so only one such domain can be written.
    const bool curvesUniform = curves.domain().isUniform();
    const bool tableUniform = table.domain().isUniform();
    LUMIVERT_PRECONDITION(curvesUniform || tableUniform || curves.domain() == table.domain(),
                          "a shaper and table with per-channel domains share one");
    if (curvesUniform)
        text += inputRangeLine("LUT_1D_INPUT_RANGE", curves.domain());
    text += "LUT_3D_SIZE " + std::to_string(table.size()) + "\n";
    if (tableUniform)
        text += inputRangeLine("LUT_3D_INPUT_RANGE", table.domain());
    if (!curvesUniform || !tableUniform)
        text += domainLines(curvesUniform ? table.domain() : curves.domain());
    appendEntries(text, curves.values());
    appendEntries(text, table.values());
    return text;
}

std::string threeDL(const LUT3D& source, ThreeDLFlavour flavour, std::span<const std::string> notes)
{
    // The format has no domain: its lattice always spans inputs 0 … 1.
    std::optional<LUT3D> remapped;
    if (!source.domain().isUnit())
        remapped = source.onUnitDomain(source.size());
    const LUT3D& lut = remapped ? *remapped : source;
    requireFinite(lut.values());
    const std::int64_t n = lut.size();
    const bool lustre = flavour == ThreeDLFlavour::lustre;
    LUMIVERT_PRECONDITION(canWrite(flavour, n), "a Lustre .3dl table has 2^K + 1 points");
    const std::string header = lustre ? "3DMESH\nMesh " + std::to_string(*meshExponent(n)) + " " +
                                            std::to_string(outputBits) + "\n" + commentLine(notes) +
                                            noteLines(notes)
                                      : commentLine(notes) + noteLines(notes);
    std::string text;
    text.resize(headerReserve + static_cast<std::size_t>(n) * shaperValueLength +
                lut.values().size() * threeDLEntryLength);
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

std::string hald(const LUT3D& lut, const std::filesystem::path& destination, int level)
{
    requireFinite(lut.values());
    return ImageLoader::encodePNG(HaldCLUT::image(lut, level), haldSixteenBit, destination);
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
    if (format == LUTFormat::icc)
        return ICCProfile::writtenSize(size);
    if (format != LUTFormat::hald)
        return size;
    return static_cast<std::int64_t>(options.haldLevel) * options.haldLevel;
}

Clamping clamping(const LUT3D& lut)
{
    Clamping result;
    result.total = static_cast<std::int64_t>(lut.values().size());
    bool first = true;
    for (const RGB& entry : lut.values()) {
        const float lo = std::min({entry.r, entry.g, entry.b});
        const float hi = std::max({entry.r, entry.g, entry.b});
        if (lo >= 0.0f && hi <= 1.0f)
            continue;
        result.lowest = first ? lo : std::min(result.lowest, lo);
        result.highest = first ? hi : std::max(result.highest, hi);
        first = false;
        ++result.entries;
    }
    return result;
}

void write(const LUT3D& lut, LUTFormat format, std::string_view title,
           const std::filesystem::path& destination, const Options& options)
{
    format.writer()(lut, title, destination, options);
}

void writeCube(const LUT3D& lut, std::string_view title, const std::filesystem::path& destination,
               std::span<const std::string> notes)
{
    requireFinite(lut.values());
    FileIO::writeAtomically(destination, [&](int fd) {
        return emitCube(
            lut.size(), lut.domain(), title, notes, entriesOf(lut),
            [fd](std::string_view piece) { return SystemCalls::current().writeFully(fd, piece); });
    });
}

void writeCube(const LUTStack& stack, std::string_view title,
               const std::filesystem::path& destination, std::span<const std::string> notes)
{
    FileIO::writeAtomically(destination, cube(stack, title, notes));
}

void writeThreeDL(const LUT3D& lut, const std::filesystem::path& destination,
                  ThreeDLFlavour flavour, std::span<const std::string> notes)
{
    FileIO::writeAtomically(destination, threeDL(lut, flavour, notes));
}

void writeHald(const LUT3D& lut, const std::filesystem::path& destination, int level)
{
    requireFinite(lut.values());
    ImageLoader::writePNG(HaldCLUT::image(lut, level), destination, haldSixteenBit);
}

}  // namespace lumivert::LUTWriter
