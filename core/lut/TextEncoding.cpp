#include "lut/TextEncoding.hpp"

#include <glib.h>

#include <memory>

namespace lumivert::TextEncoding {

namespace {

struct GFree {
    void operator()(gchar* text) const { g_free(text); }
};
using GString = std::unique_ptr<gchar, GFree>;

inline bool isContinuationByte(unsigned char byte) { return (byte & 0xC0) == 0x80; }

}  // namespace

std::string repairedUTF8(std::string_view bytes)
{
    const auto length = static_cast<gssize>(bytes.size());
    // Validation is far cheaper than the repairing copy, and almost every file is valid.
    if (g_utf8_validate_len(bytes.data(), static_cast<gsize>(length), nullptr))
        return std::string(bytes);
    const GString repaired(g_utf8_make_valid(bytes.data(), length));
    return std::string(repaired.get());
}

std::string withoutDiacritics(std::string_view text)
{
    const std::string valid = repairedUTF8(text);
    const GString decomposed(g_utf8_normalize(valid.c_str(), -1, G_NORMALIZE_NFD));
    if (!decomposed)
        return valid;
    std::string result;
    result.reserve(valid.size());
    for (const gchar* p = decomposed.get(); *p != '\0'; p = g_utf8_next_char(p)) {
        const gchar* next = g_utf8_next_char(p);
        if (!g_unichar_ismark(g_utf8_get_char(p)))
            result.append(p, static_cast<std::size_t>(next - p));
    }
    return result;
}

bool looksLikeUTF16(std::string_view bytes)
{
    constexpr std::string_view littleEndianMark = "\xFF\xFE";
    constexpr std::string_view bigEndianMark = "\xFE\xFF";
    if (bytes.starts_with(littleEndianMark) || bytes.starts_with(bigEndianMark))
        return true;
    // ASCII in UTF-16: every other byte of the first two characters is NUL, and only those.
    if (bytes.size() < 4)
        return false;
    const auto zero = [bytes](std::size_t i) { return bytes[i] == '\0'; };
    return (zero(1) && zero(3) && !zero(0) && !zero(2)) ||
           (zero(0) && zero(2) && !zero(1) && !zero(3));
}

std::string_view prefixOfCodePoints(std::string_view text, std::size_t count)
{
    std::size_t end = 0;
    for (std::size_t seen = 0; end < text.size() && seen < count; ++seen) {
        ++end;
        while (end < text.size() && isContinuationByte(static_cast<unsigned char>(text[end])))
            ++end;
    }
    return text.substr(0, end);
}

}  // namespace lumivert::TextEncoding
