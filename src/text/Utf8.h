#pragma once
// UTF-8 decoding, encoding and code-point walking for every part of the program.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quorvel::text {

inline constexpr char32_t ReplacementCharacter = 0xFFFD;

// One step of a walk over UTF-8 bytes. An ill-formed step is its maximal ill-formed subpart (a
// malformed or truncated sequence, at least one byte) and stands for U+FFFD, as ICU and Python's
// "replace" have it.
struct Utf8Step {
    char32_t codePoint;
    std::uint8_t length;
    bool wellFormed;
};

// Strict: no overlong forms, no surrogates, nothing above U+10FFFF. `pos` must be inside `text`.
Utf8Step DecodeUtf8Step(std::string_view text, std::size_t pos);

// The code point at `pos` (U+FFFD for an ill-formed step); advances `pos` past the step.
inline char32_t NextCodePoint(std::string_view text, std::size_t& pos)
{
    const Utf8Step step = DecodeUtf8Step(text, pos);
    pos += step.length;
    return step.codePoint;
}

// Surrogates and values above U+10FFFF have no UTF-8 form: they are written as U+FFFD.
void AppendUtf8(std::string& out, char32_t codePoint);

// Valid UTF-8 is kept as it is; each ill-formed step becomes one U+FFFD. The result is valid UTF-8.
std::string DecodeUtf8Lossy(std::string_view bytes);

bool IsValidUtf8(std::string_view bytes);

// Code points of valid UTF-8: every byte that is not a continuation byte starts one.
std::size_t CountCodePoints(std::string_view utf8);

// UTF-16 surrogate pairs, as they come in RTF \u escapes and UTF-16 files.
constexpr bool IsHighSurrogate(char32_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}
constexpr bool IsLowSurrogate(char32_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}
constexpr char32_t CombineSurrogates(char32_t high, char32_t low)
{
    return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
}
// The pair of a code point above U+FFFF.
constexpr char16_t HighSurrogateOf(char32_t codePoint)
{
    return static_cast<char16_t>(0xD800 + ((codePoint - 0x10000) >> 10));
}
constexpr char16_t LowSurrogateOf(char32_t codePoint)
{
    return static_cast<char16_t>(0xDC00 + ((codePoint - 0x10000) & 0x3FF));
}

// UTF-16 (the wide text of Windows, of UTF-16 files) and back; an unpaired surrogate or an
// ill-formed UTF-8 step becomes U+FFFD.
std::string Utf8FromUtf16(std::u16string_view units);
std::u16string Utf16FromUtf8(std::string_view utf8);

} // namespace quorvel::text
