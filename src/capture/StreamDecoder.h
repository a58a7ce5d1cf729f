#pragma once
// Chat events from the reassembled byte streams of the messenger connections: each command is
// framed by its length field and decided on its own bytes, multi-part messages are joined first.
// The connections are those of the server endpoints; the switchboards that notification connections
// hand out join them as their XFR or RNG is framed.

#include "capture/DatagramDecoder.h"
#include "capture/FriendlyNames.h"
#include "capture/MsnpFramer.h"
#include "capture/MultipartJoiner.h"
#include "capture/ServerEndpoints.h"
#include "capture/TcpReassembler.h"

#include <functional>
#include <memory>
#include <span>
#include <unordered_map>

namespace quorvel::capture {

class StreamDecoder final : private StreamSink {
public:
    // Called once per command that gives events or a missing-field report, in stream order.
    using ResultSink = std::function<void(const DecodeResult&)>;

    explicit StreamDecoder(ResultSink sink, ReassemblyLimits limits = {});
    ~StreamDecoder() override;

    // One captured datagram from its IP header on; anything but TCP to or from a server endpoint is ignored.
    void addDatagram(std::span<const std::uint8_t> ipDatagram, std::int64_t nowMicros);
    // Call now and then (about once a second): overdue holes, idle streams, stale message parts,
    // switchboards without traffic.
    void expire(std::int64_t nowMicros);
    // End of input: what is still held is decoded as far as it goes.
    void flush();

    // The set this decoder follows and learns into: its ports, its change listener.
    ServerEndpoints& endpoints() { return m_endpoints; }
    const ServerEndpoints& endpoints() const { return m_endpoints; }

    const TcpReassembler& reassembler() const { return m_reassembler; }
    // Bytes held by framing and joining (the reassembler counts its own).
    std::size_t bufferedBytes() const;
    // Bytes of the friendly names kept for group messages.
    std::size_t nameBytes() const;
    std::size_t streamCount() const { return m_streams.size(); }

private:
    struct Stream {
        MsnpFramer framer;
        MultipartJoiner joiner;
        FriendlyNames names; // what the server named contacts on this connection
    };

    void onData(std::uint64_t stream, const FlowKey& flow, std::span<const std::uint8_t> bytes) override;
    void onGap(std::uint64_t stream) override;
    void onClose(std::uint64_t stream) override;
    void decodeCommand(Stream& stream, const FlowKey& flow, std::string_view command);

    ResultSink m_sink;
    ServerEndpoints m_endpoints;
    TcpReassembler m_reassembler;
    std::unordered_map<std::uint64_t, Stream> m_streams;
    std::int64_t m_now = 0;
};

} // namespace quorvel::capture
