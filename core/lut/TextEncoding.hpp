#pragma once

// The two Unicode services the LUT files need, on UTF-8 byte strings.

#include <string>
#include <string_view>

namespace lumivert::TextEncoding {

// The bytes as valid UTF-8: each invalid sequence (and each NUL byte) becomes U+FFFD.
std::string repairedUTF8(std::string_view bytes);

// Canonical decomposition with every combining mark removed, so é becomes e; invalid bytes are
// repaired first. Characters without a decomposition (ø, emoji) are kept as they are.
std::string withoutDiacritics(std::string_view text);

// Whether the bytes start as UTF-16 text does: a UTF-16 byte-order mark, or two ASCII
// characters in UTF-16 without one (NUL in every other byte). Text files hold no NUL bytes.
bool looksLikeUTF16(std::string_view bytes);

// The first count code points of valid UTF-8 text (all of it when shorter).
std::string_view prefixOfCodePoints(std::string_view text, std::size_t count);

}  // namespace lumivert::TextEncoding
