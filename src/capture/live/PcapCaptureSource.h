#pragma once
// The live capture on one interface through libpcap, with the set-up steps and reports of the raw
// socket it stands in for:
//   "WSASocket"      a capture handle on all interfaces (the socket before it is bound)
//   "bind"           the host address looked up, its interface chosen, the capture moved onto it
//   "WSAIoctl"       the kernel filter for IPv4 TCP port 1863 (the interface already shows all of
//                    its own traffic, which is what the receive-all switch was for)
//   "WSAAsyncSelect" non-blocking reads, and read notifications to the GUI thread
//
// A reader thread of this class only moves frames from the kernel's ring into a queue as they come,
// so that a busy GUI thread cannot make the ring overflow; every datagram is handed on from the GUI
// thread, in arrival order.

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

    // What was counted for the capture since it was opened.
    struct Statistics {
        unsigned long received = 0;     // passed the kernel filter
        unsigned long dropped = 0;      // for want of room in the kernel's ring
        unsigned long queueDropped = 0; // for want of room in the queue behind it
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
    int m_wakeFd = -1; // eventfd that ends the reader
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
