#include "capture/live/InterfaceChoice.h"

#include <net/if.h>

#include <algorithm>
#include <charconv>
#include <limits>
#include <utility>

namespace quorvel::capture {

namespace {

constexpr unsigned RouteUp = 0x0001; // RTF_UP

std::vector<std::string_view> Columns(std::string_view line)
{
    std::vector<std::string_view> columns;
    std::size_t at = 0;
    while (at < line.size()) {
        const auto start = line.find_first_not_of(" \t", at);
        if (start == std::string_view::npos)
            break;
        const auto end = std::min(line.find_first_of(" \t", start), line.size());
        columns.push_back(line.substr(start, end - start));
        at = end;
    }
    return columns;
}

std::optional<unsigned long> Number(std::string_view text, int base)
{
    unsigned long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (error != std::errc{} || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

} // namespace

std::optional<std::string> DefaultRouteInterface(std::string_view procNetRoute)
{
    // Iface Destination Gateway Flags RefCnt Use Metric Mask ...; numbers in hex but RefCnt, Use, Metric.
    std::optional<std::string> best;
    unsigned long bestMetric = std::numeric_limits<unsigned long>::max();
    bool header = true;
    while (!procNetRoute.empty()) {
        const auto lineEnd = std::min(procNetRoute.find('\n'), procNetRoute.size());
        const auto line = procNetRoute.substr(0, lineEnd);
        procNetRoute.remove_prefix(std::min(lineEnd + 1, procNetRoute.size()));
        if (std::exchange(header, false))
            continue;
        const auto columns = Columns(line);
        if (columns.size() < 8)
            continue;
        const auto destination = Number(columns[1], 16);
        const auto flags = Number(columns[3], 16);
        const auto metric = Number(columns[6], 10);
        const auto mask = Number(columns[7], 16);
        if (!destination || !flags || !metric || !mask)
            continue;
        if (*destination != 0 || *mask != 0 || (*flags & RouteUp) == 0)
            continue;
        if (!best || *metric < bestMetric) {
            best = std::string(columns[0]);
            bestMetric = *metric;
        }
    }
    return best;
}

std::optional<std::string> ChooseCaptureInterface(Ipv4 hostAddress, std::span<const NetInterface> interfaces,
                                                  const std::optional<std::string>& defaultRouteInterface)
{
    if (!IsLoopback(hostAddress)) {
        for (const auto& candidate : interfaces) {
            if ((candidate.flags & IFF_UP) == 0)
                continue;
            if (std::ranges::find(candidate.addresses, hostAddress) != candidate.addresses.end())
                return candidate.name;
        }
    }
    if (defaultRouteInterface && !defaultRouteInterface->empty())
        return defaultRouteInterface;
    for (const auto& candidate : interfaces) {
        if (candidate.flags & IFF_LOOPBACK)
            return candidate.name;
    }
    return std::nullopt;
}

} // namespace quorvel::capture
