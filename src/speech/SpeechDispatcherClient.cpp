#include "speech/SpeechDispatcherClient.h"

#include <libspeechd.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>

#include <netdb.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace quorvel::speech {

namespace {

using Clock = std::chrono::steady_clock;

// A reply of the server that takes longer than this means the server hangs; the call fails.
constexpr int kReplyTimeoutMs = 2000;
constexpr int kProbeTimeoutMs = 1000;
constexpr int kRetryWantedMs = 2000;
// Without a profile on a system voice a server started later only needs to show up in the list.
constexpr int kRetryIdleMs = 30000;
// A server that fails to start is not started again in a loop.
constexpr auto kSpawnInterval = std::chrono::seconds(60);

const char* const kChannelNames[SpeechDispatcherClient::kChannels] = {"own", "friend"};

// A write to a server that went away raises SIGPIPE in the writing thread; these threads take the
// error instead.
void BlockSigpipe()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void DiscardSigpipe()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    const timespec zero{};
    while (sigtimedwait(&set, nullptr, &zero) > 0) {
    }
}

int ConnectSocket(const SPDConnectionAddress& address)
{
    if (address.method == SPD_METHOD_UNIX_SOCKET) {
        sockaddr_un sa{};
        sa.sun_family = AF_UNIX;
        if (!address.unix_socket_name || std::strlen(address.unix_socket_name) >= sizeof sa.sun_path)
            return -1;
        std::strcpy(sa.sun_path, address.unix_socket_name);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0 && errno != EINPROGRESS &&
            errno != EAGAIN) {
            ::close(fd);
            return -1;
        }
        return fd;
    }
    if (!address.inet_socket_host)
        return -1;
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(address.inet_socket_port);
    if (::getaddrinfo(address.inet_socket_host, port.c_str(), &hints, &found) != 0 || !found)
        return -1;
    int fd = ::socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd >= 0 && ::connect(fd, found->ai_addr, found->ai_addrlen) != 0 && errno != EINPROGRESS) {
        ::close(fd);
        fd = -1;
    }
    ::freeaddrinfo(found);
    return fd;
}

bool WaitFor(int fd, short events, Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd p{fd, events, 0};
    return left > 0 && ::poll(&p, 1, static_cast<int>(left)) == 1 && (p.revents & events);
}

} // namespace

// A plain SSIP connection, for the probe and the voice list: libspeechd spends seconds of CPU on
// espeak-ng's list of 13,000 lines, and it waits for a reply without a limit.
class SpeechDispatcherClient::SsipLink {
public:
    // Connects to the default address (SPEECHD_ADDRESS or the desktop's socket) and names the client;
    // nullptr when no server answers in time.
    static std::unique_ptr<SsipLink> Open(const std::string& component)
    {
        char* error = nullptr;
        SPDConnectionAddress* address = spd_get_default_address(&error);
        std::free(error);
        if (!address)
            return nullptr;
        const int fd = ConnectSocket(*address);
        SPDConnectionAddress__free(address);
        if (fd < 0)
            return nullptr;
        auto link = std::unique_ptr<SsipLink>(new SsipLink(fd));
        int err = 0;
        socklen_t len = sizeof err;
        if (!WaitFor(fd, POLLOUT, Clock::now() + std::chrono::milliseconds(kProbeTimeoutMs)) ||
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0 ||
            !link->command("SET SELF CLIENT_NAME quorvel:quorvel:" + component, kProbeTimeoutMs))
            return nullptr;
        return link;
    }
    ~SsipLink()
    {
        static constexpr char quit[] = "QUIT\r\n";
        ::send(m_fd, quit, sizeof quit - 1, MSG_NOSIGNAL);
        ::close(m_fd);
    }
    int fd() const { return m_fd; }

    // The texts of the reply's lines ("250-espeak-ng" gives "espeak-ng"), the closing line left out;
    // nullopt for an error reply, a server that went away, or one that sends nothing for timeoutMs
    // (a long list may take longer as a whole).
    std::optional<std::vector<std::string>> command(const std::string& line, int timeoutMs = kReplyTimeoutMs)
    {
        const std::string sent = line + "\r\n";
        if (::send(m_fd, sent.data(), sent.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(sent.size()))
            return std::nullopt;
        std::vector<std::string> texts;
        for (;;) {
            const auto end = m_buffer.find("\r\n");
            if (end == std::string::npos) {
                char chunk[16384];
                if (!WaitFor(m_fd, POLLIN, Clock::now() + std::chrono::milliseconds(timeoutMs)))
                    return std::nullopt;
                const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
                if (n <= 0)
                    return std::nullopt;
                m_buffer.append(chunk, static_cast<std::size_t>(n));
                continue;
            }
            const std::string reply = m_buffer.substr(0, end);
            m_buffer.erase(0, end + 2);
            if (reply.size() < 4 || !std::isdigit(static_cast<unsigned char>(reply[0])))
                return std::nullopt;
            if (reply[3] == '-') {
                texts.push_back(reply.substr(4));
                continue;
            }
            if (reply[0] != '2')
                return std::nullopt;
            return texts;
        }
    }

private:
    explicit SsipLink(int fd) : m_fd(fd) {}
    int m_fd;
    std::string m_buffer;
};

namespace {

// The voices of every module; nullopt when the server stops answering on the way. Modules seen
// before in this run are not asked again.
std::optional<std::vector<SystemVoice>> ListVoices(SpeechDispatcherClient::SsipLink& link,
                                                   std::map<std::string, std::vector<SystemVoice>>& known)
{
    const auto modules = link.command("LIST OUTPUT_MODULES");
    if (!modules)
        return std::nullopt;
    std::vector<SystemVoice> all;
    for (const std::string& module : *modules) {
        auto it = known.find(module);
        if (it == known.end()) {
            if (!link.command("SET SELF OUTPUT_MODULE " + module))
                return std::nullopt;
            // A module without voices answers with an error; a server gone shows at the next command.
            const auto lines = link.command("LIST SYNTHESIS_VOICES");
            if (!lines)
                continue;
            std::vector<ListedVoice> listed;
            for (const std::string& l : *lines) {
                const auto tab = l.find('\t');
                const auto tab2 = tab == std::string::npos ? tab : l.find('\t', tab + 1);
                listed.push_back({l.substr(0, tab), tab == std::string::npos ? "" : l.substr(tab + 1, tab2 - tab - 1),
                                  tab2 == std::string::npos ? "" : l.substr(tab2 + 1)});
            }
            it = known.emplace(module, OfferedVoices(module, listed)).first;
        }
        all.insert(all.end(), it->second.begin(), it->second.end());
    }
    return all;
}

} // namespace

struct SpeechDispatcherClient::Connection {
    SPDConnection* spd = nullptr;
};

SpeechDispatcherClient::SpeechDispatcherClient(Callbacks callbacks) : m_callbacks(std::move(callbacks))
{
    m_listerWake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_speaker = std::thread([this] { speakerLoop(); });
    m_lister = std::thread([this] { listerLoop(); });
}

SpeechDispatcherClient::~SpeechDispatcherClient()
{
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    wakeLister();
    {
        std::lock_guard lock(m_socketMutex);
        m_closing = true;
        for (const int fd : m_sockets)
            ::shutdown(fd, SHUT_RDWR);
    }
    m_speaker.join();
    m_lister.join();
    if (m_listerWake >= 0)
        ::close(m_listerWake);
}

void SpeechDispatcherClient::speak(int channel, Message message)
{
    {
        std::lock_guard lock(m_mutex);
        m_channels[static_cast<std::size_t>(channel)].pending = Job{true, std::move(message)};
    }
    m_wake.notify_all();
}

void SpeechDispatcherClient::cancel(int channel)
{
    {
        std::lock_guard lock(m_mutex);
        m_channels[static_cast<std::size_t>(channel)].pending = Job{};
    }
    m_wake.notify_all();
}

void SpeechDispatcherClient::want()
{
    if (!m_wanted.exchange(true))
        wakeLister();
}

void SpeechDispatcherClient::wakeLister()
{
    const std::uint64_t one = 1;
    if (m_listerWake >= 0 && ::write(m_listerWake, &one, sizeof one) < 0) {
        // The counter is full: the lister is woken all the same.
    }
}

std::unique_ptr<SpeechDispatcherClient::Connection> SpeechDispatcherClient::open(const char* name, bool autospawn)
{
    // spd_open2 waits for the server's replies without a limit: a server that does not answer a
    // probe in time (stopped, hung) is not connected to.
    if (!SsipLink::Open("probe") && !autospawn)
        return nullptr;
    char* error = nullptr;
    SPDConnection* spd = spd_open2("quorvel", name, nullptr, SPD_MODE_SINGLE, nullptr, autospawn ? 1 : 0, &error);
    std::free(error);
    if (!spd)
        return nullptr;
    const timeval limit{kReplyTimeoutMs / 1000, (kReplyTimeoutMs % 1000) * 1000};
    ::setsockopt(spd->socket, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(spd->socket, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    std::lock_guard lock(m_socketMutex);
    if (m_closing)
        ::shutdown(spd->socket, SHUT_RDWR);
    m_sockets.insert(spd->socket);
    return std::make_unique<Connection>(Connection{spd});
}

void SpeechDispatcherClient::close(std::unique_ptr<Connection>& connection)
{
    if (!connection)
        return;
    // Under the lock: the destructor must not shut down a number that a new socket has taken.
    std::lock_guard lock(m_socketMutex);
    m_sockets.erase(connection->spd->socket);
    spd_close(connection->spd);
    connection.reset();
    DiscardSigpipe();
}

// ---- speaking ------------------------------------------------------------------------------------

void SpeechDispatcherClient::speakerLoop()
{
    BlockSigpipe();
    for (;;) {
        std::array<std::optional<Job>, kChannels> jobs;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_quit || m_channels[0].pending || m_channels[1].pending; });
            if (m_quit)
                break;
            for (int c = 0; c < kChannels; ++c)
                jobs[static_cast<std::size_t>(c)] = std::exchange(m_channels[static_cast<std::size_t>(c)].pending, {});
        }
        for (int c = 0; c < kChannels; ++c)
            if (jobs[static_cast<std::size_t>(c)])
                run(c, *jobs[static_cast<std::size_t>(c)]);
    }
    for (auto& state : m_channels)
        close(state.connection);
}

void SpeechDispatcherClient::run(int channel, const Job& job)
{
    ChannelState& state = m_channels[static_cast<std::size_t>(channel)];
    if (!job.speak) {
        // Only this connection's messages: the user's screen reader and the other channel go on.
        if (state.connection && spd_cancel(state.connection->spd) != 0)
            close(state.connection);
        return;
    }
    // A connection that broke since its last message (the server restarted) is replaced once.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!state.connection) {
            state.connection = open(kChannelNames[channel], false);
            state.fresh = true;
            if (!state.connection)
                break;
        }
        if (deliver(state, job.message))
            return;
        close(state.connection);
    }
    m_callbacks.undelivered(channel, job.message.id);
    m_checkNow = true;
    wakeLister();
}

bool SpeechDispatcherClient::deliver(ChannelState& state, const Message& message)
{
    SPDConnection* c = state.connection->spd;
    if (spd_cancel(c) != 0)
        return false;
    if (message.text.empty())
        return true;
    if (state.fresh || message.module != state.module) {
        if (spd_set_output_module(c, message.module.c_str()) != 0)
            return false;
        state.module = message.module;
        state.voice.clear();
    }
    if (state.voice != message.voice) {
        if (spd_set_synthesis_voice(c, message.voice.c_str()) != 0)
            return false;
        state.voice = message.voice;
    }
    if (state.fresh || message.rate != state.rate) {
        if (spd_set_voice_rate(c, message.rate) != 0)
            return false;
        state.rate = message.rate;
    }
    if (state.fresh || message.volume != state.volume) {
        if (spd_set_volume(c, message.volume) != 0)
            return false;
        state.volume = message.volume;
    }
    state.fresh = false;
    // SPD_TEXT: the user's screen reader speaks over it; SPD_IMPORTANT would hold the screen reader back.
    return spd_say(c, SPD_TEXT, message.text.c_str()) > 0;
}

// ---- the voice list and the server's presence ----------------------------------------------------

std::unique_ptr<SpeechDispatcherClient::SsipLink> SpeechDispatcherClient::openLink(bool autospawn)
{
    auto link = SsipLink::Open("voices");
    if (!link && autospawn) {
        // libspeechd knows how the desktop's server is started.
        char* error = nullptr;
        if (SPDConnection* spawned = spd_open2("quorvel", "spawn", nullptr, SPD_MODE_SINGLE, nullptr, 1, &error))
            spd_close(spawned);
        std::free(error);
        DiscardSigpipe();
        link = SsipLink::Open("voices");
    }
    if (!link)
        return nullptr;
    std::lock_guard lock(m_socketMutex);
    if (m_closing)
        ::shutdown(link->fd(), SHUT_RDWR);
    m_sockets.insert(link->fd());
    return link;
}

void SpeechDispatcherClient::closeLink(std::unique_ptr<SsipLink>& link)
{
    if (!link)
        return;
    std::lock_guard lock(m_socketMutex);
    m_sockets.erase(link->fd());
    link.reset();
}

void SpeechDispatcherClient::listerLoop()
{
    BlockSigpipe();
    std::unique_ptr<SsipLink> link;
    std::map<std::string, std::vector<SystemVoice>> known;
    bool absenceReported = false;
    bool everConnected = false;
    std::optional<Clock::time_point> lastSpawn;
    const auto quitting = [this] {
        std::lock_guard lock(m_mutex);
        return m_quit;
    };
    while (!quitting()) {
        if (!link) {
            // Starting a server is for the desktop's own one; an address given by SPEECHD_ADDRESS
            // belongs to a server someone else runs.
            const bool spawn = m_wanted && !std::getenv("SPEECHD_ADDRESS") &&
                               (!lastSpawn || Clock::now() - *lastSpawn >= kSpawnInterval);
            if (spawn)
                lastSpawn = Clock::now();
            link = openLink(spawn);
            if (link) {
                if (auto voices = ListVoices(*link, known)) {
                    everConnected = true;
                    absenceReported = false;
                    m_callbacks.voicesFound(std::move(voices));
                } else {
                    closeLink(link);
                }
            }
            if (!link && !absenceReported) {
                absenceReported = true;
                m_callbacks.voicesFound(std::nullopt);
            }
        }

        // Connected: wait until the server closes the connection (nothing else arrives on it). Away:
        // look again after a while.
        pollfd fds[2] = {{m_listerWake, POLLIN, 0}, {link ? link->fd() : -1, POLLIN, 0}};
        const int timeout = link ? -1 : (everConnected || m_wanted ? kRetryWantedMs : kRetryIdleMs);
        if (::poll(fds, 2, timeout) < 0 && errno != EINTR)
            ::usleep(100000);
        std::uint64_t count = 0;
        if (fds[0].revents && ::read(m_listerWake, &count, sizeof count) < 0) {
            // Nothing to take: woken by someone else's read.
        }
        if (!link)
            continue;
        bool gone = fds[1].revents != 0;
        // A speaking connection failed: is the server still there?
        if (!gone && m_checkNow.exchange(false))
            gone = !link->command("LIST OUTPUT_MODULES");
        if (gone) {
            closeLink(link);
            absenceReported = true;
            m_callbacks.voicesFound(std::nullopt);
        }
    }
    closeLink(link);
}

} // namespace quorvel::speech
