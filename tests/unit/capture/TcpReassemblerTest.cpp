// TCP reassembly: what each direction's consumer sees for segments in every kind of order.

#include "capture/TcpReassembler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorvel::capture {
namespace {

constexpr std::uint32_t Client = 0xC0000201; // 192.0.2.1
constexpr std::uint32_t Server = 0xC0000202;

// "c:" client to server, "s:" server to client; adjacent data of one stream is merged, long data
// shown by its size.
class Transcript : public StreamSink {
public:
    void onData(std::uint64_t stream, const FlowKey& flow, std::span<const std::uint8_t> bytes) override
    {
        const std::string side = flow.sourcePort == 1863 ? "s" : "c";
        const std::string text(bytes.begin(), bytes.end());
        if (m_lastData == stream && !tokens.empty())
            tokens.back().second += text;
        else
            tokens.push_back({side + ":", text});
        m_lastData = stream;
        m_sides[stream] = side;
    }
    void onGap(std::uint64_t stream) override { mark(stream, "gap"); }
    void onClose(std::uint64_t stream) override { mark(stream, "close"); }

    std::string str() const
    {
        std::string out;
        for (const auto& [head, body] : tokens) {
            if (!out.empty())
                out += '|';
            out += head + (body.size() > 24 ? std::to_string(body.size()) + " bytes" : body);
        }
        return out;
    }
    std::vector<std::pair<std::string, std::string>> tokens;

private:
    void mark(std::uint64_t stream, const std::string& what)
    {
        tokens.push_back({m_sides[stream] + ":" + what, {}});
        m_lastData = 0;
    }
    std::uint64_t m_lastData = 0;
    std::map<std::uint64_t, std::string> m_sides;
};

struct Step {
    char side;         // 'c', 's', or 'x' for an expire() call at the time
    std::uint32_t seq; // added to the row's base
    std::string flags; // any of "SFR"
    std::string payload;
    std::int64_t millis = 0;
};

struct Row {
    const char* name;
    std::uint32_t base;
    std::vector<Step> steps;
    std::string expected;
};

std::string Big(std::size_t size)
{
    return std::string(size, 'y');
}

const std::vector<Row> Rows = {
    {"InOrderAfterSyn", 0, {{'c', 100, "S", ""}, {'c', 101, "", "MSG"}, {'c', 104, "", " 1"}}, "c:MSG 1"},
    {"JoinedMidStream", 0, {{'s', 7, "", "abc"}, {'s', 10, "", "def"}}, "s:abcdef"},
    {"EarlySegmentHeldUntilGapFills", 0,
     {{'c', 100, "", "aa"}, {'c', 104, "", "cc"}, {'c', 102, "", "bb"}}, "c:aabbcc"},
    {"RetransmissionsDeliveredOnce", 0,
     {{'c', 100, "", "aa"}, {'c', 100, "", "aa"}, {'c', 102, "", "bb"}, {'c', 100, "", "aabb"}, {'c', 104, "", "cc"}},
     "c:aabbcc"},
    {"OverlapsTrimmed", 0,
     {{'c', 100, "", "ab"}, {'c', 105, "", "fg"}, {'c', 104, "", "efg"}, {'c', 101, "", "bcd"}, {'c', 102, "", "cdefgh"}},
     "c:abcdefgh"},
    {"SequenceNumbersWrap", 0xFFFFFFFA,
     {{'c', 0, "S", ""}, {'c', 7, "", "ghij"}, {'c', 1, "", "abcdef"}, {'c', 11, "", "k"}}, "c:abcdefghijk"},
    {"DirectionsApart", 0,
     {{'c', 100, "", "hi"}, {'s', 500, "", "yo"}, {'c', 102, "", "!"}}, "c:hi|s:yo|c:!"},
    {"HoleSkippedBehind64KiB", 0,
     {{'c', 100, "", "a"}, {'c', 102, "", "c"}, {'c', 103, "", Big(65536)}}, "c:a|c:gap|c:65537 bytes"},
    {"HoleSkippedAfterTwoSecondsOnTraffic", 0,
     {{'c', 100, "", "a"}, {'c', 102, "", "c", 0}, {'c', 103, "", "d", 1999}, {'c', 104, "", "e", 2000}},
     "c:a|c:gap|c:cde"},
    {"HoleSkippedAfterTwoSecondsByExpiry", 0,
     {{'c', 100, "", "a"}, {'c', 102, "", "c", 0}, {'x', 0, "", "", 1999}, {'x', 0, "", "", 2000}},
     "c:a|c:gap|c:c"},
    {"FinEndsStreamLaterCopiesIgnored", 0,
     {{'c', 100, "S", ""}, {'c', 101, "F", "bye"}, {'c', 101, "F", "bye"}}, "c:bye|c:close"},
    {"FinBehindHoleWaitsForIt", 0,
     {{'c', 100, "", "a"}, {'c', 102, "F", "c"}, {'c', 101, "", "b"}}, "c:abc|c:close"},
    {"RstEndsBothDirections", 0,
     {{'c', 100, "", "x"}, {'s', 200, "", "y"}, {'s', 201, "", "z"}, {'s', 202, "R", ""}, {'c', 101, "", "late"}},
     "c:x|s:yz|c:close|s:close"},
    {"NewSynStartsNewStream", 0,
     {{'c', 100, "", "old"}, {'c', 5000, "S", ""}, {'c', 5000, "S", ""}, {'c', 5001, "", "new"}},
     "c:old|c:close|c:new"},
    {"IdleDirectionDropped", 0,
     {{'c', 100, "", "a", 0}, {'x', 0, "", "", 599'999}, {'x', 0, "", "", 600'000}, {'c', 101, "", "b", 600'001}},
     "c:a|c:close|c:b"},
};

class Reassembly : public ::testing::TestWithParam<Row> {};

TEST_P(Reassembly, DeliversEachByteOnceInOrder)
{
    const Row& row = GetParam();
    Transcript sink;
    TcpReassembler reassembler(sink);
    for (const Step& step : row.steps) {
        const std::int64_t now = step.millis * 1000;
        if (step.side == 'x') {
            reassembler.expire(now);
            continue;
        }
        TcpSegment segment;
        segment.flow = step.side == 'c' ? FlowKey{Client, Server, 50000, 1863} : FlowKey{Server, Client, 1863, 50000};
        segment.sequence = row.base + step.seq;
        segment.syn = step.flags.find('S') != std::string::npos;
        segment.fin = step.flags.find('F') != std::string::npos;
        segment.rst = step.flags.find('R') != std::string::npos;
        segment.payload = std::span(reinterpret_cast<const std::uint8_t*>(step.payload.data()), step.payload.size());
        reassembler.add(segment, now);
    }
    EXPECT_EQ(sink.str(), row.expected);
    EXPECT_LE(reassembler.peakHeldPerDirection(), 256u * 1024);
}

INSTANTIATE_TEST_SUITE_P(Segments, Reassembly, ::testing::ValuesIn(Rows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ReassemblyBounds, LongestIdleConnectionEvictedAndHeldBytesCapped)
{
    Transcript sink;
    ReassemblyLimits limits;
    limits.connections = 3;
    TcpReassembler reassembler(sink, limits);
    const std::string early(60000, 'z');
    for (std::uint16_t port = 1; port <= 5; ++port) {
        TcpSegment first{{Client, Server, port, 1863}, 100, false, false, false,
                         std::span(reinterpret_cast<const std::uint8_t*>("a"), 1)};
        TcpSegment held = first;
        held.sequence = 102; // leaves a hole
        held.payload = std::span(reinterpret_cast<const std::uint8_t*>(early.data()), early.size());
        reassembler.add(first, port);
        reassembler.add(held, port);
        EXPECT_LE(reassembler.connectionCount(), 3u);
    }
    // The first two connections went, their held bytes with them.
    EXPECT_EQ(sink.str(), "c:a|c:a|c:a|c:close|c:a|c:close|c:a");
    EXPECT_EQ(reassembler.heldBytes(), 3 * early.size());
    reassembler.flush();
    EXPECT_EQ(reassembler.heldBytes(), 0u);
    EXPECT_EQ(reassembler.connectionCount(), 0u);
}

} // namespace
} // namespace quorvel::capture
