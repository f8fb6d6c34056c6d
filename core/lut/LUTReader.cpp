#include "lut/LUTReader.hpp"

#include "color/ocio/OCIOFile.hpp"
#include "imaging/ImageLoader.hpp"
#include "io/FileIO.hpp"
#include "lut/ASCCDL.hpp"
#include "lut/HaldCLUT.hpp"
#include "lut/LUTFormat.hpp"
#include "lut/LUTWriter.hpp"
#include "lut/TextEncoding.hpp"

#include <algorithm>
#include <array>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

namespace lumivert {

namespace {

constexpr std::size_t quotedCharacters = 40;
// The shortest possible entry line, "0 0 0" and a line break: bounds what a text can hold.
constexpr std::size_t shortestEntryLine = 6;
// Above this, N³ overflows 64 bits, so no text can hold that many entries.
constexpr std::int64_t largestCubableSize = 2'097'151;

// The largest single-precision number, as an out-of-range entry's message states it.
constexpr const char* largestEntryText = "3.4e38";
// A row of red, green and blue.
constexpr std::size_t tripleCount = 3;

constexpr std::int64_t largestTenBit = 1023;
constexpr std::int64_t largestTwelveBit = 4095;

constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";
constexpr std::size_t titleKeywordLength = 5;  // "TITLE"

// Fields beyond this many are counted but not kept: no keyword needs more.
constexpr std::size_t keptFields = 4;

// The longest entry line a writer plausibly uses: three 17-character numbers, two spaces and a
// CRLF. Six-decimal files take 27 bytes a line, so a 256-point table of these lines (0.94 GB)
// leaves room for comments; a larger file is refused before a byte of it is read.
constexpr std::uintmax_t longestPlausibleLine = 56;
constexpr auto maxLUTSize = static_cast<std::uintmax_t>(LUTFormat::maxSize);
constexpr std::uintmax_t largestLUTText =
    longestPlausibleLine * maxLUTSize * maxLUTSize * maxLUTSize;

constexpr std::string_view unreadablePrefix = "The LUT file could not be read: ";

// Worded like OpenColorIO's parse errors: where, then what.
std::string errorMessage(const std::string& reason,
                         const std::optional<std::filesystem::path>& file,
                         std::optional<std::int64_t> line)
{
    const std::string lineText = line ? "line " + std::to_string(*line) : std::string();
    if (!file)
        return std::string(unreadablePrefix) + (line ? lineText + ": " : "") + reason + ".";
    const std::filesystem::path name = file->has_filename() ? file->filename() : *file;
    return name.string() + (line ? ", " + lineText : "") + ": " + reason + ".";
}

// For what only the end of the text reveals, where no single line is at fault.
[[noreturn]] void fail(std::string reason) { throw LUTFormatError::malformed(std::move(reason)); }

std::string unexpectedLine(std::string_view line)
{
    return "unexpected line \u201C" +
           TextEncoding::repairedUTF8(TextEncoding::prefixOfCodePoints(line, quotedCharacters)) +
           "\u201D";
}

inline unsigned char byteAt(std::string_view text, std::size_t i)
{
    return static_cast<unsigned char>(text[i]);
}

// Bytes of the line break at position i: LF, VT, FF, CR, CRLF (one break, so lines are numbered
// as in the same text with LF), NEL (C2 85), LS (E2 80 A8), PS (E2 80 A9); else 0.
inline std::size_t lineBreakLength(std::string_view text, std::size_t i)
{
    switch (byteAt(text, i)) {
    case '\n':
    case '\v':
    case '\f': return 1;
    case '\r': return i + 1 < text.size() && text[i + 1] == '\n' ? 2 : 1;
    case 0xC2: return i + 1 < text.size() && byteAt(text, i + 1) == 0x85 ? 2 : 0;
    case 0xE2:
        return i + 2 < text.size() && byteAt(text, i + 1) == 0x80 &&
                       (byteAt(text, i + 2) == 0xA8 || byteAt(text, i + 2) == 0xA9)
                   ? 3
                   : 0;
    default: return 0;
    }
}

// Bytes of a tab or space separator (Unicode category Zs) encoded as the three bytes a, b, c.
inline bool isWideSpace(unsigned char a, unsigned char b, unsigned char c)
{
    if (a == 0xE1)
        return b == 0x9A && c == 0x80;  // U+1680
    if (a == 0xE2 && b == 0x80)
        return (c >= 0x80 && c <= 0x8A) || c == 0xAF;  // U+2000 … U+200A, U+202F
    if (a == 0xE2 && b == 0x81)
        return c == 0x9F;                        // U+205F
    return a == 0xE3 && b == 0x80 && c == 0x80;  // U+3000
}

// Bytes of the whitespace character at the start of the text, or 0.
std::size_t leadingSpace(std::string_view s)
{
    if (s.empty())
        return 0;
    const unsigned char a = byteAt(s, 0);
    if (a == ' ' || a == '\t')
        return 1;
    if (a == 0xC2)
        return s.size() >= 2 && byteAt(s, 1) == 0xA0 ? 2 : 0;
    return s.size() >= 3 && isWideSpace(a, byteAt(s, 1), byteAt(s, 2)) ? 3 : 0;
}

// Bytes of the whitespace character at the end of the text, or 0.
std::size_t trailingSpace(std::string_view s)
{
    const std::size_t n = s.size();
    if (n == 0)
        return 0;
    const unsigned char last = byteAt(s, n - 1);
    if (last == ' ' || last == '\t')
        return 1;
    if (n >= 2 && byteAt(s, n - 2) == 0xC2 && last == 0xA0)
        return 2;
    return n >= 3 && isWideSpace(byteAt(s, n - 3), byteAt(s, n - 2), last) ? 3 : 0;
}

std::string_view trimmed(std::string_view s)
{
    while (const std::size_t k = leadingSpace(s))
        s.remove_prefix(k);
    while (const std::size_t k = trailingSpace(s))
        s.remove_suffix(k);
    return s;
}

// Comments kept for `info`: enough for a colourist's notes, never a whole file of them.
constexpr std::size_t keptComments = 32;
constexpr std::size_t keptCommentCharacters = 200;

// Calls onLine with every trimmed line that is neither empty nor a "#" comment, and its number
// counted from 1 over all lines, blank and comment lines included; keeps the first comments,
// without their "#", in `comments`.
template <typename OnLine>
void forEachLine(std::string_view text, std::vector<std::string>& comments, OnLine&& onLine)
{
    // Windows tools start UTF-8 text with a byte-order mark; it is not part of the first line.
    if (text.starts_with(byteOrderMark))
        text.remove_prefix(byteOrderMark.size());
    std::size_t start = 0;
    std::size_t i = 0;
    std::int64_t number = 1;
    while (i <= text.size()) {
        const std::size_t breakLength = i < text.size() ? lineBreakLength(text, i) : 1;
        if (breakLength == 0) {
            ++i;
            continue;
        }
        const std::string_view line = trimmed(text.substr(start, i - start));
        if (!line.empty() && line.front() != '#')
            onLine(line, number);
        else if (!line.empty() && comments.size() < keptComments)
            comments.push_back(TextEncoding::repairedUTF8(
                TextEncoding::prefixOfCodePoints(trimmed(line.substr(1)), keptCommentCharacters)));
        ++number;
        i += breakLength;
        start = i;
    }
}

inline bool isSeparator(char c) { return c == ' ' || c == '\t'; }

// Calls onField with every field of the line, in order.
template <typename OnField> void forEachField(std::string_view line, OnField&& onField)
{
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && isSeparator(line[i]))
            ++i;
        const std::size_t start = i;
        while (i < line.size() && !isSeparator(line[i]))
            ++i;
        if (i > start)
            onField(line.substr(start, i - start));
    }
}

// The runs between spaces and tabs: the first keptFields kept, all of them counted.
struct Fields {
    std::array<std::string_view, keptFields> kept{};
    std::size_t count = 0;

    explicit Fields(std::string_view line)
    {
        forEachField(line, [this](std::string_view field) {
            if (count < keptFields)
                kept[count] = field;
            ++count;
        });
    }
};

inline bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A whole field as a decimal integer: optional sign, then digits only, within 64 bits.
bool parseInteger(std::string_view field, std::int64_t& value)
{
    std::size_t digitsStart = 0;
    if (!field.empty() && (field[0] == '+' || field[0] == '-'))
        digitsStart = 1;
    if (digitsStart == field.size() ||
        !std::all_of(field.begin() + static_cast<std::ptrdiff_t>(digitsStart), field.end(),
                     isDigit))
        return false;
    // from_chars takes a minus sign but not a plus sign.
    const char* first = field.data() + (field[0] == '+' ? 1 : 0);
    const char* last = field.data() + field.size();
    const auto [end, error] = std::from_chars(first, last, value);
    return error == std::errc() && end == last;
}

// A number beyond single precision: read wider, then to ±infinity or a tiny float as the
// standard conversion would give, so the caller can call a huge entry out of range.
bool parseOutOfRange(const char* first, const char* last, float& value)
{
    long double wide = 0.0L;
    const auto [end, error] = std::from_chars(first, last, wide);
    if (error != std::errc() || end != last)
        return false;
    value = std::fabs(wide) > FLT_MAX
                ? std::copysign(std::numeric_limits<float>::infinity(), static_cast<float>(wide))
                : static_cast<float>(wide);
    return true;
}

// A whole field as a single-precision number: 1, 0.5, 1e-3, -0.25, +2 (not 0.5x, not empty).
bool parseNumber(std::string_view field, float& value)
{
    const char* first = field.data();
    const char* last = first + field.size();
    if (first != last && *first == '+') {
        ++first;
        if (first != last && *first == '-')
            return false;
    }
    const auto [end, error] = std::from_chars(first, last, value);
    if (error == std::errc::result_out_of_range && end == last)
        return parseOutOfRange(first, last, value);
    return error == std::errc() && end == last && first != last;
}

// "nan", "inf" or "infinity" in any case: words, where a digit string would be a huge number.
bool namesNonNumber(std::string_view field)
{
    return field.find_first_of("nNiI") != std::string_view::npos;
}

std::string_view trimmedOfQuotes(std::string_view s)
{
    const std::size_t first = s.find_first_not_of('"');
    if (first == std::string_view::npos)
        return {};
    return s.substr(first, s.find_last_not_of('"') + 1 - first);
}

// Room for N³ entries, but never more than the rest of the text could hold.
std::size_t entryReserve(std::int64_t size, std::size_t textLength)
{
    const std::size_t most = textLength / shortestEntryLine + 1;
    if (size > largestCubableSize)
        return most;
    return std::min(static_cast<std::size_t>(size * size * size), most);
}

// What both parsers share: the number of the line being read, for errors that point at it.
class LineParser {
protected:
    [[noreturn]] void failOnLine(std::string reason) const
    {
        throw LUTFormatError::malformed(std::move(reason), lineNumber_);
    }

    std::int64_t lineNumber_ = 0;
};

// Where a .cube file sets a table's domain: DOMAIN_MIN/MAX for every table in the file, an
// INPUT_RANGE line for its own table only (and before or after DOMAIN lines, it wins).
struct DomainLines {
    std::optional<RGB> min;
    std::optional<RGB> max;
    std::optional<std::array<float, 2>> oneDRange;
    std::optional<std::array<float, 2>> threeDRange;
};

class CubeParser : LineParser {
public:
    explicit CubeParser(std::string_view text) : textLength_(text.size()) {}

    void line(std::string_view line, std::int64_t number)
    {
        lineNumber_ = number;
        const Fields fields(line);
        const std::string_view keyword = fields.kept[0];
        if (keyword == "TITLE")
            title_ = TextEncoding::repairedUTF8(
                trimmedOfQuotes(trimmed(line.substr(titleKeywordLength))));
        else if (keyword == "LUT_3D_SIZE")
            size_ = sizeLine(fields, LUTFormat::minSize, LUTFormat::maxSize, "bad LUT_3D_SIZE");
        else if (keyword == "LUT_1D_SIZE")
            oneDSize_ = sizeLine(fields, LUT1D::minSize, LUT1D::maxSize, "bad LUT_1D_SIZE");
        else if (keyword == "DOMAIN_MIN")
            domain_.min = domainLine(fields, keyword);
        else if (keyword == "DOMAIN_MAX")
            domain_.max = domainLine(fields, keyword);
        else if (keyword == "LUT_3D_INPUT_RANGE")
            domain_.threeDRange = rangeLine(fields);
        else if (keyword == "LUT_1D_INPUT_RANGE")
            domain_.oneDRange = rangeLine(fields);
        else
            dataLine(line, fields);
    }

    LUTReader::CubeContents finish()
    {
        if (size_ == 0 && oneDSize_ == 0)
            fail("no LUT_3D_SIZE");
        const std::int64_t expected = oneDSize_ + (size_ == 0 ? 0 : size_ * size_ * size_);
        const auto found = static_cast<std::int64_t>(entries_.size());
        if (found != expected)
            fail("expected " + std::to_string(expected) + " entries, found " +
                 std::to_string(found));
        return {stack(), std::move(title_), {}};
    }

private:
    std::int64_t sizeLine(const Fields& fields, std::int64_t least, std::int64_t most,
                          const char* reason)
    {
        std::int64_t size = 0;
        if (fields.count != 2 || !parseInteger(fields.kept[1], size) || size < least || size > most)
            failOnLine(reason);
        const std::int64_t oneD = fields.kept[0] == "LUT_1D_SIZE" ? size : oneDSize_;
        const std::int64_t threeD = fields.kept[0] == "LUT_1D_SIZE" ? size_ : size;
        entries_.reserve(entryReserve(threeD, textLength_) + static_cast<std::size_t>(oneD));
        return size;
    }

    RGB domainLine(const Fields& fields, std::string_view keyword)
    {
        RGB value;
        if (fields.count != 4 || !parseNumber(fields.kept[1], value.r) ||
            !parseNumber(fields.kept[2], value.g) || !parseNumber(fields.kept[3], value.b) ||
            !std::isfinite(value.r) || !std::isfinite(value.g) || !std::isfinite(value.b))
            failOnLine("bad " + std::string(keyword));
        return value;
    }

    std::array<float, 2> rangeLine(const Fields& fields)
    {
        std::array<float, 2> range{};
        if (fields.count != 3 || !parseNumber(fields.kept[1], range[0]) ||
            !parseNumber(fields.kept[2], range[1]) || !std::isfinite(range[0]) ||
            !std::isfinite(range[1]) || !(range[0] < range[1]))
            failOnLine("bad input range");
        return range;
    }

    void dataLine(std::string_view line, const Fields& fields)
    {
        RGB entry;
        if (fields.count != 3 || !parseNumber(fields.kept[0], entry.r) ||
            !parseNumber(fields.kept[1], entry.g) || !parseNumber(fields.kept[2], entry.b))
            failOnLine(unexpectedLine(line));
        // One NaN or infinity would turn every colour that reaches its cell black or white.
        const std::array<float, tripleCount> values = {entry.r, entry.g, entry.b};
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (std::isfinite(values[i]))
                continue;
            const std::string entryNumber = std::to_string(entries_.size() + 1);
            if (namesNonNumber(fields.kept[i]))
                failOnLine("not a number in entry " + entryNumber);
            failOnLine("value out of range in entry " + entryNumber + ": found \u201C" +
                       std::string(fields.kept[i]) + "\u201D, expected a number within \u00B1" +
                       largestEntryText);
        }
        entries_.push_back(entry);
    }

    LUTDomain domainOf(const std::optional<std::array<float, 2>>& range) const
    {
        if (range)
            return LUTDomain::uniform((*range)[0], (*range)[1]);
        LUTDomain domain;
        domain.min = domain_.min.value_or(domain.min);
        domain.max = domain_.max.value_or(domain.max);
        if (!domain.isValid())
            fail("DOMAIN_MIN is not below DOMAIN_MAX in every channel");
        return domain;
    }

    // The curves come first in the file, then the table.
    LUTStack stack()
    {
        if (oneDSize_ == 0)
            return LUT3D(size_, std::move(entries_), domainOf(domain_.threeDRange));
        const auto curvesEnd = entries_.begin() + static_cast<std::ptrdiff_t>(oneDSize_);
        LUT1D curves(oneDSize_, std::vector<RGB>(entries_.begin(), curvesEnd),
                     domainOf(domain_.oneDRange));
        if (size_ == 0)
            return LUTStack(std::move(curves));
        entries_.erase(entries_.begin(), curvesEnd);
        return LUTStack(std::move(curves),
                        LUT3D(size_, std::move(entries_), domainOf(domain_.threeDRange)));
    }

    std::size_t textLength_;
    std::int64_t size_ = 0;
    std::int64_t oneDSize_ = 0;
    DomainLines domain_;
    std::optional<std::string> title_;
    std::vector<RGB> entries_;
};

// Bits of .3dl output values that a Mesh line may declare.
constexpr std::int64_t fewestMeshBits = 8;
constexpr std::int64_t mostMeshBits = 16;
// Mesh N gives 2^N + 1 points; beyond this exponent the size limit is passed anyway.
constexpr std::int64_t largestMeshExponent = 30;
// The writer's own files hold 12-bit outputs.
constexpr int ourOutputBits = 12;
// A shaper line may be finer than the table (ociobakelut --shapersize 1024 with a 17-point
// cube), up to the finest curve a 1D table holds.
constexpr std::size_t mostShaperValues = static_cast<std::size_t>(LUT1D::maxSize);
// Rounding of integer shaper values: each may be this far from the exact even ramp.
constexpr double shaperRounding = 1.0;

std::string tooManyPoints(const std::string& what)
{
    return what + " gives more than " + std::to_string(LUTFormat::maxSize) + " points per axis";
}

std::string entryCountText(std::int64_t expected, std::int64_t found)
{
    return "expected " + std::to_string(expected) + " entries, found " + std::to_string(found);
}

// Whether the values rise evenly from 0 (within integer rounding): the inputs of any table of
// fewer points at a finer spacing, so they add nothing the table's own lattice does not say.
bool isEvenRamp(const std::vector<std::int64_t>& values)
{
    if (values.size() < 2 || values.front() != 0 || values.back() <= 0)
        return false;
    const double step = static_cast<double>(values.back()) / static_cast<double>(values.size() - 1);
    for (std::size_t k = 0; k < values.size(); ++k) {
        if (std::fabs(static_cast<double>(values[k]) - step * static_cast<double>(k)) >
            shaperRounding)
            return false;
    }
    return true;
}

// The integer cube root of n, when n is the cube of a table size; else 0.
std::int64_t cubeSideOf(std::int64_t n)
{
    auto side = static_cast<std::int64_t>(std::llround(std::cbrt(static_cast<double>(n))));
    return side * side * side == n ? side : 0;
}

// Whether the first line is the comment our writer starts a .3dl with. It stands for a declaration
// of 12-bit output: a header line would break readers that take the first line as the shaper.
bool startsWithOurComment(std::string_view text)
{
    if (text.starts_with(byteOrderMark))
        text.remove_prefix(byteOrderMark.size());
    std::size_t end = 0;
    while (end < text.size() && lineBreakLength(text, end) == 0)
        ++end;
    // A file whose notes name its input space has the line without the sRGB clause.
    const std::string spaceNote[] = {std::string(LUTWriter::inputNote)};
    const std::string_view first = trimmed(text.substr(0, end));
    return std::ranges::any_of(
        std::array{LUTWriter::commentLine(), LUTWriter::commentLine(spaceNote)},
        [first](const std::string& comment) {
            return first == trimmed(std::string_view(comment).substr(0, comment.size() - 1));
        });
}

// The two numbers of "Mesh N B" (fields may end with commas, as in "Mesh, 4, 12"), or nothing.
std::optional<std::array<std::int64_t, 2>> meshNumbers(std::string_view line)
{
    std::array<std::int64_t, 2> numbers{};
    std::size_t count = 0;
    bool valid = true;
    forEachField(line, [&](std::string_view field) {
        while (field.ends_with(','))
            field.remove_suffix(1);
        if (count == 0)
            valid = valid && field == "Mesh";
        else if (count <= numbers.size())
            valid = valid && parseInteger(field, numbers[count - 1]);
        ++count;
    });
    if (!valid || count != numbers.size() + 1)
        return std::nullopt;
    return numbers;
}

// Output scale of .3dl values from the largest one: 10, 12 or 16 bits.
int guessedBits(std::int64_t largest)
{
    if (largest <= largestTenBit)
        return 10;
    return largest <= largestTwelveBit ? 12 : 16;
}

class ThreeDLParser : LineParser {
public:
    ThreeDLParser(std::string_view text, std::optional<int> declaredBits)
        : textLength_(text.size()), declaredBits_(declaredBits)
    {
    }

    void line(std::string_view line, std::int64_t number)
    {
        lineNumber_ = number;
        if (line.starts_with("3DMESH"))
            return;
        if (line.starts_with("Mesh")) {
            meshLine(line);
            return;
        }
        std::array<std::int64_t, tripleCount> integers{};
        std::size_t count = 0;
        // Rows keep three values; only the shaper line keeps more, and never beyond the finest.
        const bool mayBeShaper = !shaperRead_ && (size_ == 0 || awaitingShaper_);
        if (mayBeShaper)
            shaper_.clear();
        forEachField(line, [&](std::string_view field) {
            std::int64_t value = 0;
            if (parseInteger(field, value)) {
                if (count < integers.size())
                    integers[count] = value;
                if (mayBeShaper && count < mostShaperValues)
                    shaper_.push_back(value);
                ++count;
            }
        });
        if (size_ == 0 && !shaperRead_)
            shaperLine(count);
        else if (awaitingShaper_)
            lineAfterMesh(line, integers, count);
        // Lustre files end with words such as "LUT8" and "gamma 1.0", which hold no integer.
        else if (count != 0)
            entryLine(line, integers, count);
    }

    LUTReader::ThreeDLContents finish()
    {
        // With 3 points a shaper line looks like a row: one row too many shows it was one.
        if (firstRowMayBeShaper_ && triples_.size() == tripleCount * tripleCount * tripleCount + 1)
            triples_.erase(triples_.begin());
        resolveSize();
        const int bits = declaredBits_.value_or(guessedBits(largest_));
        const float scale = static_cast<float>((std::int64_t{1} << bits) - 1);
        std::vector<RGB> values(triples_.size());
        // File order has blue fastest; the table has red fastest.
        std::size_t position = 0;
        for (std::int64_t r = 0; r < size_; ++r) {
            for (std::int64_t g = 0; g < size_; ++g) {
                for (std::int64_t b = 0; b < size_; ++b) {
                    const RGB& triple = triples_[position++];
                    values[static_cast<std::size_t>(r + size_ * (g + size_ * b))] = {
                        triple.r / scale, triple.g / scale, triple.b / scale};
                }
            }
        }
        return {LUT3D(size_, std::move(values)), bits, !declaredBits_ && bits == 10, {}};
    }

private:
    // "Mesh N B": 2^N + 1 points and B-bit outputs, before any shaper line or row.
    void meshLine(std::string_view line)
    {
        if (size_ != 0)
            failOnLine(unexpectedLine(line));
        const auto numbers = meshNumbers(line);
        if (!numbers || (*numbers)[0] < 0 || (*numbers)[1] < fewestMeshBits ||
            (*numbers)[1] > mostMeshBits)
            failOnLine("bad Mesh line");
        const std::int64_t exponent = (*numbers)[0];
        if (exponent > largestMeshExponent ||
            (std::int64_t{1} << exponent) + 1 > LUTFormat::maxSize)
            failOnLine(tooManyPoints("Mesh " + std::to_string(exponent)));
        declaredBits_ = static_cast<int>((*numbers)[1]);
        meshRead_ = true;
        reserve((std::int64_t{1} << exponent) + 1);
        awaitingShaper_ = true;
    }

    void shaperLine(std::size_t count)
    {
        if (count < 2)
            failOnLine("missing shaper line");
        shaperRead_ = true;
        if (count <= static_cast<std::size_t>(LUTFormat::maxSize)) {
            reserve(static_cast<std::int64_t>(count));
            shaperCount_ = static_cast<std::int64_t>(count);
            return;
        }
        // Longer than any table: the rows' count gives the size, which an even ramp allows.
        const std::string tooLong =
            tooManyPoints("a shaper line of " + std::to_string(count) + " values");
        if (count > mostShaperValues)
            failOnLine(tooLong);
        if (!isEvenRamp(shaper_))
            failOnLine(tooLong + " and is not an even ramp from 0");
        shaperCount_ = static_cast<std::int64_t>(count);
        shaperIsRamp_ = true;
    }

    // The table's size from the shaper or Mesh line, or from the rows when an even shaper
    // ramp is finer than the table; the rows must then fill the table exactly.
    void resolveSize()
    {
        const auto rows = static_cast<std::int64_t>(triples_.size());
        if (size_ != 0 && size_ * size_ * size_ == rows)
            return;
        if (!meshRead_ && shaperCount_ > 0 && (shaperIsRamp_ || isEvenRamp(shaper_))) {
            const std::int64_t side = cubeSideOf(rows);
            if (side >= LUTFormat::minSize && side <= LUTFormat::maxSize && side < shaperCount_) {
                size_ = side;
                return;
            }
        }
        if (size_ == 0)
            fail("found " + std::to_string(rows) + " entries, which fill no table of " +
                 std::to_string(LUTFormat::minSize) + " to " + std::to_string(LUTFormat::maxSize) +
                 " points per axis");
        fail(entryCountText(size_ * size_ * size_, rows));
    }

    // After a Mesh line the shaper line is optional: a line of N values is one, a row is not.
    void lineAfterMesh(std::string_view line, const std::array<std::int64_t, tripleCount>& integers,
                       std::size_t count)
    {
        if (count == 0)
            return;
        awaitingShaper_ = false;
        if (count == tripleCount) {
            firstRowMayBeShaper_ = size_ == static_cast<std::int64_t>(tripleCount);
            entryLine(line, integers, count);
        } else if (static_cast<std::int64_t>(count) < size_ ||
                   (static_cast<std::int64_t>(count) > size_ && !isEvenRamp(shaper_)))
            failOnLine("shaper line does not match the Mesh line");
    }

    void entryLine(std::string_view line, const std::array<std::int64_t, tripleCount>& integers,
                   std::size_t count)
    {
        if (count != tripleCount)
            failOnLine(unexpectedLine(line));
        // A declared depth is trusted, so a value beyond it means the file is not what it says.
        if (declaredBits_) {
            const std::int64_t most = (std::int64_t{1} << *declaredBits_) - 1;
            if (std::any_of(integers.begin(), integers.end(),
                            [most](std::int64_t v) { return v < 0 || v > most; }))
                failOnLine("value outside 0 to " + std::to_string(most) + " in entry " +
                           std::to_string(triples_.size() + 1));
        }
        largest_ = std::max({largest_, integers[0], integers[1], integers[2]});
        // Kept as floats: each integer is converted once, as the final division needs.
        triples_.push_back({static_cast<float>(integers[0]), static_cast<float>(integers[1]),
                            static_cast<float>(integers[2])});
    }

    void reserve(std::int64_t size)
    {
        size_ = size;
        triples_.reserve(entryReserve(size_, textLength_));
    }

    std::size_t textLength_;
    std::optional<int> declaredBits_;
    std::int64_t size_ = 0;
    bool awaitingShaper_ = false;
    bool firstRowMayBeShaper_ = false;
    bool meshRead_ = false;
    bool shaperRead_ = false;
    bool shaperIsRamp_ = false;
    std::int64_t shaperCount_ = 0;
    // The values of the line being read while a shaper line may come, up to mostShaperValues.
    std::vector<std::int64_t> shaper_;
    std::int64_t largest_ = std::numeric_limits<std::int64_t>::min();
    std::vector<RGB> triples_;
};

// Quoting UTF-16 would show NUL bytes between the letters; the fix is a re-save.
void refuseUTF16(std::string_view text)
{
    if (TextEncoding::looksLikeUTF16(text))
        fail("UTF-16 text; save it as UTF-8");
}

// Parses the file's text; a parse error gains the file.
template <typename Parse> auto parsedFile(const std::filesystem::path& path, Parse&& parse)
{
    // Not repaired as a whole: the parsers match only complete UTF-8 sequences and repair what
    // they quote, so invalid bytes give the same table without a second, larger copy.
    const std::string text = FileIO::readRegularFile(path, largestLUTText, "a LUT");
    try {
        return parse(text);
    } catch (const LUTFormatError& error) {
        throw error.inFile(path);
    }
}

}  // namespace

LUTFormatError::LUTFormatError(std::string reason, std::optional<std::filesystem::path> file,
                               std::optional<std::int64_t> line)
    : std::runtime_error(errorMessage(reason, file, line)), reason_(std::move(reason)),
      file_(std::move(file)), line_(line)
{
}

LUTFormatError LUTFormatError::malformed(std::string reason, std::optional<std::int64_t> line)
{
    return LUTFormatError(std::move(reason), std::nullopt, line);
}

LUTFormatError LUTFormatError::inFile(const std::filesystem::path& file) const
{
    return LUTFormatError(reason_, file, line_);
}

namespace LUTReader {

CubeContents cube(std::string_view text)
{
    refuseUTF16(text);
    CubeParser parser(text);
    std::vector<std::string> comments;
    forEachLine(text, comments,
                [&](std::string_view line, std::int64_t number) { parser.line(line, number); });
    CubeContents contents = parser.finish();
    contents.comments = std::move(comments);
    return contents;
}

ThreeDLContents threeDL(std::string_view text)
{
    refuseUTF16(text);
    ThreeDLParser parser(text,
                         startsWithOurComment(text) ? std::optional(ourOutputBits) : std::nullopt);
    std::vector<std::string> comments;
    forEachLine(text, comments,
                [&](std::string_view line, std::int64_t number) { parser.line(line, number); });
    ThreeDLContents contents = parser.finish();
    contents.comments = std::move(comments);
    return contents;
}

LUTStack read(const std::filesystem::path& path)
{
    if (const std::optional<LUTFormat> format = LUTFormat::fromPath(path))
        return format->reader()(path);
    if (ImageLoader::fileType(path))
        return readHald(path);
    throw LUTFormatError::malformed("unsupported LUT format; LUT files are " +
                                    LUTFormat::extensionsText(LUTFormat::readableCases()) +
                                    ", or a HALD image")
        .inFile(path);
}

CubeContents readContents(const std::filesystem::path& path)
{
    if (LUTFormat::fromPath(path) == LUTFormat::cube)
        return readCube(path);
    return {read(path), std::nullopt, {}};
}

CubeContents readCube(const std::filesystem::path& path) { return parsedFile(path, cube); }

ThreeDLContents readThreeDL(const std::filesystem::path& path) { return parsedFile(path, threeDL); }

// Exact pixels: any scaling or conversion would move lattice points. The shape is checked from
// the header, so a large photo is refused before it is decoded.
LUT3D readHald(const std::filesystem::path& path)
{
    return HaldCLUT::lut(ImageLoader::loadExact(path, HaldCLUT::requiredLevel));
}

OCIOContents readThroughOCIO(const std::filesystem::path& path)
{
    // A missing or unreadable file is said as for every other format.
    FileIO::readRegularFile(path, largestLUTText, "a LUT");
    try {
        OCIOFile::Contents contents = OCIOFile::read(path);
        return {std::move(contents.lut), contents.exact, std::move(contents.layout)};
    } catch (const OCIOFileError& error) {
        throw LUTFormatError::malformed(error.reason(), error.line()).inFile(path);
    }
}

LUTStack readCorrection(const std::filesystem::path& path)
{
    const std::vector<ASCCDL> corrections = ASCCDLReader::read(path);
    try {
        return ASCCDLReader::chosen(corrections, std::nullopt).lut(OCIOFile::latticeSize);
    } catch (const LUTFormatError& error) {
        throw error.inFile(path);
    }
}

}  // namespace LUTReader

}  // namespace lumivert
