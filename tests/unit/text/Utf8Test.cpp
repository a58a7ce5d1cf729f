#include "text/Utf8.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorvel::text {
namespace {

#define FFFD "\xEF\xBF\xBD"

struct Utf8Case {
    const char* name;
    std::string input;
    std::string expected;
};

using namespace std::string_literals;

const std::vector<Utf8Case> Cases = {
    {"Empty", "", ""},
    {"Ascii", "Hello, world", "Hello, world"},
    {"ControlCharactersKept", "\x01\t\x7F", "\x01\t\x7F"},
    {"TwoByte", "caf\xC3\xA9", "caf\xC3\xA9"},
    {"ThreeByteChinese", "你好", "你好"},
    {"FourByteEmoji", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
    {"HighestCodePoint", "\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},
    {"ReplacementCharacterKept", FFFD, FFFD},
    {"LastBeforeSurrogates", "\xED\x9F\xBF", "\xED\x9F\xBF"},
    // The example of the Unicode standard's Table 3-8 (U+FFFD for maximal subparts).
    {"UnicodeTable3_8", "\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64",
     "a" FFFD FFFD FFFD "b" FFFD "c" FFFD FFFD "d"},
    {"LoneContinuation",
     "a\x80"
     "b",
     "a" FFFD "b"},
    {"TwoContinuations", "\x80\xBF", FFFD FFFD},
    {"OverlongTwoByte", "\xC0\xAF", FFFD FFFD},
    {"OverlongC1", "\xC1\xBF", FFFD FFFD},
    {"OverlongThreeByte", "\xE0\x80\xAF", FFFD FFFD FFFD},
    {"OverlongFourByte", "\xF0\x80\x80\xAF", FFFD FFFD FFFD FFFD},
    {"HighSurrogate", "\xED\xA0\x80", FFFD FFFD FFFD},
    {"LowSurrogate", "\xED\xBF\xBF", FFFD FFFD FFFD},
    {"AboveMaximum", "\xF4\x90\x80\x80", FFFD FFFD FFFD FFFD},
    {"LeadF5", "\xF5\x80\x80\x80", FFFD FFFD FFFD FFFD},
    {"LeadFF", "x\xFFy", "x" FFFD "y"},
    {"TruncatedTwoByteAtEnd", "ab\xC3", "ab" FFFD},
    {"TruncatedThreeByteAtEnd", "你好\xE4\xB8", "你好" FFFD},
    {"TruncatedFourByteAtEnd", "\xF0\x9F\x98", FFFD},
    {"TruncatedFourByteBeforeAscii",
     "\xF0\x9F\x98"
     "A",
     FFFD "A"},
    {"TruncatedThenValid", "\xE4\xB8你", FFFD "你"},
    {"LeadThenLead", "\xC3\xC3\xA9", FFFD "\xC3\xA9"},
    {"NulKept", "a\0b"s, "a\0b"s},
};

class DecodeUtf8LossyTest : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(DecodeUtf8LossyTest, Replaces)
{
    const Utf8Case& c = GetParam();
    const std::string output = DecodeUtf8Lossy(c.input);
    EXPECT_EQ(output, c.expected);
    EXPECT_TRUE(IsValidUtf8(output));
    EXPECT_EQ(IsValidUtf8(c.input), c.input == c.expected);

    // Walking the input step by step and encoding each code point gives the same text.
    std::string walked;
    std::size_t steps = 0;
    for (std::size_t pos = 0; pos < c.input.size(); ++steps)
        AppendUtf8(walked, NextCodePoint(c.input, pos));
    EXPECT_EQ(walked, c.expected);
    EXPECT_EQ(CountCodePoints(output), steps);
}

INSTANTIATE_TEST_SUITE_P(Table, DecodeUtf8LossyTest, ::testing::ValuesIn(Cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DecodeUtf8Lossy, EveryTwoByteSequenceGivesValidOutput)
{
    for (int a = 0; a < 256; ++a)
        for (int b = 0; b < 256; ++b) {
            const std::string input{static_cast<char>(a), static_cast<char>(b)};
            const std::string output = DecodeUtf8Lossy(input);
            ASSERT_TRUE(IsValidUtf8(output)) << a << " " << b;
            ASSERT_EQ(IsValidUtf8(input), output == input) << a << " " << b;
        }
}

struct CodePointCase {
    const char* name;
    char32_t codePoint;
    std::string utf8;
    char32_t decoded;   // what reading `utf8` back gives
    char16_t high, low; // the UTF-16 pair above U+FFFF
};

TEST(Utf8, EncodesAndDecodesCodePoints)
{
    const CodePointCase cases[] = {
        {"Nul", 0, "\0"s, 0, 0, 0},
        {"LastOneByte", 0x7F, "\x7F", 0x7F, 0, 0},
        {"FirstTwoByte", 0x80, "\xC2\x80", 0x80, 0, 0},
        {"LastTwoByte", 0x7FF, "\xDF\xBF", 0x7FF, 0, 0},
        {"FirstThreeByte", 0x800, "\xE0\xA0\x80", 0x800, 0, 0},
        {"BeforeSurrogates", 0xD7FF, "\xED\x9F\xBF", 0xD7FF, 0, 0},
        {"HighSurrogateReplaced", 0xD800, FFFD, 0xFFFD, 0, 0},
        {"LowSurrogateReplaced", 0xDFFF, FFFD, 0xFFFD, 0, 0},
        {"AfterSurrogates", 0xE000, "\xEE\x80\x80", 0xE000, 0, 0},
        {"LastThreeByte", 0xFFFF, "\xEF\xBF\xBF", 0xFFFF, 0, 0},
        {"FirstFourByte", 0x10000, "\xF0\x90\x80\x80", 0x10000, 0xD800, 0xDC00},
        {"Emoji", 0x1F600, "\xF0\x9F\x98\x80", 0x1F600, 0xD83D, 0xDE00},
        {"Highest", 0x10FFFF, "\xF4\x8F\xBF\xBF", 0x10FFFF, 0xDBFF, 0xDFFF},
        {"AboveHighestReplaced", 0x110000, FFFD, 0xFFFD, 0, 0},
    };
    for (const CodePointCase& c : cases) {
        std::string out;
        AppendUtf8(out, c.codePoint);
        EXPECT_EQ(out, c.utf8) << c.name;
        std::size_t pos = 0;
        EXPECT_EQ(NextCodePoint(c.utf8, pos), c.decoded) << c.name;
        EXPECT_EQ(pos, c.utf8.size()) << c.name;
        if (c.high != 0) {
            EXPECT_EQ(HighSurrogateOf(c.codePoint), c.high) << c.name;
            EXPECT_EQ(LowSurrogateOf(c.codePoint), c.low) << c.name;
            EXPECT_TRUE(IsHighSurrogate(c.high) && IsLowSurrogate(c.low)) << c.name;
            EXPECT_EQ(CombineSurrogates(c.high, c.low), c.codePoint) << c.name;
        }
    }
}

// Wide text of Windows and back: pairs joined and split, lone surrogates and ill-formed UTF-8 replaced.
TEST(Utf16, ConvertsBothWays)
{
    struct Case {
        const char* name;
        std::u16string utf16;
        std::string utf8;
        bool roundTrip; // the UTF-8 turns back into the same units
    };
    const Case cases[] = {
        {"Empty", u"", "", true},
        {"AsciiAndChinese", u"Ann 说：你好", "Ann 说：你好", true},
        {"Pair", u"a\xD83D\xDE00" u"b", "a\xF0\x9F\x98\x80" "b", true},
        {"Highest", u"\xDBFF\xDFFF", "\xF4\x8F\xBF\xBF", true},
        {"NulKept", u"a\0b"s, "a\0b"s, true},
        {"LoneHigh", u"a\xD83D" u"b", "a" FFFD "b", false},
        {"HighAtEnd", u"a\xD83D", "a" FFFD, false},
        {"TwoHighs", u"\xD83D\xD83D\xDE00", FFFD "\xF0\x9F\x98\x80", false},
        {"LoneLow", u"\xDE00", FFFD, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utf8FromUtf16(c.utf16), c.utf8) << c.name;
        if (c.roundTrip)
            EXPECT_EQ(Utf16FromUtf8(c.utf8), c.utf16) << c.name;
        else
            EXPECT_EQ(Utf16FromUtf8(c.utf8), Utf16FromUtf8(Utf8FromUtf16(c.utf16))) << c.name;
    }
    EXPECT_EQ(Utf16FromUtf8("x\xC3y\xF0\x9F\x98"), u"x\xFFFD" u"y\xFFFD");
}

} // namespace
} // namespace quorvel::text
