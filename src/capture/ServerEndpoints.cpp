// Server endpoints and the switchboard addresses that notification servers hand out:
//
//   XFR 8 SB 127.0.0.1:1864 CKI 329177ee9bff649ee7f8 [U messenger.msn.com 1]
//   RNG 1234567 127.0.0.1:1864 CKI 8f3a... ann@example.com Ann%20Lee [U messenger.msn.com] [1]

#include "capture/ServerEndpoints.h"

#include "capture/ByteReader.h"

#include <algorithm>

namespace quorvel::capture {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::optional<std::uint32_t> Number(std::string_view text, std::uint32_t maximum)
{
    if (text.empty() || text.size() > 5)
        return std::nullopt;
    std::uint32_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    if (value > maximum)
        return std::nullopt;
    return value;
}

std::optional<std::uint32_t> DottedIpv4(std::string_view text)
{
    std::uint32_t address = 0;
    for (int part = 0; part < 4; ++part) {
        const std::size_t dot = part < 3 ? text.find('.') : text.size();
        if (dot == std::string_view::npos || dot > 3)
            return std::nullopt;
        const auto value = Number(text.substr(0, dot), 255);
        if (!value)
            return std::nullopt;
        address = (address << 8) | *value;
        text.remove_prefix(part < 3 ? dot + 1 : dot);
    }
    return address;
}

// Letters, digits, hyphens and dots, as DNS names are written.
bool IsHostName(std::string_view text)
{
    if (text.empty() || text.size() > 253 || text.front() == '.' || text.front() == '-')
        return false;
    return std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
    });
}

std::vector<std::string_view> Words(std::string_view line, std::size_t maxWords)
{
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (words.size() < maxWords) {
        while (at < line.size() && IsBlank(line[at]))
            ++at;
        if (at >= line.size())
            break;
        const std::size_t begin = at;
        while (at < line.size() && !IsBlank(line[at]))
            ++at;
        words.push_back(line.substr(begin, at - begin));
    }
    return words;
}

} // namespace

std::optional<std::vector<std::uint16_t>> ParsePortList(std::string_view text)
{
    std::vector<std::uint16_t> ports;
    for (const std::string_view word : Words(text, text.size())) {
        const auto port = Number(word, 65535);
        if (!port || *port == 0)
            return std::nullopt;
        ports.push_back(static_cast<std::uint16_t>(*port));
    }
    if (ports.empty())
        return std::nullopt;
    std::sort(ports.begin(), ports.end());
    ports.erase(std::unique(ports.begin(), ports.end()), ports.end());
    return ports;
}

std::string FormatPortList(std::span<const std::uint16_t> ports)
{
    std::vector<std::uint16_t> sorted(ports.begin(), ports.end());
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    std::string text;
    for (const std::uint16_t port : sorted) {
        if (!text.empty())
            text += ' ';
        text += std::to_string(port);
    }
    return text;
}

std::optional<Handout> ParseHandout(std::string_view line)
{
    if (const auto end = line.find_first_of("\r\n"); end != std::string_view::npos)
        line = line.substr(0, end);
    const auto words = Words(line, 4);
    std::string_view address;
    if (words.size() >= 4 && words[0] == "XFR" && words[2] == "SB")
        address = words[3];
    else if (words.size() >= 3 && words[0] == "RNG")
        address = words[2];
    else
        return std::nullopt;

    const std::size_t colon = address.rfind(':');
    if (colon == std::string_view::npos)
        return std::nullopt;
    const auto port = Number(address.substr(colon + 1), 65535);
    const std::string_view host = address.substr(0, colon);
    if (!port || *port == 0 || !IsHostName(host))
        return std::nullopt;
    Handout handout;
    handout.host = std::string(host);
    handout.address = DottedIpv4(host);
    handout.port = static_cast<std::uint16_t>(*port);
    // Four numbers that are no address ("1.2.3.999") are no host name either.
    if (!handout.address &&
        std::all_of(host.begin(), host.end(), [](char c) { return c == '.' || (c >= '0' && c <= '9'); }))
        return std::nullopt;
    return handout;
}

ServerEndpoints::ServerEndpoints() : ServerEndpoints(DefaultServerPorts) {}

ServerEndpoints::ServerEndpoints(std::span<const std::uint16_t> ports)
{
    setPorts(ports);
}

void ServerEndpoints::setPorts(std::span<const std::uint16_t> ports)
{
    if (ports.empty())
        ports = DefaultServerPorts;
    std::vector<std::uint16_t> sorted(ports.begin(), ports.end());
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    std::erase(sorted, std::uint16_t{0});
    if (sorted == m_ports)
        return;
    m_ports = std::move(sorted);
    m_staticPorts.reset();
    for (const std::uint16_t port : m_ports)
        m_staticPorts.set(port);
    changed();
}

bool ServerEndpoints::carries(std::span<const std::uint8_t> ipDatagram) const
{
    const ByteReader ip(ipDatagram);
    const auto first = ip.u8(0);
    const auto protocol = ip.u8(9);
    if (!first || !protocol || *protocol != 6)
        return false;
    const std::size_t tcpStart = std::size_t{*first & 0x0Fu} * 4;
    const auto sourcePort = ip.be16(tcpStart), destinationPort = ip.be16(tcpStart + 2);
    const auto source = ip.be32(12), destination = ip.be32(16);
    if (!sourcePort || !destinationPort || !source || !destination)
        return false;
    return isServer(*source, *sourcePort) || isServer(*destination, *destinationPort);
}

std::size_t ServerEndpoints::findLearned(std::uint32_t address, std::uint16_t port) const
{
    for (std::size_t i = 0; i < m_learned.size(); ++i) {
        const ServerEndpoint& endpoint = m_learned[i].endpoint;
        if (endpoint.port == port && (endpoint.address == ServerEndpoint::AnyHost || endpoint.address == address))
            return i;
    }
    return npos;
}

bool ServerEndpoints::learn(const Handout& handout, std::int64_t now)
{
    std::optional<std::uint32_t> address = handout.address;
    if (!address && m_lookup)
        address = m_lookup(handout.host);
    return learn(ServerEndpoint{address.value_or(ServerEndpoint::AnyHost), handout.port}, now);
}

bool ServerEndpoints::learn(ServerEndpoint endpoint, std::int64_t now)
{
    if (endpoint.port == 0 || m_staticPorts[endpoint.port])
        return false;
    const auto same = std::find_if(m_learned.begin(), m_learned.end(),
                                   [&](const Learned& entry) { return entry.endpoint == endpoint; });
    if (same != m_learned.end()) {
        same->lastSeen = now;
        return false;
    }
    if (m_learned.size() >= MaxLearnedEndpoints) {
        const auto oldest =
            std::min_element(m_learned.begin(), m_learned.end(),
                             [](const Learned& a, const Learned& b) { return a.lastSeen < b.lastSeen; });
        m_learned.erase(oldest);
    }
    m_learned.push_back({endpoint, now});
    rebuildLearnedPorts();
    changed();
    return true;
}

void ServerEndpoints::seen(const FlowKey& flow, std::int64_t now)
{
    if (!m_learnedPorts[flow.sourcePort] && !m_learnedPorts[flow.destinationPort])
        return;
    for (Learned& entry : m_learned) {
        const ServerEndpoint& endpoint = entry.endpoint;
        const auto matches = [&](std::uint32_t address, std::uint16_t port) {
            return endpoint.port == port &&
                   (endpoint.address == ServerEndpoint::AnyHost || endpoint.address == address);
        };
        if (matches(flow.sourceAddress, flow.sourcePort) || matches(flow.destinationAddress, flow.destinationPort))
            entry.lastSeen = std::max(entry.lastSeen, now);
    }
}

bool ServerEndpoints::expire(std::int64_t now)
{
    const std::size_t removed =
        std::erase_if(m_learned, [&](const Learned& entry) { return now - entry.lastSeen >= LearnedEndpointMicros; });
    if (removed == 0)
        return false;
    rebuildLearnedPorts();
    changed();
    return true;
}

std::vector<ServerEndpoint> ServerEndpoints::learned() const
{
    std::vector<ServerEndpoint> endpoints;
    endpoints.reserve(m_learned.size());
    for (const Learned& entry : m_learned)
        endpoints.push_back(entry.endpoint);
    return endpoints;
}

ServerEndpoints ServerEndpoints::snapshot() const
{
    ServerEndpoints copy = *this;
    copy.m_lookup = nullptr;
    copy.m_listener = nullptr;
    return copy;
}

void ServerEndpoints::rebuildLearnedPorts()
{
    m_learnedPorts.reset();
    for (const Learned& entry : m_learned)
        m_learnedPorts.set(entry.endpoint.port);
}

void ServerEndpoints::changed()
{
    ++m_generation;
    if (m_listener)
        m_listener(*this);
}

} // namespace quorvel::capture
