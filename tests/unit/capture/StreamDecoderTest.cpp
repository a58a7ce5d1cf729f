// Chat events from reassembled connections: the same events as one segment gives for a message
// that arrives whole, and the right events, once, in order, for messages TCP splits, merges or repeats.

#include "DatagramBuilder.h"
#include "capture/StreamDecoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorvel::capture {
namespace {

using testing::Connection;
using testing::TextPayload;
using testing::WithLength;
using Datagram = std::vector<std::uint8_t>;

std::vector<DecodeResult> DecodeStreams(const std::vector<Datagram>& datagrams)
{
    std::vector<DecodeResult> results;
    StreamDecoder decoder([&](const DecodeResult& result) { results.push_back(result); });
    for (const Datagram& datagram : datagrams)
        decoder.addDatagram(datagram, 0);
    decoder.flush();
    return results;
}

std::string Describe(const DecodeResult& result)
{
    if (result.missingFieldIndex)
        return "missing " + std::to_string(*result.missingFieldIndex);
    std::string text;
    for (const ChatEvent& event : result.events) {
        text += event.direction == Direction::Friend ? "friend " : "own ";
        text += event.command + " [" + event.nickname + "] [" + event.payloadText + "] [" + event.wordedText +
                "] [" + event.strippedText + "];";
    }
    return text;
}

const std::string Hello = WithLength("MSG alice@example.com (L)Alice(L)", TextPayload("Hello :)"));
const std::string Typing =
    WithLength("MSG alice@example.com Alice", "MIME-Version: 1.0\r\nContent-Type: text/x-msmsgscontrol\r\n\r\n\r\n");

struct WholeRow {
    const char* name;
    bool fromServer;
    std::uint16_t clientPort;
    std::string payload;
};

const std::vector<WholeRow> WholeRows = {
    {"FriendMessage", true, 50000, Hello},
    {"OwnMessage", false, 50000, WithLength("MSG 5 N", TextPayload("你好 (H)\r\nsecond line"))},
    {"Ubm", true, 50000, WithLength("UBM bob@yahoo.example 32 1", TextPayload("Hi (F)"))},
    {"Uum", false, 50000, WithLength("UUM 6 bob@yahoo.example 32 1", TextPayload("Back ;)"))},
    {"TypingNotification", true, 50000, Typing},
    {"NicknameMissing", true, 50000, "MSG text/plain\r\n"},
    {"MalformedUtf8", true, 50000, WithLength("MSG a@example.com A", TextPayload("bad \xC3 byte"))},
    {"NulInBody", false, 50000, WithLength("MSG 7 N", TextPayload(std::string("cut\0here", 8)))},
    {"BothPortsMessenger", true, 1863, Hello},
    {"UbmTowardsServer", false, 50000, WithLength("UBM bob@yahoo.example 32 1", TextPayload("x"))},
};

class WholeMessages : public ::testing::TestWithParam<WholeRow> {};

TEST_P(WholeMessages, SameEventsAsOneSegmentAlone)
{
    const WholeRow& row = GetParam();
    Connection connection(row.clientPort);
    const Datagram datagram = row.fromServer ? connection.fromServer(row.payload) : connection.fromClient(row.payload);
    const DecodeResult alone = DecodeDatagram(datagram);
    const std::vector<DecodeResult> streamed = DecodeStreams({datagram});
    std::string streamedText;
    for (const DecodeResult& result : streamed)
        streamedText += Describe(result);
    EXPECT_EQ(streamedText, alone.events.empty() && !alone.missingFieldIndex ? "" : Describe(alone));
}

INSTANTIATE_TEST_SUITE_P(Payloads, WholeMessages, ::testing::ValuesIn(WholeRows),
                         [](const auto& info) { return std::string(info.param.name); });

// What TCP does to messages, and the bodies the user must see, in order.
struct TrafficRow {
    const char* name;
    std::vector<Datagram> datagrams;
    std::vector<std::string> bodies; // "friend:" or "own:" and the worded text
};

std::vector<TrafficRow> TrafficRows()
{
    std::vector<TrafficRow> rows;
    {
        Connection c;
        const std::string message = WithLength("MSG alice@example.com Alice", TextPayload("一二三四五六 split"));
        rows.push_back({"SplitOverSegments",
                        {c.fromServer(message.substr(0, 20)), c.fromServer(message.substr(20, 71)),
                         c.fromServer(message.substr(91))},
                        {"friend:一二三四五六 split"}});
    }
    {
        Connection c;
        rows.push_back({"TypingAndMessageInOneSegment",
                        {c.fromServer(WithLength("MSG alice@example.com Alice", TextPayload("Are you there?")) + Typing)},
                        {"friend:Are you there?"}});
    }
    {
        Connection c;
        rows.push_back({"TwoMessagesInOneWrite",
                        {c.fromClient(WithLength("MSG 8 N", TextPayload("first")) +
                                      WithLength("MSG 9 N", TextPayload("second")))},
                        {"own:first", "own:second"}});
    }
    {
        Connection c;
        const Datagram once = c.fromServer(Hello);
        rows.push_back({"Retransmitted", {once, once, once}, {"friend:Hello [微笑]"}});
    }
    {
        Connection c;
        const Datagram syn = c.fromClient("", 0x02);
        const std::string first = WithLength("MSG 3 N", TextPayload("one"));
        const std::string second = WithLength("MSG 4 N", TextPayload("two"));
        const Datagram a = c.fromClient(first);
        const Datagram b = c.fromClient(second);
        rows.push_back({"Reordered", {syn, b, a}, {"own:one", "own:two"}});
    }
    {
        Connection c;
        const std::string head = "Message-ID: {X}\r\nChunks: 2\r\n";
        rows.push_back(
            {"MultiPart",
             {c.fromServer(WithLength("MSG alice@example.com Alice", TextPayload("long message, ", head))),
              c.fromServer(Typing),
              c.fromServer(WithLength("MSG alice@example.com Alice", "Message-ID: {X}\r\nChunk: 1\r\n\r\nsecond half"))},
             {"friend:long message, second half"}});
    }
    {
        Connection c;
        rows.push_back({"CaptureStartedMidMessage",
                        {c.fromServer("lo world\r\n"), c.fromServer(Hello)},
                        {"friend:Hello [微笑]"}});
    }
    return rows;
}

class Traffic : public ::testing::TestWithParam<TrafficRow> {};

TEST_P(Traffic, EachMessageOnceWholeInOrder)
{
    std::vector<std::string> bodies;
    for (const DecodeResult& result : DecodeStreams(GetParam().datagrams)) {
        ASSERT_FALSE(result.missingFieldIndex);
        for (const ChatEvent& event : result.events)
            bodies.push_back((event.direction == Direction::Friend ? "friend:" : "own:") + event.wordedText);
    }
    EXPECT_EQ(bodies, GetParam().bodies);
}

INSTANTIATE_TEST_SUITE_P(Segments, Traffic, ::testing::ValuesIn(TrafficRows()),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace quorvel::capture

namespace quorvel::capture {
namespace {

// --- server endpoints and group messages -----------------------------------------------------------

constexpr std::uint32_t ServerAddress = 0xC0000202; // 192.0.2.2, as the builder's default server
constexpr std::uint16_t Switchboard = 40123;

std::string Sdg(const std::string& from, const std::string& messaging, const std::string& body,
                const std::string& to = "9:00000000-0000-0000-0009-a1b2c3d4e5f6@live.com;path=IM")
{
    return WithLength("SDG 0", "Routing: 1.0\r\nTo: " + to + "\r\nFrom: " + from +
                                   "\r\n\r\nReliability: 1.0\r\nStream: 0\r\nSegment: 0\r\n\r\n" + messaging + "\r\n" +
                                   body);
}
const std::string GroupText = "Messaging: 1.0\r\nContent-Length: 5\r\nContent-Type: Text/plain; charset=UTF-8\r\n"
                              "Content-Transfer-Encoding: 7bit\r\nMessage-Type: Text\r\nMIME-Version: 1.0\r\n";
const std::string AnnEpid = "1:ann@example.com;epid={f52973b6-c926-4bad-9ba8-7c1e840e4ab0}";

struct ServerRow {
    const char* name;
    std::vector<Datagram> datagrams;
    std::vector<std::string> events; // "friend SDG [nickname] worded" / "own MSG [] worded"
};

std::vector<ServerRow> ServerRows()
{
    std::vector<ServerRow> rows;
    const std::string friendMessage = WithLength("MSG ann@example.com Ann%20Lee", TextPayload("first :)"));
    const std::string ownMessage = WithLength("MSG 2 N", TextPayload("mine"));
    const auto switchboardChat = [&](Connection& sb) {
        return std::vector<Datagram>{sb.fromClient("", 0x02),
                                     sb.fromServer("", 0x12),
                                     sb.fromClient("USR 1 me@example.com 329177ee9bff649ee7f8\r\n"),
                                     sb.fromServer("USR 1 OK me@example.com Me\r\n"),
                                     sb.fromServer(friendMessage),
                                     sb.fromClient(ownMessage)};
    };
    const std::vector<std::string> chat = {"friend MSG [Ann Lee] first [微笑]", "own MSG [] mine"};
    const auto then = [](std::vector<Datagram> head, const std::vector<Datagram>& tail) {
        head.insert(head.end(), tail.begin(), tail.end());
        return head;
    };
    {
        Connection ns, sb(50001, 2000, 8000, Switchboard);
        rows.push_back({"SwitchboardOfXfr",
                        then({ns.fromClient("XFR 8 SB\r\n"), ns.fromServer("XFR 8 SB 192.0.2.2:40123 CKI 3291\r\n")},
                             switchboardChat(sb)),
                        chat});
    }
    {
        Connection sb(50001, 2000, 8000, Switchboard);
        rows.push_back({"NotHandedOutNotHeard", switchboardChat(sb), {}});
    }
    {
        Connection ns, sb(50001, 2000, 8000, Switchboard);
        rows.push_back({"InvitationByRngInMsnp18Form",
                        then({ns.fromServer("RNG 11 192.0.2.2:40123 CKI 8f3a ann@example.com Ann%20Lee U "
                                            "messenger.msn.com 1\r\n"),
                              sb.fromClient("ANS 1 me@example.com;{0cb4f1ab-2bd3-4c92-a3a1-4f1f0c9b5e6d} 8f3a 11\r\n"),
                              sb.fromServer("IRO 1 1 1 ann@example.com;{5e2d} Ann%20Lee 2788999228:48\r\n")},
                             switchboardChat(sb)),
                        chat});
    }
    {
        Connection ns, sb(50001, 2000, 8000, Switchboard, 0xC6336407);
        rows.push_back({"HostNameLearnedByPortAlone",
                        then({ns.fromServer("XFR 8 SB m1.example.net:40123 CKI 3291 U messenger.msn.com 1\r\n")},
                             switchboardChat(sb)),
                        chat});
    }
    {
        Connection ns, sb(50001, 2000, 8000, Switchboard, 0xC6336407);
        rows.push_back({"OtherHostOnThatPort",
                        then({ns.fromServer("XFR 8 SB 192.0.2.2:40123 CKI 3291\r\n")}, switchboardChat(sb)),
                        {}});
    }
    {
        Connection ns, sb(50001, 2000, 8000, Switchboard);
        rows.push_back({"HandoutSentByClientIsNoHandout",
                        then({ns.fromClient("XFR 8 SB 192.0.2.2:40123 CKI 3291\r\n")}, switchboardChat(sb)),
                        {}});
    }
    {
        Connection ns;
        rows.push_back({"GroupMessageNamedByIln",
                        {ns.fromServer("ILN 8 NLN ann@example.com 1 Ann%20100%25 2788999228:48 0\r\n"),
                         ns.fromServer(Sdg(AnnEpid, GroupText, "hello\r\n\r\nagain"))},
                        {"friend SDG [Ann 100%] hello\r\n \r\n again"}});
    }
    {
        Connection ns;
        rows.push_back({"NamedByNlnInMsnp18FormLastNameWins",
                        {ns.fromServer("NLN NLN 1:Ann@Example.com Ann 2788999228:48 0\r\n"),
                         ns.fromServer("NLN NLN 1:ann@example.com %E5%B0%8F%E5%AE%89(busy) 2788999228:48 0\r\n"),
                         ns.fromServer(Sdg(AnnEpid, GroupText, "(L)"))},
                        {"friend SDG [小安] [红心]"}});
    }
    {
        // Names are bytes on the wire: one that is no UTF-8 is shown with U+FFFD, as message text is.
        Connection ns;
        rows.push_back({"NameThatIsNoUtf8",
                        {ns.fromServer("ILN 8 NLN ann@example.com 1 Ann\xC3" "0 2788999228:48 0\r\n"),
                         ns.fromServer(Sdg(AnnEpid, GroupText, "hi"))},
                        {"friend SDG [Ann\xEF\xBF\xBD" "0] hi"}});
    }
    {
        Connection ns;
        rows.push_back({"NamedByUbx",
                        {ns.fromServer(WithLength("UBX 1:ann@example.com 0",
                                                  "<Data><PSM></PSM><FriendlyName>Ann &amp; Co</FriendlyName></Data>")),
                         ns.fromServer(Sdg(AnnEpid, GroupText, "hi"))},
                        {"friend SDG [Ann & Co] hi"}});
    }
    {
        Connection ns, other(50002);
        rows.push_back({"NamesOfAnotherConnectionDoNotCount",
                        {other.fromServer("ILN 8 NLN ann@example.com Ann 268435492\r\n"),
                         ns.fromServer(Sdg(AnnEpid, GroupText, "hi"))},
                        {"friend SDG [ann@example.com] hi"}});
    }
    {
        Connection ns;
        rows.push_back(
            {"TypingInGroupGivesNothing",
             {ns.fromServer(Sdg(AnnEpid,
                                "Messaging: 1.0\r\nContent-Length: 2\r\nContent-Type: Text/plain; charset=UTF-8\r\n"
                                "Message-Type: Control\r\nMessage-Subtype: Typing\r\nMIME-Version: 1.0\r\n",
                                "\r\n"))},
             {}});
    }
    {
        Connection ns;
        rows.push_back({"OwnOneToOne",
                        {ns.fromClient(Sdg("1:me@example.com;epid={0cb4}",
                                           "Messaging: 2.0\r\nContent-Length: 4\r\nContent-Type: text/plain; "
                                           "charset=UTF-8\r\nMessage-Type: Text\r\n",
                                           "mine", "1:bob@example.com"))},
                        {"own SDG [] mine"}});
    }
    {
        Connection ns;
        rows.push_back({"OtherContentType",
                        {ns.fromServer(Sdg(AnnEpid,
                                           "Messaging: 1.0\r\nContent-Type: text/x-mms-emoticon\r\n"
                                           "Message-Type: Text\r\n",
                                           "x"))},
                        {}});
    }
    return rows;
}

std::vector<std::string> Events(const std::vector<DecodeResult>& results)
{
    std::vector<std::string> events;
    for (const DecodeResult& result : results)
        for (const ChatEvent& event : result.events)
            events.push_back((event.direction == Direction::Friend ? "friend " : "own ") + event.command + " [" +
                             event.nickname + "] " + event.wordedText);
    return events;
}

class ServerTraffic : public ::testing::TestWithParam<ServerRow> {};

TEST_P(ServerTraffic, EventsOfTheServerEndpoints)
{
    EXPECT_EQ(Events(DecodeStreams(GetParam().datagrams)), GetParam().events);
}

INSTANTIATE_TEST_SUITE_P(Connections, ServerTraffic, ::testing::ValuesIn(ServerRows()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ServerTraffic, GroupMessageNamesItsSenderAsAContact)
{
    Connection ns;
    std::vector<DecodeResult> results;
    StreamDecoder decoder([&](const DecodeResult& result) { results.push_back(result); });
    decoder.addDatagram(ns.fromServer(Sdg(AnnEpid, GroupText, "hello")), 0);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].events.at(0).account, "ann@example.com");
    EXPECT_TRUE(results[0].events[0].payloadText.starts_with("SDG 0 "));
}

TEST(ServerTraffic, SwitchboardForgottenAfterTenIdleMinutes)
{
    constexpr std::int64_t Minute = 60'000'000;
    Connection ns, sb(50001, 2000, 8000, Switchboard);
    std::vector<DecodeResult> results;
    StreamDecoder decoder([&](const DecodeResult& result) { results.push_back(result); });
    std::vector<std::uint64_t> generations;
    decoder.endpoints().setChangeListener([&](const ServerEndpoints& set) { generations.push_back(set.generation()); });
    decoder.addDatagram(ns.fromServer("XFR 8 SB 192.0.2.2:40123 CKI 3291\r\n"), 0);
    ASSERT_EQ(generations.size(), 1u);
    EXPECT_TRUE(decoder.endpoints().isServer(ServerAddress, Switchboard));
    decoder.addDatagram(sb.fromServer(WithLength("MSG ann@example.com Ann", TextPayload("one"))), 9 * Minute);
    decoder.expire(18 * Minute); // nine minutes after its last traffic
    decoder.addDatagram(sb.fromServer(WithLength("MSG ann@example.com Ann", TextPayload("two"))), 18 * Minute);
    decoder.expire(28 * Minute);
    EXPECT_EQ(generations.size(), 2u);
    EXPECT_FALSE(decoder.endpoints().isServer(ServerAddress, Switchboard));
    decoder.addDatagram(sb.fromServer(WithLength("MSG ann@example.com Ann", TextPayload("three"))), 29 * Minute);
    EXPECT_EQ(Events(results), (std::vector<std::string>{"friend MSG [Ann] one", "friend MSG [Ann] two"}));
}

} // namespace
} // namespace quorvel::capture
