// Throughput of the capture core on a traffic mix like a busy desktop's: mostly other TCP traffic,
// one datagram in ten a chat message.

#include "capture/DatagramDecoder.h"
#include "capture/DatagramFilter.h"
#include "capture/EventHandling.h"
#include "capture/MsnpFramer.h"
#include "capture/StreamDecoder.h"
#include "capture/TcpReassembler.h"
#include "text/SpeechText.h"
#include "text/Utf8.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Datagram(std::uint16_t source, std::uint16_t destination, const std::string& payload, std::size_t tcpOptions = 12)
{
    const std::size_t tcpLength = 20 + tcpOptions;
    Bytes bytes(20 + tcpLength + payload.size(), 0);
    bytes[0] = 0x45;
    const std::size_t total = bytes.size();
    bytes[2] = static_cast<std::uint8_t>(total >> 8), bytes[3] = static_cast<std::uint8_t>(total);
    bytes[8] = 64, bytes[9] = 6;
    bytes[20] = static_cast<std::uint8_t>(source >> 8), bytes[21] = static_cast<std::uint8_t>(source);
    bytes[22] = static_cast<std::uint8_t>(destination >> 8), bytes[23] = static_cast<std::uint8_t>(destination);
    bytes[32] = static_cast<std::uint8_t>((tcpLength / 4) << 4), bytes[33] = 0x18;
    std::copy(payload.begin(), payload.end(), bytes.begin() + static_cast<std::ptrdiff_t>(20 + tcpLength));
    return bytes;
}

// A datagram carrying a segment's flow with the given sequence number and payload (the segment's own
// payload when none is given).
Bytes BuildSegment(const quorvel::capture::TcpSegment& segment, std::uint32_t seq, const std::string& payload = {})
{
    const std::string_view data =
        payload.empty() ? std::string_view(reinterpret_cast<const char*>(segment.payload.data()), segment.payload.size())
                        : std::string_view(payload);
    Bytes bytes = Datagram(segment.flow.sourcePort, segment.flow.destinationPort, std::string(data), 0);
    for (int i = 0; i < 4; ++i) {
        bytes[12 + i] = static_cast<std::uint8_t>(segment.flow.sourceAddress >> (24 - 8 * i));
        bytes[16 + i] = static_cast<std::uint8_t>(segment.flow.destinationAddress >> (24 - 8 * i));
        bytes[24 + i] = static_cast<std::uint8_t>(seq >> (24 - 8 * i));
    }
    return bytes;
}

std::string ChatBody(int i)
{
    static const char* const Bodies[] = {
        "今天晚上一起吃饭吗？:) 我请客 (L)", "Sure, see you at seven :D",
        "好的 (6) 别迟到了 :P 哈哈",         "I am a bit late (sn) sorry :'( traffic is terrible today",
        "没问题 ;) 我们在老地方等你 (F)(F)",
    };
    return Bodies[i % 5];
}

std::string WithLength(const std::string& commandLine, const std::string& payload)
{
    return commandLine + " " + std::to_string(payload.size()) + "\r\n" + payload;
}

std::vector<Bytes> TrafficMix()
{
    std::vector<Bytes> mix;
    const std::string http =
        "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 1200\r\n\r\n" + std::string(1200, 'x');
    for (int i = 0; i < 100; ++i) {
        if (i % 10 == 0) {
            const int n = i / 10;
            const std::string headers = "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n"
                                        "X-MMS-IM-Format: FN=MS%20Shell%20Dlg; EF=; CO=0; CS=0; PF=0\r\n\r\n";
            if (n % 2 == 0)
                mix.push_back(Datagram(1863, 50123, WithLength("MSG friend@example.com (L)Ann%20Lee(L)",
                                                               headers + ChatBody(n))));
            else
                mix.push_back(Datagram(50123, 1863, WithLength("MSG 42 N", headers + ChatBody(n))));
        } else if (i % 10 < 6) {
            mix.push_back(Datagram(80, 40000 + i, http)); // web traffic
        } else if (i % 10 < 8) {
            mix.push_back(Datagram(40000 + i, 443, "")); // acknowledgements
        } else if (i % 10 == 8) {
            mix.push_back(Datagram(1863, 50123, "")); // acknowledgement on the messenger connection
        } else {
            mix.push_back(Datagram(1863, 50123,
                                   WithLength("MSG friend@example.com Ann",
                                              "MIME-Version: 1.0\r\nContent-Type: text/x-msmsgscontrol\r\n"
                                              "TypingUser: friend@example.com\r\n\r\n\r\n")));
        }
    }
    return mix;
}

std::vector<Bytes> SequencedMix(int repeats, const std::vector<Bytes>& mix);

// Each datagram on its own; the same traffic as StreamTrafficMix.
void DecodeTrafficMix(benchmark::State& state)
{
    const std::vector<Bytes> mix = SequencedMix(100, TrafficMix());
    std::size_t events = 0;
    for (auto _ : state) {
        for (const Bytes& datagram : mix) {
            const auto result = quorvel::capture::DecodeDatagram(datagram);
            events += result.events.size();
            benchmark::DoNotOptimize(result);
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * mix.size()));
    state.counters["events_per_mix"] =
        benchmark::Counter(static_cast<double>(events) / 100, benchmark::Counter::kAvgIterations);
}
BENCHMARK(DecodeTrafficMix);

// Decode (with the text rules) and event handling, counted per chat event.
void DecodeAndHandleChat(benchmark::State& state)
{
    std::vector<Bytes> chat;
    for (const Bytes& datagram : TrafficMix())
        if (!quorvel::capture::DecodeDatagram(datagram).events.empty())
            chat.push_back(datagram);
    const quorvel::capture::ReadingOptions options;
    std::size_t events = 0;
    for (auto _ : state) {
        for (const Bytes& datagram : chat) {
            for (const auto& event : quorvel::capture::DecodeDatagram(datagram).events) {
                auto outcome = quorvel::capture::HandleChatEvent(event, options, options, true, "09:05:07");
                benchmark::DoNotOptimize(outcome);
                ++events;
            }
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(events));
}
BENCHMARK(DecodeAndHandleChat);

// What speech makes of a 60 KB body: many addresses (0), or one followed by a run of closing brackets (1).
void ShapeLongBody(benchmark::State& state)
{
    std::string body;
    if (state.range(0) == 0) {
        while (body.size() < 60000)
            body += "看 https://user@www.example.com:8080/a/b?c=d#e, 好 ";
    } else {
        body = "http://example.com/" + std::string(60000, ')');
    }
    for (auto _ : state) {
        auto spoken = quorvel::text::CutForSpeech(quorvel::text::SpeakLinks(body), 300);
        benchmark::DoNotOptimize(spoken);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * body.size()));
}
BENCHMARK(ShapeLongBody)->Arg(0)->Arg(1);

void DecodeUtf8Lossy(benchmark::State& state)
{
    std::string text;
    for (int i = 0; i < 64; ++i)
        text += ChatBody(i) + "\r\n";
    text += "\xE4\xB8";
    for (auto _ : state)
        benchmark::DoNotOptimize(quorvel::text::DecodeUtf8Lossy(text));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(DecodeUtf8Lossy);

// The mix repeated, each flow's sequence numbers running on as a real connection's would.
std::vector<Bytes> SequencedMix(int repeats, const std::vector<Bytes>& mix)
{
    std::map<std::uint32_t, std::uint32_t> next; // ports -> sequence number
    std::vector<Bytes> out;
    for (int r = 0; r < repeats; ++r) {
        for (Bytes datagram : mix) {
            const std::uint32_t ports = (std::uint32_t{datagram[20]} << 24) | (std::uint32_t{datagram[21]} << 16) |
                                        (std::uint32_t{datagram[22]} << 8) | datagram[23];
            std::uint32_t& seq = next.try_emplace(ports, 0x7FFFFF00u).first->second;
            for (int i = 0; i < 4; ++i)
                datagram[24 + i] = static_cast<std::uint8_t>(seq >> (24 - 8 * i));
            seq += static_cast<std::uint32_t>(datagram.size() - 52);
            out.push_back(std::move(datagram));
        }
    }
    return out;
}

// The same mix through reassembly, framing and the chat checks of every connection.
void StreamTrafficMix(benchmark::State& state)
{
    const std::vector<Bytes> traffic = SequencedMix(100, TrafficMix());
    std::size_t events = 0;
    for (auto _ : state) {
        quorvel::capture::StreamDecoder decoder(
            [&](const quorvel::capture::DecodeResult& result) { events += result.events.size(); });
        for (const Bytes& datagram : traffic)
            decoder.addDatagram(datagram, 0);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * traffic.size()));
    state.counters["events_per_mix"] =
        benchmark::Counter(static_cast<double>(events) / 100, benchmark::Counter::kAvgIterations);
}
BENCHMARK(StreamTrafficMix);

std::vector<Bytes> ChatOnly(int repeats)
{
    std::vector<Bytes> chat;
    for (const Bytes& datagram : TrafficMix())
        if (!quorvel::capture::DecodeDatagram(datagram).events.empty())
            chat.push_back(datagram);
    return SequencedMix(repeats, chat);
}

// Streams, text rules and event handling, counted per chat event (beside DecodeAndHandleChat).
void StreamAndHandleChat(benchmark::State& state)
{
    const std::vector<Bytes> chat = ChatOnly(1000);
    const quorvel::capture::ReadingOptions options;
    std::size_t events = 0;
    for (auto _ : state) {
        quorvel::capture::StreamDecoder decoder([&](const quorvel::capture::DecodeResult& result) {
            for (const auto& event : result.events) {
                auto outcome = quorvel::capture::HandleChatEvent(event, options, options, true, "09:05:07");
                benchmark::DoNotOptimize(outcome);
                ++events;
            }
        });
        for (const Bytes& datagram : chat)
            decoder.addDatagram(datagram, 0);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(events));
}
BENCHMARK(StreamAndHandleChat);

// Reassembly and framing alone: chat commands cut out of the connections per second.
class CountingSink : public quorvel::capture::StreamSink {
public:
    void onData(std::uint64_t, const quorvel::capture::FlowKey&, std::span<const std::uint8_t> bytes) override
    {
        auto count = [this](std::string_view command) { commands += command.starts_with("MSG"); };
        framer.feed(bytes, count);
    }
    void onGap(std::uint64_t) override { framer.reset(); }
    void onClose(std::uint64_t) override {}
    quorvel::capture::MsnpFramer framer; // one chat connection: one framer serves
    std::size_t commands = 0;
};

void ReassembleAndFrame(benchmark::State& state)
{
    const std::vector<Bytes> chat = ChatOnly(1000);
    std::vector<quorvel::capture::TcpSegment> segments;
    for (const Bytes& datagram : chat)
        segments.push_back(*quorvel::capture::ParseTcpSegment(datagram));
    std::size_t commands = 0;
    for (auto _ : state) {
        CountingSink sink;
        quorvel::capture::TcpReassembler reassembler(sink);
        for (const auto& segment : segments)
            reassembler.add(segment, 0);
        commands += sink.commands;
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(commands));
}
BENCHMARK(ReassembleAndFrame);

// The worst case for memory: every connection there may be, each direction with a hole open and as
// much held behind it as it may hold, and a command half read. Prints the peak bytes held.
void WorstCaseMemory(benchmark::State& state)
{
    const quorvel::capture::ReassemblyLimits limits;
    const std::string head = "MSG a@example.com A 60000\r\n" + std::string(30000, 'x');
    const std::string early(1400, 'y');
    std::size_t peakHeld = 0, peakBuffered = 0, connections = 0, perDirection = 0;
    for (auto _ : state) {
        quorvel::capture::StreamDecoder decoder([](const quorvel::capture::DecodeResult&) {}, limits);
        for (std::uint32_t c = 0; c < limits.connections + 100; ++c) {
            for (const bool towards : {false, true}) {
                quorvel::capture::TcpSegment segment;
                segment.flow = {0xC0000200u + (c >> 16), 0xC6336407u, static_cast<std::uint16_t>(1024 + (c & 0xFFFF)),
                                1863};
                if (!towards)
                    segment.flow = segment.flow.reversed();
                segment.payload = std::span(reinterpret_cast<const std::uint8_t*>(head.data()), head.size());
                decoder.addDatagram(BuildSegment(segment, 1000), 0);
                // Just below the amount that makes the hole be skipped.
                for (std::uint32_t off = 100000; off + 1400 <= 100000 + limits.holeBytes; off += 1400)
                    decoder.addDatagram(BuildSegment(segment, 1000 + off, early), 0);
            }
            peakHeld = std::max(peakHeld, decoder.reassembler().heldBytes());
            peakBuffered = std::max(peakBuffered, decoder.bufferedBytes());
        }
        connections = decoder.reassembler().connectionCount();
        perDirection = decoder.reassembler().peakHeldPerDirection();
    }
    state.counters["connections"] = static_cast<double>(connections);
    state.counters["peak_held_MiB"] = static_cast<double>(peakHeld) / (1 << 20);
    state.counters["peak_framing_MiB"] = static_cast<double>(peakBuffered) / (1 << 20);
    state.counters["peak_per_direction_KiB"] = static_cast<double>(perDirection) / 1024;
}
BENCHMARK(WorstCaseMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

// What the Windows edition's reader thread spends on each datagram of other traffic its raw socket is
// handed, with the default ports and 0, 16 or 256 switchboards learned (some on the flood's port range).
void FilterOtherTraffic(benchmark::State& state)
{
    quorvel::capture::ServerEndpoints endpoints;
    for (std::int64_t i = 0; i < state.range(0); ++i)
        endpoints.learn(quorvel::capture::ServerEndpoint{0x7f000001, static_cast<std::uint16_t>(40000 + i)}, i);
    quorvel::capture::DatagramFilter filter(endpoints.snapshot());
    std::vector<Bytes> flood;
    for (std::uint16_t i = 0; i < 64; ++i)
        flood.push_back(Datagram(5201, static_cast<std::uint16_t>(40000 + 300 + i), std::string(1400, 'x')));
    std::size_t passed = 0, next = 0;
    for (auto _ : state) {
        passed += filter.pass(flood[next], 0) ? 1 : 0;
        next = (next + 1) % flood.size();
    }
    benchmark::DoNotOptimize(passed);
    state.counters["passed"] = static_cast<double>(passed);
}
BENCHMARK(FilterOtherTraffic)->Arg(0)->Arg(16)->Arg(256);

BENCHMARK_MAIN();
