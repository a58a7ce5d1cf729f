#pragma once
// Joins a message sent in parts: the first part carries "Message-ID:" and "Chunks: N" among its
// headers, the others "Message-ID:" and "Chunk: k" (1 .. N-1) and a piece of the body each.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

namespace quorvel::capture {

struct JoinLimits {
    std::size_t bytes = 64 * 1024;         // one message's parts together, and all held at once
    std::int64_t micros = 30'000'000;      // from its first part to its last
    std::size_t pending = 16;              // unfinished messages at once; the oldest goes first
};

class MultipartJoiner {
public:
    enum class Outcome { Whole, Held, Joined, Dropped };

    explicit MultipartJoiner(JoinLimits limits = {}) : m_limits(limits) {}

    // One chat command (line and payload). Whole: not a part, use it as it is. Joined: it was the last
    // part, joined() holds the first part's bytes followed by every later part's body. Held/Dropped:
    // nothing to decode now.
    Outcome add(std::string_view command, std::int64_t nowMicros);
    const std::string& joined() const { return m_joined; }

    void expire(std::int64_t nowMicros);
    std::size_t heldBytes() const;

private:
    struct Pending {
        std::string id;
        int parts = 0;
        int received = 1;
        std::string bytes;
        std::int64_t started = 0;
    };

    JoinLimits m_limits;
    std::deque<Pending> m_pending;
    std::string m_joined;
};

} // namespace quorvel::capture
