#pragma once
// UTF-8 helpers shared by the RTF codec and the plain-text decoder.

#include <cstddef>
#include <string>
#include <string_view>

namespace quorvel::logfile {

inline constexpr char32_t ReplacementCharacter = 0xFFFD;

void AppendUtf8(std::string& out, char32_t codePoint);

// Decodes one code point at `pos` and advances it; a malformed or truncated sequence gives
// U+FFFD and advances by one byte, so that decoding always moves on.
char32_t NextCodePoint(std::string_view text, std::size_t& pos);

// Strict: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view text);

} // namespace quorvel::logfile
