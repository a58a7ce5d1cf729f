#pragma once
// Per-connection TCP reassembly: each direction's bytes in sequence order, once, with bounded memory.
// Pure: times are passed in (microseconds on any monotonic clock), nothing is read from the system.

#include "capture/TcpSegment.h"

#include <cstddef>
#include <cstdint>
#include <list>
#include <map>
#include <span>
#include <unordered_map>
#include <vector>

namespace quorvel::capture {

struct ReassemblyLimits {
    std::size_t heldPerDirection = 256 * 1024; // out-of-order bytes one direction may hold
    std::size_t heldTotal = 64 * 1024 * 1024;  // across all directions
    std::size_t connections = 4096;            // the longest idle one goes first
    std::int64_t idleMicros = 600'000'000;     // a direction idle this long is dropped
    std::size_t holeBytes = 64 * 1024;         // a hole with this much data behind it is skipped
    std::int64_t holeMicros = 2'000'000;       // and so is one open this long
};

// Receives what the reassembler delivers. A stream is one direction of one connection; its id is
// never reused, so state kept per id can be dropped at onClose.
class StreamSink {
public:
    virtual ~StreamSink() = default;
    virtual void onData(std::uint64_t stream, const FlowKey& flow, std::span<const std::uint8_t> bytes) = 0;
    // Bytes were lost before the next data of the stream: whatever was half-read is garbage.
    virtual void onGap(std::uint64_t stream) = 0;
    // The stream ended (FIN, RST, idle, evicted); its id is not delivered again.
    virtual void onClose(std::uint64_t stream) = 0;
};

class TcpReassembler {
public:
    explicit TcpReassembler(StreamSink& sink, ReassemblyLimits limits = {});
    ~TcpReassembler();
    TcpReassembler(const TcpReassembler&) = delete;
    TcpReassembler& operator=(const TcpReassembler&) = delete;

    void add(const TcpSegment& segment, std::int64_t nowMicros);
    // Drops idle directions and skips holes that have been open too long.
    void expire(std::int64_t nowMicros);
    // End of input: every hole is skipped, everything held is delivered, every stream is closed.
    void flush();

    std::size_t connectionCount() const { return m_connections.size(); }
    std::size_t heldBytes() const { return m_heldTotal; }
    // The most one direction has held at any time, and the most held in all.
    std::size_t peakHeldPerDirection() const { return m_peakPerDirection; }
    std::size_t peakHeldTotal() const { return m_peakTotal; }

private:
    struct Direction {
        std::uint64_t id = 0;        // 0: nothing seen yet or dropped
        bool closed = false;         // ended: later segments are retransmissions, ignored until a SYN
        std::uint64_t next = 0;      // stream offset of the next byte to deliver
        std::uint32_t nextSeq = 0;   // its sequence number
        std::uint64_t finAt = 0;     // stream offset of the FIN, 0 when none seen
        std::map<std::uint64_t, std::vector<std::uint8_t>> held; // early segments by stream offset
        std::size_t heldBytes = 0;
        std::int64_t holeSince = 0;
        std::int64_t lastSeen = 0;
    };
    struct Connection {
        FlowKey low; // the direction whose source is the lower endpoint
        Direction directions[2];
        std::list<FlowKey>::iterator lru;
    };

    static FlowKey Canonical(const FlowKey& flow, int* side);
    Connection& connectionFor(const FlowKey& canonical, std::int64_t now);
    void open(Direction& direction, std::uint32_t firstSeq, std::int64_t now);
    void close(Direction& direction, bool keepTombstone);
    void dropConnection(std::unordered_map<FlowKey, Connection, FlowKeyHash>::iterator it);
    void deliver(Direction& direction, const FlowKey& flow, std::uint64_t offset, std::span<const std::uint8_t> bytes);
    void drain(Direction& direction, const FlowKey& flow);
    void skipHole(Direction& direction, const FlowKey& flow, std::int64_t now);
    void finishIfDone(Direction& direction);
    void forget(Direction& direction);

    StreamSink& m_sink;
    ReassemblyLimits m_limits;
    std::unordered_map<FlowKey, Connection, FlowKeyHash> m_connections;
    std::list<FlowKey> m_lru; // most recently seen first
    std::uint64_t m_nextId = 1;
    std::size_t m_heldTotal = 0;
    std::size_t m_peakPerDirection = 0;
    std::size_t m_peakTotal = 0;
};

} // namespace quorvel::capture
