#pragma once
// The live capture on one interface through libpcap, with the set-up steps and reports of the raw
// socket it stands in for:
//   "WSASocket"      a capture handle on all interfaces (the socket before it is bound)
//   "bind"           the host address looked up, its interface chosen, the capture moved onto it
//   "WSAIoctl"       the kernel filter for IPv4 TCP port 1863 (the interface already shows all of
//                    its own traffic, which is what the receive-all switch was for)
//   "WSAAsyncSelect" non-blocking reads and a readiness notifier on the GUI thread

#include "capture/live/CaptureSource.h"
#include "capture/live/SystemNetwork.h"

#include <QTimer>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QSocketNotifier;
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
    static constexpr const char* Filter = "ip and tcp port 1863";

    explicit PcapCaptureSource(QObject* parent = nullptr);
    PcapCaptureSource(Machine machine, QObject* parent = nullptr);
    ~PcapCaptureSource() override;

    void open(const std::function<void(const QString&)>& reportFailure) override;
    void close() override;
    bool isCapturing() const override;

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
    int bindTo(const std::string& interfaceName);
    int applyFilter();
    int watch();
    static int activate(pcap* handle, int& errorNumber);
    static Handle createFor(const char* device, int& errorNumber);

    void readReady();
    void failCapture(int errorNumber);
    void reopen();
    void stopWatching();
    void deliverPending();
    static void onFrame(unsigned char* self, const pcap_pkthdr* header, const unsigned char* bytes);

    Machine m_machine;
    Handle m_handle;
    int m_linkType = -1;
    std::string m_interface;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QTimer m_reopenTimer;
    bool m_capturing = false;
    // Datagrams read but not yet handed on: a receiver may open a nested event loop (a message
    // box) while handling one, and the notifications inside it must keep the arrival order.
    std::deque<QByteArray> m_pending;
};

} // namespace quorvel::capture
