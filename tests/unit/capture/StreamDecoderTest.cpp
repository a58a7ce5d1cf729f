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
