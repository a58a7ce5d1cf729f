#include "capture/Utf8.h"

#include <cstdint>

namespace quorvel::capture {

namespace {

constexpr std::string_view ReplacementCharacter = "\xEF\xBF\xBD";

// Length of the well-formed sequence at text[pos], or 0 when it is ill-formed; `consumed` is then
// the length of its maximal ill-formed subpart (at least 1).
std::size_t WellFormedLength(std::string_view text, std::size_t pos, std::size_t& consumed)
{
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(pos);
    consumed = 1;
    if (lead < 0x80)
        return 1;

    // Allowed range of the second byte and the sequence length, by lead byte (Unicode Table 3-7).
    std::size_t length = 0;
    std::uint8_t low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead == 0xE0) {
        length = 3, low = 0xA0;
    } else if (lead == 0xED) {
        length = 3, high = 0x9F; // no surrogates
    } else if (lead >= 0xE1 && lead <= 0xEF) {
        length = 3;
    } else if (lead == 0xF0) {
        length = 4, low = 0x90;
    } else if (lead >= 0xF1 && lead <= 0xF3) {
        length = 4;
    } else if (lead == 0xF4) {
        length = 4, high = 0x8F; // nothing above U+10FFFF
    } else {
        return 0; // continuation byte, overlong lead C0/C1, or F5..FF
    }

    for (std::size_t i = 1; i < length; ++i) {
        if (pos + i >= text.size())
            return 0;
        const std::uint8_t next = byte(pos + i);
        if (next < low || next > high)
            return 0;
        low = 0x80, high = 0xBF;
        consumed = i + 1;
    }
    return length;
}

} // namespace

std::string DecodeUtf8Lossy(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t consumed = 0;
        if (const std::size_t length = WellFormedLength(bytes, pos, consumed)) {
            out.append(bytes.substr(pos, length));
            pos += length;
        } else {
            out.append(ReplacementCharacter);
            pos += consumed;
        }
    }
    return out;
}

bool IsValidUtf8(std::string_view bytes)
{
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t consumed = 0;
        const std::size_t length = WellFormedLength(bytes, pos, consumed);
        if (length == 0)
            return false;
        pos += length;
    }
    return true;
}

} // namespace quorvel::capture
