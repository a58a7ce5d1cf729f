// The filter a raw socket's reader judges every datagram by: server endpoints, switchboards opened
// ahead of the decoder by the handouts servers send, and their closing when the decoder never follows.

#include "DatagramBuilder.h"
#include "capture/DatagramFilter.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace quorvel::capture {
namespace {

using testing::BuildDatagram;
using testing::Segment;

constexpr std::uint32_t Client = 0xC0000202, Server = 0xC0000201, Board = 0xC0000209; // 192.0.2.x
constexpr std::int64_t Second = 1'000'000;

Segment From(std::uint32_t address, std::uint16_t port, std::string payload = "ACK 1\r\n")
{
    Segment segment;
    segment.sourceAddress = address;
    segment.sourcePort = port;
    segment.destinationAddress = address == Client ? Server : Client;
    segment.destinationPort = address == Client ? 1863 : 50000;
    segment.payload = std::move(payload);
    return segment;
}

Segment To(std::uint32_t address, std::uint16_t port)
{
    Segment segment = From(Client, 50001);
    segment.destinationAddress = address;
    segment.destinationPort = port;
    return segment;
}

// One step of a session: a datagram judged, or (with decoderLearned set) the decoder's set arriving.
struct Step {
    const char* what;
    std::int64_t at;
    Segment datagram;
    bool passes = false;
    std::optional<std::vector<ServerEndpoint>> decoderLearned = std::nullopt;
};

TEST(DatagramFilterTest, SessionOfHandouts)
{
    Segment udp = From(Server, 1863);
    udp.protocol = 17;
    Segment other = From(Server, 5201);
    other.destinationPort = 50002;
    const std::vector<Step> steps = {
        {"a UDP datagram of the server port", 0, udp, false},
        {"other TCP traffic", 0, other, false},
        {"the notification server's traffic", 0, From(Server, 1863), true},
        {"the client's traffic to it", 0, From(Client, 50000), true},
        {"a switchboard not handed out yet", 0, To(Board, 40000), false},
        {"XFR from the server", 1 * Second, From(Server, 1863, "XFR 8 SB 192.0.2.9:40000 CKI 3291\r\n"), true},
        {"the switchboard at once", 1 * Second, To(Board, 40000), true},
        {"the same port on another host", 1 * Second, To(Server, 40000), false},
        {"a handout written by a client opens nothing", 1 * Second,
         From(Client, 50000, "RNG 1 192.0.2.9:40001 CKI 8f3a ann@example.com Ann\r\n"), true},
        {"so its port stays closed", 1 * Second, To(Board, 40001), false},
        {"a handout cut before its line end opens nothing", 1 * Second,
         From(Server, 1863, "RNG 1 192.0.2.9:40002 CKI 8f3a"), true},
        {"so its port stays closed", 1 * Second, To(Board, 40002), false},
        {"RNG naming a host", 2 * Second, From(Server, 1863, "RNG 7 m1.example.net:40003 CKI 8f3a a@b.c A\r\n"), true},
        {"its port on any host", 2 * Second, To(Server, 40003), true},
        {"the decoder without them yet keeps them open", 10 * Second, {}, false, std::vector<ServerEndpoint>{}},
        {"still open", 10 * Second, To(Board, 40000), true},
        {"the decoder confirms the named host's port", 20 * Second, {}, false,
         std::vector<ServerEndpoint>{{ServerEndpoint::AnyHost, 40003}}},
        {"the decoder never confirmed the XFR: closed when overdue", 31 * Second, {}, false,
         std::vector<ServerEndpoint>{{ServerEndpoint::AnyHost, 40003}}},
        {"so the switchboard is closed", 31 * Second, To(Board, 40000), false},
        {"the confirmed one stays the decoder's", 60 * Second, {}, false,
         std::vector<ServerEndpoint>{{ServerEndpoint::AnyHost, 40003}}},
        {"and passes", 60 * Second, To(Client, 40003), true},
    };

    DatagramFilter filter;
    for (const Step& step : steps) {
        if (step.decoderLearned) {
            ServerEndpoints decoder;
            for (const ServerEndpoint& endpoint : *step.decoderLearned)
                decoder.learn(endpoint, step.at);
            filter.update(decoder.snapshot(), step.at);
            continue;
        }
        EXPECT_EQ(filter.pass(BuildDatagram(step.datagram), step.at), step.passes) << step.what;
    }
    EXPECT_EQ(filter.counts().handouts, 2u);
    EXPECT_EQ(filter.counts().seen, 17u);
}

} // namespace
} // namespace quorvel::capture
