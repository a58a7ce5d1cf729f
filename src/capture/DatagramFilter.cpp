#include "capture/DatagramFilter.h"

#include "capture/TcpSegment.h"

#include <string_view>

namespace quorvel::capture {

DatagramFilter::DatagramFilter() = default;

DatagramFilter::DatagramFilter(ServerEndpoints endpoints) : m_passing(std::move(endpoints)) {}

void DatagramFilter::update(ServerEndpoints endpoints, std::int64_t nowMicros)
{
    m_passing = std::move(endpoints);
    // Those the decoder now holds are its own; the others stay open until they are overdue.
    std::erase_if(m_provisional, [&](const Provisional& open) {
        return m_passing.isServer(open.endpoint.address, open.endpoint.port) ||
               nowMicros - open.since >= ProvisionalMicros;
    });
    for (const Provisional& open : m_provisional)
        m_passing.learn(open.endpoint, open.since);
}

bool DatagramFilter::pass(std::span<const std::uint8_t> ipDatagram, std::int64_t nowMicros)
{
    ++m_counts.seen;
    if (!m_passing.carries(ipDatagram))
        return false;
    ++m_counts.passed;
    watchHandout(ipDatagram, nowMicros);
    return true;
}

void DatagramFilter::watchHandout(std::span<const std::uint8_t> ipDatagram, std::int64_t nowMicros)
{
    const auto segment = ParseTcpSegment(ipDatagram);
    if (!segment || segment->payload.size() < 4)
        return;
    const std::string_view payload(reinterpret_cast<const char*>(segment->payload.data()), segment->payload.size());
    // Only servers hand out switchboards, and only a whole command line counts.
    if ((!payload.starts_with("XFR ") && !payload.starts_with("RNG ")) || payload.find('\n') == std::string_view::npos)
        return;
    if (!m_passing.isServer(segment->flow.sourceAddress, segment->flow.sourcePort))
        return;
    const auto handout = ParseHandout(payload);
    if (!handout)
        return;
    const ServerEndpoint endpoint{handout->address.value_or(ServerEndpoint::AnyHost), handout->port};
    if (m_passing.isServer(endpoint.address, endpoint.port))
        return; // passed already: by the decoder's set, or opened here before
    m_provisional.push_back({endpoint, nowMicros});
    m_passing.learn(endpoint, nowMicros);
    ++m_counts.handouts;
}

} // namespace quorvel::capture
