#pragma once
// The lexical layer of the RTF reader: groups, control words and symbols, \'hh escapes, \bin data,
// and \uN with the fallback that \ucN says to pass over. Knows nothing of destinations or formatting.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace quorvel::logfile {

// Beyond this many nested groups no new group state is saved: formatting (and \uc) inside such deep
// groups stays in force until the enclosing saved group closes.
inline constexpr std::size_t RtfMaxGroupDepth = 1024;

enum class RtfTokenKind : std::uint8_t {
    End,         // the input is exhausted
    GroupStart,  // {
    GroupEnd,    // }
    ControlWord, // word, parameter; `ignorable` when \* stood before it
    Symbol,      // a control symbol other than \' and \*: \\ \{ \} \~ \_ \<newline> \<tab> and the rest
    Unicode,     // \uN as a code point (U+FFFD when out of range); its fallback is already passed over
    Byte,        // a text byte, written plainly or as \'hh
    Boundary,    // \*, \bin with its data, \ucN, \u without a number: dealt with here, but it ends a byte run
};

struct RtfToken {
    RtfTokenKind kind = RtfTokenKind::End;
    std::string_view word;
    int parameter = 0;
    bool hasParameter = false;
    bool ignorable = false;
    char32_t codePoint = 0;
    char character = 0; // Symbol: the character after the backslash; Byte: the byte
};

class RtfTokenizer {
public:
    // Reads from `start`, where the document's first group opens.
    RtfTokenizer(std::string_view input, std::size_t start) : m_in(input), m_pos(start) {}

    RtfToken next();

private:
    bool escape(RtfToken& token);
    bool controlWord(RtfToken& token);
    bool consumeFallback();
    void openGroup();
    void closeGroup();

    std::string_view m_in;
    std::size_t m_pos;
    std::vector<int> m_unicodeSkip; // \ucN of each saved group
    std::size_t m_overflow = 0;     // groups opened beyond RtfMaxGroupDepth
    int m_fallbackLeft = 0;
    bool m_ignorableNext = false;
};

} // namespace quorvel::logfile
