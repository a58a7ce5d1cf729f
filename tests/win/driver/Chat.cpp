#include "Chat.h"

#include <ws2tcpip.h>

#include <vector>

namespace quorvel::driver {

namespace {

const char* const TextHeaders = "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n"
                                "X-MMS-IM-Format: FN=Tahoma; EF=; CO=0; CS=86; PF=0\r\n\r\n";

bool ReadExactly(SOCKET socket, std::size_t bytes)
{
    std::vector<char> buffer(bytes);
    std::size_t got = 0;
    while (got < bytes) {
        const int n = recv(socket, buffer.data() + got, static_cast<int>(bytes - got), 0);
        if (n <= 0)
            return false;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

Chat::Chat(std::uint16_t port)
{
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    m_listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    const BOOL reuse = TRUE;
    setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof reuse);
    if (bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(m_listener, 1) != 0)
        return;
    m_client = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (connect(m_client, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return;
    m_server = accept(m_listener, nullptr, nullptr);
    // Each message in a segment of its own.
    const BOOL noDelay = TRUE;
    for (SOCKET s : {m_client, m_server})
        setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
}

Chat::~Chat()
{
    for (SOCKET s : {m_client, m_server, m_listener})
        if (s != INVALID_SOCKET)
            closesocket(s);
    WSACleanup();
}

bool Chat::send(bool fromServer, const std::string& commandLine, const std::string& payload)
{
    const std::string bytes = commandLine + " " + std::to_string(payload.size()) + "\r\n" + payload;
    SOCKET from = fromServer ? m_server : m_client;
    SOCKET to = fromServer ? m_client : m_server;
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const int n = ::send(from, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    return ReadExactly(to, bytes.size());
}

bool Chat::friendMsg(const std::string& account, const std::string& nickname, const std::string& body)
{
    return send(true, "MSG " + account + " " + nickname, TextHeaders + body);
}

bool Chat::ownMsg(const std::string& body)
{
    return send(false, "MSG " + std::to_string(++m_trid) + " N", TextHeaders + body);
}

bool Chat::ubm(const std::string& account, const std::string& body)
{
    return send(true, "UBM " + account + " 32 1", TextHeaders + body);
}

} // namespace quorvel::driver
