#include "ui/logfile/Gb18030.h"

#include <algorithm>

namespace quorvel::logfile::gb18030 {

namespace {

// Bytes 2 and 4 of a four-byte sequence are digits; the linear number counts all four.
std::uint32_t Linear(unsigned b1, unsigned b2, unsigned b3, unsigned b4, unsigned firstLead)
{
    return (b1 - firstLead) * 12600 + (b2 - 0x30) * 1260 + (b3 - 0x81) * 10 + (b4 - 0x30);
}

} // namespace

Step DecodeStep(std::string_view bytes, std::size_t pos)
{
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[pos + i]); };
    const std::size_t left = bytes.size() - pos;
    const unsigned b1 = at(0);
    if (b1 < 0x80)
        return {b1, 1};
    if (b1 == 0x80 || b1 == 0xFF || left < 2)
        return {0, 0};
    const unsigned b2 = at(1);
    if (b2 >= 0x40 && b2 <= 0xFE && b2 != 0x7F) {
        const char16_t unit = TwoByte[(b1 - 0x81) * 191 + (b2 - 0x40)];
        return unit ? Step{unit, 2} : Step{0, 0};
    }
    if (b2 < 0x30 || b2 > 0x39 || left < 4)
        return {0, 0};
    const unsigned b3 = at(2), b4 = at(3);
    if (b3 < 0x81 || b3 > 0xFE || b4 < 0x30 || b4 > 0x39)
        return {0, 0};
    if (b1 >= 0x90 && b1 <= 0xE3) {
        const std::uint32_t codePoint = 0x10000 + Linear(b1, b2, b3, b4, 0x90);
        return codePoint <= 0x10FFFF ? Step{codePoint, 4} : Step{0, 0};
    }
    if (b1 > 0x84)
        return {0, 0};
    const std::uint32_t linear = Linear(b1, b2, b3, b4, 0x81);
    const auto* run = std::upper_bound(std::begin(FourByteRuns), std::end(FourByteRuns), linear,
                                       [](std::uint32_t value, const FourByteRun& r) { return value < r.linear; });
    if (run == std::begin(FourByteRuns))
        return {0, 0};
    --run;
    if (linear - run->linear >= run->length)
        return {0, 0};
    return {static_cast<char32_t>(run->codePoint + (linear - run->linear)), 4};
}

} // namespace quorvel::logfile::gb18030
