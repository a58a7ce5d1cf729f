#include "capture/DatagramDecoder.h"

#include "DatagramBuilder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorvel::capture {
namespace {

using namespace std::string_literals;
using testing::BuildDatagram;
using testing::FriendMessage;
using testing::OwnMessage;
using testing::Segment;
using testing::TypingNotification;

constexpr std::uint16_t Client = 50000;

struct ExpectedEvent {
    Direction direction;
    std::string command;
    std::string nickname;
    std::string worded;
    std::string stripped;
};

struct DecodeCase {
    const char* name;
    std::vector<std::uint8_t> datagram;
    std::vector<ExpectedEvent> events;
    std::optional<int> missingFieldIndex = std::nullopt;
};

std::vector<std::uint8_t> Truncated(std::vector<std::uint8_t> bytes, std::size_t length)
{
    bytes.resize(length);
    return bytes;
}

template <typename Change>
std::vector<std::uint8_t> Build(std::uint16_t source, std::uint16_t destination, std::string payload, Change change)
{
    Segment segment;
    segment.sourcePort = source;
    segment.destinationPort = destination;
    segment.payload = std::move(payload);
    change(segment);
    return BuildDatagram(segment);
}

const std::string Hello = FriendMessage("Ann", "Hello");
const std::string FollowedByTyping = "Hello\r\n MSG ann@example.com Ann 97\r\n MIME-Version: 1.0\r\n Content-Type: "
                                     "text/x-msmsgscontrol\r\n TypingUser: ann@example.com";
const std::string TwoMessages =
    "first\r\n MSG 96 N 132\r\n MIME-Version: 1.0\r\n Content-Type: text/plain; charset=UTF-8\r\n \r\n second";

std::vector<DecodeCase> Cases()
{
    return {
        {"FriendMessageFromServerPort",
         BuildDatagram(1863, Client, Hello),
         {{Direction::Friend, "MSG", "Ann", "Hello", "Hello"}}},
        {"OwnMessageToServerPort",
         BuildDatagram(Client, 1863, OwnMessage("Hi there")),
         {{Direction::Own, "MSG", "", "Hi there", "Hi there"}}},
        {"NicknameDecodedAndCut",
         BuildDatagram(1863, Client, FriendMessage("Alice%20(busy)", "x")),
         {{Direction::Friend, "MSG", "Alice ", "x", "x"}}},
        {"EmoticonsWordedAndStripped",
         BuildDatagram(1863, Client, FriendMessage("Ann", "hi :) (L)")),
         {{Direction::Friend, "MSG", "Ann", "hi [微笑] [红心]", "hi  "}}},
        {"IpAndTcpOptions",
         Build(1863, Client, Hello, [](Segment& s) { s.ipOptionBytes = 40, s.tcpOptionBytes = 12; }),
         {{Direction::Friend, "MSG", "Ann", "Hello", "Hello"}}},
        {"BothPortsFriendThenOwn",
         BuildDatagram(1863, 1863, Hello),
         {{Direction::Friend, "MSG", "Ann", "Hello", "Hello"}, {Direction::Own, "MSG", "", "Hello", "Hello"}}},
        {"BothPortsUbmFriendOnly",
         BuildDatagram(1863, 1863, "UBM bob@example.com 1 1 60\r\nContent-Type: text/plain\r\n\r\nYo"),
         {{Direction::Friend, "UBM", "bob@example.com", "Yo", "Yo"}}},
        {"BothPortsUumOwnOnly",
         BuildDatagram(1863, 1863, "UUM 7 bob@example.com 1 1 60\r\nContent-Type: text/plain\r\n\r\nYo"),
         {{Direction::Own, "UUM", "", "Yo", "Yo"}}},
        {"OtherPorts", BuildDatagram(80, Client, Hello), {}},
        {"TypingNotification", BuildDatagram(1863, Client, TypingNotification()), {}},
        {"TypingNotificationMentioningTextPlainInBody",
         BuildDatagram(1863, Client,
                       "MSG ann@example.com Ann 97\r\nContent-Type: text/x-msmsgscontrol\r\n\r\nsee text/plain"),
         {{Direction::Friend, "MSG", "Ann", "see text/plain", "see text/plain"}}},
        {"SpaceBeforeCommand", BuildDatagram(1863, Client, " " + Hello), {}},
        {"OtherCommandBeforeMessage", BuildDatagram(1863, Client, "ACK 5\r\n" + Hello), {}},
        {"CommandIsCaseSensitive", BuildDatagram(1863, Client, "msg" + Hello.substr(3)), {}},
        {"ContentTypeIsCaseSensitive",
         BuildDatagram(1863, Client, "MSG a@b Ann 10\r\nContent-Type: Text/Plain\r\n\r\nHello"),
         {}},
        {"TextPlainBehindNulIsNotSeen", BuildDatagram(1863, Client, "MSG a@b Ann 10\r\n\r\nHi\0text/plain"s), {}},
        {"NulEndsTheBody",
         BuildDatagram(1863, Client, Hello + "\0 trailing"s),
         {{Direction::Friend, "MSG", "Ann", "Hello", "Hello"}}},
        {"UdpOnServerPort", Build(1863, 1863, Hello, [](Segment& s) { s.protocol = 17; }), {}},
        {"PureAck", BuildDatagram(1863, Client, ""), {}},
        {"PureAckBothPorts", BuildDatagram(1863, 1863, ""), {}},
        {"TooShortForProtocol", Truncated(BuildDatagram(1863, Client, Hello), 9), {}},
        {"IpHeaderOnly", Truncated(BuildDatagram(1863, Client, Hello), 20), {}},
        {"CutInsideDestinationPort", Truncated(BuildDatagram(1863, Client, Hello), 23), {}},
        {"CutBeforeDataOffset", Truncated(BuildDatagram(1863, Client, Hello), 32), {}},
        {"IpHeaderLengthPastEnd", Build(1863, Client, "", [](Segment& s) { s.ihlField = 15; }), {}},
        {"DataOffsetPastEnd", Build(1863, Client, "MSG a b c text/plain", [](Segment& s) { s.dataOffset = 15; }), {}},
        {"MalformedUtf8InOwnBody",
         BuildDatagram(Client, 1863, OwnMessage("Hi \xC3\x28 you")),
         {{Direction::Own, "MSG", "", "Hi \xEF\xBF\xBD( you", "Hi \xEF\xBF\xBD( you"}}},
        {"MalformedUtf8InFriendBody",
         BuildDatagram(1863, Client,
                       FriendMessage("Ann", "a\xFF"
                                            "b")),
         {{Direction::Friend, "MSG", "Ann",
           "a\xEF\xBF\xBD"
           "b",
           "a\xEF\xBF\xBD"
           "b"}}},
        {"CharacterCutAtSegmentEnd",
         BuildDatagram(1863, Client, FriendMessage("Ann", "你好\xE4\xB8")),
         {{Direction::Friend, "MSG", "Ann", "你好\xEF\xBF\xBD", "你好\xEF\xBF\xBD"}}},
        {"FourByteCharacterKept",
         BuildDatagram(Client, 1863, OwnMessage("ok \xF0\x9F\x98\x80")),
         {{Direction::Own, "MSG", "", "ok \xF0\x9F\x98\x80", "ok \xF0\x9F\x98\x80"}}},
        {"ChineseNicknameAndBody",
         BuildDatagram(1863, Client, FriendMessage("小明：今天很忙", "你好 :D")),
         {{Direction::Friend, "MSG", "小明", "你好 [大笑]", "你好 "}}},
        // One segment is one payload: what follows the first message's headers is all its body.
        {"MessageFollowedByTypingNotification",
         BuildDatagram(1863, Client, FriendMessage("Ann", "Hello\r\n") + TypingNotification()),
         {{Direction::Friend, "MSG", "Ann", FollowedByTyping, FollowedByTyping}}},
        {"TwoMessagesInOneSegment",
         BuildDatagram(Client, 1863, OwnMessage("first\r\n") + OwnMessage("second")),
         {{Direction::Own, "MSG", "", TwoMessages, TwoMessages}}},
        {"FriendOnSecondDefaultPort",
         BuildDatagram(1864, Client, Hello),
         {{Direction::Friend, "MSG", "Ann", "Hello", "Hello"}}},
        {"OwnToSecondDefaultPort",
         BuildDatagram(Client, 1864, OwnMessage("Hi there")),
         {{Direction::Own, "MSG", "", "Hi there", "Hi there"}}},
        {"OwnBodyOnlySpaces", BuildDatagram(Client, 1863, OwnMessage("   ")), {{Direction::Own, "MSG", "", "", ""}}},
        {"UbmFromServerPort",
         BuildDatagram(1863, Client, "UBM bob@example.com 1 1 60\r\nContent-Type: text/plain\r\n\r\nYo"),
         {{Direction::Friend, "UBM", "bob@example.com", "Yo", "Yo"}}},
        {"UbmToServerPort",
         BuildDatagram(Client, 1863, "UBM bob@example.com 1 1 60\r\nContent-Type: text/plain\r\n\r\nYo"),
         {}},
        {"UumFromServerPort",
         BuildDatagram(1863, Client, "UUM 7 bob@example.com 1 1 60\r\nContent-Type: text/plain\r\n\r\nYo"),
         {}},
        {"UumToServerPort",
         BuildDatagram(Client, 1863, "UUM 7 bob@example.com 1 1 60\r\nContent-Type: text/plain\r\n\r\nYo"),
         {{Direction::Own, "UUM", "", "Yo", "Yo"}}},
        {"MsgWithoutNicknameField", BuildDatagram(1863, Client, "MSG text/plain"), {}, 2},
        {"UbmWithoutAccountField", BuildDatagram(1863, Client, "UBMtext/plain"), {}, 1},
        {"MissingFieldSkipsOwnCheck", BuildDatagram(1863, 1863, "MSG text/plain"), {}, 2},
        {"OwnMessageNeedsNoNickname",
         BuildDatagram(Client, 1863, "MSG text/plain"),
         {{Direction::Own, "MSG", "", "MSG text/plain", "MSG text/plain"}}},
        {"Empty", {}, {}},
    };
}

class DecodeDatagramTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeDatagramTest, Events)
{
    const DecodeCase& c = GetParam();
    const DecodeResult result = DecodeDatagram(c.datagram);
    EXPECT_EQ(result.missingFieldIndex, c.missingFieldIndex);
    ASSERT_EQ(result.events.size(), c.events.size());
    for (std::size_t i = 0; i < c.events.size(); ++i) {
        SCOPED_TRACE("event " + std::to_string(i));
        const ChatEvent& event = result.events[i];
        const ExpectedEvent& expected = c.events[i];
        EXPECT_EQ(event.direction, expected.direction);
        EXPECT_EQ(event.command, expected.command);
        EXPECT_EQ(event.nickname, expected.nickname);
        // Every friend's MSG here comes from ann@example.com; a UBM names its sender in the nickname field.
        const bool friendEvent = expected.direction == Direction::Friend;
        EXPECT_EQ(event.account, !friendEvent ? "" : expected.command == "UBM" ? expected.nickname : "ann@example.com");
        EXPECT_EQ(event.wordedText, expected.worded);
        EXPECT_EQ(event.strippedText, expected.stripped);
        EXPECT_FALSE(event.payloadText.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Datagrams, DecodeDatagramTest, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DecodeDatagram, PayloadTextIsTheWholeDecodedPayload)
{
    const std::string payload = FriendMessage("Ann", "a\xFF"
                                                     "b");
    const DecodeResult result = DecodeDatagram(BuildDatagram(1863, Client, payload));
    ASSERT_EQ(result.events.size(), 1u);
    EXPECT_EQ(result.events[0].payloadText, FriendMessage("Ann", "a\xEF\xBF\xBD"
                                                                 "b"));
}

} // namespace
} // namespace quorvel::capture
