#pragma once
// The live capture on one interface through libpcap, with the set-up steps and reports of the raw
// socket it stands in for:
//   "WSASocket"      a capture handle on all interfaces (the socket before it is bound)
//   "bind"           the host address looked up, its interface chosen, the capture moved onto it
//   "WSAIoctl"       the kernel filter for IPv4 TCP to and from the server endpoints (the interface
//                    already shows all of its own traffic, which is what the receive-all switch was for)
//   "WSAAsyncSelect" non-blocking reads, and read notifications to the GUI thread
//
// A reader thread of this class only moves frames from the kernel's ring into a queue as they come,
// so that a busy GUI thread cannot make the ring overflow; every datagram is handed on from the GUI
// thread, in arrival order.
//
// The filter follows the decoder's server endpoints. Frames reach the decoder in blocks, 10 ms or more
// after they came, and a client connects to a switchboard at once; so the reader also watches, on a
// small handle of its own that wakes it for each frame, the segments of the server ports that begin
// with "XFR " or "RNG ", and opens the filter for the switchboard they hand out before the decoder has
// seen them. The decoder's set stays what the filter holds in the long run (expiry, the bound); a
// switchboard opened that way that the decoder does not confirm is closed again after a while.

#include "capture/live/CaptureSource.h"
#include "capture/live/SystemNetwork.h"

#include <QTimer>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

struct pcap;
struct pcap_pkthdr;

namespace quorvel::capture {

class PcapCaptureSource final : public CaptureSource {
    Q_OBJECT
public:
    // The machine as the set-up sees it; tests may hand in another one.
    struct Machine {
        std::function<HostLookup()> lookupHost = &LookupHostAddress;
        std::function<std::vector<NetInterface>()> listInterfaces = &ListInterfaces;
        std::function<std::optional<std::string>()> defaultRouteInterface = &ReadDefaultRouteInterface;
    };

    static constexpr int DefaultReopenIntervalMs = 2000;

    explicit PcapCaptureSource(QObject* parent = nullptr);
    PcapCaptureSource(Machine machine, QObject* parent = nullptr);
    ~PcapCaptureSource() override;

    void open(const std::function<void(const QString&)>& reportFailure) override;
    void close() override;
    bool isCapturing() const override;
    void setServerEndpoints(const ServerEndpoints& endpoints) override;

    // What was counted for the capture since it was opened.
    struct Statistics {
        unsigned long received = 0;     // passed the kernel filter
        unsigned long dropped = 0;      // for want of room in the kernel's ring
        unsigned long queueDropped = 0; // for want of room in the queue behind it
        // Handouts seen by the watch, and for the last one that the filter did not pass yet the
        // microseconds from its segment's arrival to the filter for its switchboard being in force
        // (-1: none yet), and to the decoder's set holding it (-1: not yet).
        unsigned long handouts = 0;
        long handoutToFilterMicros = -1;
        long handoutToDecoderMicros = -1;
        unsigned long filterUpdates = 0; // filters set while capturing
    };
    Statistics statistics() const;

    // The interface chosen at set-up; empty before.
    QString interfaceName() const;
    void setReopenInterval(int milliseconds);

private:
    struct PcapClose {
        void operator()(pcap* handle) const;
    };
    using Handle = std::unique_ptr<pcap, PcapClose>;

    // Each returns 0 or the error number to report.
    int createUnbound();
    int bindTo(const std::string& interfaceName, bool loopback);
    int applyFilter();
    int watch();
    static Handle createFor(const char* device, int& errorNumber);
    static int activate(pcap* handle);
    void openHandoutWatch();

    // Reader thread (or the GUI thread while no reader runs): the filter of the main handle from the
    // wanted endpoints and the provisional ones, swapped in one step.
    int updateFilter();
    void takeHandouts();
    static void onHandoutFrame(unsigned char* self, const pcap_pkthdr* header, const unsigned char* bytes);

    void stopWatching();
    void reopen();
    void takeReadings();
    void deliverPending();

    void readLoop();
    void takeKernelCounts();
    static void onFrame(unsigned char* self, const pcap_pkthdr* header, const unsigned char* bytes);
    void notifyGuiThread();

    Machine m_machine;
    Handle m_handle;
    int m_linkType = -1;
    std::string m_interface;
    bool m_loopback = false;
    QTimer m_reopenTimer;
    bool m_capturing = false;

    // The reader thread and what it shares with the GUI thread.
    std::thread m_reader;
    int m_wakeFd = -1; // eventfd that wakes the reader: to end (m_stopping) or to apply the wanted endpoints
    std::atomic<bool> m_stopping{false};
    Handle m_handouts; // the watch for XFR and RNG, immediate; none where it cannot be opened
    std::mutex m_endpointsLock;
    std::vector<std::uint16_t> m_wantedPorts;    // guarded by m_endpointsLock
    std::vector<ServerEndpoint> m_wantedLearned; // guarded by m_endpointsLock
    // Reader thread only: switchboards the watch opened, with their segment's arrival time, until the
    // decoder's set holds them or they are overdue.
    struct Provisional {
        ServerEndpoint endpoint;
        std::int64_t arrivedMicros = 0; // the frame's time stamp (wall clock)
    };
    std::vector<Provisional> m_provisional;
    // What the main handle's filter was made from, and what it passes, to tell a new handout from a known one.
    bool m_filterSet = false;
    bool m_libpcapFilters = false; // libpcap's compiler sets the filter (link type or length)
    std::vector<std::uint16_t> m_filteredPorts;
    std::vector<ServerEndpoint> m_filteredLearned;
    ServerEndpoints m_filtered;
    std::atomic<unsigned long> m_handoutCount{0};
    std::atomic<long> m_handoutToFilter{-1};
    std::atomic<long> m_handoutToDecoder{-1};
    std::atomic<unsigned long> m_filterUpdates{0};
    mutable std::mutex m_lock;
    std::deque<QByteArray> m_incoming; // guarded by m_lock
    std::optional<int> m_readFailure;  // guarded by m_lock
    std::atomic<bool> m_notified{false};
    std::atomic<unsigned long> m_kernelReceived{0};
    std::atomic<unsigned long> m_kernelDropped{0};
    std::atomic<unsigned long> m_queueDropped{0};
    unsigned long m_countedBefore[2] = {0, 0}; // the reader's last pcap_stats figures

    // GUI thread only: taken from m_incoming, not yet handed on. Handing on goes in time slices so
    // that the window stays responsive during a burst; a receiver may open a nested event loop (a
    // message box), and deliveries inside it take from the same queue, keeping arrival order.
    std::deque<QByteArray> m_pending;
    bool m_continuationPosted = false;
};

} // namespace quorvel::capture
