// The RTF tokenizer alone: what each construct becomes, and which tokens a \uN's fallback passes over.

#include "ui/logfile/RtfTokenizer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace quorvel::logfile {
namespace {

// One word per token: { } \word[N][*] \<symbol> U+XXXX | (boundary), bytes as themselves or xHH.
std::string Describe(std::string_view rtf)
{
    RtfTokenizer tokenizer(rtf, 0);
    std::string out;
    char buffer[16];
    for (RtfToken t = tokenizer.next(); t.kind != RtfTokenKind::End; t = tokenizer.next()) {
        if (!out.empty())
            out += ' ';
        const auto byte = static_cast<unsigned char>(t.character);
        switch (t.kind) {
        case RtfTokenKind::GroupStart:
            out += '{';
            break;
        case RtfTokenKind::GroupEnd:
            out += '}';
            break;
        case RtfTokenKind::ControlWord:
            out += '\\' + std::string(t.word) + (t.hasParameter ? std::to_string(t.parameter) : "") +
                   (t.ignorable ? "*" : "");
            break;
        case RtfTokenKind::Symbol:
            out += std::string("\\") + t.character;
            break;
        case RtfTokenKind::Unicode:
            std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(t.codePoint));
            out += buffer;
            break;
        case RtfTokenKind::Byte:
            if (byte > 0x20 && byte < 0x7F) {
                out += t.character;
            } else {
                std::snprintf(buffer, sizeof buffer, "x%02X", byte);
                out += buffer;
            }
            break;
        case RtfTokenKind::Boundary:
            out += '|';
            break;
        case RtfTokenKind::End:
            break;
        }
    }
    return out;
}

struct TokenCase {
    const char* name;
    std::string rtf;
    std::string tokens;
};

TEST(RtfTokenizer, Table)
{
    const std::string deep(RtfMaxGroupDepth, '{');
    std::string deepTokens;
    for (std::size_t i = 0; i <= RtfMaxGroupDepth; ++i)
        deepTokens += "{ ";
    const TokenCase cases[] = {
        {"WordsAndParameters", "{\\rtf1\\b0\\fs-20 x}", "{ \\rtf1 \\b0 \\fs-20 x }"},
        {"OneSpaceEndsAWord", "{\\b  x}", "{ \\b x20 x }"},
        {"HugeParameterClamped", "{\\fs99999999999}", "{ \\fs2147483647 }"},
        {"HexEscapes", "{\\'e4\\'4x}", "{ xE4 x }"},
        {"RawLineBreaksDropped", "{a\r\nb}", "{ a b }"},
        {"ControlSymbols", "{\\~\\{\\\\\\-\\\n}", "{ \\~ \\{ \\\\ \\- \\\n }"},
        {"IgnorableMarksTheNextWordOnly", "{\\*\\foo\\bar}", "{ | \\foo* \\bar }"},
        {"UnicodeSkipsOneFallback", "{\\u20013?x}", "{ U+4E2D x }"},
        {"UnicodeNegativeAndOutOfRange", "{\\u-10179?\\u-8704?\\u1114112?}", "{ U+D83D U+DE00 U+FFFD }"},
        {"UnicodeWithoutNumber", "{\\u x}", "{ | x }"},
        {"Uc2SkipsAHexEscapeAndACharacter", "{\\uc2\\u20013\\'b0?x}", "{ | U+4E2D x }"},
        {"FallbackPassesOverWordsAndSymbols", "{\\uc2\\u65\\b\\~x}", "{ | U+0041 x }"},
        {"UcBelongsToItsGroup", "{\\uc2{\\uc0}\\u65 abc}", "{ | { | } U+0041 c }"},
        {"BraceEndsTheFallback", "{\\uc3\\u65 a}b", "{ | U+0041 } b"},
        {"BinSkipsRawDataAndOneFallback", "{\\uc2\\u65\\bin3 {}\\yz}", "{ | U+0041 | z }"},
        {"LoneBackslashAtTheEnd", "{a\\", "{ a"},
        // Beyond the depth cap \uc changes the last saved group, until that one closes.
        {"UcBeyondTheDepthCap", deep + "{\\uc0}\\u65 x", deepTokens + "| } U+0041 x"},
    };
    for (const TokenCase& c : cases)
        EXPECT_EQ(Describe(c.rtf), c.tokens) << c.name;
}

} // namespace
} // namespace quorvel::logfile
