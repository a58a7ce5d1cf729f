// Link-layer headers in front of the IPv4 datagram, by libpcap link type:
//  EN10MB  dst(6) src(6) type(2) [0x8100 tag(2) type(2)]     type 0x0800
//  SLL     16 bytes, protocol at 14                            0x0800
//  SLL2    20 bytes, protocol at 0                             0x0800
//  RAW, IPV4   none; version nibble 4
//  NULL, LOOP  4-byte address family, byte order of the capturing host: AF_INET = 2

#include "capture/LinkLayer.h"

#include "capture/ByteReader.h"
#include "capture/LinkTypes.h"

#if __has_include(<pcap/dlt.h>)
#include <pcap/dlt.h>
#endif

namespace quorvel::capture {

#ifdef DLT_EN10MB
static_assert(dlt::En10Mb == DLT_EN10MB && dlt::Raw == DLT_RAW && dlt::LinuxSll == DLT_LINUX_SLL &&
              dlt::LinuxSll2 == DLT_LINUX_SLL2 && dlt::Ipv4 == DLT_IPV4 && dlt::Null == DLT_NULL &&
              dlt::Loop == DLT_LOOP && dlt::Ieee80211 == DLT_IEEE802_11);
#endif

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

std::optional<std::span<const std::uint8_t>> StripLinkLayer(int linkType, std::span<const std::uint8_t> frame)
{
    const ByteReader reader(frame);
    switch (linkType) {
    case dlt::En10Mb: {
        const auto type = reader.be16(12);
        if (type && *type == EtherTypeVlan)
            return WithProtocol(frame, 16, 18);
        return WithProtocol(frame, 12, 14);
    }
    case dlt::LinuxSll:
        return WithProtocol(frame, 14, 16);
    case dlt::LinuxSll2:
        return WithProtocol(frame, 0, 20);
    case dlt::Raw:
    case dlt::Ipv4:
        return Ipv4From(frame, 0, true);
    case dlt::Null:
    case dlt::Loop: {
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
