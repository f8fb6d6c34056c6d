#include "lut/ASCCDL.hpp"

#include "color/Precondition.hpp"
#include "io/FileIO.hpp"
#include "lut/LUTReader.hpp"
#include "lut/TextEncoding.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace lumivert {

namespace {

// Rec. 709 luma, the weights the ASC CDL's saturation names.
constexpr double lumaRed = 0.2126;
constexpr double lumaGreen = 0.7152;
constexpr double lumaBlue = 0.0722;

// A correction file is a few hundred bytes; a collection of a whole show stays far below this.
constexpr std::uintmax_t largestCDLText = 64 * 1024 * 1024;
constexpr std::size_t quotedCharacters = 40;

double clamped01(double v) { return std::clamp(v, 0.0, 1.0); }

bool allFinite(const RGB& c)
{
    return std::isfinite(c.r) && std::isfinite(c.g) && std::isfinite(c.b);
}

std::string curlyQuoted(std::string_view text)
{
    return "\u201C" +
           TextEncoding::repairedUTF8(TextEncoding::prefixOfCodePoints(text, quotedCharacters)) +
           "\u201D";
}

[[noreturn]] void failAt(std::string reason, std::int64_t line)
{
    throw LUTFormatError::malformed(std::move(reason), line);
}

bool isXMLSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// The five entities XML predefines; others are kept as written.
std::string decodedEntities(std::string_view text)
{
    static constexpr std::array<std::pair<std::string_view, char>, 5> entities = {
        {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}}};
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto entity = std::find_if(entities.begin(), entities.end(), [&](const auto& e) {
            return text.substr(i).starts_with(e.first);
        });
        if (text[i] == '&' && entity != entities.end()) {
            out += entity->second;
            i += entity->first.size() - 1;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The numbers of an element's text, separated by white space.
std::optional<std::vector<float>> numbersIn(std::string_view text)
{
    std::vector<float> numbers;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && isXMLSpace(text[i]))
            ++i;
        const std::size_t start = i;
        while (i < text.size() && !isXMLSpace(text[i]))
            ++i;
        if (i == start)
            break;
        double value = 0.0;
        const char* last = text.data() + i;
        const auto [end, error] = std::from_chars(text.data() + start, last, value);
        if (error != std::errc() || end != last || !std::isfinite(value))
            return std::nullopt;
        numbers.push_back(static_cast<float>(value));
    }
    return numbers;
}

// The values a correction's elements set: where each goes and how many numbers it holds.
struct ValueElement {
    std::string_view name;
    std::size_t count;
};
constexpr std::array<ValueElement, 4> valueElements = {
    {{"Slope", 3}, {"Offset", 3}, {"Power", 3}, {"Saturation", 1}}};

void store(ASCCDL& cdl, std::string_view element, const std::vector<float>& v)
{
    if (element == "Slope")
        cdl.slope = {v[0], v[1], v[2]};
    else if (element == "Offset")
        cdl.offset = {v[0], v[1], v[2]};
    else if (element == "Power")
        cdl.power = {v[0], v[1], v[2]};
    else
        cdl.saturation = v[0];
}

// A start tag: its name, attributes and whether it closes itself.
struct Tag {
    std::string name;
    std::string id;
    bool closes = false;
};

// Reads the XML a correction file holds, element by element, and collects the corrections.
class CDLParser {
public:
    explicit CDLParser(std::string_view text) : text_(text) {}

    std::vector<ASCCDL> parse()
    {
        while (position_ < text_.size()) {
            const std::size_t open = text_.find('<', position_);
            const std::size_t end = open == std::string_view::npos ? text_.size() : open;
            characters(text_.substr(position_, end - position_));
            advanceTo(end);
            if (open != std::string_view::npos)
                markup();
        }
        if (!open_.empty())
            failAt("the text ends inside <" + open_.back().first + ">, expected </" +
                       open_.back().first + ">",
                   line_);
        if (corrections_.empty())
            failAt("no ColorCorrection element, expected a .cc, .ccc or .cdl file", line_);
        return std::move(corrections_);
    }

private:
    void advanceTo(std::size_t end)
    {
        line_ += std::count(text_.begin() + static_cast<std::ptrdiff_t>(position_),
                            text_.begin() + static_cast<std::ptrdiff_t>(end), '\n');
        position_ = end;
    }

    // Skips to just past `terminator`, or fails naming what was left open.
    void skipPast(std::string_view terminator, const char* what)
    {
        const std::size_t at = text_.find(terminator, position_);
        if (at == std::string_view::npos)
            failAt("unterminated " + std::string(what) + ", expected \u201C" +
                       std::string(terminator) + "\u201D",
                   line_);
        advanceTo(at + terminator.size());
    }

    void markup()
    {
        const std::string_view rest = text_.substr(position_);
        if (rest.starts_with("<!--"))
            return skipPast("-->", "comment");
        if (rest.starts_with("<![CDATA[")) {
            const std::size_t start = position_ + 9;
            skipPast("]]>", "CDATA section");
            characters(text_.substr(start, position_ - 3 - start));
            return;
        }
        if (rest.starts_with("<?"))
            return skipPast("?>", "declaration");
        if (rest.starts_with("<!"))
            return skipPast(">", "declaration");
        const std::int64_t tagLine = line_;
        const std::size_t close = text_.find('>', position_);
        if (close == std::string_view::npos)
            failAt("unterminated tag " + curlyQuoted(rest) + ", expected \u201C>\u201D", tagLine);
        const std::string_view inside = text_.substr(position_ + 1, close - position_ - 1);
        advanceTo(close + 1);
        if (inside.starts_with("/"))
            endTag(inside.substr(1), tagLine);
        else
            startTag(tagOf(inside, tagLine), tagLine);
    }

    static Tag tagOf(std::string_view inside, std::int64_t line)
    {
        Tag tag;
        if (inside.ends_with("/")) {
            tag.closes = true;
            inside.remove_suffix(1);
        }
        std::size_t i = 0;
        while (i < inside.size() && !isXMLSpace(inside[i]))
            ++i;
        tag.name = std::string(inside.substr(0, i));
        if (tag.name.empty())
            failAt("unexpected tag " + curlyQuoted("<" + std::string(inside) + ">") +
                       ", expected an element name",
                   line);
        // The attribute follows any white space (a space, or a line break in wrapped tags).
        std::size_t idAt = inside.find("id=", i);
        while (idAt != std::string_view::npos && !isXMLSpace(inside[idAt - 1]))
            idAt = inside.find("id=", idAt + 1);
        if (idAt != std::string_view::npos)
            --idAt;
        if (idAt != std::string_view::npos && idAt + 5 < inside.size()) {
            const char quote = inside[idAt + 4];
            const std::size_t end = inside.find(quote, idAt + 5);
            if ((quote != '"' && quote != '\'') || end == std::string_view::npos)
                failAt("bad id attribute in " + curlyQuoted("<" + std::string(inside) + ">") +
                           ", expected id=\"…\"",
                       line);
            tag.id = decodedEntities(inside.substr(idAt + 5, end - idAt - 5));
        }
        return tag;
    }

    void startTag(const Tag& tag, std::int64_t line)
    {
        if (tag.name == "ColorCorrection") {
            if (current_)
                failAt("a ColorCorrection inside another, expected </ColorCorrection> first", line);
            current_ = ASCCDL{};
            current_->id = tag.id;
            correctionLine_ = line;
        } else if (current_ && isValueElement(tag.name)) {
            valueText_.clear();
            valueLine_ = line;
        }
        if (!tag.closes)
            open_.emplace_back(tag.name, line);
        else if (tag.name == "ColorCorrection")
            finishCorrection();
    }

    void endTag(std::string_view inside, std::int64_t line)
    {
        while (!inside.empty() && isXMLSpace(inside.back()))
            inside.remove_suffix(1);
        if (open_.empty() || open_.back().first != inside)
            failAt("unexpected </" + std::string(inside) + ">, expected " +
                       (open_.empty() ? std::string("no closing tag")
                                      : "</" + open_.back().first + ">"),
                   line);
        open_.pop_back();
        if (current_ && isValueElement(inside))
            valueEnded(inside);
        else if (inside == "ColorCorrection")
            finishCorrection();
    }

    void characters(std::string_view text)
    {
        if (current_ && !open_.empty() && isValueElement(open_.back().first))
            valueText_ += text;
    }

    static bool isValueElement(std::string_view name)
    {
        return std::any_of(valueElements.begin(), valueElements.end(),
                           [name](const ValueElement& e) { return e.name == name; });
    }

    void valueEnded(std::string_view element)
    {
        const auto row =
            std::find_if(valueElements.begin(), valueElements.end(),
                         [element](const ValueElement& e) { return e.name == element; });
        const auto numbers = numbersIn(valueText_);
        if (!numbers || numbers->size() != row->count)
            failAt(std::string(element) + " holds " + curlyQuoted(valueText_) + ", expected " +
                       (row->count == 1 ? "one number" : std::to_string(row->count) + " numbers"),
                   valueLine_);
        store(*current_, element, *numbers);
    }

    void finishCorrection()
    {
        if (const auto problem = current_->problem())
            failAt("ColorCorrection " + curlyQuoted(current_->id) + ": " + *problem,
                   correctionLine_);
        corrections_.push_back(std::move(*current_));
        current_.reset();
    }

    std::string_view text_;
    std::size_t position_ = 0;
    std::int64_t line_ = 1;
    std::vector<std::pair<std::string, std::int64_t>> open_;
    std::optional<ASCCDL> current_;
    std::int64_t correctionLine_ = 0;
    std::string valueText_;
    std::int64_t valueLine_ = 0;
    std::vector<ASCCDL> corrections_;
};

}  // namespace

std::optional<std::string> ASCCDL::problem() const
{
    if (!allFinite(slope) || !allFinite(offset) || !allFinite(power) || !std::isfinite(saturation))
        return "every value must be a finite number";
    if (slope.r < 0 || slope.g < 0 || slope.b < 0)
        return "slopes must be 0 or more";
    if (!(power.r > 0 && power.g > 0 && power.b > 0))
        return "powers must be above 0";
    if (saturation < 0)
        return "the saturation must be 0 or more";
    return std::nullopt;
}

RGB ASCCDL::apply(const RGB& colour) const
{
    const std::array<double, 3> in = {colour.r, colour.g, colour.b};
    const std::array<double, 3> s = {slope.r, slope.g, slope.b};
    const std::array<double, 3> o = {offset.r, offset.g, offset.b};
    const std::array<double, 3> p = {power.r, power.g, power.b};
    std::array<double, 3> out{};
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = std::pow(clamped01(in[i] * s[i] + o[i]), p[i]);
    const double luma = lumaRed * out[0] + lumaGreen * out[1] + lumaBlue * out[2];
    for (double& v : out)
        v = clamped01(luma + saturation * (v - luma));
    return {static_cast<float>(out[0]), static_cast<float>(out[1]), static_cast<float>(out[2])};
}

LUT3D ASCCDL::lut(std::int64_t size) const
{
    LUMIVERT_PRECONDITION(!problem(), "a CDL's values lie in the ranges the format allows");
    return LUT3D::build(size, [this](const RGB& c) { return apply(c); });
}

namespace ASCCDLReader {

std::vector<ASCCDL> corrections(std::string_view text)
{
    if (TextEncoding::looksLikeUTF16(text))
        throw LUTFormatError::malformed("UTF-16 text; save it as UTF-8");
    return CDLParser(text).parse();
}

ASCCDL chosen(const std::vector<ASCCDL>& corrections, const std::optional<std::string>& id)
{
    LUMIVERT_PRECONDITION(!corrections.empty(), "a CDL file holds a correction");
    if (!id)
        return corrections.front();
    const auto match = std::find_if(corrections.begin(), corrections.end(),
                                    [&](const ASCCDL& c) { return c.id == *id; });
    if (match != corrections.end())
        return *match;
    std::string ids;
    for (const ASCCDL& c : corrections)
        ids += (ids.empty() ? "" : ", ") + curlyQuoted(c.id);
    throw LUTFormatError::malformed("no ColorCorrection has the id " + curlyQuoted(*id) +
                                    ", expected one of " + ids);
}

std::vector<ASCCDL> read(const std::filesystem::path& path)
{
    const std::string text = FileIO::readRegularFile(path, largestCDLText, "a CDL");
    try {
        return corrections(text);
    } catch (const LUTFormatError& error) {
        throw error.inFile(path);
    }
}

}  // namespace ASCCDLReader

}  // namespace lumivert
