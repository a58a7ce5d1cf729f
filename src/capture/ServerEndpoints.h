#pragma once
// The messenger's server endpoints: the ports the user lists, and every switchboard (chat server)
// that a notification connection hands out in "XFR ... SB" and "RNG", kept for a while after its last
// traffic. Data sent by a server endpoint is a friend's, data sent to one is the user's own.
//
// Pure: times are passed in (microseconds on any monotonic clock), host names are never looked up
// here. Not thread-safe: a capture thread that filters by the set works on a copy of its own, taken
// when generation() has moved on (or from the change listener).

#include "capture/TcpSegment.h"

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::capture {

inline constexpr std::array<std::uint16_t, 2> DefaultServerPorts{1863, 1864};
inline constexpr std::size_t MaxLearnedEndpoints = 256;
inline constexpr std::int64_t LearnedEndpointMicros = 600'000'000; // 10 minutes after the last traffic

// "1863 1864": ports 1..65535 separated by blanks, in any order, repeats dropped; nothing for anything
// else (an empty list included).
std::optional<std::vector<std::uint16_t>> ParsePortList(std::string_view text);
// The same form back: ascending, one space apart.
std::string FormatPortList(std::span<const std::uint16_t> ports);

// The address and port one command hands out.
struct Handout {
    std::string host;                     // as written: dotted IPv4 or a host name
    std::optional<std::uint32_t> address; // host byte order, when host is dotted IPv4
    std::uint16_t port = 0;
};

// "XFR 8 SB 127.0.0.1:1864 CKI 3291..." or "RNG 1234567 m1.example.net:1864 CKI 8f3a... ann@example.com
// Ann%20Lee": the switchboard's address and port. Nothing for any other line, for "XFR ... NS" and for an
// address that is not host:port. The line may end in CR LF.
std::optional<Handout> ParseHandout(std::string_view commandLine);

struct ServerEndpoint {
    static constexpr std::uint32_t AnyHost = 0;
    std::uint32_t address = AnyHost; // host byte order (127.0.0.1 is 0x7f000001)
    std::uint16_t port = 0;
    friend bool operator==(const ServerEndpoint&, const ServerEndpoint&) = default;
};

class ServerEndpoints {
public:
    // The address of a host name if the local resolver knows it without asking anyone; nothing otherwise.
    // Must return at once.
    using CachedLookup = std::function<std::optional<std::uint32_t>(std::string_view host)>;
    using ChangeListener = std::function<void(const ServerEndpoints&)>;

    ServerEndpoints();
    explicit ServerEndpoints(std::span<const std::uint16_t> ports);

    // Ports of any host; an empty list keeps the default ports.
    void setPorts(std::span<const std::uint16_t> ports);
    const std::vector<std::uint16_t>& ports() const { return m_ports; }

    // Cheap enough for every captured datagram: a bit per port, then the learned entries of that port.
    bool isServer(std::uint32_t address, std::uint16_t port) const
    {
        return m_staticPorts[port] || (m_learnedPorts[port] && findLearned(address, port) != npos);
    }
    bool involves(const FlowKey& flow) const
    {
        return isServer(flow.sourceAddress, flow.sourcePort) || isServer(flow.destinationAddress, flow.destinationPort);
    }
    // An IPv4 TCP datagram, from its IP header on, to or from a server endpoint.
    bool carries(std::span<const std::uint8_t> ipDatagram) const;

    // A handed-out switchboard: by its address, or by its port alone (any host) when it is named by a
    // host name the cached lookup does not know. True when the set changed. With MaxLearnedEndpoints
    // learned, the one whose traffic is oldest goes.
    bool learn(const Handout& handout, std::int64_t nowMicros);
    bool learn(ServerEndpoint endpoint, std::int64_t nowMicros);
    // Traffic of a learned endpoint keeps it for another LearnedEndpointMicros.
    void seen(const FlowKey& flow, std::int64_t nowMicros);
    // Drops the learned endpoints without traffic for LearnedEndpointMicros; true when any went.
    bool expire(std::int64_t nowMicros);

    std::vector<ServerEndpoint> learned() const;
    // A copy for another thread to filter by: the same endpoints, without lookup and listener.
    ServerEndpoints snapshot() const;
    std::size_t learnedCount() const { return m_learned.size(); }
    // Moves on with every change of the set: ports, learned, expired or pushed out.
    std::uint64_t generation() const { return m_generation; }

    void setCachedLookup(CachedLookup lookup) { m_lookup = std::move(lookup); }
    // Called after every change, with the set as it is now.
    void setChangeListener(ChangeListener listener) { m_listener = std::move(listener); }

private:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);
    struct Learned {
        ServerEndpoint endpoint;
        std::int64_t lastSeen = 0;
    };

    std::size_t findLearned(std::uint32_t address, std::uint16_t port) const;
    void rebuildLearnedPorts();
    void changed();

    std::vector<std::uint16_t> m_ports;
    std::bitset<65536> m_staticPorts;
    std::bitset<65536> m_learnedPorts;
    std::vector<Learned> m_learned;
    std::uint64_t m_generation = 0;
    CachedLookup m_lookup;
    ChangeListener m_listener;
};

} // namespace quorvel::capture
