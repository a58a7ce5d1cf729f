#pragma once
// Bounds-checked reads of packet fields: a read past the end gives nothing, never a stray byte.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace quorvel::capture {

class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}

    std::size_t size() const { return m_bytes.size(); }

    std::optional<std::uint8_t> u8(std::size_t offset) const
    {
        if (offset >= m_bytes.size())
            return std::nullopt;
        return m_bytes[offset];
    }

    // Network byte order.
    std::optional<std::uint16_t> be16(std::size_t offset) const
    {
        if (offset >= m_bytes.size() || m_bytes.size() - offset < 2)
            return std::nullopt;
        return static_cast<std::uint16_t>((m_bytes[offset] << 8) | m_bytes[offset + 1]);
    }

    std::optional<std::uint32_t> be32(std::size_t offset) const
    {
        if (offset >= m_bytes.size() || m_bytes.size() - offset < 4)
            return std::nullopt;
        return (std::uint32_t{m_bytes[offset]} << 24) | (std::uint32_t{m_bytes[offset + 1]} << 16) |
               (std::uint32_t{m_bytes[offset + 2]} << 8) | std::uint32_t{m_bytes[offset + 3]};
    }

    // The bytes from offset to the end; empty when offset lies at or past the end.
    std::span<const std::uint8_t> from(std::size_t offset) const
    {
        if (offset >= m_bytes.size())
            return {};
        return m_bytes.subspan(offset);
    }

private:
    std::span<const std::uint8_t> m_bytes;
};

} // namespace quorvel::capture
