// Runs the built quorvel-replay over capture files and compares its JSON Lines exactly.

#include "DatagramBuilder.h"
#include "TempDir.h"

#include <gtest/gtest.h>
#include <pcap/pcap.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace quorvel::capture {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using quorvel::test::ReadFile;
using quorvel::test::TempDir;

constexpr long BaseTime = 1609491907; // 2021-01-01 09:05:07 UTC

std::string Quote(const std::string& text)
{
    return "'" + text + "'";
}

struct RunOutput {
    int exitCode = -1;
    std::string out;
    std::string err;
};

RunOutput RunReplay(const TempDir& dir, const std::string& args, const std::string& tz = "UTC")
{
    const fs::path out = dir.path() / "stdout", err = dir.path() / "stderr";
    const std::string command = "cd " + Quote(dir.path().string()) + " && TZ=" + Quote(tz) + " " +
                                Quote(QUORVEL_REPLAY_BINARY) + " " + args + " >" + Quote(out.string()) + " 2>" +
                                Quote(err.string());
    const int status = std::system(command.c_str());
    RunOutput run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadFile(out);
    run.err = ReadFile(err);
    return run;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The datagrams of the synthetic capture, one connection with running sequence numbers and one
// between two messenger ports; frame 3 is not IPv4 and is made per link type.
std::vector<Bytes> Datagrams()
{
    using testing::TextPayload;
    using testing::WithLength;
    testing::Connection chat;
    testing::Connection bothMessenger(1863);
    const std::string headers = "X-MMS-IM-Format: FN=MS%20Shell%20Dlg; EF=; CO=0; CS=0; PF=0\r\n";
    return {
        chat.fromServer(WithLength("MSG ann@example.com Ann", TextPayload("Hello", headers))),
        chat.fromClient(""),
        {},
        chat.fromClient(WithLength("MSG 96 N", TextPayload("Hi :)\r\nsay \"q\"\t\\ ok"))),
        chat.fromServer(WithLength("UBM bob@example.com 1 1", "Content-Type: text/plain\r\n\r\nYo (L)")),
        chat.fromServer("MSG text/plain\r\n"),
        bothMessenger.fromServer(WithLength("MSG ann@example.com Ann", TextPayload("Both"))),
    };
}

const std::vector<std::string> DefaultOutput = {
    R"j({"frame":1,"time":"09:05:07","direction":"friend","command":"MSG","nickname":"Ann","worded":"Hello","stripped":"Hello","log":[{"text":"Ann 说 (09:05:07):","color":"#008000"},{"text":"Hello","color":"#000000"}],"speak":{"voice":"friend","text":"Ann 说：Hello","contact":null}})j",
    R"j({"frame":4,"time":"09:05:10","direction":"own","command":"MSG","nickname":"","worded":"Hi [微笑]\r\n say \"q\"\u0009\\ ok","stripped":"Hi \r\n say \"q\"\u0009\\ ok","log":[{"text":"我 说 (09:05:10):","color":"#008000"},{"text":"Hi [微笑]\r\n say \"q\"\u0009\\ ok","color":"#000000"}],"speak":{"voice":"own","text":"我说：Hi [微笑]\r\n say \"q\"\u0009\\ ok","contact":null}})j",
    R"j({"frame":5,"time":"09:05:11","direction":"friend","command":"UBM","nickname":"bob@example.com","worded":"Yo [红心]","stripped":"Yo ","log":[{"text":"bob@example.com 说 (09:05:11):","color":"#0000ff"},{"text":"Yo [红心]","color":"#000000"}],"speak":{"voice":"friend","text":"bob@example.com 说：Yo [红心]","contact":null}})j",
    R"j({"frame":6,"error":"List index out of bounds (2)"})j",
    R"j({"frame":7,"time":"09:05:13","direction":"friend","command":"MSG","nickname":"Ann","worded":"Both","stripped":"Both","log":[{"text":"Ann 说 (09:05:13):","color":"#008000"},{"text":"Both","color":"#000000"}],"speak":{"voice":"friend","text":"Ann 说：Both","contact":null}})j",
    R"j({"frame":7,"time":"09:05:13","direction":"own","command":"MSG","nickname":"","worded":"Both","stripped":"Both","log":[{"text":"我 说 (09:05:13):","color":"#008000"},{"text":"Both","color":"#000000"}],"speak":{"voice":"own","text":"我说：Both","contact":null}})j",
};

// --no-show-time --friend 010 --own 100
const std::vector<std::string> OptionOutput = {
    R"j({"frame":1,"time":"09:05:07","direction":"friend","command":"MSG","nickname":"Ann","worded":"Hello","stripped":"Hello","log":[{"text":"Ann 说 :","color":"#008000"},{"text":"Hello","color":"#000000"}],"speak":{"voice":"friend","text":"Ann 说：","contact":null}})j",
    R"j({"frame":4,"time":"09:05:10","direction":"own","command":"MSG","nickname":"","worded":"Hi [微笑]\r\n say \"q\"\u0009\\ ok","stripped":"Hi \r\n say \"q\"\u0009\\ ok","log":[{"text":"我 说 :","color":"#008000"},{"text":"Hi [微笑]\r\n say \"q\"\u0009\\ ok","color":"#000000"}],"speak":{"voice":"own","text":"Hi \r\n say \"q\"\u0009\\ ok","contact":null}})j",
    R"j({"frame":5,"time":"09:05:11","direction":"friend","command":"UBM","nickname":"bob@example.com","worded":"Yo [红心]","stripped":"Yo ","log":[{"text":"bob@example.com 说 (09:05:11):","color":"#0000ff"},{"text":"Yo [红心]","color":"#000000"}],"speak":{"voice":"friend","text":"bob@example.com 说：","contact":null}})j",
    R"j({"frame":6,"error":"List index out of bounds (2)"})j",
    R"j({"frame":7,"time":"09:05:13","direction":"friend","command":"MSG","nickname":"Ann","worded":"Both","stripped":"Both","log":[{"text":"Ann 说 :","color":"#008000"},{"text":"Both","color":"#000000"}],"speak":{"voice":"friend","text":"Ann 说：","contact":null}})j",
    R"j({"frame":7,"time":"09:05:13","direction":"own","command":"MSG","nickname":"","worded":"Both","stripped":"Both","log":[{"text":"我 说 :","color":"#008000"},{"text":"Both","color":"#000000"}],"speak":{"voice":"own","text":"Both","contact":null}})j",
};

Bytes Join(Bytes head, const Bytes& tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

// A link-layer header for IPv4 (ipv4 true) or for something else.
struct LinkType {
    const char* name;
    int dlt;
    Bytes (*header)(bool ipv4);
};

const std::vector<LinkType> LinkTypes = {
    {"Ethernet", DLT_EN10MB,
     [](bool ipv4) {
         return Join(Bytes(12, 0), {0x08, std::uint8_t(ipv4 ? 0x00 : 0x06)});
     }},
    {"EthernetVlan", DLT_EN10MB,
     [](bool ipv4) {
         return Join(Bytes(12, 0), {0x81, 0x00, 0x00, 0x07, std::uint8_t(ipv4 ? 0x08 : 0x86), 0x00});
     }},
    {"LinuxSll", DLT_LINUX_SLL,
     [](bool ipv4) { return Bytes{0, 0, 0, 1, 0, 6, 1, 2, 3, 4, 5, 6, 0, 0, std::uint8_t(ipv4 ? 0x08 : 0x86), 0}; }},
    {"LinuxSll2", DLT_LINUX_SLL2,
     [](bool ipv4) {
         return Join({std::uint8_t(ipv4 ? 0x08 : 0x86), 0}, Bytes(18, 0));
     }},
    {"Raw", DLT_RAW, [](bool) { return Bytes{}; }},
    {"Ipv4", DLT_IPV4, [](bool) { return Bytes{}; }},
    {"Null", DLT_NULL,
     [](bool ipv4) {
         return Bytes{std::uint8_t(ipv4 ? 2 : 10), 0, 0, 0};
     }},
    {"Loop", DLT_LOOP,
     [](bool ipv4) {
         return Bytes{0, 0, 0, std::uint8_t(ipv4 ? 2 : 24)};
     }},
};

std::vector<Bytes> Frames(const LinkType& link)
{
    std::vector<Bytes> frames;
    for (const Bytes& datagram : Datagrams()) {
        if (datagram.empty()) { // an IPv6 packet (ARP on Ethernet)
            Bytes ipv6(40, 0);
            ipv6[0] = 0x60;
            frames.push_back(Join(link.header(false), ipv6));
        } else {
            frames.push_back(Join(link.header(true), datagram));
        }
    }
    return frames;
}

void WritePcap(const fs::path& path, int dlt, const std::vector<Bytes>& frames)
{
    pcap_t* dead = pcap_open_dead(dlt, 65535);
    ASSERT_NE(dead, nullptr);
    pcap_dumper_t* dumper = pcap_dump_open(dead, path.c_str());
    ASSERT_NE(dumper, nullptr) << pcap_geterr(dead);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        pcap_pkthdr header{};
        header.ts.tv_sec = BaseTime + static_cast<long>(i);
        header.ts.tv_usec = 250000;
        header.caplen = header.len = static_cast<bpf_u_int32>(frames[i].size());
        pcap_dump(reinterpret_cast<u_char*>(dumper), &header, frames[i].data());
    }
    pcap_dump_close(dumper);
    pcap_close(dead);
}

void PutLe(Bytes& out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// pcapng: section header, one Ethernet interface, one enhanced packet block per frame.
void WritePcapng(const fs::path& path, const std::vector<Bytes>& frames)
{
    Bytes file;
    PutLe(file, 0x0A0D0D0A, 4), PutLe(file, 28, 4), PutLe(file, 0x1A2B3C4D, 4);
    PutLe(file, 1, 2), PutLe(file, 0, 2), PutLe(file, ~std::uint64_t{0}, 8), PutLe(file, 28, 4);
    PutLe(file, 1, 4), PutLe(file, 20, 4), PutLe(file, DLT_EN10MB, 2), PutLe(file, 0, 2), PutLe(file, 65535, 4);
    PutLe(file, 20, 4);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const std::size_t padded = (frames[i].size() + 3) / 4 * 4;
        const std::uint64_t micros = (BaseTime + i) * 1000000ull + 250000;
        PutLe(file, 6, 4), PutLe(file, 32 + padded, 4), PutLe(file, 0, 4);
        PutLe(file, micros >> 32, 4), PutLe(file, micros & 0xFFFFFFFF, 4);
        PutLe(file, frames[i].size(), 4), PutLe(file, frames[i].size(), 4);
        file.insert(file.end(), frames[i].begin(), frames[i].end());
        file.resize(file.size() + padded - frames[i].size(), 0);
        PutLe(file, 32 + padded, 4);
    }
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), file.size());
}

class ReplayLinkTypes : public ::testing::TestWithParam<LinkType> {};

TEST_P(ReplayLinkTypes, DefaultOptions)
{
    TempDir dir;
    const fs::path file = dir.path() / "capture.pcap";
    WritePcap(file, GetParam().dlt, Frames(GetParam()));
    const RunOutput run = RunReplay(dir, Quote(file.string()));
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(Lines(run.out), DefaultOutput);
    EXPECT_TRUE(run.out.ends_with("\n"));
}

INSTANTIATE_TEST_SUITE_P(Pcap, ReplayLinkTypes, ::testing::ValuesIn(LinkTypes),
                         [](const auto& info) { return std::string(info.param.name); });

// Each occurrence of `from` in each line replaced by `to`, in the lines given (all when empty).
std::vector<std::string> Replaced(std::vector<std::string> lines, const std::string& from, const std::string& to,
                                  std::vector<std::size_t> which = {})
{
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!which.empty() && std::find(which.begin(), which.end(), i) == which.end())
            continue;
        for (std::size_t at = 0; (at = lines[i].find(from, at)) != std::string::npos; at += to.size())
            lines[i].replace(at, from.size(), to);
    }
    return lines;
}

// The synthetic Ethernet capture (or pcapng, or a link type that is not read) with options, a
// contacts file or a time zone.
struct OptionCase {
    const char* name;
    int dlt; // -1: pcapng
    std::string args;
    std::string tz;
    std::vector<std::string> expected;
};

// The log keeps the nickname; the alias is spoken in Ann's own voice; Bob is muted.
const std::string Contacts = "[ANN@example.com]\r\nAlias=安娜\r\nOwnVoice=1\r\n[bob@example.com]\r\nMute=1\r\n";

const std::vector<OptionCase> OptionCases = {
    {"Pcapng", -1, "", "UTC", DefaultOutput},
    {"UnsupportedLinkTypeGivesNothing", DLT_IEEE802_11, "", "UTC", {}},
    {"Options", DLT_EN10MB, "--no-show-time --friend 010 --own 100", "UTC", OptionOutput},
    {"OptionsWithEquals", DLT_EN10MB, "--friend=010 --no-show-time --own=100", "UTC", OptionOutput},
    {"LastTimeOptionWins", DLT_EN10MB, "--no-show-time --show-time", "UTC", DefaultOutput},
    {"TimesAreLocal", DLT_EN10MB, "", "XYZ-8", Replaced(DefaultOutput, "09:05:", "17:05:")},
    {"ContactsShapeWhatIsSpoken", DLT_EN10MB, "--contacts contacts.ini", "UTC",
     Replaced(Replaced(Replaced(DefaultOutput, "\"text\":\"Ann 说：", "\"text\":\"安娜 说："), ",\"contact\":null}}",
                       ",\"contact\":\"ANN@example.com\"}}", {0, 4}),
              R"("speak":{"voice":"friend","text":"bob@example.com 说：Yo [红心]","contact":null})",
              R"("speak":null)")},
};

class ReplayOptions : public ::testing::TestWithParam<OptionCase> {};

TEST_P(ReplayOptions, Lines)
{
    TempDir dir;
    const fs::path file = dir.path() / "capture";
    if (GetParam().dlt < 0)
        WritePcapng(file, Frames(LinkTypes[0]));
    else
        WritePcap(file, GetParam().dlt, Frames(LinkTypes[0]));
    std::ofstream(dir.path() / "contacts.ini") << Contacts;
    const RunOutput run = RunReplay(dir, GetParam().args + " " + Quote(file.string()), GetParam().tz);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(Lines(run.out), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Synthetic, ReplayOptions, ::testing::ValuesIn(OptionCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The spoken text of each line ("" for "speak":null).
std::vector<std::string> SpokenTexts(const std::string& out)
{
    std::vector<std::string> spoken;
    for (const std::string& line : Lines(out)) {
        const std::string key = R"("speak":{"voice":"friend","text":")";
        const auto at = line.find(key);
        const auto end = line.find(R"(","contact")", at);
        spoken.push_back(at == std::string::npos ? "" : line.substr(at + key.size(), end - at - key.size()));
    }
    return spoken;
}

TEST(Replay, LinkAndLengthFlags)
{
    TempDir dir;
    const fs::path file = dir.path() / "capture.pcap";
    const Bytes ethernet = LinkTypes[0].header(true);
    testing::Connection chat;
    WritePcap(file, DLT_EN10MB,
              {Join(ethernet, chat.fromServer(testing::WithLength("MSG ann@example.com Ann",
                                                                  testing::TextPayload("see HTTP://a.example:81/x.")))),
               Join(ethernet, chat.fromServer(
                                  testing::WithLength("MSG ann@example.com Ann", testing::TextPayload("abcdefgh"))))});
    struct Row {
        const char* args;
        std::vector<std::string> spoken;
    };
    const Row rows[] = {
        {"", {"Ann 说：see 链接a.example.", "Ann 说：abcdefgh"}},
        {"--no-links", {"Ann 说：see HTTP://a.example:81/x.", "Ann 说：abcdefgh"}},
        {"--max-spoken 3", {"Ann 说：see……(以下省略)", "Ann 说：abc……(以下省略)"}},
        {"--max-spoken=16", {"Ann 说：see 链接a.example.", "Ann 说：abcdefgh"}},
        {"--max-spoken=12 --no-links", {"Ann 说：see HTTP://a……(以下省略)", "Ann 说：abcdefgh"}},
        {"--max-spoken 0 --no-links", {"Ann 说：see HTTP://a.example:81/x.", "Ann 说：abcdefgh"}},
    };
    for (const auto& r : rows) {
        const RunOutput run = RunReplay(dir, std::string(r.args) + " " + Quote(file.string()));
        EXPECT_EQ(run.exitCode, 0) << r.args << run.err;
        EXPECT_EQ(SpokenTexts(run.out), r.spoken) << r.args;
    }
}

// Damage to the last record of a file whose records before it are whole.
struct DamageCase {
    const char* name;
    bool pcapng;
    void (*damage)(Bytes& file, std::size_t lastRecord);
};

void PutLeAt(Bytes& file, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        file[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

const std::vector<DamageCase> DamageCases = {
    {"TruncatedLastRecord", false, [](Bytes& file, std::size_t) { file.resize(file.size() - 5); }},
    {"RecordLengthTooBig", false, [](Bytes& file, std::size_t at) { PutLeAt(file, at + 8, 0x7FFFFFFF); }},
    {"PcapngBlockLengthTooSmall", true, [](Bytes& file, std::size_t at) { PutLeAt(file, at + 4, 8); }},
    {"PcapngBlockLengthNotMultipleOf4", true, [](Bytes& file, std::size_t at) { PutLeAt(file, at + 4, 66); }},
    {"PcapngBlockLengthHuge", true, [](Bytes& file, std::size_t at) { PutLeAt(file, at + 4, 0xFFFFFFF0); }},
};

class ReplayDamagedFiles : public ::testing::TestWithParam<DamageCase> {};

TEST_P(ReplayDamagedFiles, EventsBeforeThenOneLineAndExit2)
{
    TempDir dir;
    const fs::path file = dir.path() / "capture";
    const std::vector<Bytes> frames = Frames(LinkTypes[0]);
    if (GetParam().pcapng)
        WritePcapng(file, frames);
    else
        WritePcap(file, DLT_EN10MB, frames);
    Bytes bytes(fs::file_size(file));
    std::ifstream(file, std::ios::binary).read(reinterpret_cast<char*>(bytes.data()), bytes.size());
    const std::size_t padded = (frames.back().size() + 3) / 4 * 4;
    const std::size_t lastRecord = bytes.size() - (GetParam().pcapng ? 32 + padded : 16 + frames.back().size());
    GetParam().damage(bytes, lastRecord);
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());

    const RunOutput run = RunReplay(dir, Quote(file.string()));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(Lines(run.out), std::vector<std::string>(DefaultOutput.begin(), DefaultOutput.begin() + 4));
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_TRUE(run.err.starts_with("quorvel-replay: " + file.string() + ": ")) << run.err;
}

INSTANTIATE_TEST_SUITE_P(Files, ReplayDamagedFiles, ::testing::ValuesIn(DamageCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct FailureCase {
    const char* name;
    std::string args; // relative to the temp dir
    int exitCode;
};

const std::vector<FailureCase> FailureCases = {
    {"NotACapture", "text.txt", 2},
    {"EmptyFile", "empty.pcap", 2},
    {"MissingFile", "missing.pcap", 2},
    {"NoArguments", "", 2},
    {"UnknownOption", "--loud text.txt", 2},
    {"BadBoxes", "--own 12 text.txt", 2},
    {"BoxesNotDigits", "--friend abc text.txt", 2},
    {"BoxesMissingValue", "--friend", 2},
    {"TwoFiles", "text.txt empty.pcap", 2},
    {"MissingContacts", "--contacts missing.ini text.txt", 2},
    {"ContactsWithoutName", "--contacts", 2},
    {"MaxSpokenMissingValue", "text.txt --max-spoken", 2},
    {"MaxSpokenNegative", "--max-spoken -1 text.txt", 2},
    {"MaxSpokenNotANumber", "--max-spoken=many text.txt", 2},
    {"PortsMissingValue", "text.txt --ports", 2},
    {"PortsEmpty", "--ports '' text.txt", 2},
    {"PortsOutOfRange", "--ports '1863 70000' text.txt", 2},
    {"PortsWithCommas", "--ports=1863,1864 text.txt", 2},
};

class ReplayFailures : public ::testing::TestWithParam<FailureCase> {};

TEST_P(ReplayFailures, OneLineOnStderrNothingOnStdout)
{
    TempDir dir;
    std::ofstream(dir.path() / "text.txt") << "hello, this is not a capture file at all\n";
    std::ofstream(dir.path() / "empty.pcap");
    const RunOutput run = RunReplay(dir, GetParam().args);
    EXPECT_EQ(run.exitCode, GetParam().exitCode);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_TRUE(run.err.starts_with("quorvel-replay: ")) << run.err;
}

INSTANTIATE_TEST_SUITE_P(Usage, ReplayFailures, ::testing::ValuesIn(FailureCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Replay, Help)
{
    TempDir dir;
    const RunOutput run = RunReplay(dir, "--help");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find("Usage: quorvel-replay"), std::string::npos);
    EXPECT_NE(run.out.find("Exit status"), std::string::npos);
}

// A message split over two segments, then one sent twice: the streams give each once, whole, with the
// frame that completed it; each segment on its own gives the cut head and the copy.
TEST(Replay, StreamsAgainstSegments)
{
    TempDir dir;
    testing::Connection chat;
    const std::string message = testing::WithLength("MSG 3 N", testing::TextPayload("一二三四"));
    const Bytes head = chat.fromClient(message.substr(0, message.size() - 4));
    const Bytes tail = chat.fromClient(message.substr(message.size() - 4));
    const Bytes again = chat.fromClient(testing::WithLength("MSG 4 N", testing::TextPayload("again")));
    const Bytes ethernet = LinkTypes[0].header(true);
    const fs::path file = dir.path() / "split.pcap";
    WritePcap(file, DLT_EN10MB,
              {Join(ethernet, head), Join(ethernet, tail), Join(ethernet, again), Join(ethernet, again)});
    // frame and worded text of each line
    const auto summary = [](const std::string& out) {
        std::string text;
        for (const std::string& line : Lines(out)) {
            const std::size_t worded = line.find("\"worded\":\"") + 10;
            text +=
                line.substr(9, line.find(',') - 9) + " " + line.substr(worded, line.find('"', worded) - worded) + ";";
        }
        return text;
    };
    EXPECT_EQ(summary(RunReplay(dir, Quote(file.string())).out), "2 一二三四;3 again;");
    EXPECT_EQ(summary(RunReplay(dir, "--per-segment " + Quote(file.string())).out), "1 一二\uFFFD;3 again;4 again;");
}

// A notification connection that hands out a switchboard on a port of its own and carries a group
// message, and a chat on the second default port: the ports given and what is learned decide.
TEST(Replay, ServerPortsSwitchboardsAndGroupMessages)
{
    using testing::TextPayload;
    using testing::WithLength;
    TempDir dir;
    testing::Connection notification, handedOut(50001, 2000, 8000, 40123), second(50002, 3000, 7000, 1864);
    const std::string group =
        WithLength("SDG 0", "Routing: 1.0\r\nTo: 9:0@live.com;path=IM\r\nFrom: 1:ann@example.com;epid={f5}\r\n\r\n"
                            "Reliability: 1.0\r\n\r\nMessaging: 1.0\r\nContent-Type: Text/plain; charset=UTF-8\r\n"
                            "Message-Type: Text\r\n\r\nall of you");
    const Bytes ethernet = LinkTypes[0].header(true);
    std::vector<Bytes> frames;
    for (const Bytes& datagram :
         {notification.fromServer("ILN 8 NLN 1:ann@example.com Ann%20100%25 2788999228:48 0\r\n"),
          notification.fromServer(group), notification.fromServer("XFR 9 SB 192.0.2.2:40123 CKI 3291\r\n"),
          handedOut.fromServer(WithLength("MSG bob@example.com Bob", TextPayload("on 40123"))),
          second.fromServer(WithLength("MSG cat@example.com Cat", TextPayload("on 1864")))})
        frames.push_back(Join(ethernet, datagram));
    const fs::path file = dir.path() / "servers.pcap";
    WritePcap(file, DLT_EN10MB, frames);
    // frame, command, nickname and worded text of each line
    const auto summary = [](const std::string& out) {
        std::string text;
        for (const std::string& line : Lines(out)) {
            const auto field = [&](const std::string& key) {
                const std::size_t at = line.find("\"" + key + "\":\"") + key.size() + 4;
                return line.substr(at, line.find('"', at) - at);
            };
            text += line.substr(9, line.find(',') - 9) + " " + field("command") + " " + field("nickname") + " " +
                    field("worded") + ";";
        }
        return text;
    };
    EXPECT_EQ(summary(RunReplay(dir, Quote(file.string())).out),
              "2 SDG Ann 100% all of you;4 MSG Bob on 40123;5 MSG Cat on 1864;");
    EXPECT_EQ(summary(RunReplay(dir, "--ports 1863 " + Quote(file.string())).out),
              "2 SDG Ann 100% all of you;4 MSG Bob on 40123;");
    EXPECT_EQ(summary(RunReplay(dir, "--ports='1864  40123' " + Quote(file.string())).out),
              "4 MSG Bob on 40123;5 MSG Cat on 1864;");
    EXPECT_EQ(summary(RunReplay(dir, "--per-segment " + Quote(file.string())).out), "5 MSG Cat on 1864;");
}

// Real captures of the messenger protocol, and one of real TCP splitting and merging the peer tool's
// messages, against golden files checked by reading the captures.
class ReplayRealCaptures : public ::testing::TestWithParam<const char*> {};

TEST_P(ReplayRealCaptures, MatchesGolden)
{
    TempDir dir;
    const fs::path data = QUORVEL_TEST_DATA;
    const std::string name = GetParam();
    const fs::path capture = data / name;
    const fs::path golden = data / "golden" / (fs::path(name).stem().string() + ".jsonl");
    ASSERT_TRUE(fs::exists(golden)) << golden;
    const RunOutput run = RunReplay(dir, Quote(capture.string()));
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(Lines(run.out), Lines(ReadFile(golden)));
}

INSTANTIATE_TEST_SUITE_P(Files, ReplayRealCaptures,
                         ::testing::Values("captures/msnms.pcap", "captures/mapi.pcap", "recorded/segments.pcap"),
                         [](const auto& info) { return fs::path(info.param).stem().string(); });

} // namespace
} // namespace quorvel::capture
