#pragma once
// Strips a captured frame's link-layer header down to its IPv4 datagram.

#include <cstdint>
#include <optional>
#include <span>

namespace quorvel::capture {

// dlt is the libpcap link type (DLT_EN10MB, DLT_LINUX_SLL, DLT_LINUX_SLL2, DLT_RAW, DLT_IPV4, DLT_NULL,
// DLT_LOOP). Returns the bytes from the IPv4 header on, or nothing when the frame holds no IPv4 datagram.
std::optional<std::span<const std::uint8_t>> StripLinkLayer(int dlt, std::span<const std::uint8_t> frame);

} // namespace quorvel::capture
