// Plain-text log files: UTF-8 with CR LF out; UTF-8 (with or without mark), UTF-16, GB18030 in.

#include "ui/logfile/RichText.h"

#include <gtest/gtest.h>

namespace quorvel::logfile {
namespace {

struct DecodeCase {
    const char* name;
    std::string bytes;
    std::string text;
};

class PlainTextDecode : public testing::TestWithParam<DecodeCase> {};

TEST_P(PlainTextDecode, GivesUtf8WithNewlines)
{
    EXPECT_EQ(DecodePlainText(GetParam().bytes), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Log, PlainTextDecode,
    testing::Values(DecodeCase{"Empty", "", ""},
                    DecodeCase{"Utf8", "Ann 说 (09:05:07):\r\nHello 😀\r\n", "Ann 说 (09:05:07):\nHello 😀\n"},
                    DecodeCase{"Utf8Bom",
                               "\xEF\xBB\xBF"
                               "中文\r\n",
                               "中文\n"},
                    DecodeCase{"BomOnly", "\xEF\xBB\xBF", ""},
                    DecodeCase{"Utf8BomCutCharacterIsOneReplacement",
                               "\xEF\xBB\xBF"
                               "\xE4\xB8\r\n\xE4\xB8",
                               "\uFFFD\n\uFFFD"},
                    DecodeCase{"Gb18030TwoByte", "\xD6\xD0\xCE\xC4\r\n\xC4\xE3\xBA\xC3", "中文\n你好"},
                    DecodeCase{"Gb18030FourByte", "\x81\x30\x84\x38 \x94\x39\xFC\x36", "© 😀"},
                    DecodeCase{"Gb18030MixedAscii", "Ann \xCB\xB5\xA3\xBA hi", "Ann 说： hi"},
                    DecodeCase{"InvalidEverywhere",
                               "a\xFF"
                               "b",
                               "a\uFFFDb"},
                    DecodeCase{"LoneCr", "a\rb\r", "a\nb\n"}, DecodeCase{"CrCrLf", "a\r\r\nb", "a\n\nb"},
                    DecodeCase{"LfKept", "a\nb", "a\nb"},
                    DecodeCase{"Utf16LeBom",
                               std::string("\xFF\xFE"
                                           "A\0-N\r\0\n\0",
                                           10),
                               "A中\n"},
                    DecodeCase{"Utf16BeBom", std::string("\xFE\xFF\0A\x4E\x2D", 6), "A中"},
                    DecodeCase{"OverlongTakenAsGb18030", "\xC0\xAF", "蜡"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PlainTextEncode, WritesCrLf)
{
    EXPECT_EQ(EncodePlainText(""), "");
    EXPECT_EQ(EncodePlainText("a\nb\n"), "a\r\nb\r\n");
    EXPECT_EQ(EncodePlainText("\n\n"), "\r\n\r\n");
    EXPECT_EQ(EncodePlainText("a\r\nb"), "a\r\nb");
    EXPECT_EQ(EncodePlainText("中文\t😀"), "中文\t😀");
}

TEST(PlainTextEncode, RoundTrips)
{
    for (const std::string text : {"", "one line", "中文\n\nemoji 😀\n", "\n", "tab\there\n"})
        EXPECT_EQ(DecodePlainText(EncodePlainText(text)), text);
}

// What either edition makes of a file it opens, and which form a save takes by the name.
TEST(LogFileForms, ContentDecidesHowAFileOpensAndTheNameHowItSaves)
{
    const Color green{0, 128, 0}, blue{0, 0, 255};
    struct Case {
        std::string bytes;
        std::string text; // "!": "Failed to Load Stream"
        Color first;      // colour of the first run
    };
    const Case cases[] = {
        {"{\\rtf1{\\colortbl;\\red0\\green128\\blue0;}\\cf1 Ann\\par}", "Ann\n", green},
        {"\xEF\xBB\xBF \r\n{\\rtf1 x}", "x", {}},
        {"see {\\rtf1 x}", "see {\\rtf1 x}", {}},
        {"plain \xD6\xD0\r\n", "plain 中\n", {}},
        {std::string(MaxLogLineChars + 1, 'x'), std::string(MaxLogLineChars, 'x') + "\nx", {}},
        {EncodeLogFile(RichText{{{"中\n😀", blue}}}, false), "中\n😀", blue},
        {std::string("a\0b", 3), "!", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes.substr(0, 40));
        if (c.text == "!") {
            EXPECT_THROW(DecodeLogFile(c.bytes), LogFileError);
            continue;
        }
        const RichText text = DecodeLogFile(c.bytes);
        EXPECT_EQ(text.plainText(), c.text);
        ASSERT_FALSE(text.runs.empty());
        EXPECT_EQ(text.runs.front().color, c.first);
    }
    EXPECT_EQ(EncodeLogFile(RichText{{{"a\nb", blue}}}, true), "a\r\nb");

    for (const auto& [name, plain] : std::initializer_list<std::pair<const char*, bool>>{
             {"log.rtf", false}, {"C:\\Logs\\LOG.RTF", false}, {"/a.b/log.Rtf", false}, {"log.txt", true},
             {"log.TXT", true}, {"log.log", true}, {"log", true}, {"C:\\a.rtf\\log", true}, {"log.rtf.txt", true}})
        EXPECT_EQ(SavesAsPlainText(name), plain) << name;
}

} // namespace
} // namespace quorvel::logfile
