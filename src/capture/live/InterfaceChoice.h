#pragma once
// Which interface to capture on: the one that holds the host name's first IPv4 address, or, when that
// address is a loopback address or no interface holds it, the interface of the IPv4 default route,
// and failing both the loopback interface. Pure: the machine is given as plain data.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::capture {

// An IPv4 address in host byte order (127.0.0.1 is 0x7f000001).
using Ipv4 = std::uint32_t;

constexpr Ipv4 MakeIpv4(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d)
{
    return (Ipv4{a} << 24) | (Ipv4{b} << 16) | (Ipv4{c} << 8) | Ipv4{d};
}

constexpr bool IsLoopback(Ipv4 address)
{
    return (address >> 24) == 127;
}

struct NetInterface {
    std::string name;
    std::vector<Ipv4> addresses;
    unsigned flags = 0; // IFF_UP, IFF_LOOPBACK, ... as getifaddrs gives them
};

// The IPv4 default route's interface from the text of /proc/net/route: the route with destination and
// mask 0 that is up, the lowest metric winning, the first listed among equals.
std::optional<std::string> DefaultRouteInterface(std::string_view procNetRoute);

// Nothing when no rule finds an interface (no default route and no loopback interface).
// An interface that is down does not count as the holder of the host address: the traffic of that
// address cannot pass it, so the default route's interface serves better.
std::optional<std::string> ChooseCaptureInterface(Ipv4 hostAddress, std::span<const NetInterface> interfaces,
                                                  const std::optional<std::string>& defaultRouteInterface);

// The size of the capture's kernel ring. Only filtered chat traffic reaches it, and its frames are
// packed in blocks at their own size: a burst of 2,000 messages takes about 1.3 MB on loopback (where
// each frame passes twice). So this holds three such bursts unread, and the 64 KiB segments of a big
// message on loopback by the dozen; the ring is resident for as long as the capture is open.
inline constexpr int CaptureRingBytes = 4 * 1024 * 1024;

} // namespace quorvel::capture
