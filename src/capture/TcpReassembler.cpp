#include "capture/TcpReassembler.h"

#include <algorithm>
#include <tuple>

namespace quorvel::capture {

TcpReassembler::TcpReassembler(StreamSink& sink, ReassemblyLimits limits) : m_sink(sink), m_limits(limits) {}

TcpReassembler::~TcpReassembler() = default;

FlowKey TcpReassembler::Canonical(const FlowKey& flow, int* side)
{
    const bool lowFirst = std::tie(flow.sourceAddress, flow.sourcePort) <=
                          std::tie(flow.destinationAddress, flow.destinationPort);
    *side = lowFirst ? 0 : 1;
    return lowFirst ? flow : flow.reversed();
}

TcpReassembler::Connection& TcpReassembler::connectionFor(const FlowKey& canonical, std::int64_t now)
{
    (void)now;
    if (auto it = m_connections.find(canonical); it != m_connections.end()) {
        m_lru.splice(m_lru.begin(), m_lru, it->second.lru);
        return it->second;
    }
    if (m_connections.size() >= m_limits.connections && !m_lru.empty())
        dropConnection(m_connections.find(m_lru.back()));
    m_lru.push_front(canonical);
    Connection& connection = m_connections[canonical];
    connection.low = canonical;
    connection.lru = m_lru.begin();
    return connection;
}

void TcpReassembler::open(Direction& direction, std::uint32_t firstSeq, std::int64_t now)
{
    forget(direction);
    direction.id = m_nextId++;
    direction.nextSeq = firstSeq;
    direction.lastSeen = now;
}

void TcpReassembler::forget(Direction& direction)
{
    m_heldTotal -= direction.heldBytes;
    direction = Direction{};
}

void TcpReassembler::close(Direction& direction, bool keepTombstone)
{
    const std::uint32_t nextSeq = direction.nextSeq;
    const std::int64_t lastSeen = direction.lastSeen;
    if (direction.id != 0)
        m_sink.onClose(direction.id);
    forget(direction);
    if (keepTombstone) {
        direction.closed = true;
        direction.nextSeq = nextSeq;
        direction.lastSeen = lastSeen;
    }
}

void TcpReassembler::dropConnection(std::unordered_map<FlowKey, Connection, FlowKeyHash>::iterator it)
{
    if (it == m_connections.end())
        return;
    for (Direction& direction : it->second.directions)
        close(direction, false);
    m_lru.erase(it->second.lru);
    m_connections.erase(it);
}

void TcpReassembler::deliver(Direction& direction, const FlowKey& flow, std::uint64_t offset,
                             std::span<const std::uint8_t> bytes)
{
    const std::uint64_t end = offset + bytes.size();
    if (end <= direction.next)
        return;
    const auto fresh = bytes.subspan(static_cast<std::size_t>(direction.next - offset));
    direction.next = end;
    direction.nextSeq += static_cast<std::uint32_t>(fresh.size());
    m_sink.onData(direction.id, flow, fresh);
}

void TcpReassembler::drain(Direction& direction, const FlowKey& flow)
{
    while (!direction.held.empty() && direction.held.begin()->first <= direction.next) {
        auto node = direction.held.extract(direction.held.begin());
        direction.heldBytes -= node.mapped().size();
        m_heldTotal -= node.mapped().size();
        deliver(direction, flow, node.key(), node.mapped());
    }
}

void TcpReassembler::skipHole(Direction& direction, const FlowKey& flow, std::int64_t now)
{
    const std::uint64_t resume = direction.held.begin()->first;
    m_sink.onGap(direction.id);
    direction.nextSeq += static_cast<std::uint32_t>(resume - direction.next);
    direction.next = resume;
    drain(direction, flow);
    direction.holeSince = now;
}

void TcpReassembler::finishIfDone(Direction& direction)
{
    if (direction.id != 0 && direction.finAt != 0 && direction.next >= direction.finAt)
        close(direction, true);
}

void TcpReassembler::add(const TcpSegment& segment, std::int64_t now)
{
    if (segment.payload.empty() && !segment.syn && !segment.fin && !segment.rst)
        return;
    int side = 0;
    const FlowKey canonical = Canonical(segment.flow, &side);
    if ((segment.rst || (segment.payload.empty() && !segment.syn)) && !m_connections.contains(canonical))
        return;
    Connection& connection = connectionFor(canonical, now);
    Direction& direction = connection.directions[side];
    const FlowKey flow = side == 0 ? connection.low : connection.low.reversed();

    if (segment.rst) {
        for (Direction& each : connection.directions)
            if (each.id != 0)
                close(each, true);
        return;
    }

    std::uint32_t dataSeq = segment.sequence;
    if (segment.syn) {
        dataSeq = segment.sequence + 1;
        // A repeated SYN changes nothing; any other starts a new stream in this direction.
        const bool repeated = direction.id != 0 && direction.next == 0 && direction.nextSeq == dataSeq;
        if (!repeated) {
            if (direction.id != 0)
                close(direction, false);
            open(direction, dataSeq, now);
        }
    } else if (direction.closed) {
        return;
    } else if (direction.id == 0) {
        if (segment.payload.empty())
            return;
        open(direction, dataSeq, now); // joined mid-stream
    }
    direction.lastSeen = now;

    if (segment.fin) {
        const auto delta = static_cast<std::int32_t>(dataSeq - direction.nextSeq);
        const std::int64_t finAt =
            static_cast<std::int64_t>(direction.next) + delta + static_cast<std::int64_t>(segment.payload.size());
        if (finAt > 0)
            direction.finAt = static_cast<std::uint64_t>(finAt);
    }
    const std::size_t size = segment.payload.size();
    while (size != 0) {
        const auto delta = static_cast<std::int32_t>(dataSeq - direction.nextSeq);
        const std::int64_t offset = static_cast<std::int64_t>(direction.next) + delta;
        const auto next = static_cast<std::int64_t>(direction.next);
        if (offset + static_cast<std::int64_t>(size) <= next)
            break; // all of it delivered before
        if (offset <= next) {
            const std::int64_t from = std::max<std::int64_t>(offset, 0);
            deliver(direction, flow, static_cast<std::uint64_t>(from),
                    segment.payload.subspan(static_cast<std::size_t>(from - offset)));
            drain(direction, flow);
            break;
        }
        // Early: held, unless the hole before it has waited long enough or holding it would pass a bound.
        const bool overdue = !direction.held.empty() && now - direction.holeSince >= m_limits.holeMicros;
        if (overdue || direction.heldBytes + size > m_limits.holeBytes ||
            direction.heldBytes + size > m_limits.heldPerDirection || m_heldTotal + size > m_limits.heldTotal) {
            if (direction.held.empty()) {
                m_sink.onGap(direction.id);
                direction.nextSeq = dataSeq;
                direction.next = static_cast<std::uint64_t>(offset);
            } else {
                skipHole(direction, flow, now);
            }
            continue;
        }
        if (direction.held.empty())
            direction.holeSince = now;
        auto& slot = direction.held[static_cast<std::uint64_t>(offset)];
        if (slot.size() < size) {
            direction.heldBytes += size - slot.size();
            m_heldTotal += size - slot.size();
            slot.assign(segment.payload.begin(), segment.payload.end());
        }
        m_peakPerDirection = std::max(m_peakPerDirection, direction.heldBytes);
        m_peakTotal = std::max(m_peakTotal, m_heldTotal);
        break;
    }
    finishIfDone(direction);
}

void TcpReassembler::expire(std::int64_t now)
{
    for (auto it = m_connections.begin(); it != m_connections.end();) {
        Connection& connection = it->second;
        for (int side = 0; side < 2; ++side) {
            Direction& direction = connection.directions[side];
            if (direction.id == 0 && !direction.closed)
                continue;
            if (now - direction.lastSeen >= m_limits.idleMicros) {
                close(direction, false);
                continue;
            }
            const FlowKey flow = side == 0 ? connection.low : connection.low.reversed();
            if (!direction.held.empty() && now - direction.holeSince >= m_limits.holeMicros) {
                skipHole(direction, flow, now);
                finishIfDone(direction);
            }
        }
        const bool empty = std::all_of(std::begin(connection.directions), std::end(connection.directions),
                                       [](const Direction& d) { return d.id == 0 && !d.closed; });
        if (empty) {
            m_lru.erase(connection.lru);
            it = m_connections.erase(it);
        } else {
            ++it;
        }
    }
}

void TcpReassembler::flush()
{
    for (auto& [key, connection] : m_connections) {
        for (int side = 0; side < 2; ++side) {
            Direction& direction = connection.directions[side];
            const FlowKey flow = side == 0 ? connection.low : connection.low.reversed();
            while (!direction.held.empty())
                skipHole(direction, flow, 0);
            close(direction, false);
        }
    }
    m_connections.clear();
    m_lru.clear();
}

} // namespace quorvel::capture
