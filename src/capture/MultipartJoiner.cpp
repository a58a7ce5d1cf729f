#include "capture/MultipartJoiner.h"

#include <algorithm>
#include <cctype>

namespace quorvel::capture {

namespace {

constexpr int MaxParts = 1024;

struct PartHeaders {
    std::string_view messageId;
    std::optional<int> chunks; // first part
    std::optional<int> chunk;  // later part
    std::size_t bodyStart = 0; // after the empty line that ends the headers
};

bool NameIs(std::string_view line, std::string_view name)
{
    if (line.size() <= name.size() || line[name.size()] != ':')
        return false;
    return std::equal(name.begin(), name.end(), line.begin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    });
}

std::string_view Value(std::string_view line, std::size_t nameSize)
{
    std::string_view value = line.substr(nameSize + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
        value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
        value.remove_suffix(1);
    return value;
}

std::optional<int> Number(std::string_view text)
{
    if (text.empty() || text.size() > 6)
        return std::nullopt;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

PartHeaders ReadHeaders(std::string_view command)
{
    PartHeaders headers;
    std::size_t at = command.find('\n');
    while (at != std::string_view::npos && at + 1 <= command.size()) {
        const std::size_t start = at + 1;
        const std::size_t end = command.find('\n', start);
        std::string_view line = command.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (line.empty()) {
            headers.bodyStart = end == std::string_view::npos ? command.size() : end + 1;
            return headers;
        }
        if (NameIs(line, "Message-ID"))
            headers.messageId = Value(line, 10);
        else if (NameIs(line, "Chunks"))
            headers.chunks = Number(Value(line, 6));
        else if (NameIs(line, "Chunk"))
            headers.chunk = Number(Value(line, 5));
        at = end;
    }
    headers.bodyStart = command.size();
    return headers;
}

} // namespace

MultipartJoiner::Outcome MultipartJoiner::add(std::string_view command, std::int64_t now)
{
    expire(now);
    if (command.find("Chunk") == std::string_view::npos)
        return Outcome::Whole; // the usual case, without reading the headers
    const PartHeaders headers = ReadHeaders(command);
    if (headers.messageId.empty() || (!headers.chunks && !headers.chunk))
        return Outcome::Whole;

    if (headers.chunks) {
        if (*headers.chunks < 2 || *headers.chunks > MaxParts)
            return Outcome::Whole;
        if (command.size() > m_limits.bytes)
            return Outcome::Dropped;
        // The oldest unfinished messages give way, so one direction never holds more than the bound.
        while (!m_pending.empty() &&
               (m_pending.size() >= m_limits.pending || heldBytes() + command.size() > m_limits.bytes))
            m_pending.pop_front();
        m_pending.push_back({std::string(headers.messageId), *headers.chunks, 1, std::string(command), now});
        return Outcome::Held;
    }

    const auto it = std::find_if(m_pending.begin(), m_pending.end(),
                                 [&](const Pending& p) { return p.id == headers.messageId; });
    if (it == m_pending.end())
        return Outcome::Dropped; // its first part was never seen
    // Parts come in order over one connection; one out of place means the message cannot be whole.
    const std::string_view body = command.substr(headers.bodyStart);
    if (*headers.chunk != it->received || heldBytes() + body.size() > m_limits.bytes) {
        m_pending.erase(it);
        return Outcome::Dropped;
    }
    it->bytes.append(body);
    if (++it->received < it->parts)
        return Outcome::Held;
    m_joined = std::move(it->bytes);
    m_pending.erase(it);
    return Outcome::Joined;
}

void MultipartJoiner::expire(std::int64_t now)
{
    std::erase_if(m_pending, [&](const Pending& p) { return now - p.started >= m_limits.micros; });
}

std::size_t MultipartJoiner::heldBytes() const
{
    std::size_t total = 0;
    for (const Pending& p : m_pending)
        total += p.bytes.size();
    return total;
}

} // namespace quorvel::capture
