#pragma once
// The capture of the Windows edition: a raw IPv4 socket bound to the host's address with receive-all
// on, in the set-up steps and reports the user knows:
//   "WSAStartup"      Windows Sockets 2.2
//   "WSASocket"       the raw socket
//   "bind"            the host name's first IPv4 address (a loopback address: 127.0.0.1, where local
//                     chats pass)
//   "WSAIoctl"        receive-all (SIO_RCVALL); where it is refused as unsupported (Wine) a raw socket
//                     of protocol TCP, which is handed the TCP segments as they are, is read instead
//   "WSAAsyncSelect"  read notifications for the reader thread, and the thread itself
//
// The socket is handed every datagram of the interface, so the reader thread judges each one with a
// DatagramFilter (the decoder's endpoints and the switchboards handed out since) and queues only what the
// decoder is to have; the notify callback then tells the window, once until it takes them.

#include "capture/CaptureReports.h"
#include "capture/DatagramFilter.h"
#include "capture/ServerEndpoints.h"

#include <winsock2.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace quorvel::win {

// The host's address as the set-up looks it up: the first IPv4 answer for the host name.
struct HostAnswer {
    std::optional<std::uint32_t> address; // network byte order; none: the resolver gave no IPv4 address
    int errorNumber = 0;                  // the lookup failed (WSAGetLastError)
    std::string reason;                   // the system's words for it
};
HostAnswer LookUpHostAddress();

class WinsockCapture {
public:
    // The machine as the set-up sees it; tests may hand in another one.
    struct Machine {
        std::function<SOCKET(int protocol)> openRawSocket; // empty: WSASocketW(AF_INET, SOCK_RAW, protocol, ...)
        std::function<HostAnswer()> lookUpHost = &LookUpHostAddress;
    };

    struct Statistics {
        std::uint64_t received = 0;     // datagrams the socket handed over
        std::uint64_t passed = 0;       // of them to or from a server endpoint
        std::uint64_t queueDropped = 0; // passed, but no room in the queue
        std::uint64_t handouts = 0;     // switchboards opened ahead of the decoder
        bool receiveAll = false;        // SIO_RCVALL is on; false: the raw TCP socket is read as it is
    };

    // notify is called on the reader thread when datagrams wait; it must only post.
    explicit WinsockCapture(std::function<void()> notify);
    WinsockCapture(std::function<void()> notify, Machine machine);
    ~WinsockCapture();
    WinsockCapture(const WinsockCapture&) = delete;
    WinsockCapture& operator=(const WinsockCapture&) = delete;

    // Runs the set-up steps in order; each failed step is handed to reportFailure at once with its text
    // and set-up goes on with the next. Throws capture::HostLookupError when the host name cannot be resolved.
    void open(const std::function<void(const std::string&)>& reportFailure);
    // closesocket, and WSACleanup only when that succeeded.
    void close();
    bool isCapturing() const { return m_reader.joinable(); }
    // Any thread: what the filter follows from now on.
    void setServerEndpoints(const capture::ServerEndpoints& endpoints);

    // The window's thread: the datagrams waiting, from their IP headers on, in arrival order.
    std::deque<std::vector<std::uint8_t>> takeDatagrams();
    // The error number of a failed read (the reader has ended), once.
    std::optional<int> takeReadFailure();
    Statistics statistics() const;
    SOCKET handle() const { return m_socket; }

private:
    SOCKET openSocket(int protocol) const;
    int bindTo(SOCKET socket) const;
    int startReader();
    void readLoop();

    std::function<void()> m_notify;
    Machine m_machine;
    bool m_started = false; // WSAStartup succeeded
    SOCKET m_socket = INVALID_SOCKET;
    std::uint32_t m_address = 0; // network byte order, once looked up
    bool m_receiveAll = false;
    WSAEVENT m_readable = WSA_INVALID_EVENT;
    HANDLE m_stop = nullptr;
    std::thread m_reader;

    mutable std::mutex m_lock;
    std::optional<capture::ServerEndpoints> m_wanted; // guarded: taken by the reader
    capture::ServerEndpoints m_initial;               // guarded: the set the reader starts with
    std::deque<std::vector<std::uint8_t>> m_incoming; // guarded
    std::optional<int> m_readFailure;                 // guarded
    std::atomic<bool> m_notified{false};
    std::atomic<std::uint64_t> m_received{0}, m_passed{0}, m_queueDropped{0}, m_handouts{0};
};

// The one line that tells the user to run the program as administrator when a raw socket is refused.
std::string AdministratorHint();

} // namespace quorvel::win
