// IPv4 + TCP headers -> TcpSegment.
//
//  IPv4:  0 version|IHL  2 total length  6 flags|fragment offset  9 protocol  12 source  16 destination
//  TCP:   0 source port  2 destination port  4 sequence number  12 data offset  13 flags (FIN 1, SYN 2, RST 4)

#include "capture/TcpSegment.h"

#include "capture/ByteReader.h"

namespace quorvel::capture {

std::optional<TcpSegment> ParseTcpSegment(std::span<const std::uint8_t> ipDatagram)
{
    const ByteReader ip(ipDatagram);
    const auto versionAndLength = ip.u8(0);
    const auto totalLength = ip.be16(2);
    const auto fragment = ip.be16(6);
    const auto protocol = ip.u8(9);
    const auto source = ip.be32(12);
    const auto destination = ip.be32(16);
    if (!versionAndLength || !totalLength || !fragment || !protocol || !source || !destination)
        return std::nullopt;
    if ((*versionAndLength >> 4) != 4 || *protocol != 6)
        return std::nullopt;
    // A fragment carries no TCP header (or not all of the segment): nothing a stream can use.
    if ((*fragment & 0x3FFFu) != 0)
        return std::nullopt;

    // A captured length below the header's total length is a truncated capture; zero is what a sender
    // with segmentation offload shows. Either way the captured bytes are what there is.
    std::size_t end = ipDatagram.size();
    if (*totalLength != 0 && *totalLength < end)
        end = *totalLength;
    const std::size_t tcpStart = std::size_t{*versionAndLength & 0x0Fu} * 4;
    const ByteReader tcp(ipDatagram.first(end));
    const auto sourcePort = tcp.be16(tcpStart);
    const auto destinationPort = tcp.be16(tcpStart + 2);
    const auto sequence = tcp.be32(tcpStart + 4);
    const auto offsetAndFlags = tcp.be16(tcpStart + 12);
    if (tcpStart < 20 || !sourcePort || !destinationPort || !sequence || !offsetAndFlags)
        return std::nullopt;
    const std::size_t payloadStart = tcpStart + std::size_t{static_cast<unsigned>(*offsetAndFlags >> 12)} * 4;
    if (payloadStart < tcpStart + 20 || payloadStart > end)
        return std::nullopt;

    TcpSegment segment;
    segment.flow = {*source, *destination, *sourcePort, *destinationPort};
    segment.sequence = *sequence;
    segment.fin = (*offsetAndFlags & 0x01u) != 0;
    segment.syn = (*offsetAndFlags & 0x02u) != 0;
    segment.rst = (*offsetAndFlags & 0x04u) != 0;
    segment.payload = ipDatagram.subspan(payloadStart, end - payloadStart);
    return segment;
}

} // namespace quorvel::capture
