// Link-layer headers in front of the IPv4 datagram, by libpcap link type:
//  EN10MB  dst(6) src(6) type(2) [0x8100 tag(2) type(2)]     type 0x0800
//  SLL     16 bytes, protocol at 14                            0x0800
//  SLL2    20 bytes, protocol at 0                             0x0800
//  RAW, IPV4   none; version nibble 4
//  NULL, LOOP  4-byte address family, byte order of the capturing host: AF_INET = 2

#include "capture/LinkLayer.h"

#include "capture/ByteReader.h"

#include <pcap/dlt.h>

namespace quorvel::capture {

namespace {

constexpr std::uint16_t EtherTypeIpv4 = 0x0800;
constexpr std::uint16_t EtherTypeVlan = 0x8100;
constexpr std::uint32_t FamilyInet = 2;
constexpr std::uint32_t FamilyInetSwapped = 0x02000000;

// checkVersion: only where the link layer does not say what it carries (raw IP may be IPv6 as well).
std::optional<std::span<const std::uint8_t>> Ipv4From(std::span<const std::uint8_t> frame, std::size_t offset,
                                                      bool checkVersion = false)
{
    const ByteReader reader(frame);
    const auto first = reader.u8(offset);
    if (!first || (checkVersion && (*first >> 4) != 4))
        return std::nullopt;
    auto datagram = reader.from(offset);
    // Drop link-layer padding behind the datagram (short Ethernet frames), as a raw socket would.
    // A total length of 0 (segmentation offload) or past the end is left alone.
    const auto totalLength = ByteReader(datagram).be16(2);
    if (totalLength && *totalLength >= 20 && *totalLength < datagram.size())
        datagram = datagram.first(*totalLength);
    return datagram;
}

std::optional<std::span<const std::uint8_t>> WithProtocol(std::span<const std::uint8_t> frame, std::size_t protocolAt,
                                                          std::size_t headerLength)
{
    const auto protocol = ByteReader(frame).be16(protocolAt);
    if (!protocol || *protocol != EtherTypeIpv4)
        return std::nullopt;
    return Ipv4From(frame, headerLength);
}

} // namespace

std::optional<std::span<const std::uint8_t>> StripLinkLayer(int dlt, std::span<const std::uint8_t> frame)
{
    const ByteReader reader(frame);
    switch (dlt) {
    case DLT_EN10MB: {
        const auto type = reader.be16(12);
        if (type && *type == EtherTypeVlan)
            return WithProtocol(frame, 16, 18);
        return WithProtocol(frame, 12, 14);
    }
    case DLT_LINUX_SLL:
        return WithProtocol(frame, 14, 16);
    case DLT_LINUX_SLL2:
        return WithProtocol(frame, 0, 20);
    case DLT_RAW:
    case DLT_IPV4:
        return Ipv4From(frame, 0, true);
    case DLT_NULL:
    case DLT_LOOP: {
        const auto family = reader.be32(0);
        if (!family || (*family != FamilyInet && *family != FamilyInetSwapped))
            return std::nullopt;
        return Ipv4From(frame, 4);
    }
    default:
        return std::nullopt;
    }
}

} // namespace quorvel::capture
