#include "capture/live/PcapCaptureSource.h"

#include "capture/LinkLayer.h"
#include "capture/TcpSegment.h"
#include "capture/live/CaptureCapability.h"
#include "capture/live/CaptureErrors.h"
#include "capture/live/CaptureFilter.h"
#include "capture/live/InterfaceChoice.h"

#include <linux/filter.h>
#include <net/if.h>
#include <pcap/pcap.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPointer>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <ctime>
#include <span>
#include <system_error>

namespace quorvel::capture {

namespace {

constexpr int SnapLength = 65535;
constexpr int DispatchBatch = 512;
// The kernel hands a block of frames over when it is full or this long after its first frame.
constexpr int BlockTimeoutMs = 10;
// Handing on stops after this long and goes on in the next turn of the event loop.
constexpr int DeliverSliceMs = 10;
// A queue this long means the receivers cannot keep up at all; further datagrams are dropped.
constexpr std::size_t MaxPending = 100000;
// The handout watch sees only the few segments that hand out a switchboard, each at once.
constexpr int HandoutSnapLength = 2048;
constexpr int HandoutRingBytes = 128 * 1024;
// A switchboard the watch opened that the decoder's set does not hold by then is closed again.
constexpr std::int64_t ProvisionalMicros = 30'000'000;

// The clock of libpcap's time stamps.
std::int64_t WallMicros()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return std::int64_t{now.tv_sec} * 1'000'000 + now.tv_nsec / 1000;
}

// A cooked socket (Linux cooked v1 and v2) hands its filter the packet from the network header on.
int KernelLinkType(int linkType)
{
    return linkType == DLT_LINUX_SLL || linkType == DLT_LINUX_SLL2 ? DLT_RAW : linkType;
}

// Replaces the socket's filter in one step. libpcap's pcap_setfilter first puts a filter that rejects
// everything in place while it drains the socket, and what arrives meanwhile is lost; that is fine when
// the capture opens, not while a chat goes on.
int SwapKernelFilter(int fd, std::vector<bpf_insn>& code)
{
    sock_fprog program{static_cast<unsigned short>(code.size()), reinterpret_cast<sock_filter*>(code.data())};
    return ::setsockopt(fd, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program) == 0 ? 0 : errno;
}

// Compiles and sets a filter; a program too long for the kernel is refused here rather than left to
// libpcap, which would quietly filter every frame in user space instead.
int SetFilter(pcap* handle, const std::string& text)
{
    bpf_program program{};
    if (pcap_compile(handle, &program, text.c_str(), 1, PCAP_NETMASK_UNKNOWN) != 0)
        return EINVAL;
    if (program.bf_len > MaxFilterInstructions) {
        pcap_freecode(&program);
        return E2BIG;
    }
    errno = 0;
    const int status = pcap_setfilter(handle, &program);
    const int savedErrno = errno;
    pcap_freecode(&program);
    if (status != 0)
        return savedErrno > 0 ? savedErrno : EINVAL;
    return 0;
}

QString ExecutablePath()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationFilePath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

// The socket's pending error, taken off it. libpcap 1.10 would take a downed interface's error itself
// and go on as if nothing had happened (the capture silently resumes when the interface is up again).
int TakeSocketError(int fd)
{
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        return errno;
    return error;
}

struct ReaderBatch {
    int linkType = -1;
    std::vector<QByteArray> frames;
};

} // namespace

void PcapCaptureSource::PcapClose::operator()(pcap* handle) const
{
    pcap_close(handle);
}

PcapCaptureSource::PcapCaptureSource(QObject* parent) : PcapCaptureSource(Machine{}, parent) {}

PcapCaptureSource::PcapCaptureSource(Machine machine, QObject* parent)
    : CaptureSource(parent), m_machine(std::move(machine)),
      m_wantedPorts(DefaultServerPorts.begin(), DefaultServerPorts.end())
{
    // An executable granted cap_net_raw+ep starts with it effective; it is raised again only
    // around opening a capture.
    LowerCaptureCapability();
    m_reopenTimer.setInterval(DefaultReopenIntervalMs);
    connect(&m_reopenTimer, &QTimer::timeout, this, &PcapCaptureSource::reopen);
}

PcapCaptureSource::~PcapCaptureSource()
{
    close();
}

void PcapCaptureSource::open(const std::function<void(const QString&)>& reportFailure)
{
    close();
    bool hinted = false;
    const auto report = [&](const char* step, int errorNumber) {
        QString text = QString::fromStdString(FailureText(step, errorNumber));
        if (errorNumber == EPERM && !std::exchange(hinted, true)) {
            text += QLatin1Char('\n') +
                    QString::fromStdString(CapturePermissionHint(ExecutablePath().toStdString(), QUORVEL_BUILD_BIN_DIR,
                                                                 QUORVEL_GRANT_SCRIPT));
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
    if (!m_handle) {
        bindError = EBADF;
    } else if (!chosen) {
        bindError = ENODEV;
        m_handle.reset();
    } else {
        const auto held = std::ranges::find(interfaces, *chosen, &NetInterface::name);
        bindError = bindTo(*chosen, held != interfaces.end() && (held->flags & IFF_LOOPBACK));
    }
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
    const bool wasCapturing = m_capturing;
    stopWatching();
    if (wasCapturing) {
        // Whether the kernel's ring lost frames is seen nowhere else.
        const Statistics counted = statistics();
        qInfo("capture on %s: %lu frames passed the filter, %lu dropped in the kernel's ring of %d KiB, %lu in the "
              "queue",
              m_interface.c_str(), counted.received, counted.dropped, CaptureRingBytes / 1024, counted.queueDropped);
    }
    m_pending.clear();
    {
        const std::lock_guard guard(m_lock);
        m_incoming.clear();
        m_readFailure.reset();
    }
    m_interface.clear();
}

bool PcapCaptureSource::isCapturing() const
{
    return m_capturing;
}

PcapCaptureSource::Statistics PcapCaptureSource::statistics() const
{
    return {m_kernelReceived.load(), m_kernelDropped.load(), m_queueDropped.load(), m_handoutCount.load(),
            m_handoutToFilter.load(),  m_handoutToDecoder.load(), m_filterUpdates.load()};
}

void PcapCaptureSource::setServerEndpoints(const ServerEndpoints& endpoints)
{
    {
        const std::lock_guard guard(m_endpointsLock);
        m_wantedPorts = endpoints.ports();
        m_wantedLearned = endpoints.learned();
    }
    // The reader sets the filter: it reads the handle meanwhile. Without a reader the next set-up does.
    if (m_reader.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(m_wakeFd, &one, sizeof one);
    }
}

QString PcapCaptureSource::interfaceName() const
{
    return QString::fromStdString(m_interface);
}

void PcapCaptureSource::setReopenInterval(int milliseconds)
{
    m_reopenTimer.setInterval(milliseconds);
}

PcapCaptureSource::Handle PcapCaptureSource::createFor(const char* device, int& errorNumber)
{
    char errorText[PCAP_ERRBUF_SIZE] = {};
    Handle handle(pcap_create(device, errorText));
    if (!handle) {
        errorNumber = errno > 0 ? errno : ENOMEM;
        return {};
    }
    pcap_set_snaplen(handle.get(), SnapLength);
    // Not immediate: frames are packed into blocks instead of each taking a slot of the snap length,
    // so the ring holds thousands of small chat frames rather than a few hundred (on loopback a
    // stalled reader lost whole runs of a burst), and a burst wakes the reader once per block.
    pcap_set_immediate_mode(handle.get(), 0);
    pcap_set_timeout(handle.get(), BlockTimeoutMs);
    pcap_set_promisc(handle.get(), 0);
    pcap_set_buffer_size(handle.get(), CaptureRingBytes);
    if (const int error = activate(handle.get())) {
        errorNumber = error;
        return {};
    }
    return handle;
}

int PcapCaptureSource::activate(pcap* handle)
{
    int status = 0;
    int savedErrno = 0;
    {
        const RaisedCaptureCapability raised;
        errno = 0;
        status = pcap_activate(handle);
        savedErrno = errno;
    }
    return status < 0 ? ActivateErrorNumber(status, savedErrno) : 0;
}

int PcapCaptureSource::createUnbound()
{
    int error = 0;
    m_handle = createFor("any", error);
    return m_handle ? 0 : error;
}

int PcapCaptureSource::bindTo(const std::string& interfaceName, bool loopback)
{
    int error = 0;
    // The capture of all interfaces is dropped either way: it must not go on unfiltered. Dropped
    // first, so that its ring and the new one are never resident together.
    m_handle.reset();
    m_handle = createFor(interfaceName.c_str(), error);
    if (!m_handle)
        return error;
    m_linkType = pcap_datalink(m_handle.get());
    m_interface = interfaceName;
    m_loopback = loopback;
    return 0;
}

int PcapCaptureSource::applyFilter()
{
    if (!m_handle)
        return EBADF;
    // On loopback every datagram passes twice, sent and then received; only the received copy is
    // kept. Not by "inbound" in the filter: libpcap filters the block being filled when the filter is
    // set in user space, where "inbound" cannot be told, and that block's frames were lost.
    if (m_loopback && pcap_setdirection(m_handle.get(), PCAP_D_IN) != 0)
        return EINVAL;
    m_filterSet = false;
    m_libpcapFilters = false;
    if (const int error = updateFilter())
        return error;
    openHandoutWatch();
    return 0;
}

// Without the watch the filter still follows the decoder, only later.
void PcapCaptureSource::openHandoutWatch()
{
    m_handouts.reset();
    char errorText[PCAP_ERRBUF_SIZE] = {};
    Handle watch(pcap_create(m_interface.c_str(), errorText));
    if (!watch)
        return;
    pcap_set_snaplen(watch.get(), HandoutSnapLength);
    pcap_set_immediate_mode(watch.get(), 1);
    pcap_set_promisc(watch.get(), 0);
    pcap_set_buffer_size(watch.get(), HandoutRingBytes);
    if (activate(watch.get()) != 0 || pcap_datalink(watch.get()) != m_linkType)
        return;
    if (m_loopback && pcap_setdirection(watch.get(), PCAP_D_IN) != 0)
        return;
    if (SetFilter(watch.get(), HandoutFilterFor(m_filteredPorts)) != 0 || pcap_setnonblock(watch.get(), 1, errorText) != 0)
        return;
    m_handouts = std::move(watch);
}

int PcapCaptureSource::updateFilter()
{
    std::vector<std::uint16_t> ports;
    std::vector<ServerEndpoint> learned;
    {
        const std::lock_guard guard(m_endpointsLock);
        ports = m_wantedPorts;
        learned = m_wantedLearned;
    }
    const std::int64_t now = WallMicros();
    std::erase_if(m_provisional, [&](const Provisional& provisional) {
        const bool held = std::ranges::any_of(learned, [&](const ServerEndpoint& endpoint) {
            return endpoint.port == provisional.endpoint.port &&
                   (endpoint.address == ServerEndpoint::AnyHost || endpoint.address == provisional.endpoint.address);
        });
        if (held)
            m_handoutToDecoder = static_cast<long>(now - provisional.arrivedMicros);
        return held || now - provisional.arrivedMicros > ProvisionalMicros;
    });
    for (const Provisional& provisional : m_provisional)
        learned.push_back(provisional.endpoint);
    if (m_filterSet && ports == m_filteredPorts && learned == m_filteredLearned)
        return 0;

    // The program first: a switchboard just handed out waits for nothing else. It goes to the kernel
    // directly, never through libpcap, which would also filter the ring's next blocks in user space by
    // the program it was given last: a stale one, once the kernel's has been swapped.
    const unsigned accept = static_cast<unsigned>(pcap_snapshot(m_handle.get()));
    int error = 0;
    auto code = m_libpcapFilters ? std::nullopt
                                 : CaptureProgramFor(KernelLinkType(m_linkType), accept, ports, learned);
    if (code) {
        error = SwapKernelFilter(pcap_fileno(m_handle.get()), *code);
    } else {
        // A link type of its own, or too many endpoints for the kernel: libpcap's compiler from here on,
        // all TCP when even that is too long (the decoder sorts it out).
        m_libpcapFilters = true;
        error = SetFilter(m_handle.get(), CaptureFilterFor(ports, learned));
        if (error == E2BIG)
            error = SetFilter(m_handle.get(), "ip and tcp");
    }
    if (error != 0)
        return error;
    ++m_filterUpdates;

    if (m_handouts && (!m_filterSet || ports != m_filteredPorts))
        SetFilter(m_handouts.get(), HandoutFilterFor(ports));
    m_filterSet = true;
    m_filtered = ServerEndpoints(ports);
    for (const ServerEndpoint& endpoint : learned)
        m_filtered.learn(endpoint, 0);
    m_filteredPorts = std::move(ports);
    m_filteredLearned = std::move(learned);
    return 0;
}

// Reader thread: the segments that hand out a switchboard open the filter for it at once.
void PcapCaptureSource::takeHandouts()
{
    const std::size_t before = m_provisional.size();
    if (pcap_dispatch(m_handouts.get(), -1, &PcapCaptureSource::onHandoutFrame, reinterpret_cast<unsigned char*>(this)) <
        0)
        return;
    if (m_provisional.size() == before)
        return;
    const Provisional newest = m_provisional.back();
    updateFilter();
    m_handoutToFilter = static_cast<long>(WallMicros() - newest.arrivedMicros);
}

void PcapCaptureSource::onHandoutFrame(unsigned char* user, const pcap_pkthdr* header, const unsigned char* bytes)
{
    auto* self = reinterpret_cast<PcapCaptureSource*>(user);
    const auto datagram = StripLinkLayer(self->m_linkType, std::span(bytes, header->caplen));
    const auto segment = datagram ? ParseTcpSegment(*datagram) : std::nullopt;
    if (!segment)
        return;
    const std::string_view payload(reinterpret_cast<const char*>(segment->payload.data()), segment->payload.size());
    // Only a whole command line counts; host names are taken by their port (no lookup here).
    if (payload.find('\n') == std::string_view::npos)
        return;
    const auto handout = ParseHandout(payload);
    if (!handout)
        return;
    ++self->m_handoutCount;
    const ServerEndpoint endpoint{handout->address.value_or(ServerEndpoint::AnyHost), handout->port};
    if (self->m_filtered.isServer(endpoint.address, endpoint.port) ||
        std::ranges::any_of(self->m_provisional, [&](const Provisional& p) { return p.endpoint == endpoint; }))
        return; // the filter passes it already
    self->m_provisional.push_back({endpoint, std::int64_t{header->ts.tv_sec} * 1'000'000 + header->ts.tv_usec});
}

int PcapCaptureSource::watch()
{
    if (!m_handle)
        return EBADF;
    char errorText[PCAP_ERRBUF_SIZE] = {};
    errno = 0;
    if (pcap_setnonblock(m_handle.get(), 1, errorText) != 0)
        return errno > 0 ? errno : EINVAL;
    if (pcap_get_selectable_fd(m_handle.get()) < 0)
        return EBADF;
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wakeFd < 0)
        return errno;
    m_kernelReceived = 0;
    m_kernelDropped = 0;
    m_notified = false;
    m_stopping = false;
    try {
        m_reader = std::thread(&PcapCaptureSource::readLoop, this);
    } catch (const std::system_error& error) {
        ::close(std::exchange(m_wakeFd, -1));
        return error.code().value();
    }
    m_capturing = true;
    return 0;
}

void PcapCaptureSource::stopWatching()
{
    if (m_reader.joinable()) {
        m_stopping = true;
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(m_wakeFd, &one, sizeof one);
        m_reader.join();
        takeKernelCounts(); // what came after the reader's last look
    }
    if (m_wakeFd >= 0)
        ::close(std::exchange(m_wakeFd, -1));
    m_handouts.reset();
    m_handle.reset();
    m_provisional.clear();
    m_filterSet = false;
    m_capturing = false;
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

// Reader thread: waits for frames or the wake-up, moves frames into m_incoming, tells the GUI thread;
// sets the filter when the wanted endpoints change or a handout passes the watch.
void PcapCaptureSource::readLoop()
{
    pcap* const handle = m_handle.get();
    pollfd watched[3] = {{pcap_get_selectable_fd(handle), POLLIN, 0},
                         {m_wakeFd, POLLIN, 0},
                         {m_handouts ? pcap_get_selectable_fd(m_handouts.get()) : -1, POLLIN, 0}};
    ReaderBatch batch{m_linkType, {}};
    std::optional<int> failure;
    while (!failure) {
        if (::poll(watched, 3, -1) < 0) {
            if (errno == EINTR)
                continue;
            failure = errno;
            break;
        }
        if (watched[1].revents) {
            std::uint64_t count = 0;
            [[maybe_unused]] const auto read = ::read(m_wakeFd, &count, sizeof count);
            if (m_stopping)
                break;
            updateFilter();
        }
        if (watched[2].revents & POLLIN)
            takeHandouts();
        if (watched[2].revents & (POLLERR | POLLNVAL))
            watched[2].fd = -1; // the main handle reports what went wrong; the decoder still opens the filter
        if (watched[0].revents & POLLNVAL) {
            failure = EBADF;
        } else if (watched[0].revents & POLLERR) {
            if (const int error = TakeSocketError(watched[0].fd))
                failure = error;
        }
        // What the ring holds is read even when an error came with it.
        for (;;) {
            const int count = pcap_dispatch(handle, DispatchBatch, &PcapCaptureSource::onFrame,
                                            reinterpret_cast<unsigned char*>(&batch));
            if (count == PCAP_ERROR) {
                if (!failure)
                    failure = DispatchErrorNumber(pcap_geterr(handle), errno);
                break;
            }
            if (count <= 0) // nothing more queued, or a break
                break;
        }
        takeKernelCounts();
        if (batch.frames.empty() && !failure)
            continue;
        {
            const std::lock_guard guard(m_lock);
            for (auto& frame : batch.frames) {
                if (m_incoming.size() >= MaxPending)
                    ++m_queueDropped;
                else
                    m_incoming.push_back(std::move(frame));
            }
            if (failure)
                m_readFailure = failure;
        }
        batch.frames.clear();
        notifyGuiThread();
    }
}

void PcapCaptureSource::takeKernelCounts()
{
    pcap_stat counted{};
    if (pcap_stats(m_handle.get(), &counted) == 0) {
        m_kernelReceived = counted.ps_recv;
        m_kernelDropped = counted.ps_drop;
    }
}

void PcapCaptureSource::onFrame(unsigned char* user, const pcap_pkthdr* header, const unsigned char* bytes)
{
    auto* batch = reinterpret_cast<ReaderBatch*>(user);
    if (const auto datagram = StripLinkLayer(batch->linkType, std::span(bytes, header->caplen)))
        batch->frames.emplace_back(reinterpret_cast<const char*>(datagram->data()),
                                   static_cast<qsizetype>(datagram->size()));
}

void PcapCaptureSource::notifyGuiThread()
{
    if (!m_notified.exchange(true))
        QMetaObject::invokeMethod(this, &PcapCaptureSource::takeReadings, Qt::QueuedConnection);
}

void PcapCaptureSource::takeReadings()
{
    m_continuationPosted = false;
    m_notified = false; // before taking: what arrives from now on is announced anew
    std::optional<int> failure;
    {
        const std::lock_guard guard(m_lock);
        std::move(m_incoming.begin(), m_incoming.end(), std::back_inserter(m_pending));
        m_incoming.clear();
        failure = std::exchange(m_readFailure, std::nullopt);
    }
    const QPointer<PcapCaptureSource> alive(this);
    if (failure && m_capturing) {
        // Closed before anything is handed on, so that nested event loops meet no broken handle;
        // then re-opened quietly until the interface is back.
        stopWatching();
        m_reopenTimer.start();
        emit captureFailed(QString::fromStdString(FailureText("recv", *failure)));
    }
    if (alive)
        deliverPending();
}

void PcapCaptureSource::deliverPending()
{
    // Nested calls (from a receiver's nested event loop) take from the same queue, front first.
    const QPointer<PcapCaptureSource> alive(this);
    QElapsedTimer slice;
    slice.start();
    while (alive && !m_pending.empty()) {
        if (slice.elapsed() >= DeliverSliceMs) {
            if (!std::exchange(m_continuationPosted, true))
                QMetaObject::invokeMethod(this, &PcapCaptureSource::takeReadings, Qt::QueuedConnection);
            return;
        }
        const QByteArray datagram = std::move(m_pending.front());
        m_pending.pop_front();
        emit datagramReceived(datagram);
    }
}

} // namespace quorvel::capture
