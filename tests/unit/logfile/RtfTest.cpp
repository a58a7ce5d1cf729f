// Our RTF writer and reader: round trips, the reader on RTF of other writers' kinds, hostile input.

#include "ui/logfile/RichText.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace quorvel::logfile {
namespace {

std::string TextOf(std::string_view rtf)
{
    const std::optional<RichText> text = ReadRtf(rtf);
    return text ? text->plainText() : std::string("<not rtf>");
}

struct RoundTripCase {
    const char* name;
    RichText text;
};

RichText Runs(std::initializer_list<TextRun> runs)
{
    return RichText{runs};
}

std::vector<RoundTripCase> RoundTripCases()
{
    return {
        {"Empty", Runs({})},
        {"ChatLines", Runs({{"Ann 说 (09:05:07):", Green},
                            {"\nHello\n", Black},
                            {"Bob 说 (09:05:09):", Blue},
                            {"\nHi there", Black}})},
        {"BoldItalicUnderline", Runs({{"b", Black, true},
                                      {"i", Black, false, true},
                                      {"u", Black, false, false, true},
                                      {"all", Green, true, true, true},
                                      {"none", Black}})},
        {"Chinese", Runs({{"消息记录：今天的周会改到下午三点，地点不变。", Black}})},
        {"EmojiAndExtensionB", Runs({{"😀👨‍👩‍👧🇨🇳 𠮷田 \U0010FFFF \U00010000", Black}})},
        {"SignedUnicodeBoundaries", Runs({{"\u007F\u0080\u7FFF\u8000\uFFFD\uFFFF", Black}})},
        {"QuestionMarkAfterEscape", Runs({{"中??文?", Black}})},
        {"Tabs", Runs({{"\ta\t\tb\t", Black}})},
        {"LineBreaks", Runs({{"\n\nfirst\n\n\nlast\n", Black}})},
        {"BracesAndBackslashes", Runs({{"{\\rtf1 \\par} \\\\ {{ }} \\'41 \\u20013?", Black}})},
        {"SpacesAfterControlWords", Runs({{" lead", Green}, {"  two", Black, true}, {"\n  after par", Black}})},
        {"DigitsAfterControlWords", Runs({{"1", Green}, {"2", Blue}, {"-3", Black, true}})},
        {"SameColourChangingStyle", Runs({{"x", Green, true}, {"y", Green}, {"z", Green, false, true}})},
        {"ManyColours", Runs({{"r", {255, 0, 0}},
                              {"g", {0, 255, 0}},
                              {"b", {0, 0, 255}},
                              {"w", {255, 255, 255}},
                              {"k", Black},
                              {"r again", {255, 0, 0}}})},
    };
}

class RtfRoundTrip : public testing::TestWithParam<RoundTripCase> {};

TEST_P(RtfRoundTrip, SevenBitRtfWithEveryColourReadsBackTheSameRuns)
{
    const RichText& text = GetParam().text;
    const std::string rtf = WriteRtf(text);
    const std::optional<RichText> back = ReadRtf(rtf);
    ASSERT_TRUE(back.has_value()) << rtf;
    EXPECT_EQ(Normalized(*back).runs, Normalized(text).runs) << rtf;
    EXPECT_TRUE(rtf.starts_with("{\\rtf1\\ansi\\ansicpg1252\\deff0")) << rtf;
    EXPECT_NE(rtf.find("{\\fonttbl"), std::string::npos);
    EXPECT_NE(rtf.find("\\uc1"), std::string::npos);
    EXPECT_TRUE(std::all_of(rtf.begin(), rtf.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        << rtf;
    for (const TextRun& run : text.runs) {
        const std::string entry = "\\red" + std::to_string(run.color.red) + "\\green" +
                                  std::to_string(run.color.green) + "\\blue" + std::to_string(run.color.blue) + ";";
        EXPECT_NE(rtf.find(entry), std::string::npos) << entry;
    }
    // Every brace of the text is escaped, so the groups balance and the document closes at its end.
    int depth = 0;
    std::size_t closedAt = std::string::npos;
    for (std::size_t i = 0; i < rtf.size() && closedAt == std::string::npos; ++i) {
        if (rtf[i] == '\\')
            ++i;
        else if (rtf[i] == '{')
            ++depth;
        else if (rtf[i] == '}' && --depth == 0)
            closedAt = i;
    }
    EXPECT_EQ(closedAt, rtf.find_last_not_of("\r\n"));
}

INSTANTIATE_TEST_SUITE_P(Log, RtfRoundTrip, testing::ValuesIn(RoundTripCases()),
                         [](const auto& info) { return std::string(info.param.name); });

struct EscapeCase {
    const char* name;
    const char* text;
    const char* written;
};

class RtfWriterEscapes : public testing::TestWithParam<EscapeCase> {};

TEST_P(RtfWriterEscapes, WritesTheCharacterAsRtfRequires)
{
    const std::string rtf = WriteRtf(Runs({{GetParam().text, Black}}));
    EXPECT_NE(rtf.find(GetParam().written), std::string::npos) << rtf;
}

INSTANTIATE_TEST_SUITE_P(
    Log, RtfWriterEscapes,
    testing::Values(EscapeCase{"Chinese", "中", "\\u20013?"}, EscapeCase{"AboveSignedRange", "\uFFFD", "\\u-3?"},
                    EscapeCase{"SurrogatePair", "😀", "\\u-10179?\\u-8704?"}, EscapeCase{"Latin1", "é", "\\u233?"},
                    EscapeCase{"Backslash", "a\\b", "a\\\\b"}, EscapeCase{"Braces", "{x}", "\\{x\\}"},
                    EscapeCase{"Tab", "a\tb", "a\\tab b"}, EscapeCase{"Paragraph", "a\nb", "a\\par\nb"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RtfWriter, InvalidUtf8AndControlCharactersDoNotLeakIntoTheDocument)
{
    const std::string rtf = WriteRtf(Runs({{std::string("a\xFF\x01\rb"), Black}}));
    EXPECT_EQ(TextOf(rtf), "a\uFFFDb");
}

// unrtf is an independent reader: our files must make sense to it, colours and text included.
TEST(RtfWriter, UnrtfReadsOurDocument)
{
#ifndef QUORVEL_UNRTF
    GTEST_SKIP() << "unrtf is not installed (Debian package unrtf)";
#else
    const RichText text = Runs({{"Ann 说 (09:05:07):", Green, true}, {"\nHello {world} \\ back é\n", Black}});
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("quorvel-unrtf-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::filesystem::path file = dir / "log.rtf";
    std::ofstream(file, std::ios::binary) << WriteRtf(text);
    const std::string command = std::string(QUORVEL_UNRTF) + " --html '" + file.string() + "' 2>&1";
    std::string html;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            html.append(buffer, n);
        EXPECT_EQ(::pclose(pipe), 0) << html;
    }
    std::filesystem::remove_all(dir);
    EXPECT_NE(html.find("Ann &#35828; (09:05:07):"), std::string::npos) << html;
    EXPECT_NE(html.find("Hello {world} \\ back &eacute;"), std::string::npos) << html;
    EXPECT_NE(html.find("#008000"), std::string::npos) << html;
    EXPECT_NE(html.find("<b>"), std::string::npos) << html;
#endif
}

struct ReadCase {
    const char* name;
    std::string rtf;
    std::string text;
};

class RtfReaderText : public testing::TestWithParam<ReadCase> {};

TEST_P(RtfReaderText, GivesTheText)
{
    EXPECT_EQ(TextOf(GetParam().rtf), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    CodePages, RtfReaderText,
    testing::Values(
        ReadCase{"AnsiCpg936", "{\\rtf1\\ansi\\ansicpg936 \\'d6\\'d0\\'ce\\'c4}", "中文"},
        ReadCase{"Charset134Under1252",
                 "{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0\\fcharset0 Arial;}{\\f1\\fcharset134 SimSun;}}"
                 "\\f1 \\'d6\\'d0\\f0 x}",
                 "中x"},
        ReadCase{"Charset128ShiftJis", "{\\rtf1{\\fonttbl{\\f0\\fcharset128 MS Gothic;}}\\f0 \\'82\\'a0}", "あ"},
        ReadCase{"Charset136Big5", "{\\rtf1{\\fonttbl{\\f0\\fcharset136 MingLiU;}}\\f0 \\'a4\\'a4}", "中"},
        ReadCase{"Charset129Korean", "{\\rtf1{\\fonttbl{\\f0\\fcharset129 Gulim;}}\\f0 \\'c7\\'d1}", "한"},
        ReadCase{"Charset238", "{\\rtf1{\\fonttbl{\\f0\\fcharset238 Arial;}}\\f0 \\'e8\\'9a}", "čš"},
        ReadCase{"Charset204", "{\\rtf1{\\fonttbl{\\f0\\fcharset204 Arial;}}\\f0 \\'c0\\'e1}", "Аб"},
        ReadCase{"Charset161", "{\\rtf1{\\fonttbl{\\f0\\fcharset161 Arial;}}\\f0 \\'e1}", "α"},
        ReadCase{"Charset162", "{\\rtf1{\\fonttbl{\\f0\\fcharset162 Arial;}}\\f0 \\'f0}", "ğ"},
        ReadCase{"Charset0FollowsAnsiCpg", "{\\rtf1\\ansicpg1251{\\fonttbl{\\f0\\fcharset0 Arial;}}\\f0 \\'c0}", "А"},
        ReadCase{"DefaultFontCharset", "{\\rtf1\\deff1{\\fonttbl{\\f1\\fcharset134 SimSun;}}\\'d6\\'d0}", "中"},
        ReadCase{"CpgWinsOverCharset", "{\\rtf1{\\fonttbl{\\f0\\fcharset0\\cpg936 X;}}\\f0 \\'d6\\'d0}", "中"},
        ReadCase{"RawTrailByte", "{\\rtf1\\ansicpg932 \\'83e}", "テ"},
        ReadCase{"RawHighBytes", "{\\rtf1\\ansicpg936 \xD6\xD0}", "中"},
        ReadCase{"LoneLeadByteFallsBackToLatin", "{\\rtf1\\ansicpg950 \\'a9 2004}", "© 2004"},
        ReadCase{"Latin1Default", "{\\rtf1 caf\\'e9}", "café"}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Unicode, RtfReaderText,
    testing::Values(ReadCase{"FallbackSkipped", "{\\rtf1 \\u20013?\\u25991?}", "中文"},
                    ReadCase{"NegativeValue", "{\\rtf1 \\u-248?}", "（"},
                    ReadCase{"SurrogatePair", "{\\rtf1 \\u-10179?\\u-9047?}", "💩"},
                    ReadCase{"PositiveSurrogatesUc0", "{\\rtf1\\uc0 \\u55357\\uc1 \\u56395\\'3f}", "👋"},
                    ReadCase{"Uc2SkipsTwoHexBytes", "{\\rtf1\\ansicpg932 \\uc2\\u24180\\'94\\'4e abc}", "年 abc"},
                    ReadCase{"UcIsScopedToTheGroup", "{\\rtf1 {\\uc2 \\u20013\\'d6\\'d0}\\u25991?}", "中文"},
                    ReadCase{"Uc0SkipsNothing", "{\\rtf1\\uc0 \\u20013 x}", "中x"},
                    ReadCase{"FallbackEndsAtGroup", "{\\rtf1\\uc3 {\\u20013}x}", "中x"},
                    ReadCase{"FallbackCountsControlWords", "{\\rtf1\\uc2 \\u20013\\lquote\\'41B}", "中B"},
                    ReadCase{"LoneHighSurrogate", "{\\rtf1 \\u55357?x}", "\uFFFDx"},
                    ReadCase{"LoneLowSurrogate", "{\\rtf1 \\u-8704?x}", "\uFFFDx"},
                    ReadCase{"HighSurrogateAtEnd", "{\\rtf1 \\u55357?}", "\uFFFD"},
                    ReadCase{"NoParameter", "{\\rtf1 a\\u b}", "ab"}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Structure, RtfReaderText,
    testing::Values(
        ReadCase{"ParLineTab", "{\\rtf1 a\\par b\\line c\\tab d}", "a\nb\nc\td"},
        ReadCase{"BackslashNewlineIsParagraph", "{\\rtf1 a\\\nb\\\r\nc}", "a\nb\nc"},
        ReadCase{"RawNewlinesIgnored", "{\\rtf1 a\r\nb\nc}", "abc"},
        ReadCase{"ControlSymbols", "{\\rtf1 \\{\\}\\\\a\\~b\\-c\\_d\\|\\:}", "{}\\a\u00A0bc\u2011d"},
        ReadCase{"SpecialCharacters", "{\\rtf1 \\lquote x\\rquote \\ldblquote y\\rdblquote \\emdash\\endash\\bullet}",
                 "‘x’“y”—–•"},
        ReadCase{"TableCells", "{\\rtf1 \\trowd a\\cell b\\cell\\row c}", "a\tb\t\nc"},
        ReadCase{"FontTableNotText", "{\\rtf1{\\fonttbl{\\f0 Arial;}\\f1 Old Style;}x}", "x"},
        ReadCase{"ColourTableNotText", "{\\rtf1{\\colortbl;\\red1\\green2\\blue3;}x}", "x"},
        ReadCase{"IgnorableDestination", "{\\rtf1 a{\\*\\unknown hidden {nested}}b}", "ab"},
        ReadCase{"KnownDestinations",
                 "{\\rtf1{\\info{\\title T}{\\author A}}{\\stylesheet{\\s0 Normal;}}{\\header H}{\\footer F}"
                 "{\\pict 89504e47}{\\object{\\objdata 01}}{\\*\\themedata 00}{\\*\\datastore 00}"
                 "{\\*\\latentstyles x}{\\*\\listtable x}{\\*\\generator G;}x}",
                 "x"},
        ReadCase{"FieldKeepsResult", "{\\rtf1 see {\\field{\\*\\fldinst HYPERLINK \"u\"}{\\fldrslt link}} end}",
                 "see link end"},
        ReadCase{"HiddenText", "{\\rtf1 a\\v hidden\\v0 b}", "ab"},
        ReadCase{"BinSkipsRawBytes", "{\\rtf1 a{\\pict\\bin4 }}{\\}b}c}", "ab"},
        ReadCase{"BinOutsideDestination", "{\\rtf1 a\\bin3 xyzb}", "ab"},
        ReadCase{"ControlCharactersDropped", "{\\rtf1 a\\'01\\'0a\\u7?b\x01}", "ab"},
        ReadCase{"TextAfterDocumentIgnored", "{\\rtf1 a}b{c}", "a"},
        ReadCase{"LeadingWhitespaceAndBom", "\xEF\xBB\xBF \r\n{\\rtf1 a}", "a"}),
    [](const auto& info) { return std::string(info.param.name); });

// Hostile input: never a crash, never a read past the end, a sensible result.
INSTANTIATE_TEST_SUITE_P(
    Hostile, RtfReaderText,
    testing::Values(
        ReadCase{"DeepGroups", "{\\rtf1 " + std::string(100000, '{') + "deep" + std::string(100000, '}') + " after}",
                 "deep after"},
        ReadCase{"DeepGroupsUnclosed", "{\\rtf1 " + std::string(100000, '{') + "x", "x"},
        ReadCase{"HugeBin", "{\\rtf1 a\\bin99999999999999999999 xyz}", "a"},
        ReadCase{"NegativeBin", "{\\rtf1 a\\bin-5 b}", "ab"}, ReadCase{"TruncatedHex", "{\\rtf1 a\\'4", "a"},
        ReadCase{"BadHexDigits", "{\\rtf1 a\\'4zb\\'zz}", "azbzz"}, ReadCase{"TruncatedUnicode", "{\\rtf1 a\\u", "a"},
        ReadCase{"TruncatedNegative", "{\\rtf1 a\\u-", "a-"}, ReadCase{"LoneBackslash", "{\\rtf1 a\\", "a"},
        ReadCase{"TooManyCloses", "{\\rtf1 a}}}b", "a"}, ReadCase{"Unclosed", "{\\rtf1 {{{a", "a"},
        ReadCase{"HugeColourIndex", "{\\rtf1\\cf99999999999999999999 a\\cf-5 b}", "ab"},
        ReadCase{"HugeUnicode", "{\\rtf1 a\\u99999999999 b\\u-99999999999 c}", "a\uFFFD\uFFFD"},
        ReadCase{"HugeUcSkipsToGroupEnd", "{\\rtf1 {\\uc99999999999 \\u20013 skipped}x}", "中x"},
        ReadCase{"LongControlWord", "{\\rtf1 \\" + std::string(100000, 'a') + " x}", "x"},
        ReadCase{"NulBytes", std::string("{\\rtf1 a\0b}", 11), "ab"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RtfReader, RefusesWhatIsNoRtf)
{
    for (std::string_view bytes : {"", "hello", "{\\rt", "{rtf1}", "\\rtf1", "x{\\rtf1 a}"})
        EXPECT_FALSE(ReadRtf(bytes).has_value()) << bytes;
}

TEST(RtfReader, DeepFormattingIsFlattenedNotLost)
{
    std::string rtf = "{\\rtf1{\\colortbl;\\red0\\green128\\blue0;}";
    for (int i = 0; i < 100000; ++i)
        rtf += "{\\b ";
    rtf += "x";
    rtf += std::string(100000, '}');
    rtf += "y}";
    const std::optional<RichText> text = ReadRtf(rtf);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(text->plainText(), "xy");
    ASSERT_FALSE(text->runs.empty());
    EXPECT_TRUE(text->runs.front().bold);
    EXPECT_FALSE(text->runs.back().bold); // the outer groups still restore their state
}

struct FormatCase {
    const char* name;
    std::string rtf;
    std::vector<TextRun> runs;
};

class RtfReaderFormat : public testing::TestWithParam<FormatCase> {};

TEST_P(RtfReaderFormat, GivesTheRuns)
{
    const std::optional<RichText> text = ReadRtf(GetParam().rtf);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(text->runs, GetParam().runs);
}

constexpr const char* ColourTable = "{\\colortbl;\\red0\\green128\\blue0;\\red0\\green0\\blue255;}";

INSTANTIATE_TEST_SUITE_P(
    Log, RtfReaderFormat,
    testing::Values(FormatCase{"Colours",
                               std::string("{\\rtf1") + ColourTable + "\\cf1 g\\cf2 b\\cf0 k\\cf9 x}",
                               {{"g", Green}, {"b", Blue}, {"kx", Black}}},
                    FormatCase{"GroupRestoresState",
                               std::string("{\\rtf1") + ColourTable + "a{\\cf1\\b\\i\\ul b}c}",
                               {{"a", Black}, {"b", Green, true, true, true}, {"c", Black}}},
                    FormatCase{"ExplicitOff",
                               "{\\rtf1\\b\\i\\ul a\\b0 b\\i0 c\\ulnone d}",
                               {{"a", Black, true, true, true},
                                {"b", Black, false, true, true},
                                {"c", Black, false, false, true},
                                {"d", Black}}},
                    FormatCase{"UnderlineKinds",
                               "{\\rtf1\\uldb a\\ul0 b\\ulwave c}",
                               {{"a", Black, false, false, true}, {"b", Black}, {"c", Black, false, false, true}}},
                    FormatCase{"PlainResets",
                               std::string("{\\rtf1") + ColourTable + "\\cf2\\b\\i\\ul a\\plain b}",
                               {{"a", Blue, true, true, true}, {"b", Black}}},
                    FormatCase{"PardKeepsCharacterFormat", "{\\rtf1\\b a\\par\\pard b}", {{"a\nb", Black, true}}},
                    FormatCase{"DoubleByteAssociatedBold",
                               "{\\rtf1{\\dbch\\ab\\dbch \\u20013?}{\\rtlch\\ab\\ltrch x}}",
                               {{"中", Black, true}, {"x", Black}}},
                    FormatCase{"ParagraphTakesFormat",
                               std::string("{\\rtf1") + ColourTable + "\\cf1 h\\par\\cf0 b}",
                               {{"h\n", Green}, {"b", Black}}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace quorvel::logfile
