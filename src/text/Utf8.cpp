#include "text/Utf8.h"

namespace quorvel::text {

namespace {

constexpr std::string_view ReplacementUtf8 = "\xEF\xBF\xBD";

inline bool IsContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

} // namespace

Utf8Step DecodeUtf8Step(std::string_view text, std::size_t pos)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    if (lead < 0x80)
        return {lead, 1, true};

    // Allowed range of the second byte and the sequence length, by lead byte (Unicode Table 3-7).
    std::uint8_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    char32_t value = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, value = lead & 0x1F;
    } else if (lead == 0xE0) {
        length = 3, value = lead & 0x0F, low = 0xA0; // no overlong forms
    } else if (lead == 0xED) {
        length = 3, value = lead & 0x0F, high = 0x9F; // no surrogates
    } else if (lead >= 0xE1 && lead <= 0xEF) {
        length = 3, value = lead & 0x0F;
    } else if (lead == 0xF0) {
        length = 4, value = lead & 0x07, low = 0x90; // no overlong forms
    } else if (lead >= 0xF1 && lead <= 0xF3) {
        length = 4, value = lead & 0x07;
    } else if (lead == 0xF4) {
        length = 4, value = lead & 0x07, high = 0x8F; // nothing above U+10FFFF
    } else {
        return {ReplacementCharacter, 1, false}; // continuation byte, overlong lead C0/C1, or F5..FF
    }

    for (std::uint8_t i = 1; i < length; ++i) {
        if (pos + i >= text.size())
            return {ReplacementCharacter, i, false};
        const unsigned char next = byte(pos + i);
        if (next < low || next > high)
            return {ReplacementCharacter, i, false};
        low = 0x80, high = 0xBF;
        value = (value << 6) | (next & 0x3F);
    }
    return {value, length, true};
}

void AppendUtf8(std::string& out, char32_t c)
{
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        c = ReplacementCharacter;
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::string DecodeUtf8Lossy(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    // Well-formed stretches are copied in one piece, not a sequence at a time.
    std::size_t keptFrom = 0;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        if (static_cast<unsigned char>(bytes[pos]) < 0x80) {
            ++pos;
            continue;
        }
        const Utf8Step step = DecodeUtf8Step(bytes, pos);
        if (!step.wellFormed) {
            out.append(bytes.substr(keptFrom, pos - keptFrom));
            out.append(ReplacementUtf8);
            keptFrom = pos + step.length;
        }
        pos += step.length;
    }
    out.append(bytes.substr(keptFrom));
    return out;
}

bool IsValidUtf8(std::string_view bytes)
{
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        if (static_cast<unsigned char>(bytes[pos]) < 0x80) {
            ++pos;
            continue;
        }
        const Utf8Step step = DecodeUtf8Step(bytes, pos);
        if (!step.wellFormed)
            return false;
        pos += step.length;
    }
    return true;
}

std::size_t CountCodePoints(std::string_view utf8)
{
    std::size_t count = 0;
    for (const char c : utf8)
        count += !IsContinuation(static_cast<unsigned char>(c));
    return count;
}

std::string Utf8FromUtf16(std::u16string_view units)
{
    std::string out;
    out.reserve(units.size());
    char32_t high = 0;
    for (const char16_t unit : units) {
        if (IsHighSurrogate(unit)) {
            if (high != 0)
                AppendUtf8(out, ReplacementCharacter);
            high = unit;
            continue;
        }
        if (IsLowSurrogate(unit)) {
            AppendUtf8(out, high != 0 ? CombineSurrogates(high, unit) : ReplacementCharacter);
            high = 0;
            continue;
        }
        if (high != 0)
            AppendUtf8(out, ReplacementCharacter);
        high = 0;
        AppendUtf8(out, unit);
    }
    if (high != 0)
        AppendUtf8(out, ReplacementCharacter);
    return out;
}

std::u16string Utf16FromUtf8(std::string_view utf8)
{
    std::u16string out;
    out.reserve(utf8.size());
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const char32_t c = NextCodePoint(utf8, pos);
        if (c >= 0x10000) {
            out.push_back(HighSurrogateOf(c));
            out.push_back(LowSurrogateOf(c));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
    }
    return out;
}

} // namespace quorvel::text
