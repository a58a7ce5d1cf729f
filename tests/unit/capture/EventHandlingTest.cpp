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

// Log lines and spoken text for whole events.
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
    {"WorkedExampleMessageBoxOnly",
     FriendEvent("Hello", "Hello"),
     "100",
     true,
     {{"Ann 说 (09:05:07):", HeaderGreen, false}, {"Hello", Black, true}},
     SpeechRequest{Voice::Friend, "Hello", {}},
     1},
    {"WorkedExampleNicknameBoxOnly",
     FriendEvent("Hello", "Hello"),
     "010",
     true,
     {{"Ann 说 (09:05:07):", HeaderGreen, false}, {"Hello", Black, true}},
     SpeechRequest{Voice::Friend, "Ann 说：", {}},
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
    {"FriendUbmWithTime",
     FriendEvent("Yo", "Yo", "UBM"),
     "111",
     true,
     {{"Ann 说 (09:05:07):", HeaderBlue, false}, {"Yo", Black, true}},
     SpeechRequest{Voice::Friend, "Ann 说：Yo", {}},
     1},
    {"FriendEmptyBodyKeepsHeader",
     FriendEvent("", ""),
     "111",
     true,
     {{"Ann 说 (09:05:07):", HeaderGreen, false}},
     std::nullopt,
     1},
    {"FriendEmptyBodyNicknameBoxOnly",
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
    {"FriendAllBoxesOffStillLogged",
     FriendEvent("Hello", "Hello"),
     "000",
     true,
     {{"Ann 说 (09:05:07):", HeaderGreen, false}, {"Hello", Black, true}},
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
    {"OwnEmptyBodyLeavesNoTrace", OwnEvent("", ""), "111", true, {}, std::nullopt, 0},
    {"OwnEmptyBodyNicknameBoxOnly", OwnEvent("", ""), "010", true, {}, std::nullopt, 0},
    {"OwnEmoticonOnlyMessageBoxOnly",
     OwnEvent("[微笑]", ""),
     "100",
     true,
     {{"我 说 (09:05:07):", HeaderGreen, false}, {"[微笑]", Black, true}},
     std::nullopt,
     2},
    {"OwnAllBoxesOffStillLogged",
     OwnEvent("Hi", "Hi"),
     "000",
     true,
     {{"我 说 (09:05:07):", HeaderGreen, false}, {"Hi", Black, true}},
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

INSTANTIATE_TEST_SUITE_P(Events, OutcomeTable, ::testing::ValuesIn(OutcomeCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace quorvel::capture
