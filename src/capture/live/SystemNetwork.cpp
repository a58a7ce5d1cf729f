#include "capture/live/SystemNetwork.h"

#include "capture/live/CaptureErrors.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <limits.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

namespace quorvel::capture {

HostLookup LookupHostAddress()
{
    HostLookup result;
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0) {
        result.errorNumber = errno;
        result.reason = std::strerror(result.errorNumber);
        return result;
    }

    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM; // one entry per address rather than one per socket type
    addrinfo* answers = nullptr;
    const int status = getaddrinfo(name, nullptr, &hints, &answers);
    const int savedErrno = errno;
    if (status != 0) {
        result.errorNumber = HostLookupErrorNumber(status, savedErrno);
        result.reason = status == EAI_SYSTEM ? std::strerror(result.errorNumber) : gai_strerror(status);
        return result;
    }
    const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owner(answers, &freeaddrinfo);
    for (const addrinfo* answer = answers; answer; answer = answer->ai_next) {
        if (answer->ai_family != AF_INET || !answer->ai_addr)
            continue;
        sockaddr_in address{};
        std::memcpy(&address, answer->ai_addr, std::min<std::size_t>(sizeof address, answer->ai_addrlen));
        result.status = HostLookup::Status::Found;
        result.address = ntohl(address.sin_addr.s_addr);
        return result;
    }
    result.status = HostLookup::Status::NoAddress;
    return result;
}

std::vector<NetInterface> ListInterfaces()
{
    std::vector<NetInterface> interfaces;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return interfaces;
    const std::unique_ptr<ifaddrs, decltype(&freeifaddrs)> owner(list, &freeifaddrs);
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_name)
            continue;
        auto known = std::ranges::find(interfaces, std::string_view(entry->ifa_name), &NetInterface::name);
        if (known == interfaces.end()) {
            interfaces.push_back({entry->ifa_name, {}, entry->ifa_flags});
            known = std::prev(interfaces.end());
        }
        if (entry->ifa_addr && entry->ifa_addr->sa_family == AF_INET) {
            sockaddr_in address{};
            std::memcpy(&address, entry->ifa_addr, sizeof address);
            known->addresses.push_back(ntohl(address.sin_addr.s_addr));
        }
    }
    return interfaces;
}

std::optional<std::string> ReadDefaultRouteInterface()
{
    std::ifstream file("/proc/net/route");
    if (!file)
        return std::nullopt;
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    return DefaultRouteInterface(text);
}

} // namespace quorvel::capture
