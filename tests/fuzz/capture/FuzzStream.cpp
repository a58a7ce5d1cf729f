// libFuzzer target: random segments of random connections through reassembly, framing, joining,
// switchboard learning, group messages and the chat checks, with memory held and endpoints learned
// checked against the bounds after every segment.
//
// The input is a run of records: connection (bit 7: towards the server, bit 6: the payload's byte pairs
// become "XFR ... SB" lines handing out ports 20000-20511), flags (SYN 1, FIN 2, RST 4, expire 8; the high
// nibble advances the clock in 250 ms steps), sequence offset (16 bits), payload length (16 bits), then the
// payload. A quarter of the connections go to a port in that range, heard only once it is handed out.

#include "capture/StreamDecoder.h"
#include "capture/Utf8.h"

#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

std::vector<std::uint8_t> Datagram(unsigned connection, bool towardsServer, std::uint8_t flags, std::uint32_t seq,
                                   std::span<const std::uint8_t> payload)
{
    std::vector<std::uint8_t> bytes(40, 0);
    const std::size_t total = 40 + payload.size();
    bytes[0] = 0x45;
    bytes[2] = static_cast<std::uint8_t>(total >> 8), bytes[3] = static_cast<std::uint8_t>(total);
    bytes[9] = 6;
    const std::uint8_t client[4] = {192, 0, 2, static_cast<std::uint8_t>(1 + connection % 7)};
    const std::uint8_t server[4] = {198, 51, 100, 7};
    for (int i = 0; i < 4; ++i) {
        bytes[12 + i] = towardsServer ? client[i] : server[i];
        bytes[16 + i] = towardsServer ? server[i] : client[i];
    }
    const std::uint16_t clientPort = static_cast<std::uint16_t>(40000 + connection);
    const std::uint16_t serverPort = connection % 4 == 3   ? static_cast<std::uint16_t>(20000 + connection * 8)
                                     : connection % 4 == 2 ? 1864
                                                           : 1863;
    const std::uint16_t source = towardsServer ? clientPort : serverPort;
    const std::uint16_t destination = towardsServer ? serverPort : clientPort;
    bytes[20] = static_cast<std::uint8_t>(source >> 8), bytes[21] = static_cast<std::uint8_t>(source);
    bytes[22] = static_cast<std::uint8_t>(destination >> 8), bytes[23] = static_cast<std::uint8_t>(destination);
    for (int i = 0; i < 4; ++i)
        bytes[24 + i] = static_cast<std::uint8_t>(seq >> (24 - 8 * i));
    bytes[32] = 0x50;
    bytes[33] = static_cast<std::uint8_t>(0x10 | (flags & 1 ? 0x02 : 0) | (flags & 2 ? 0x01 : 0) | (flags & 4 ? 0x04 : 0));
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace quorvel::capture;
    ReassemblyLimits limits;
    limits.connections = 16; // small, so that eviction is reached
    std::size_t events = 0;
    StreamDecoder decoder(
        [&](const DecodeResult& result) {
            for (const ChatEvent& event : result.events) {
                Check(IsValidUtf8(event.payloadText) && IsValidUtf8(event.wordedText) && IsValidUtf8(event.nickname));
                Check(event.command != "SDG" || event.direction == Direction::Own || !event.nickname.empty());
                ++events;
            }
        },
        limits);
    std::uint64_t generation = decoder.endpoints().generation();
    std::string handouts;

    std::int64_t now = 0;
    std::size_t at = 0;
    while (size - at >= 6) {
        const unsigned connection = data[at] & 0x3F;
        const bool towardsServer = (data[at] & 0x80) != 0;
        const bool handingOut = (data[at] & 0x40) != 0;
        const std::uint8_t flags = data[at + 1];
        // Bases near the top of the sequence space, so that numbers wrap.
        const std::uint32_t base = 0xFFFF0000u + connection * 7919u + (towardsServer ? 1u << 20 : 0u);
        const std::uint32_t seq = base + ((std::uint32_t{data[at + 2]} << 8) | data[at + 3]);
        std::size_t length = (std::size_t{data[at + 4]} << 8) | data[at + 5];
        at += 6;
        length = std::min(length, size - at);
        now += std::int64_t{flags >> 4} * 250'000;
        std::span<const std::uint8_t> payload(data + at, length);
        if (handingOut) {
            handouts.clear();
            for (std::size_t i = 0; i + 1 < length; i += 2)
                handouts +=
                    "XFR 8 SB 198.51.100.7:" + std::to_string(20000 + ((data[at + i] << 8 | data[at + i + 1]) % 512)) +
                    " CKI 1\r\n";
            payload = std::span(reinterpret_cast<const std::uint8_t*>(handouts.data()), handouts.size());
        }
        decoder.addDatagram(Datagram(connection, towardsServer, flags, seq, payload), now);
        at += length;
        if (flags & 8)
            decoder.expire(now);

        const TcpReassembler& reassembler = decoder.reassembler();
        Check(reassembler.connectionCount() <= limits.connections);
        Check(reassembler.peakHeldPerDirection() <= limits.holeBytes);
        Check(reassembler.heldBytes() <= 2 * limits.connections * limits.holeBytes);
        Check(decoder.streamCount() <= 2 * limits.connections);
        // Per direction: a command line and its payload in framing, one message's parts in joining.
        Check(decoder.bufferedBytes() <= decoder.streamCount() * (MaxCommandLine + 2 + MaxPayload + 64 * 1024));
        Check(decoder.nameBytes() <= decoder.streamCount() * FriendlyNames::MaxBytes);
        const ServerEndpoints& endpoints = decoder.endpoints();
        Check(endpoints.learnedCount() <= MaxLearnedEndpoints);
        Check(endpoints.generation() >= generation);
        generation = endpoints.generation();
    }
    decoder.flush();
    Check(decoder.reassembler().heldBytes() == 0 && decoder.streamCount() == 0);
    return 0;
}
