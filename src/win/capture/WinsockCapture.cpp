#include "win/capture/WinsockCapture.h"

#include "win/common/Wide.h"

#include <mstcpip.h>
#include <ws2tcpip.h>

#include <chrono>
#include <span>
#include <utility>

namespace quorvel::win {
namespace {

// One datagram per read, the largest IPv4 allows.
constexpr int DatagramBytes = 65535;
// The socket's own buffer stands in for the kernel's ring of the Linux edition.
constexpr int ReceiveBufferBytes = 4 * 1024 * 1024;
// Behind the filter: a window that cannot keep up loses the newest, not the program its memory.
constexpr std::size_t MaxPending = 100000;

std::int64_t SteadyMicros()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

HostAnswer LookUpHostAddress()
{
    HostAnswer answer;
    char name[256] = {};
    if (gethostname(name, sizeof name) == SOCKET_ERROR) {
        answer.errorNumber = WSAGetLastError();
        answer.reason = SystemMessage(static_cast<DWORD>(answer.errorNumber));
        return answer;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (const int error = getaddrinfo(name, nullptr, &hints, &found)) {
        answer.errorNumber = error;
        answer.reason = SystemMessage(static_cast<DWORD>(error));
        return answer;
    }
    for (const addrinfo* entry = found; entry; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET && entry->ai_addrlen >= sizeof(sockaddr_in)) {
            answer.address = reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr.s_addr;
            break;
        }
    }
    freeaddrinfo(found);
    return answer;
}

std::string AdministratorHint()
{
    return "抓包需要管理员权限，请以管理员身份运行本程序。";
}

WinsockCapture::WinsockCapture(std::function<void()> notify) : WinsockCapture(std::move(notify), Machine{}) {}

WinsockCapture::WinsockCapture(std::function<void()> notify, Machine machine)
    : m_notify(std::move(notify)), m_machine(std::move(machine))
{
}

WinsockCapture::~WinsockCapture()
{
    close();
}

SOCKET WinsockCapture::openSocket(int protocol) const
{
    if (m_machine.openRawSocket)
        return m_machine.openRawSocket(protocol);
    return WSASocketW(AF_INET, SOCK_RAW, protocol, nullptr, 0, WSA_FLAG_OVERLAPPED);
}

int WinsockCapture::bindTo(SOCKET socket) const
{
    sockaddr_in address{}; // port 0, sin_zero all zero
    address.sin_family = AF_INET;
    address.sin_port = htons(0);
    address.sin_addr.s_addr = m_address;
    if (bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == SOCKET_ERROR)
        return WSAGetLastError();
    return 0;
}

void WinsockCapture::open(const std::function<void(const std::string&)>& reportFailure)
{
    close();
    const auto report = [&](const char* step, int error, const std::string& hint = {}) {
        if (reportFailure)
            reportFailure(capture::FailureText(step, error) + (hint.empty() ? "" : "\n" + hint));
    };

    WSADATA data{};
    if (const int error = WSAStartup(MAKEWORD(2, 2), &data))
        report("WSAStartup", error);
    else
        m_started = true;

    // Where raw sockets of every protocol are not offered (Wine), the one of TCP is what there is.
    bool tcpOnly = false;
    m_socket = openSocket(IPPROTO_IP);
    if (m_socket == INVALID_SOCKET && WSAGetLastError() == WSAEPROTONOSUPPORT) {
        m_socket = openSocket(IPPROTO_TCP);
        tcpOnly = m_socket != INVALID_SOCKET;
    }
    if (m_socket == INVALID_SOCKET) {
        const int error = WSAGetLastError();
        report("WSASocket", error, error == WSAEACCES ? AdministratorHint() : std::string());
    }

    const HostAnswer host = m_machine.lookUpHost();
    if (!host.address) {
        close();
        throw capture::HostLookupError(host.errorNumber ? capture::HostLookupErrorText(host.errorNumber, host.reason)
                                                        : capture::NoHostAddressText());
    }
    // Local chats pass the loopback interface at 127.0.0.1, whichever loopback address the name has.
    m_address = (ntohl(*host.address) >> 24) == 127 ? htonl(INADDR_LOOPBACK) : *host.address;
    if (const int error = bindTo(m_socket))
        report("bind", error);

    DWORD on = RCVALL_ON, returned = 0;
    if (WSAIoctl(m_socket, SIO_RCVALL, &on, sizeof on, nullptr, 0, &returned, nullptr, nullptr) == 0) {
        m_receiveAll = true;
    } else if (const int error = WSAGetLastError(); error == WSAEOPNOTSUPP && m_socket != INVALID_SOCKET) {
        // Receive-all is not offered: a raw socket of TCP is handed the TCP segments without it.
        const SOCKET tcp = tcpOnly ? INVALID_SOCKET : openSocket(IPPROTO_TCP);
        if (tcp != INVALID_SOCKET && bindTo(tcp) == 0) {
            closesocket(m_socket);
            m_socket = tcp;
        } else if (tcp != INVALID_SOCKET) {
            closesocket(tcp);
        }
    } else {
        report("WSAIoctl", error);
    }

    if (const int error = startReader())
        report("WSAAsyncSelect", error);
}

int WinsockCapture::startReader()
{
    // The receive buffer is best effort: the default still captures, only with less room for a burst.
    const int bytes = ReceiveBufferBytes;
    setsockopt(m_socket, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes), sizeof bytes);
    m_readable = WSACreateEvent();
    if (m_readable == WSA_INVALID_EVENT)
        return WSAGetLastError();
    // Also makes the socket non-blocking, so that the reader drains it without waiting.
    if (WSAEventSelect(m_socket, m_readable, FD_READ) == SOCKET_ERROR)
        return WSAGetLastError();
    m_stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!m_stop)
        return static_cast<int>(GetLastError());
    m_received = m_passed = m_queueDropped = m_handouts = 0;
    m_notified = false;
    try {
        m_reader = std::thread(&WinsockCapture::readLoop, this);
    } catch (const std::system_error& error) {
        return error.code().value();
    }
    return 0;
}

void WinsockCapture::close()
{
    if (m_reader.joinable()) {
        SetEvent(m_stop);
        m_reader.join();
    }
    if (m_stop) {
        CloseHandle(m_stop);
        m_stop = nullptr;
    }
    if (m_readable != WSA_INVALID_EVENT) {
        WSACloseEvent(m_readable);
        m_readable = WSA_INVALID_EVENT;
    }
    if (m_socket != INVALID_SOCKET || m_started) {
        // A socket that cannot be closed keeps the sockets layer (and was never valid if it fails here).
        const bool closed = closesocket(m_socket) != SOCKET_ERROR;
        m_socket = INVALID_SOCKET;
        if (closed && m_started)
            WSACleanup();
        m_started = false;
    }
    m_receiveAll = false;
    const std::lock_guard guard(m_lock);
    m_incoming.clear();
    m_readFailure.reset();
}

void WinsockCapture::setServerEndpoints(const capture::ServerEndpoints& endpoints)
{
    const std::lock_guard guard(m_lock);
    m_initial = endpoints.snapshot();
    m_wanted = m_initial.snapshot();
}

std::deque<std::vector<std::uint8_t>> WinsockCapture::takeDatagrams()
{
    std::deque<std::vector<std::uint8_t>> taken;
    const std::lock_guard guard(m_lock);
    // Cleared under the lock: a datagram queued after this gets a notification of its own.
    m_notified = false;
    taken.swap(m_incoming);
    return taken;
}

std::optional<int> WinsockCapture::takeReadFailure()
{
    const std::lock_guard guard(m_lock);
    return std::exchange(m_readFailure, std::nullopt);
}

WinsockCapture::Statistics WinsockCapture::statistics() const
{
    return {m_received, m_passed, m_queueDropped, m_handouts, m_receiveAll};
}

void WinsockCapture::readLoop()
{
    capture::DatagramFilter filter;
    {
        const std::lock_guard guard(m_lock);
        filter.update(m_initial.snapshot(), SteadyMicros());
        m_wanted.reset();
    }
    std::vector<std::uint8_t> buffer(DatagramBytes);
    std::vector<std::vector<std::uint8_t>> batch;
    const HANDLE waited[2] = {m_stop, m_readable};
    for (;;) {
        const DWORD woken = WSAWaitForMultipleEvents(2, waited, FALSE, WSA_INFINITE, FALSE);
        if (woken == WSA_WAIT_EVENT_0)
            return;
        WSANETWORKEVENTS events{};
        WSAEnumNetworkEvents(m_socket, m_readable, &events);
        std::optional<int> failure;
        {
            const std::lock_guard guard(m_lock);
            if (m_wanted)
                filter.update(std::move(*std::exchange(m_wanted, std::nullopt)), SteadyMicros());
        }
        for (;;) {
            const int got = recv(m_socket, reinterpret_cast<char*>(buffer.data()), DatagramBytes, 0);
            if (got == SOCKET_ERROR) {
                const int error = WSAGetLastError();
                // A datagram larger than the buffer still counts, cut at 65,535 bytes.
                if (error == WSAEMSGSIZE)
                    continue;
                if (error != WSAEWOULDBLOCK)
                    failure = error;
                break;
            }
            ++m_received;
            const auto datagram = std::span(buffer.data(), static_cast<std::size_t>(got));
            if (!filter.pass(datagram, SteadyMicros()))
                continue;
            batch.emplace_back(datagram.begin(), datagram.end());
        }
        m_passed = filter.counts().passed;
        m_handouts = filter.counts().handouts;
        if (batch.empty() && !failure)
            continue;
        {
            const std::lock_guard guard(m_lock);
            for (auto& datagram : batch) {
                if (m_incoming.size() >= MaxPending)
                    ++m_queueDropped;
                else
                    m_incoming.push_back(std::move(datagram));
            }
            if (failure)
                m_readFailure = failure;
        }
        batch.clear();
        if (!m_notified.exchange(true) && m_notify)
            m_notify();
        if (failure)
            return;
    }
}

} // namespace quorvel::win
