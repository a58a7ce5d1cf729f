#pragma once
// GB18030 (code page 54936) for the Windows edition, whose Wine has no tables for it: one, two or
// four bytes a character. The tables are generated from Python's codec (cmake/gb18030-table.py).

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quorvel::logfile::gb18030 {

// Two bytes: lead 0x81..0xFE, trail 0x40..0xFE; index (lead - 0x81) * 191 + (trail - 0x40); 0 = none.
inline constexpr std::size_t TwoByteCount = 126 * 191;
extern const char16_t TwoByte[TwoByteCount];

// Four bytes in the basic plane: runs of consecutive characters over consecutive linear numbers.
struct FourByteRun {
    std::uint32_t linear;
    std::uint16_t codePoint;
    std::uint16_t length;
};
inline constexpr std::size_t FourByteRunCount = 206;
extern const FourByteRun FourByteRuns[FourByteRunCount];

// The character at `pos` and how many bytes it takes; length 0 when no character starts there (or
// it is cut off at the end).
struct Step {
    char32_t codePoint;
    std::size_t length;
};
Step DecodeStep(std::string_view bytes, std::size_t pos);

} // namespace quorvel::logfile::gb18030
