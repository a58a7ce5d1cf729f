#include "capture/StreamDecoder.h"

#include "capture/TcpSegment.h"

namespace quorvel::capture {

namespace {

bool IsChatCommand(std::string_view command)
{
    return command.starts_with("MSG") || command.starts_with("UBM") || command.starts_with("UUM");
}

// Commands in which the notification server names a contact.
bool IsNamingCommand(std::string_view command)
{
    return command.starts_with("ILN") || command.starts_with("NLN") || command.starts_with("IRO") ||
           command.starts_with("JOI") || command.starts_with("UBX");
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
    if (!m_endpoints.carries(ipDatagram))
        return;
    const auto segment = ParseTcpSegment(ipDatagram);
    if (!segment || !m_endpoints.involves(segment->flow))
        return;
    m_now = nowMicros;
    m_endpoints.seen(segment->flow, nowMicros);
    m_reassembler.add(*segment, nowMicros);
}

void StreamDecoder::expire(std::int64_t nowMicros)
{
    m_now = nowMicros;
    m_reassembler.expire(nowMicros);
    for (auto& [id, stream] : m_streams)
        stream.joiner.expire(nowMicros);
    m_endpoints.expire(nowMicros);
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

std::size_t StreamDecoder::nameBytes() const
{
    std::size_t total = 0;
    for (const auto& [id, stream] : m_streams)
        total += stream.names.heldBytes();
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
    const bool fromServer = m_endpoints.isServer(flow.sourceAddress, flow.sourcePort);
    const bool toServer = m_endpoints.isServer(flow.destinationAddress, flow.destinationPort);
    if (fromServer) {
        // The switchboard a notification connection hands out is followed from its first segment on.
        if (command.starts_with("XFR ") || command.starts_with("RNG ")) {
            if (const auto handout = ParseHandout(command))
                m_endpoints.learn(*handout, m_now);
            return;
        }
        if (IsNamingCommand(command)) {
            stream.names.note(command);
            return;
        }
    }
    if (command.starts_with("SDG")) {
        const DecodeResult result = DecodeSdg(command, fromServer, toServer, &stream.names);
        if (!result.events.empty())
            m_sink(result);
        return;
    }
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
    const DecodeResult result = DecodePayload(bytes, fromServer, toServer);
    if (!result.events.empty() || result.missingFieldIndex)
        m_sink(result);
}

} // namespace quorvel::capture
