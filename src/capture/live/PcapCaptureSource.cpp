#include "capture/live/PcapCaptureSource.h"

#include "capture/LinkLayer.h"
#include "capture/live/CaptureCapability.h"
#include "capture/live/CaptureErrors.h"
#include "capture/live/InterfaceChoice.h"

#include <pcap/pcap.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>
#include <QSocketNotifier>

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <span>

namespace quorvel::capture {

namespace {

constexpr int SnapLength = 65535;
// Frames on an Ethernet-like interface take a slot of the interface's MTU, so on the loopback
// interface (MTU 64 KiB) the default 2 MiB ring holds only about 30 of them; 16 MiB rides out a
// burst of small segments while the GUI thread is busy.
constexpr int RingBytes = 16 * 1024 * 1024;
// One notification reads at most this much before the event loop gets its turn again; the notifier
// fires again at once for the rest.
constexpr int DispatchBatch = 256;
constexpr int DrainBound = 4096;

QString ExecutablePath()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationFilePath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

// libpcap 1.10 takes a downed interface's error off the socket and goes on as if nothing happened
// (the capture silently resumes when the interface comes up), so the error is taken here first.
int PendingSocketError(int fd)
{
    pollfd watched{fd, POLLIN, 0};
    if (fd < 0 || ::poll(&watched, 1, 0) <= 0 || (watched.revents & POLLERR) == 0)
        return 0;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        return errno;
    return error;
}

} // namespace

void PcapCaptureSource::PcapClose::operator()(pcap* handle) const { pcap_close(handle); }

PcapCaptureSource::PcapCaptureSource(QObject* parent)
    : PcapCaptureSource(Machine{}, parent)
{
}

PcapCaptureSource::PcapCaptureSource(Machine machine, QObject* parent)
    : CaptureSource(parent)
    , m_machine(std::move(machine))
{
    // An executable granted cap_net_raw+ep starts with it effective; it is raised again only
    // around opening a capture.
    LowerCaptureCapability();
    m_reopenTimer.setInterval(DefaultReopenIntervalMs);
    connect(&m_reopenTimer, &QTimer::timeout, this, &PcapCaptureSource::reopen);
}

PcapCaptureSource::~PcapCaptureSource() { close(); }

void PcapCaptureSource::open(const std::function<void(const QString&)>& reportFailure)
{
    close();
    bool hinted = false;
    const auto report = [&](const char* step, int errorNumber) {
        QString text = QString::fromStdString(FailureText(step, errorNumber));
        if (errorNumber == EPERM && !std::exchange(hinted, true)) {
            text += QLatin1Char('\n')
                + QString::fromStdString(CapturePermissionHint(ExecutablePath().toStdString(),
                                                               QUORVEL_BUILD_BIN_DIR, QUORVEL_GRANT_SCRIPT));
        }
        if (reportFailure)
            reportFailure(text);
    };

    if (const int error = createUnbound())
        report("WSASocket", error);

    const HostLookup host = m_machine.lookupHost();
    if (host.status != HostLookup::Status::Found) {
        m_handle.reset();
        throw HostLookupError(host.status == HostLookup::Status::NoAddress
                                  ? NoHostAddressText()
                                  : HostLookupErrorText(host.errorNumber, host.reason));
    }
    const auto interfaces = m_machine.listInterfaces();
    const auto chosen = ChooseCaptureInterface(host.address, interfaces, m_machine.defaultRouteInterface());
    int bindError = 0;
    if (!m_handle)
        bindError = EBADF;
    else if (!chosen)
        bindError = ENODEV;
    else
        bindError = bindTo(*chosen);
    if (bindError)
        report("bind", bindError);

    if (const int error = applyFilter())
        report("WSAIoctl", error);
    if (const int error = watch())
        report("WSAAsyncSelect", error);
}

void PcapCaptureSource::close()
{
    m_reopenTimer.stop();
    stopWatching();
    m_pending.clear();
    m_interface.clear();
}

bool PcapCaptureSource::isCapturing() const { return m_capturing; }

QString PcapCaptureSource::interfaceName() const { return QString::fromStdString(m_interface); }

void PcapCaptureSource::setReopenInterval(int milliseconds) { m_reopenTimer.setInterval(milliseconds); }

PcapCaptureSource::Handle PcapCaptureSource::createFor(const char* device, int& errorNumber)
{
    char errorText[PCAP_ERRBUF_SIZE] = {};
    Handle handle(pcap_create(device, errorText));
    if (!handle) {
        errorNumber = errno > 0 ? errno : ENOMEM;
        return {};
    }
    pcap_set_snaplen(handle.get(), SnapLength);
    pcap_set_immediate_mode(handle.get(), 1);
    pcap_set_promisc(handle.get(), 0);
    pcap_set_buffer_size(handle.get(), RingBytes);
    int status = 0;
    int savedErrno = 0;
    {
        const RaisedCaptureCapability raised;
        errno = 0;
        status = pcap_activate(handle.get());
        savedErrno = errno;
    }
    if (status < 0) {
        errorNumber = ActivateErrorNumber(status, savedErrno);
        return {};
    }
    return handle;
}

int PcapCaptureSource::createUnbound()
{
    int error = 0;
    m_handle = createFor("any", error);
    return m_handle ? 0 : error;
}

int PcapCaptureSource::bindTo(const std::string& interfaceName)
{
    int error = 0;
    // The capture of all interfaces is dropped either way: it must not go on unfiltered.
    m_handle = createFor(interfaceName.c_str(), error);
    if (!m_handle)
        return error;
    m_linkType = pcap_datalink(m_handle.get());
    m_interface = interfaceName;
    return 0;
}

int PcapCaptureSource::applyFilter()
{
    if (!m_handle)
        return EBADF;
    bpf_program program{};
    if (pcap_compile(m_handle.get(), &program, Filter, 1, PCAP_NETMASK_UNKNOWN) != 0)
        return EINVAL;
    errno = 0;
    const int status = pcap_setfilter(m_handle.get(), &program);
    const int savedErrno = errno;
    pcap_freecode(&program);
    if (status != 0)
        return savedErrno > 0 ? savedErrno : EINVAL;
    return 0;
}

int PcapCaptureSource::watch()
{
    if (!m_handle)
        return EBADF;
    char errorText[PCAP_ERRBUF_SIZE] = {};
    errno = 0;
    if (pcap_setnonblock(m_handle.get(), 1, errorText) != 0)
        return errno > 0 ? errno : EINVAL;
    const int fd = pcap_get_selectable_fd(m_handle.get());
    if (fd < 0)
        return EBADF;
    m_notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &PcapCaptureSource::readReady);
    m_capturing = true;
    return 0;
}

void PcapCaptureSource::stopWatching()
{
    // The notifier goes before the descriptor it watches.
    m_notifier.reset();
    m_handle.reset();
    m_capturing = false;
}

void PcapCaptureSource::onFrame(unsigned char* self, const pcap_pkthdr* header, const unsigned char* bytes)
{
    auto* source = reinterpret_cast<PcapCaptureSource*>(self);
    const auto datagram = StripLinkLayer(source->m_linkType, std::span(bytes, header->caplen));
    if (datagram)
        source->m_pending.emplace_back(reinterpret_cast<const char*>(datagram->data()),
                                       static_cast<qsizetype>(datagram->size()));
}

void PcapCaptureSource::readReady()
{
    int read = 0;
    std::optional<int> failure;
    if (m_handle) {
        if (const int error = PendingSocketError(pcap_get_selectable_fd(m_handle.get())))
            failure = error;
    }
    while (m_handle && read < DrainBound) {
        const int count = pcap_dispatch(m_handle.get(), DispatchBatch, &PcapCaptureSource::onFrame,
                                        reinterpret_cast<unsigned char*>(this));
        if (count == PCAP_ERROR) {
            if (!failure)
                failure = DispatchErrorNumber(pcap_geterr(m_handle.get()), errno);
            break;
        }
        if (count <= 0)  // nothing queued (not an error), or a break
            break;
        read += count;
    }
    if (failure) {
        // Closed before anything is handed on, so that nested event loops meet no broken handle.
        stopWatching();
        m_reopenTimer.start();
    }
    const QPointer<PcapCaptureSource> alive(this);
    deliverPending();
    if (failure && alive)
        emit captureFailed(QString::fromStdString(FailureText("recv", *failure)));
}

void PcapCaptureSource::deliverPending()
{
    // Nested calls (from a receiver's nested event loop) take from the same queue, front first.
    const QPointer<PcapCaptureSource> alive(this);
    while (alive && !m_pending.empty()) {
        const QByteArray datagram = std::move(m_pending.front());
        m_pending.pop_front();
        emit datagramReceived(datagram);
    }
}

void PcapCaptureSource::reopen()
{
    if (m_interface.empty() || m_handle)
        return;
    int error = 0;
    m_handle = createFor(m_interface.c_str(), error);
    if (!m_handle)
        return;
    m_linkType = pcap_datalink(m_handle.get());
    if (applyFilter() != 0 || watch() != 0) {
        stopWatching();
        return;
    }
    m_reopenTimer.stop();
}

} // namespace quorvel::capture
