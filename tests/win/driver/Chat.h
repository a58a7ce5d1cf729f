#pragma once
// A messenger server and the user's client on 127.0.0.1, as the driver's own traffic: each message is
// one write, read whole at the other end before the next is sent. Only loopback is ever used.

#include <winsock2.h>

#include <cstdint>
#include <string>

namespace quorvel::driver {

class Chat {
public:
    explicit Chat(std::uint16_t port = 1863);
    ~Chat();
    Chat(const Chat&) = delete;
    Chat& operator=(const Chat&) = delete;

    bool connected() const { return m_client != INVALID_SOCKET && m_server != INVALID_SOCKET; }
    // The body is UTF-8; lines are joined with CR LF as a client sends them.
    bool friendMsg(const std::string& account, const std::string& nickname, const std::string& body);
    bool ownMsg(const std::string& body);
    bool ubm(const std::string& account, const std::string& body);

private:
    bool send(bool fromServer, const std::string& commandLine, const std::string& payload);

    SOCKET m_listener = INVALID_SOCKET, m_server = INVALID_SOCKET, m_client = INVALID_SOCKET;
    int m_trid = 1;
};

} // namespace quorvel::driver
