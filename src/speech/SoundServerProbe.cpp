#include "speech/SoundServerProbe.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace quorvel::speech {
namespace {

bool Connects(const std::string& path)
{
    sockaddr_un addr{};
    if (path.empty() || path.size() >= sizeof addr.sun_path)
        return false;
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return true; // cannot tell: do not hold the sound back
    const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

std::optional<std::string> Env(const char* name)
{
    const char* v = std::getenv(name);
    return v ? std::optional<std::string>(v) : std::nullopt;
}

// A default-server in client.conf points the library somewhere else.
bool ReadClientConfNamesAServer()
{
    std::vector<std::filesystem::path> files = {"/etc/pulse/client.conf"};
    std::error_code ec;
    for (std::filesystem::directory_iterator it("/etc/pulse/client.conf.d", ec), end; !ec && it != end;
         it.increment(ec))
        files.push_back(it->path());
    if (const auto home = Env("HOME"))
        files.push_back(std::filesystem::path(*home) / ".config/pulse/client.conf");
    for (const auto& f : files) {
        std::ifstream in(f);
        std::string line;
        while (std::getline(in, line)) {
            const auto start = line.find_first_not_of(" \t");
            if (start != std::string::npos && line.compare(start, 14, "default-server") == 0)
                return true;
        }
    }
    return false;
}

// Asked before every message while no server answers: reading the files each time cost a burst of
// chat more than its decoding, and a change to them may wait a few seconds.
bool ClientConfNamesAServer()
{
    using Clock = std::chrono::steady_clock;
    static std::optional<Clock::time_point> readAt;
    static bool names = false;
    const auto now = Clock::now();
    if (!readAt || now - *readAt > std::chrono::seconds(5)) {
        names = ReadClientConfNamesAServer();
        readAt = now;
    }
    return names;
}

} // namespace

ServerCandidates SoundServerCandidates(const std::optional<std::string>& pulseServer,
                                       const std::optional<std::string>& runtimeDir)
{
    ServerCandidates out;
    if (pulseServer && pulseServer->find_first_not_of(" \t") != std::string::npos) {
        std::istringstream words(*pulseServer);
        std::string entry;
        while (words >> entry) {
            if (entry.front() == '{') { // "{machine-id}address": skip the prefix
                const auto close = entry.find('}');
                entry = close == std::string::npos ? std::string() : entry.substr(close + 1);
            }
            if (entry.rfind("unix:", 0) == 0)
                out.unixSockets.push_back(entry.substr(5));
            else if (!entry.empty() && entry.front() == '/')
                out.unixSockets.push_back(entry);
            else if (!entry.empty())
                out.other = true;
        }
        return out;
    }
    if (runtimeDir && !runtimeDir->empty())
        out.unixSockets.push_back(*runtimeDir + "/pulse/native");
    out.unixSockets.push_back("/run/user/" + std::to_string(::getuid()) + "/pulse/native");
    out.unixSockets.push_back("/run/pulse/native"); // system-wide server
    return out;
}

bool SoundServerMayBeReachable()
{
    const auto pulseServer = Env("PULSE_SERVER");
    const auto candidates = SoundServerCandidates(pulseServer, Env("XDG_RUNTIME_DIR"));
    if (candidates.other || (!pulseServer && ClientConfNamesAServer()))
        return true;
    for (const auto& path : candidates.unixSockets)
        if (Connects(path))
            return true;
    return false;
}

} // namespace quorvel::speech
