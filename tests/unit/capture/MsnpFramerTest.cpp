// Command framing by the length field, resynchronisation on garbage, and joining multi-part messages.

#include "DatagramBuilder.h"
#include "capture/MsnpFramer.h"
#include "capture/MultipartJoiner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorvel::capture {
namespace {

using testing::TextPayload;
using testing::WithLength;

std::span<const std::uint8_t> Bytes(std::string_view text)
{
    return std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

std::vector<std::string> FrameInPieces(MsnpFramer& framer, std::string_view stream, std::vector<std::size_t> cuts)
{
    std::vector<std::string> commands;
    auto sink = [&](std::string_view command) { commands.emplace_back(command); };
    std::size_t at = 0;
    cuts.push_back(stream.size());
    for (const std::size_t cut : cuts) {
        framer.feed(Bytes(stream.substr(at, cut - at)), sink);
        at = cut;
    }
    return commands;
}

const std::string Hello = WithLength("MSG alice@example.com Alice", TextPayload("Hello"));
const std::string Typing = WithLength("MSG alice@example.com Alice", "Content-Type: text/x-msmsgscontrol\r\n\r\n\r\n");
const std::string Own = WithLength("MSG 5 N", TextPayload("中文 :)"));

struct FrameRow {
    const char* name;
    std::string stream;
    std::vector<std::string> commands;
};

const std::vector<FrameRow> FrameRows = {
    {"OneMessage", Hello, {Hello}},
    {"SeveralPerSegment", Typing + Hello + "USR 3 OK me@example.com 1 0\r\n" + Own,
     {Typing, Hello, "USR 3 OK me@example.com 1 0\r\n", Own}},
    {"PayloadWithCommandLikeLines", WithLength("MSG 6 N", TextPayload("MSG 7 N 3\r\nOUT")) + "OUT\r\n",
     {WithLength("MSG 6 N", TextPayload("MSG 7 N 3\r\nOUT")), "OUT\r\n"}},
    {"LastParameterNotALength", "ADL 3 OK\r\n" + Hello, {"ADL 3 OK\r\n", Hello}},
    {"OtherPayloadCommands", WithLength("NOT", "<NOTIFICATION/>MSG x") + WithLength("UUX 9", "<Data/>") + Own,
     {WithLength("NOT", "<NOTIFICATION/>MSG x"), WithLength("UUX 9", "<Data/>"), Own}},
    {"ErrorReply", "911 3\r\n" + Hello, {"911 3\r\n", Hello}},
    {"StartsMidCommand", "ext/plain\r\n\r\ntail of a message\r\n" + Hello, {Hello}},
    {"UnknownCommandSkipped", "ZZZ 1 2\r\nmsg 1 2\r\nMSGX 1\r\n" + Hello, {Hello}},
    {"DeclaredLengthOver64KiB", "MSG a b 65537\r\nMIME-Version: 1.0\r\n\r\nx\r\n" + Hello, {Hello}},
    {"LineOver8KiB", std::string(9000, 'M') + "\r\n" + Hello, {Hello}},
    {"LongLineThenCommand", "MSG " + std::string(8200, 'a') + "\r\n" + Own, {Own}},
};

class Framing : public ::testing::TestWithParam<FrameRow> {};

TEST_P(Framing, WholeAndSplitAtEveryByte)
{
    const FrameRow& row = GetParam();
    MsnpFramer whole;
    EXPECT_EQ(FrameInPieces(whole, row.stream, {}), row.commands);
    for (std::size_t cut = 1; cut < row.stream.size(); cut += row.stream.size() > 2000 ? 97 : 1) {
        MsnpFramer split;
        ASSERT_EQ(FrameInPieces(split, row.stream, {cut}), row.commands) << "cut at " << cut;
        EXPECT_EQ(split.bufferedBytes(), 0u);
    }
    std::vector<std::size_t> everyByte;
    for (std::size_t i = 1; i < row.stream.size(); ++i)
        everyByte.push_back(i);
    MsnpFramer bytewise;
    EXPECT_EQ(FrameInPieces(bytewise, row.stream, everyByte), row.commands);
}

INSTANTIATE_TEST_SUITE_P(Streams, Framing, ::testing::ValuesIn(FrameRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FramingReset, HalfReadCommandDroppedAfterGap)
{
    MsnpFramer framer;
    std::vector<std::string> commands;
    auto sink = [&](std::string_view command) { commands.emplace_back(command); };
    // Without the reset the next command's bytes would be taken as the rest of the payload.
    framer.feed(Bytes(std::string_view(Hello).substr(0, 40)), sink);
    framer.reset();
    framer.feed(Bytes(Own), sink);
    EXPECT_EQ(commands, std::vector<std::string>{Own});
    EXPECT_EQ(framer.bufferedBytes(), 0u);
}

std::string Part(const std::string& id, const std::string& chunkHeader, const std::string& body, bool first)
{
    const std::string headers = "Message-ID: " + id + "\r\n" + chunkHeader + "\r\n";
    return WithLength("MSG alice@example.com Alice",
                      first ? TextPayload(body, headers) : headers + "\r\n" + body);
}

struct JoinRow {
    const char* name;
    std::vector<std::pair<std::string, std::int64_t>> commands; // with the time in seconds
    std::vector<std::string> outcomes; // "whole", "held", "dropped" or the joined text
};

const std::string A0 = Part("{A}", "Chunks: 3", "one ", true);
const std::string A1 = Part("{A}", "Chunk: 1", "two ", false);
const std::string A2 = Part("{A}", "Chunk: 2", "three", false);
const std::string B0 = Part("{B}", "Chunks: 2", "bee ", true);
const std::string B1 = Part("{B}", "Chunk: 1", "sting", false);

const std::vector<JoinRow> JoinRows = {
    {"NotAPart", {{Hello, 0}}, {"whole"}},
    {"InOrder", {{A0, 0}, {A1, 0}, {A2, 0}}, {"held", "held", A0 + "two three"}},
    {"Interleaved", {{A0, 0}, {B0, 0}, {A1, 0}, {B1, 0}, {A2, 0}},
     {"held", "held", "held", B0 + "sting", A0 + "two three"}},
    {"FirstPartMissed", {{A1, 0}, {A2, 0}}, {"dropped", "dropped"}},
    {"PartOutOfPlace", {{A0, 0}, {A2, 0}, {A1, 0}}, {"held", "dropped", "dropped"}},
    {"StaleAfter30Seconds", {{A0, 0}, {A1, 29}, {A2, 30}}, {"held", "held", "dropped"}},
    {"OneChunkIsWhole", {{Part("{C}", "Chunks: 1", "solo", true), 0}}, {"whole"}},
    {"Past64KiB", {{A0, 0}, {Part("{A}", "Chunk: 1", std::string(65500, 'x'), false), 0}, {A2, 0}},
     {"held", "dropped", "dropped"}},
};

class Joining : public ::testing::TestWithParam<JoinRow> {};

TEST_P(Joining, PartsJoinedOnceWhole)
{
    MultipartJoiner joiner;
    std::vector<std::string> outcomes;
    for (const auto& [command, seconds] : GetParam().commands) {
        switch (joiner.add(command, seconds * 1'000'000)) {
        case MultipartJoiner::Outcome::Whole: outcomes.push_back("whole"); break;
        case MultipartJoiner::Outcome::Held: outcomes.push_back("held"); break;
        case MultipartJoiner::Outcome::Dropped: outcomes.push_back("dropped"); break;
        case MultipartJoiner::Outcome::Joined: outcomes.push_back(joiner.joined()); break;
        }
    }
    EXPECT_EQ(outcomes, GetParam().outcomes);
    EXPECT_LE(joiner.heldBytes(), 64u * 1024);
}

INSTANTIATE_TEST_SUITE_P(Parts, Joining, ::testing::ValuesIn(JoinRows),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace quorvel::capture
