#include "lut/TextEncoding.hpp"

#include <gtest/gtest.h>

namespace lumivert {
namespace {

using namespace std::string_literals;

constexpr const char* replacement = "\uFFFD";

TEST(RepairedUTF8, KeepsValidTextAndReplacesEachBadByte)
{
    EXPECT_EQ(TextEncoding::repairedUTF8("Caf\u00E9 \u2014 \U0001F600"),
              "Caf\u00E9 \u2014 \U0001F600");
    EXPECT_EQ(TextEncoding::repairedUTF8("a\xFF"
                                         "b"),
              "a"s + replacement + "b");
    // A truncated three-byte sequence at the end.
    EXPECT_EQ(TextEncoding::repairedUTF8("ok\xE2\x80"), "ok"s + replacement + replacement);
    // An overlong encoding of "/" is not accepted as a slash.
    EXPECT_EQ(TextEncoding::repairedUTF8("\xC0\xAF"), std::string(replacement) + replacement);
    // A NUL byte would end the text for C callers.
    EXPECT_EQ(TextEncoding::repairedUTF8("a\0b"s), "a"s + replacement + "b");
    EXPECT_EQ(TextEncoding::repairedUTF8(""), "");
}

TEST(WithoutDiacritics, StripsCombiningMarksOnly)
{
    EXPECT_EQ(TextEncoding::withoutDiacritics("Caf\u00E9 \u00FCber"), "Cafe uber");
    EXPECT_EQ(TextEncoding::withoutDiacritics("Cafe\u0301"), "Cafe");  // already decomposed
    EXPECT_EQ(TextEncoding::withoutDiacritics("\u00C5ngstr\u00F6m \u1EC7"), "Angstrom e");
    // No decomposition: kept for the caller to decide.
    EXPECT_EQ(TextEncoding::withoutDiacritics("\u00F8 \U0001F600"), "\u00F8 \U0001F600");
    EXPECT_EQ(TextEncoding::withoutDiacritics("caf\xC3"), "caf"s + replacement);
}

TEST(LooksLikeUTF16, MarksOrANulByteUpFront)
{
    EXPECT_TRUE(TextEncoding::looksLikeUTF16("\xFF\xFEL\0"s));
    EXPECT_TRUE(TextEncoding::looksLikeUTF16("\xFE\xFF\0L"s));
    EXPECT_TRUE(TextEncoding::looksLikeUTF16("L\0U\0"s));
    EXPECT_TRUE(TextEncoding::looksLikeUTF16("\0L\0U"s));
    // UTF-8, with or without its own mark, and texts too short to tell.
    EXPECT_FALSE(TextEncoding::looksLikeUTF16("\xEF\xBB\xBFLUT_3D_SIZE 2"));
    EXPECT_FALSE(TextEncoding::looksLikeUTF16("TITLE \"\u00FF\u00FE\""));
    EXPECT_FALSE(TextEncoding::looksLikeUTF16("ab\0"s));
    // A stray NUL byte is an invalid byte to repair, not a sign of UTF-16.
    EXPECT_FALSE(TextEncoding::looksLikeUTF16("\0# comment"s));
    EXPECT_FALSE(TextEncoding::looksLikeUTF16("T\0ITLE"s));
    EXPECT_FALSE(TextEncoding::looksLikeUTF16(""));
}

TEST(PrefixOfCodePoints, NeverCutsASequence)
{
    EXPECT_EQ(TextEncoding::prefixOfCodePoints("abcdef", 3), "abc");
    EXPECT_EQ(TextEncoding::prefixOfCodePoints("ab", 3), "ab");
    EXPECT_EQ(TextEncoding::prefixOfCodePoints("\u00E9\u20AC\U0001F600x", 3),
              "\u00E9\u20AC\U0001F600");
    EXPECT_EQ(TextEncoding::prefixOfCodePoints("\u00E9\u20AC", 0), "");
}

}  // namespace
}  // namespace lumivert
