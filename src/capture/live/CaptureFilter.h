#pragma once
// The kernel filters of the live capture, as pcap filter expressions. Pure.

#include "capture/ServerEndpoints.h"

#include <pcap/bpf.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quorvel::capture {

// The longest program the kernel takes as a socket filter.
inline constexpr unsigned MaxFilterInstructions = 4096;

// IPv4 TCP segments to or from a server endpoint: the ports of any host and the learned endpoints; and
// any other whose payload begins as a messenger command does (three capital letters, then a blank or a
// CR; not "GET "). The filter follows a handed-out switchboard only after a moment, and a client that
// connects at once would lose its first commands meanwhile; what these segments bring that is not a
// server endpoint's, the decoder drops. Other traffic seldom begins so, and a flood of it never passes.
std::string CaptureFilterFor(std::span<const std::uint16_t> ports, std::span<const ServerEndpoint> learned);

// The same filter as a program, written directly for the link types a live capture on Linux gives
// (Ethernet and loopback, Linux cooked v1 and v2, raw IPv4): libpcap's compiler takes a tenth of a
// millisecond for two ports but 30 ms for 64 endpoints and 0.4 s for the whole bound, and a handed-out
// switchboard must be in the filter within a fraction of a millisecond. Fragments pass no port test,
// as with libpcap's. A set too long for the kernel takes the learned endpoints by their ports alone;
// nothing for another link type, or for more ports than the kernel's program can hold.
std::optional<std::vector<bpf_insn>> CaptureProgramFor(int linkType, unsigned acceptLength,
                                                       std::span<const std::uint16_t> ports,
                                                       std::span<const ServerEndpoint> learned);

// Segments sent from one of the ports whose payload begins with "XFR " or "RNG ": the notification
// server handing out a switchboard, watched apart so that its filter can open before the client connects.
std::string HandoutFilterFor(std::span<const std::uint16_t> ports);

} // namespace quorvel::capture
