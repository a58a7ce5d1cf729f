#pragma once
// The parts of one IPv4 TCP segment that stream decoding needs.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>

namespace quorvel::capture {

// One direction of a connection: from source to destination.
struct FlowKey {
    std::uint32_t sourceAddress = 0;
    std::uint32_t destinationAddress = 0;
    std::uint16_t sourcePort = 0;
    std::uint16_t destinationPort = 0;

    FlowKey reversed() const { return {destinationAddress, sourceAddress, destinationPort, sourcePort}; }
    friend bool operator==(const FlowKey&, const FlowKey&) = default;
};

struct FlowKeyHash {
    std::size_t operator()(const FlowKey& key) const noexcept
    {
        std::uint64_t h = (std::uint64_t{key.sourceAddress} << 32) | key.destinationAddress;
        h ^= ((std::uint64_t{key.sourcePort} << 16) | key.destinationPort) * 0x9E3779B97F4A7C15ull;
        h ^= h >> 29;
        h *= 0xBF58476D1CE4E5B9ull;
        return static_cast<std::size_t>(h ^ (h >> 32));
    }
};

struct TcpSegment {
    FlowKey flow;
    std::uint32_t sequence = 0;
    bool syn = false;
    bool fin = false;
    bool rst = false;
    std::span<const std::uint8_t> payload; // bounded by the IP total length: link-layer padding is not data
};

// Nothing for a datagram that is not an unfragmented IPv4 TCP segment with whole headers.
std::optional<TcpSegment> ParseTcpSegment(std::span<const std::uint8_t> ipDatagram);

} // namespace quorvel::capture
