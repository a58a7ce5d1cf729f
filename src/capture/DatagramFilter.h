#pragma once
// What a capture that is handed every datagram of an interface (a raw socket) passes on to the decoder:
// IPv4 TCP to or from a server endpoint, judged on the reader's thread before anything is queued.
//
// The decoder's set arrives as snapshots, some time after the traffic that changed it; a client connects
// to a handed-out switchboard at once. So a handout ("XFR ... SB", "RNG") sent by a server endpoint opens
// its switchboard here straight away. Such a switchboard that the decoder's set does not hold by
// ProvisionalMicros after its handout is closed again. Host names are taken by their port alone.

#include "capture/ServerEndpoints.h"

#include <cstdint>
#include <span>
#include <vector>

namespace quorvel::capture {

class DatagramFilter {
public:
    static constexpr std::int64_t ProvisionalMicros = 30'000'000;

    struct Counts {
        std::uint64_t seen = 0;     // datagrams judged
        std::uint64_t passed = 0;   // of them passed on
        std::uint64_t handouts = 0; // switchboards opened ahead of the decoder
    };

    DatagramFilter();
    explicit DatagramFilter(ServerEndpoints endpoints);

    // The decoder's set as it is now (a snapshot), at nowMicros on the clock pass() is given.
    void update(ServerEndpoints endpoints, std::int64_t nowMicros);
    // One datagram from its IP header on; true when the decoder is to have it.
    bool pass(std::span<const std::uint8_t> ipDatagram, std::int64_t nowMicros);

    const Counts& counts() const { return m_counts; }
    // What passes now: the decoder's set and the switchboards opened ahead of it.
    const ServerEndpoints& endpoints() const { return m_passing; }

private:
    struct Provisional {
        ServerEndpoint endpoint;
        std::int64_t since = 0;
    };
    void watchHandout(std::span<const std::uint8_t> ipDatagram, std::int64_t nowMicros);

    ServerEndpoints m_passing;
    std::vector<Provisional> m_provisional;
    Counts m_counts;
};

} // namespace quorvel::capture
