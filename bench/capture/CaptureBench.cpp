// Throughput of the capture core on a traffic mix like a busy desktop's: mostly other TCP traffic,
// one datagram in ten a chat message.

#include "capture/DatagramDecoder.h"
#include "capture/EventHandling.h"
#include "text/SpeechText.h"
#include "text/Utf8.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
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

std::string ChatBody(int i)
{
    static const char* const Bodies[] = {
        "今天晚上一起吃饭吗？:) 我请客 (L)", "Sure, see you at seven :D",
        "好的 (6) 别迟到了 :P 哈哈",         "I am a bit late (sn) sorry :'( traffic is terrible today",
        "没问题 ;) 我们在老地方等你 (F)(F)",
    };
    return Bodies[i % 5];
}

std::vector<Bytes> TrafficMix()
{
    std::vector<Bytes> mix;
    const std::string http =
        "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 1200\r\n\r\n" + std::string(1200, 'x');
    for (int i = 0; i < 100; ++i) {
        if (i % 10 == 0) {
            const int n = i / 10;
            if (n % 2 == 0)
                mix.push_back(Datagram(1863, 50123,
                                       "MSG friend@example.com (L)Ann%20Lee(L) 200\r\nMIME-Version: 1.0\r\n"
                                       "Content-Type: text/plain; charset=UTF-8\r\n"
                                       "X-MMS-IM-Format: FN=MS%20Shell%20Dlg; EF=; CO=0; CS=0; PF=0\r\n\r\n" +
                                           ChatBody(n)));
            else
                mix.push_back(
                    Datagram(50123, 1863,
                             "MSG 42 N 180\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n"
                             "X-MMS-IM-Format: FN=MS%20Shell%20Dlg; EF=; CO=0; CS=0; PF=0\r\n\r\n" +
                                 ChatBody(n)));
        } else if (i % 10 < 6) {
            mix.push_back(Datagram(80, 40000 + i, http)); // web traffic
        } else if (i % 10 < 8) {
            mix.push_back(Datagram(40000 + i, 443, "")); // acknowledgements
        } else if (i % 10 == 8) {
            mix.push_back(Datagram(1863, 50123, "")); // acknowledgement on the messenger connection
        } else {
            mix.push_back(Datagram(1863, 50123,
                                   "MSG friend@example.com Ann 97\r\nMIME-Version: 1.0\r\nContent-Type: "
                                   "text/x-msmsgscontrol\r\nTypingUser: friend@example.com\r\n\r\n\r\n"));
        }
    }
    return mix;
}

void DecodeTrafficMix(benchmark::State& state)
{
    const std::vector<Bytes> mix = TrafficMix();
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
        benchmark::Counter(static_cast<double>(events), benchmark::Counter::kAvgIterations);
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

} // namespace

BENCHMARK_MAIN();
