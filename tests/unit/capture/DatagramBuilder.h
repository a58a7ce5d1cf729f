#pragma once
// Builds IPv4 datagrams (TCP or UDP) for tests, with optional header options and forged length fields.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorvel::capture::testing {

struct Segment {
    std::uint16_t sourcePort = 1863;
    std::uint16_t destinationPort = 50000;
    std::string payload;
    std::uint8_t protocol = 6;              // 6 TCP, 17 UDP
    std::size_t ipOptionBytes = 0;          // multiple of 4
    std::size_t tcpOptionBytes = 0;         // multiple of 4
    std::optional<std::uint8_t> ihlField;   // forged IP header length (32-bit words)
    std::optional<std::uint8_t> dataOffset; // forged TCP data offset (32-bit words)
    std::uint32_t sequence = 0;
    std::uint8_t tcpFlags = 0x18;           // PSH ACK
    std::uint32_t sourceAddress = 0xC0000201;      // 192.0.2.1
    std::uint32_t destinationAddress = 0xC0000202; // 192.0.2.2
};

inline void PutBe16(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint16_t value)
{
    bytes[at] = static_cast<std::uint8_t>(value >> 8);
    bytes[at + 1] = static_cast<std::uint8_t>(value);
}

inline std::vector<std::uint8_t> BuildDatagram(const Segment& segment)
{
    const std::size_t ipHeader = 20 + segment.ipOptionBytes;
    const std::size_t transportHeader = segment.protocol == 17 ? 8 : 20 + segment.tcpOptionBytes;
    std::vector<std::uint8_t> bytes(ipHeader + transportHeader, 0);
    bytes[0] = static_cast<std::uint8_t>(0x40 | segment.ihlField.value_or(static_cast<std::uint8_t>(ipHeader / 4)));
    PutBe16(bytes, 2, static_cast<std::uint16_t>(ipHeader + transportHeader + segment.payload.size()));
    bytes[8] = 64;
    bytes[9] = segment.protocol;
    for (std::size_t i = 20; i < ipHeader; ++i)
        bytes[i] = 1; // IP NOP options
    for (int i = 0; i < 4; ++i) {
        bytes[12 + i] = static_cast<std::uint8_t>(segment.sourceAddress >> (24 - 8 * i));
        bytes[16 + i] = static_cast<std::uint8_t>(segment.destinationAddress >> (24 - 8 * i));
    }
    PutBe16(bytes, ipHeader, segment.sourcePort);
    PutBe16(bytes, ipHeader + 2, segment.destinationPort);
    if (segment.protocol == 17) {
        PutBe16(bytes, ipHeader + 4, static_cast<std::uint16_t>(8 + segment.payload.size()));
    } else {
        const std::uint8_t offset = segment.dataOffset.value_or(static_cast<std::uint8_t>(transportHeader / 4));
        bytes[ipHeader + 12] = static_cast<std::uint8_t>(offset << 4);
        bytes[ipHeader + 4] = static_cast<std::uint8_t>(segment.sequence >> 24);
        bytes[ipHeader + 5] = static_cast<std::uint8_t>(segment.sequence >> 16);
        bytes[ipHeader + 6] = static_cast<std::uint8_t>(segment.sequence >> 8);
        bytes[ipHeader + 7] = static_cast<std::uint8_t>(segment.sequence);
        bytes[ipHeader + 13] = segment.tcpFlags;
        for (std::size_t i = ipHeader + 20; i < ipHeader + transportHeader; ++i)
            bytes[i] = 1; // TCP NOP options
    }
    bytes.insert(bytes.end(), segment.payload.begin(), segment.payload.end());
    return bytes;
}

inline std::vector<std::uint8_t> BuildDatagram(std::uint16_t sourcePort, std::uint16_t destinationPort,
                                               std::string payload)
{
    Segment segment;
    segment.sourcePort = sourcePort;
    segment.destinationPort = destinationPort;
    segment.payload = std::move(payload);
    return BuildDatagram(segment);
}

// Typical payloads of the messenger protocol.
inline std::string FriendMessage(const std::string& nicknameField, const std::string& body)
{
    return "MSG ann@example.com " + nicknameField +
           " 140\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n"
           "X-MMS-IM-Format: FN=MS%20Shell%20Dlg; EF=; CO=0; CS=0; PF=0\r\n\r\n" +
           body;
}

inline std::string OwnMessage(const std::string& body)
{
    return "MSG 96 N 132\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n\r\n" + body;
}

inline std::string TypingNotification(const std::string& command = "MSG ann@example.com Ann 97")
{
    return command +
           "\r\nMIME-Version: 1.0\r\nContent-Type: text/x-msmsgscontrol\r\nTypingUser: ann@example.com\r\n\r\n\r\n";
}

// A command line with its payload's length in bytes appended: WithLength("MSG 5 N", p).
inline std::string WithLength(const std::string& commandLine, const std::string& payload)
{
    return commandLine + " " + std::to_string(payload.size()) + "\r\n" + payload;
}

inline std::string TextPayload(const std::string& body, const std::string& extraHeaders = {})
{
    return "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n" + extraHeaders + "\r\n" + body;
}

// Both directions of one connection between a client (192.0.2.1) and a server, by default the
// messenger port of 192.0.2.2, with running sequence numbers: each call gives the next segment's datagram.
class Connection {
public:
    explicit Connection(std::uint16_t clientPort = 50000, std::uint32_t clientIsn = 1000,
                        std::uint32_t serverIsn = 9000, std::uint16_t serverPort = 1863,
                        std::uint32_t serverAddress = 0xC0000202)
        : m_clientPort(clientPort), m_serverPort(serverPort), m_serverAddress(serverAddress), m_clientSeq(clientIsn),
          m_serverSeq(serverIsn)
    {
    }
    std::vector<std::uint8_t> fromServer(const std::string& payload, std::uint8_t flags = 0x18)
    {
        return next(true, payload, flags);
    }
    std::vector<std::uint8_t> fromClient(const std::string& payload, std::uint8_t flags = 0x18)
    {
        return next(false, payload, flags);
    }

private:
    std::vector<std::uint8_t> next(bool server, const std::string& payload, std::uint8_t flags)
    {
        Segment segment;
        segment.sourcePort = server ? m_serverPort : m_clientPort;
        segment.destinationPort = server ? m_clientPort : m_serverPort;
        segment.sourceAddress = server ? m_serverAddress : 0xC0000201;
        segment.destinationAddress = server ? 0xC0000201 : m_serverAddress;
        segment.payload = payload;
        segment.tcpFlags = flags;
        std::uint32_t& seq = server ? m_serverSeq : m_clientSeq;
        segment.sequence = seq;
        seq += static_cast<std::uint32_t>(payload.size()) + ((flags & 0x03) ? 1 : 0);
        return BuildDatagram(segment);
    }
    std::uint16_t m_clientPort;
    std::uint16_t m_serverPort;
    std::uint32_t m_serverAddress;
    std::uint32_t m_clientSeq;
    std::uint32_t m_serverSeq;
};

} // namespace quorvel::capture::testing
