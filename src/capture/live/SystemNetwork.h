#pragma once
// The machine's side of the interface choice: its host address, its interfaces and its default route.

#include "capture/live/InterfaceChoice.h"

#include <optional>
#include <string>
#include <vector>

namespace quorvel::capture {

struct HostLookup {
    enum class Status { Found, Failed, NoAddress };
    Status status = Status::Failed;
    Ipv4 address = 0;    // Found: the first IPv4 address the resolver gave for the host name
    int errorNumber = 0; // Failed: as HostLookupErrorNumber gives it
    std::string reason;  // Failed: the resolver's own words
};

// gethostname, then getaddrinfo for IPv4 only; the first answer in the resolver's order.
HostLookup LookupHostAddress();

// Every interface with its IPv4 addresses and flags, in the order getifaddrs gives them.
std::vector<NetInterface> ListInterfaces();

// From /proc/net/route; nothing when there is no IPv4 default route or the file cannot be read.
std::optional<std::string> ReadDefaultRouteInterface();

} // namespace quorvel::capture
