// The reader on files written by WordPad, Word, TextEdit and LibreOffice (the shared RTF corpus
// beside the checkout; skipped where it is absent).

#include "ui/logfile/RichText.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

namespace quorvel::logfile {
namespace {

bool CorpusPresent()
{
    return std::filesystem::is_directory(QUORVEL_RTF_CORPUS);
}

std::string ReadData(const std::string& name)
{
    std::ifstream file(std::string(QUORVEL_RTF_CORPUS) + "/" + name, std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    return content.str();
}

struct Fragment {
    Fragment(const char* text) : text(text) {}
    Fragment(const char* text, Color color) : text(text), color(color) {}
    Fragment(const char* text, Color color, bool bold) : text(text), color(color), bold(bold) {}

    std::string text;
    std::optional<Color> color; // checked when given
    std::optional<bool> bold;
};

struct CorpusCase {
    const char* name;
    const char* file;
    std::vector<Fragment> fragments;
    std::vector<std::string> absent; // text that must not show (skipped destinations, wrong fallbacks)
};

// The run that holds the fragment, or nothing when the fragment spans runs or is missing.
const TextRun* RunHolding(const RichText& text, const std::string& fragment)
{
    for (const TextRun& run : text.runs) {
        if (run.text.find(fragment) != std::string::npos)
            return &run;
    }
    return nullptr;
}

class RtfCorpus : public testing::TestWithParam<CorpusCase> {};

TEST_P(RtfCorpus, ShowsTheTextWithItsFormat)
{
    if (!CorpusPresent())
        GTEST_SKIP() << "no RTF corpus at " << QUORVEL_RTF_CORPUS;
    const std::string bytes = ReadData(GetParam().file);
    ASSERT_FALSE(bytes.empty()) << GetParam().file;
    const std::optional<RichText> text = ReadRtf(bytes);
    ASSERT_TRUE(text.has_value());
    const std::string plain = text->plainText();
    for (const Fragment& fragment : GetParam().fragments) {
        EXPECT_NE(plain.find(fragment.text), std::string::npos) << fragment.text << "\n--- in ---\n" << plain;
        if (!fragment.color && !fragment.bold)
            continue;
        const TextRun* run = RunHolding(*text, fragment.text);
        ASSERT_NE(run, nullptr) << fragment.text;
        if (fragment.color) {
            EXPECT_EQ(run->color, *fragment.color) << *run;
        }
        if (fragment.bold) {
            EXPECT_EQ(run->bold, *fragment.bold) << *run;
        }
    }
    for (const std::string& absent : GetParam().absent)
        EXPECT_EQ(plain.find(absent), std::string::npos) << absent << "\n--- in ---\n" << plain;
}

std::vector<CorpusCase> CorpusCases()
{
    return {
        {"WordPadCzech",
         "testRTFWordPadCzechCharacters.rtf",
         {{"Článek týdne\n"},
          {"Část svitku s textem Knihy Izajáš"},
          {"Svitky od Mrtvého moře"},
          {"př.\u2009n.\u2009l."}},
         {"Calibri"}},
        {"Word932", "testRTF-ms932.rtf", {{"Hello"}, {"こんにちは"}, {"テスト"}}, {}},
        {"TextEdit950",
         "test950Encoding.rtf",
         {{"Test Text\n"}, {"Copyright © 2004-2013 Test Project"}},
         {"Title", "Test Author"}},
        {"RichEditKorean", "testKoreanEncoding.rtf", {{"MS Project Addin ProjectPlus\n"}}, {"Riched20"}},
        {"MultiByteHex", "testMultiByteHex.rtf", {{"お元気ですか？"}}, {}},
        {"UcDoubling", "testRTFUnicodeUCNControlWordCharacterDoubling.rtf", {{"0 年 abc 念"}}, {"MS Gothic"}},
        {"LibreOfficeChat",
         "lo-chat-zh.rtf",
         {{"消息记录（此消息记录为文本格式，不支持重新导入）", Black, true},
          {"2024-03-15 09:12:03 张伟", Green, false},
          {"早上好！今天的周会改到下午三点，地点不变。", Black, false},
          {"2024-03-15 09:13:47 李娜", Blue, false},
          {"上季度的销售数据", Black, true},
          {"抄送给陈喆和刘堃就行了。「注意」：附件不要超过20MB。"},
          {"明白～谢谢！"}},
         {"?", "Liberation", "Normal;"}},
        // The Shift-JIS fallback bytes of this file are wrong for Chinese; only \uN is right.
        {"LibreOfficeChatViaDoc",
         "lo-chat-zh-via-doc.rtf",
         {{"消息记录（此消息记录为文本格式，不支持重新导入）", Black, true},
          {"2024-03-15 09:12:03 张伟", Green},
          {"2024-03-15 09:13:47 李娜", Blue},
          {"报价单第3页的金额是￥12,800.00，请再核对一下。", Black}},
         {"?"}},
        {"LibreOfficeEmoji",
         "lo-chat-emoji.rtf",
         {{"Tom Zhang", Green, true},
          {"Lily 李", Blue, true},
          {"Hi Lily 👋 周末一起去 hiking 吗？天气预报说 Saturday 是晴天 ☀️", Black, false},
          {"早上要去健身房 🏋️‍♀️"},
          {"顺便叫上吉野家的𠮷田吧 👨‍👩‍👧 一家三口 🇨🇳🎉"},
          {"Great", Black, true}},
         {"\uFFFD", "?"}},
        {"TextEditChinese",
         "issue_28.rtf",
         {{"印刷情况反映：\n201-003-00155 (Multiple)"}, {"市政府情况反映：\n022-021-00768 (Multiple)"}},
         {}},
        {"TextEditHyperlink",
         "mac_textedit_hyperlink.rtf",
         {{"First one is: striprtf.dev (plain)"}, {"Second one is: github (real)"}},
         {"HYPERLINK"}},
        {"WordNestedTable",
         "nested_table.rtf",
         {{"Gesamt DLP: 382.75 mGy.cm. Mittlere Herzfrequenz: 72/min"},
          {"Calcium-Score", Black, true},
          {"RCA\tkeine Stenose"},
          {"geschätztes"}},
         {}},
        {"WordVarious",
         "testRTFVarious.rtf",
         {{"Bold", Black, true},
          {"italic"},
          {"underline"},
          {"This is a hyperlink", Blue},
          {"Row 1 Col 1\tRow 1 Col 2\tRow 1 Col 3"},
          {"ゾルゲと尾崎、淡々と最期"},
          {"（ＧＨＱ）"},
          {"𐌲𐌿𐍄𐌹𐍃𐌺"}},
         {"HYPERLINK", "Times New Roman"}},
        {"WordBoldItalic", "testRTFBoldItalic.rtf", {{"bold then ", Black, true}, {"italic then"}}, {}},
        {"WordImages", "testRTFRegularImages.rtf", {{"Duck: cat: "}}, {"ffd8", "FFD8"}},
        // The \bin data holds a '}' byte: read as text, it would close the picture early and the
        // tabs inside the (unclosed) object group would show.
        {"WordBin", "testBinControlWord.rtf", {}, {"\t", "\u00FF"}},
        {"WordPadGbkByCharset",
         "RtfParserTest_8.rtf",
         {{"FlashFXP v3.1.5 build 1054 Beta", Black, true},
          {"新功能", Black, true},
          {"实验功能 - 队列窗鼠标右键菜单 > 展开文件夹 (仅支持下载)"}},
         {}},
        {"WordPadShiftJisByCharset", "rtf.js-infer-double-width-source.rtf", {{"要やフぎば要立クモフ刑香"}}, {}},
        {"WordPadEmoji", "rtf.js-pile-of-poo-source.rtf", {{"Iñtërnâtiônàlizætiøn☃💩"}}, {}},
        {"WordPadColours",
         "rtf.js-colors-source.rtf",
         {{"Normal Line 1", Black},
          {"Colored Line", Color{0, 255, 0}},
          {"Highlighted Line", Black},
          {"Colored & Highlighted Line", Color{255, 255, 255}}},
         {"Mirco"}},
        {"Word2007Chinese", "issue_11.rtf", {{"测试"}}, {"宋体"}},
        {"ReportNegativeUnicode",
         "Issue23.rtf",
         {{"就诊时间:"}, {"2018年9月12日 11时45分25秒"}, {"过敏信息：", Black, true}},
         {}},
    };
}

INSTANTIATE_TEST_SUITE_P(Files, RtfCorpus, testing::ValuesIn(CorpusCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// Another program's file, read and written again by us, keeps its text and format.
TEST_P(RtfCorpus, SurvivesOurWriter)
{
    if (!CorpusPresent())
        GTEST_SKIP() << "no RTF corpus at " << QUORVEL_RTF_CORPUS;
    const std::optional<RichText> text = ReadRtf(ReadData(GetParam().file));
    ASSERT_TRUE(text.has_value());
    const std::optional<RichText> again = ReadRtf(WriteRtf(*text));
    ASSERT_TRUE(again.has_value());
    EXPECT_EQ(again->runs, text->runs);
}

} // namespace
} // namespace quorvel::logfile
