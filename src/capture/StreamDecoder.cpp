#include "capture/StreamDecoder.h"

#include "capture/ByteReader.h"
#include "capture/TcpSegment.h"

namespace quorvel::capture {

namespace {

bool IsChatCommand(std::string_view command)
{
    return command.starts_with("MSG") || command.starts_with("UBM") || command.starts_with("UUM");
}

} // namespace

StreamDecoder::StreamDecoder(ResultSink sink, ReassemblyLimits limits)
    : m_sink(std::move(sink)), m_reassembler(*this, limits)
{
}

StreamDecoder::~StreamDecoder() = default;

void StreamDecoder::addDatagram(std::span<const std::uint8_t> ipDatagram, std::int64_t nowMicros)
{
    // Most traffic is not the messenger's: a look at the ports settles it before anything else.
    const ByteReader ip(ipDatagram);
    const auto first = ip.u8(0);
    const std::size_t tcpStart = first ? std::size_t{*first & 0x0Fu} * 4 : 0;
    const auto sourcePort = ip.be16(tcpStart), destinationPort = ip.be16(tcpStart + 2);
    if (!sourcePort || !destinationPort || (*sourcePort != MessengerPort && *destinationPort != MessengerPort))
        return;
    const auto segment = ParseTcpSegment(ipDatagram);
    if (!segment || (segment->flow.sourcePort != MessengerPort && segment->flow.destinationPort != MessengerPort))
        return;
    m_now = nowMicros;
    m_reassembler.add(*segment, nowMicros);
}

void StreamDecoder::expire(std::int64_t nowMicros)
{
    m_now = nowMicros;
    m_reassembler.expire(nowMicros);
    for (auto& [id, stream] : m_streams)
        stream.joiner.expire(nowMicros);
}

void StreamDecoder::flush()
{
    m_reassembler.flush();
    m_streams.clear();
}

std::size_t StreamDecoder::bufferedBytes() const
{
    std::size_t total = 0;
    for (const auto& [id, stream] : m_streams)
        total += stream.framer.bufferedBytes() + stream.joiner.heldBytes();
    return total;
}

void StreamDecoder::onData(std::uint64_t id, const FlowKey& flow, std::span<const std::uint8_t> bytes)
{
    Stream& stream = m_streams[id];
    auto decode = [&](std::string_view command) { decodeCommand(stream, flow, command); };
    stream.framer.feed(bytes, decode);
}

void StreamDecoder::onGap(std::uint64_t id)
{
    if (const auto it = m_streams.find(id); it != m_streams.end())
        it->second.framer.reset();
}

void StreamDecoder::onClose(std::uint64_t id)
{
    m_streams.erase(id);
}

void StreamDecoder::decodeCommand(Stream& stream, const FlowKey& flow, std::string_view command)
{
    if (!IsChatCommand(command))
        return;
    std::string_view bytes = command;
    switch (stream.joiner.add(command, m_now)) {
    case MultipartJoiner::Outcome::Whole:
        break;
    case MultipartJoiner::Outcome::Joined:
        bytes = stream.joiner.joined();
        break;
    case MultipartJoiner::Outcome::Held:
    case MultipartJoiner::Outcome::Dropped:
        return;
    }
    const DecodeResult result =
        DecodePayload(bytes, flow.sourcePort == MessengerPort, flow.destinationPort == MessengerPort);
    if (!result.events.empty() || result.missingFieldIndex)
        m_sink(result);
}

} // namespace quorvel::capture
