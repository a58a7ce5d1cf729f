// Rate and volume mapping, Chinese/Latin run splitting, voice order and display names.

#include "speech/RateMapping.h"
#include "speech/SoundServerProbe.h"
#include "speech/TextRuns.h"
#include "speech/VoiceCatalog.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace quorvel::speech {
namespace {

TEST(RateMapping, Table)
{
    struct Row {
        const char* name;
        int rate;
        int wpm;
        double speed; // time stretch after synthesis
    };
    const Row rows[] = {
        {"normal", 0, 175, 1.0},
        {"one step faster", 1, 195, 1.0}, // 175 * 3^0.1
        {"one step slower", -1, 157, 1.0},
        {"half way up", 5, 303, 1.0}, // 175 * sqrt 3
        {"half way down", -5, 101, 1.0},
        {"fastest is clamped", 10, 500, 1.0},
        {"just above the floor", -7, 81, 1.0},
        {"below espeak's floor stretched", -8, 80, 0.908}, // 72.7 / 80
        {"further below", -9, 80, 0.814},
        {"slowest, a third of normal", -10, 80, 0.729}, // 58.3 / 80
        {"out of range high", 25, 500, 1.0},
        {"out of range low", -25, 80, 0.729},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(MapRate(r.rate).wordsPerMinute, r.wpm) << r.name;
        EXPECT_EQ(RateToWordsPerMinute(r.rate), r.wpm) << r.name;
        EXPECT_NEAR(MapRate(r.rate).speed, r.speed, 0.001) << r.name;
    }
}

TEST(VolumeMapping, Table)
{
    struct Row {
        const char* name;
        int volume;
        std::int16_t in;
        std::int16_t out;
    };
    const Row rows[] = {
        {"full keeps samples", 100, -32768, -32768},
        {"full keeps positive peak", 100, 32767, 32767},
        {"silent", 0, 32767, 0},
        {"silent negative", 0, -32768, 0},
        {"half", 50, 1000, 500},
        {"half negative", 50, -1000, -500},
        {"above range acts as full", 150, 1234, 1234},
        {"below range acts as silent", -5, 1234, 0},
    };
    for (const auto& r : rows) {
        std::int16_t s[] = {r.in};
        ApplyVolume(s, r.volume);
        EXPECT_EQ(s[0], r.out) << r.name;
    }
    EXPECT_DOUBLE_EQ(VolumeToGain(0), 0.0);
    EXPECT_DOUBLE_EQ(VolumeToGain(100), 1.0);
    EXPECT_DOUBLE_EQ(VolumeToGain(250), 1.0);
}

std::string Describe(const std::vector<TextRun>& runs)
{
    std::string out;
    for (const auto& r : runs)
        out += std::string(r.script == Script::Han ? "H[" : "L[") + r.text + "]";
    return out;
}

TEST(TextRuns, Table)
{
    struct Row {
        const char* name;
        const char* text;
        const char* runs;
    };
    const Row rows[] = {
        {"empty", "", ""},
        {"chinese only", "你好世界", "H[你好世界]"},
        {"english only", "hello world", "L[hello world]"},
        {"english inside chinese", "我用QQ聊天", "H[我用]L[QQ]H[聊天]"},
        {"spaces go with the run before", "你好 hello 世界", "H[你好 ]L[hello ]H[世界]"},
        {"full-width punctuation is chinese", "hello，世界。", "L[hello]H[，世界。]"},
        {"ascii punctuation follows the run before", "好的! OK.", "H[好的! ]L[OK.]"},
        {"digits glued to a latin word", "Win10系统", "L[Win10]H[系统]"},
        {"digits glued to a chinese word", "第3个", "H[第3个]"},
        {"leading digits glued to chinese", "3个人", "H[3个人]"},
        {"digits before chinese after a space", "hello 3个人", "L[hello ]H[3个人]"},
        {"free digits follow the run before", "QQ 2008 好", "L[QQ 2008 ]H[好]"},
        {"digits only", "12345", "H[12345]"},
        {"punctuation only", "...?!", "H[...?!]"},
        {"leading neutral joins the first run", "  (hi) 你", "L[  (hi) ]H[你]"},
        {"emoji follows the run before", "好😀ok", "H[好😀]L[ok]"},
        {"emoji only", "😀😀", "H[😀😀]"},
        {"accented latin", "café 咖啡", "L[café ]H[咖啡]"},
        {"japanese kana counts as cjk", "すしsushi", "H[すし]L[sushi]"},
        {"full-width letters are latin", "ＡＢ好", "L[ＡＢ]H[好]"},
        {"malformed byte stays in place", "a\xff好", "L[a\xff]H[好]"},
        {"truncated sequence at the end", "好\xe4\xbd", "H[好\xe4\xbd]"},
    };
    for (const auto& r : rows) {
        const auto runs = SplitScriptRuns(r.text);
        EXPECT_EQ(Describe(runs), r.runs) << r.name;
        std::string joined;
        for (const auto& run : runs)
            joined += run.text;
        EXPECT_EQ(joined, r.text) << r.name << ": runs must give the text back";
    }
}

std::vector<EngineVoice> SampleVoices()
{
    return {
        {"German", "gmw/de", "de", ""},
        {"Chinese (Mandarin, latin as English)", "sit/cmn", "cmn", ""},
        {"English (Great Britain)", "gmw/en", "en-gb", ""},
        {"afrikaans-mb-af1", "mb/mb-af1", "af", "af1"},
        {"Afrikaans", "gmw/af", "af", ""},
        {"English (America)", "gmw/en-US", "en-us", ""},
        {"Chinese (Mandarin, latin as Pinyin)", "sit/cmn-Latn-pinyin", "cmn-latn-pinyin", ""},
        {"english-mb-en1", "mb/mb-en1", "en-uk", "en1"},
        {"Cherokee ", "iro/chr", "chr-US-Qaaa-x-west", ""},
        {"Chinese (Cantonese)", "sit/yue", "yue", ""},
    };
}

std::vector<std::string> Identifiers(const std::vector<VoiceEntry>& entries)
{
    std::vector<std::string> out;
    for (const auto& e : entries)
        out.push_back(e.identifier);
    return out;
}

TEST(VoiceOrder, MandarinFirstThenEnglishThenTheRestByName)
{
    const auto entries = OrderVoices(SampleVoices(), [](const std::string&) { return false; });
    const std::vector<std::string> expected = {
        "sit/cmn-Latn-pinyin", "gmw/en-US", "gmw/en", "gmw/af", "iro/chr", "sit/yue", "gmw/de"};
    EXPECT_EQ(Identifiers(entries), expected);
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries[0].displayName, "Chinese (Mandarin) \u2014 cmn");
    EXPECT_EQ(entries[0].latinIdentifier, "gmw/en-US") << "Latin runs of Chinese text use the English voice";
    EXPECT_TRUE(entries[1].latinIdentifier.empty());
}

TEST(VoiceOrder, MbrolaVoicesOnlyWithTheirData)
{
    const auto entries = OrderVoices(SampleVoices(), [](const std::string& db) { return db == "en1"; });
    const auto ids = Identifiers(entries);
    EXPECT_NE(std::find(ids.begin(), ids.end(), "mb/mb-en1"), ids.end());
    EXPECT_EQ(std::find(ids.begin(), ids.end(), "mb/mb-af1"), ids.end());
    // An English MBROLA voice sits with the English voices, after the American one.
    const auto pos = std::find(ids.begin(), ids.end(), "mb/mb-en1") - ids.begin();
    EXPECT_GT(pos, 1);
    EXPECT_LT(pos, 4);
}

TEST(VoiceOrder, Fallbacks)
{
    struct Row {
        const char* name;
        std::vector<EngineVoice> voices;
        std::vector<std::string> ids;
        std::string latin;
    };
    const Row rows[] = {
        {"no voices", {}, {}, ""},
        {"only the older mandarin voice",
         {{"Chinese", "sit/cmn", "cmn", ""}, {"English", "gmw/en", "en-gb", ""}},
         {"sit/cmn", "gmw/en"},
         "gmw/en"},
        {"mandarin without english",
         {{"Chinese", "sit/cmn-Latn-pinyin", "cmn-latn-pinyin", ""}},
         {"sit/cmn-Latn-pinyin"},
         ""},
        {"no mandarin",
         {{"Dutch", "gmw/nl", "nl", ""}, {"English (America)", "gmw/en-US", "en-us", ""}},
         {"gmw/en-US", "gmw/nl"},
         ""},
    };
    for (const auto& r : rows) {
        const auto entries = OrderVoices(r.voices, {});
        EXPECT_EQ(Identifiers(entries), r.ids) << r.name;
        if (!entries.empty()) {
            EXPECT_EQ(entries[0].latinIdentifier, r.latin) << r.name;
        }
    }
}

TEST(VoiceDisplayName, Table)
{
    struct Row {
        const char* name;
        EngineVoice voice;
        const char* shown;
    };
    const Row rows[] = {
        {"espeak voice", {"English (America)", "gmw/en-US", "en-us", ""}, "English (America) \u2014 en-us"},
        {"trailing blank trimmed",
         {"Cherokee ", "iro/chr", "chr-US-Qaaa-x-west", ""},
         "Cherokee \u2014 chr-US-Qaaa-x-west"},
        {"no name uses the file name", {"", "gmw/xx", "xx", ""}, "xx \u2014 xx"},
        {"mbrola voice", {"english-mb-en1", "mb/mb-en1", "en-uk", "en1"}, "English (MBROLA en1) \u2014 mb-en1"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(DisplayName(r.voice), r.shown) << r.name;
}

TEST(SoundServerProbe, CandidatesTable)
{
    using Opt = std::optional<std::string>;
    struct Row {
        const char* name;
        Opt server;
        Opt runtime;
        std::vector<std::string> sockets;
        bool other;
    };
    const std::string user = "/run/user/" + std::to_string(::getuid()) + "/pulse/native";
    const Row rows[] = {
        {"unix prefix", Opt("unix:/tmp/x/pa.sock"), Opt("/run/user/5"), {"/tmp/x/pa.sock"}, false},
        {"bare path", Opt("/tmp/pa.sock"), {}, {"/tmp/pa.sock"}, false},
        {"several entries", Opt("unix:/a tcp:host:4713"), {}, {"/a"}, true},
        {"machine id prefix", Opt("{abc}unix:/a"), {}, {"/a"}, false},
        {"tcp only", Opt("tcp:localhost"), {}, {}, true},
        {"host name only", Opt("somehost"), {}, {}, true},
        {"unset: runtime dir, user dir, system",
         {},
         Opt("/rt"),
         {"/rt/pulse/native", user, "/run/pulse/native"},
         false},
        {"blank counts as unset", Opt("  "), {}, {user, "/run/pulse/native"}, false},
    };
    for (const auto& r : rows) {
        const auto c = SoundServerCandidates(r.server, r.runtime);
        EXPECT_EQ(c.unixSockets, r.sockets) << r.name;
        EXPECT_EQ(c.other, r.other) << r.name;
    }
}

} // namespace
} // namespace quorvel::speech
