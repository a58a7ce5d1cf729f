#include "capture/EventHandling.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace quorvel::capture {
namespace {

ChatEvent FriendEvent(std::string worded, std::string stripped, std::string command = "MSG")
{
    ChatEvent event;
    event.direction = Direction::Friend;
    event.command = std::move(command);
    event.nickname = "Ann";
    event.wordedText = std::move(worded);
    event.strippedText = std::move(stripped);
    event.payloadText = "(payload)";
    return event;
}

ChatEvent OwnEvent(std::string worded, std::string stripped, std::string command = "MSG")
{
    ChatEvent event = FriendEvent(std::move(worded), std::move(stripped), std::move(command));
    event.direction = Direction::Own;
    event.nickname.clear();
    return event;
}

ReadingOptions Boxes(const char* mne)
{
    return {mne[0] == '1', mne[1] == '1', mne[2] == '1'};
}

constexpr ReadingOptions AllOff{false, false, false};

// Spoken text for a message "Hi :)" (worded "Hi[微笑]", stripped "Hi"), by the three boxes.
struct SpeakCase {
    const char* name;
    const char* mne;
    std::optional<std::string> friendSays;
    std::optional<std::string> ownSays;
};

const std::vector<SpeakCase> SpeakCases = {
    {"AllOn", "111", "Ann 说：Hi[微笑]", "我说：Hi[微笑]"},
    {"MessageAndNickname", "110", "Ann 说：Hi", "我说：Hi"},
    {"MessageAndEmoticons", "101", "Hi[微笑]", "Hi[微笑]"},
    {"MessageOnly", "100", "Hi", "Hi"},
    {"NicknameOnly", "010", "Ann 说：", "我说："},
    {"NicknameAndEmoticons", "011", "Ann 说：Hi[微笑]", "我说：Hi[微笑]"},
    {"EmoticonsOnly", "001", std::nullopt, std::nullopt},
    {"AllOff", "000", std::nullopt, std::nullopt},
};

class SpeakTable : public ::testing::TestWithParam<SpeakCase> {};

TEST_P(SpeakTable, FriendEvent)
{
    const SpeakCase& c = GetParam();
    // The other direction's boxes are all off: they must not matter.
    const EventOutcome outcome = HandleChatEvent(FriendEvent("Hi[微笑]", "Hi"), AllOff, Boxes(c.mne), true, "09:05:07");
    ASSERT_EQ(outcome.speech.has_value(), c.friendSays.has_value());
    if (c.friendSays) {
        EXPECT_EQ(outcome.speech->voice, Voice::Friend);
        EXPECT_EQ(outcome.speech->text, *c.friendSays);
    }
    // The log is the same whatever the boxes say.
    ASSERT_EQ(outcome.lines.size(), 2u);
    EXPECT_EQ(outcome.lines[1].text, "Hi[微笑]");
    EXPECT_EQ(outcome.speakAfterLines, 1u);
}

TEST_P(SpeakTable, OwnEvent)
{
    const SpeakCase& c = GetParam();
    const EventOutcome outcome = HandleChatEvent(OwnEvent("Hi[微笑]", "Hi"), Boxes(c.mne), AllOff, false, "09:05:07");
    ASSERT_EQ(outcome.speech.has_value(), c.ownSays.has_value());
    if (c.ownSays) {
        EXPECT_EQ(outcome.speech->voice, Voice::Own);
        EXPECT_EQ(outcome.speech->text, *c.ownSays);
    }
    ASSERT_EQ(outcome.lines.size(), 2u);
    EXPECT_EQ(outcome.lines[1].text, "Hi[微笑]");
    EXPECT_EQ(outcome.speakAfterLines, 2u);
}

INSTANTIATE_TEST_SUITE_P(Boxes, SpeakTable, ::testing::ValuesIn(SpeakCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Log lines and spoken text for whole events; the boxes alone are in the table above.
struct OutcomeCase {
    const char* name;
    ChatEvent event;
    const char* mne; // boxes of the event's direction
    bool showTime;
    std::vector<LogLine> lines;
    std::optional<SpeechRequest> speech;
    std::size_t speakAfterLines;
};

const std::vector<OutcomeCase> OutcomeCases = {
    {"WorkedExample",
     FriendEvent("Hello", "Hello"),
     "111",
     true,
     {{"Ann 说 (09:05:07):", HeaderGreen, false}, {"Hello", Black, true}},
     SpeechRequest{Voice::Friend, "Ann 说：Hello", {}},
     1},
    {"FriendMsgWithoutTime",
     FriendEvent("Hello", "Hello"),
     "111",
     false,
     {{"Ann 说 :", HeaderGreen, false}, {"Hello", Black, true}},
     SpeechRequest{Voice::Friend, "Ann 说：Hello", {}},
     1},
    {"FriendUbmAlwaysWithTime",
     FriendEvent("Yo", "Yo", "UBM"),
     "111",
     false,
     {{"Ann 说 (09:05:07):", HeaderBlue, false}, {"Yo", Black, true}},
     SpeechRequest{Voice::Friend, "Ann 说：Yo", {}},
     1},
    // A group message is logged and spoken like a friend's MSG, not like a UBM.
    {"FriendGroupMessageLikeMsg",
     FriendEvent("hello group", "hello group", "SDG"),
     "111",
     false,
     {{"Ann 说 :", HeaderGreen, false}, {"hello group", Black, true}},
     SpeechRequest{Voice::Friend, "Ann 说：hello group", {}},
     1},
    // The nickname alone is not said for an empty body.
    {"FriendEmptyBodyKeepsHeader",
     FriendEvent("", ""),
     "010",
     true,
     {{"Ann 说 (09:05:07):", HeaderGreen, false}},
     std::nullopt,
     1},
    {"FriendEmoticonOnlyMessageBoxOnly",
     FriendEvent("[微笑]", ""),
     "100",
     true,
     {{"Ann 说 (09:05:07):", HeaderGreen, false}, {"[微笑]", Black, true}},
     std::nullopt,
     1},
    {"FriendEmoticonOnlyWithEmoticons",
     FriendEvent("[微笑]", ""),
     "101",
     true,
     {{"Ann 说 (09:05:07):", HeaderGreen, false}, {"[微笑]", Black, true}},
     SpeechRequest{Voice::Friend, "[微笑]", {}},
     1},
    {"FriendEmoticonOnlyWithNickname",
     FriendEvent("[微笑]", ""),
     "110",
     true,
     {{"Ann 说 (09:05:07):", HeaderGreen, false}, {"[微笑]", Black, true}},
     std::nullopt,
     1},
    {"FriendMultiLineBodyOneBlock",
     FriendEvent("one\r\n two", "one\r\n two"),
     "100",
     true,
     {{"Ann 说 (09:05:07):", HeaderGreen, false}, {"one\r\n two", Black, true}},
     SpeechRequest{Voice::Friend, "one\r\n two", {}},
     1},
    {"OwnWithTime",
     OwnEvent("Hi", "Hi"),
     "111",
     true,
     {{"我 说 (09:05:07):", HeaderGreen, false}, {"Hi", Black, true}},
     SpeechRequest{Voice::Own, "我说：Hi", {}},
     2},
    {"OwnWithoutTime",
     OwnEvent("Hi", "Hi"),
     "111",
     false,
     {{"我 说 :", HeaderGreen, false}, {"Hi", Black, true}},
     SpeechRequest{Voice::Own, "我说：Hi", {}},
     2},
    {"OwnUumGreen",
     OwnEvent("Hi", "Hi", "UUM"),
     "100",
     false,
     {{"我 说 :", HeaderGreen, false}, {"Hi", Black, true}},
     SpeechRequest{Voice::Own, "Hi", {}},
     2},
    {"OwnEmptyBodyLeavesNoTrace", OwnEvent("", ""), "010", true, {}, std::nullopt, 0},
    {"OwnEmoticonOnlyMessageBoxOnly",
     OwnEvent("[微笑]", ""),
     "100",
     true,
     {{"我 说 (09:05:07):", HeaderGreen, false}, {"[微笑]", Black, true}},
     std::nullopt,
     2},
};

class OutcomeTable : public ::testing::TestWithParam<OutcomeCase> {};

TEST_P(OutcomeTable, LinesAndSpeech)
{
    const OutcomeCase& c = GetParam();
    const bool own = c.event.direction == Direction::Own;
    const EventOutcome outcome = HandleChatEvent(c.event, own ? Boxes(c.mne) : Boxes("111"),
                                                 own ? Boxes("111") : Boxes(c.mne), c.showTime, "09:05:07");
    ASSERT_EQ(outcome.lines.size(), c.lines.size());
    for (std::size_t i = 0; i < c.lines.size(); ++i) {
        SCOPED_TRACE("line " + std::to_string(i));
        EXPECT_EQ(outcome.lines[i].text, c.lines[i].text);
        EXPECT_EQ(outcome.lines[i].color, c.lines[i].color);
        EXPECT_EQ(outcome.lines[i].scrollToEnd, c.lines[i].scrollToEnd);
    }
    ASSERT_EQ(outcome.speech.has_value(), c.speech.has_value());
    if (c.speech) {
        EXPECT_EQ(outcome.speech->voice, c.speech->voice);
        EXPECT_EQ(outcome.speech->text, c.speech->text);
    }
    EXPECT_EQ(outcome.speakAfterLines, c.speakAfterLines);
}

// What a log and a voice get from the outcome, in order: "L" a first line, "l" one that continues
// the paragraph, "S" the speech request.
TEST_P(OutcomeTable, AppliedInOrder)
{
    const OutcomeCase& c = GetParam();
    const bool own = c.event.direction == Direction::Own;
    const EventOutcome outcome = HandleChatEvent(c.event, own ? Boxes(c.mne) : Boxes("111"),
                                                 own ? Boxes("111") : Boxes(c.mne), c.showTime, "09:05:07");
    std::string order;
    ApplyOutcome(
        outcome, [&](const LogLine&, bool continues) { order += continues ? 'l' : 'L'; },
        [&](const SpeechRequest& request) {
            EXPECT_EQ(request.text, c.speech->text);
            order += 'S';
        });
    std::string expected = c.lines.empty() ? "" : "L" + std::string(c.lines.size() - 1, 'l');
    if (c.speech)
        expected.insert(c.speakAfterLines, "S");
    EXPECT_EQ(order, expected);
}

INSTANTIATE_TEST_SUITE_P(Events, OutcomeTable, ::testing::ValuesIn(OutcomeCases),
                         [](const auto& info) { return std::string(info.param.name); });

SpeechShaping Shape(bool speakLinks, std::size_t maxSpoken)
{
    SpeechShaping shaping;
    shaping.speakLinks = speakLinks;
    shaping.maxSpoken = maxSpoken;
    return shaping;
}

// Links and the length cut shape only the message part of what is said; the log and the
// decision whether anything is said stay as the three boxes make them.
TEST(SpeechShapingTable, SpokenTextAndLog)
{
    const std::string longBody = "12345678[微笑]";
    struct Row {
        const char* name;
        const char* mne;
        std::string worded, stripped;
        SpeechShaping shaping;
        std::optional<std::string> says;
    };
    const Row rows[] = {
        {"link by its host", "111", "see http://a.example/x", "see http://a.example/x", Shape(true, 300),
         "Ann 说：see 链接a.example"},
        {"links read out when off", "100", "http://a.example/x", "http://a.example/x", Shape(false, 300),
         "http://a.example/x"},
        {"prefix is not counted", "110", "abcdef", "abcdef", Shape(true, 3), "Ann 说：abc……(以下省略)"},
        {"stripped body under the limit", "100", longBody, "12345678", Shape(true, 8), "12345678"},
        {"worded body cut before the word", "101", longBody, "12345678", Shape(true, 9), "12345678……(以下省略)"},
        {"link shortened before the cut", "101", "http://a.example/" + std::string(40, 'x'), "-", Shape(true, 12),
         "链接a.example"},
        {"no limit", "101", std::string(500, 'z'), "-", Shape(true, 0), std::string(500, 'z')},
        {"prefix alone is not shaped", "010", "abcdef", "abcdef", Shape(true, 1), "Ann 说："},
        {"nickname and emoticons row shaped", "011", "abcdef", "", Shape(true, 2), "Ann 说：ab……(以下省略)"},
        {"empty stripped text still silences", "110", "[微笑]", "", Shape(true, 1), std::nullopt},
    };
    for (const auto& r : rows) {
        const ChatEvent event = FriendEvent(r.worded, r.stripped);
        const auto outcome = HandleChatEvent(event, AllOff, Boxes(r.mne), true, "09:05:07", r.shaping);
        ASSERT_EQ(outcome.speech.has_value(), r.says.has_value()) << r.name;
        if (r.says) {
            EXPECT_EQ(outcome.speech->text, *r.says) << r.name;
        }
        ASSERT_EQ(outcome.lines.size(), 2u) << r.name;
        EXPECT_EQ(outcome.lines[1].text, r.worded) << r.name;

        const auto own = HandleChatEvent(OwnEvent(r.worded, r.stripped), Boxes(r.mne), AllOff, true, "x", r.shaping);
        ASSERT_EQ(own.speech.has_value(), r.says.has_value()) << r.name;
        if (r.says) {
            std::string ownSays = *r.says;
            const std::string friendPrefix = "Ann 说：";
            if (ownSays.starts_with(friendPrefix))
                ownSays.replace(0, friendPrefix.size(), "我说：");
            EXPECT_EQ(own.speech->text, ownSays) << r.name;
        }
    }
}

} // namespace
} // namespace quorvel::capture
