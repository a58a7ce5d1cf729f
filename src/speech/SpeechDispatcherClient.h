#pragma once
// The connections to a speech-dispatcher server, on threads of their own so that the window never
// waits for the server: one libspeechd connection per channel, so that cancelling one channel never
// silences the other, and one that lists the voices and watches whether the server is there. No Qt.

#include "speech/SystemVoices.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace quorvel::speech {

class SpeechDispatcherClient {
public:
    static constexpr int kChannels = 2;

    struct Message {
        std::uint64_t id = 0;
        std::string module, voice, text; // text in UTF-8, handed over as it is
        int rate = 0, volume = 0;        // on the server's scale, -100..100
    };
    // Called on the client's threads.
    struct Callbacks {
        // The voices the server offers, each time a connection is made; nullopt when no server
        // answers (once per absence, and once at start when there is none).
        std::function<void(std::optional<std::vector<SystemVoice>>)> voicesFound;
        // A message the server could not be given.
        std::function<void(int channel, std::uint64_t id)> undelivered;
    };

    // The probe and the voice list go over a plain SSIP connection of their own.
    class SsipLink;

    explicit SpeechDispatcherClient(Callbacks callbacks);
    ~SpeechDispatcherClient();
    SpeechDispatcherClient(const SpeechDispatcherClient&) = delete;
    SpeechDispatcherClient& operator=(const SpeechDispatcherClient&) = delete;

    // Cancels what the channel's connection says and says message; returns at once. A request of
    // the channel that was not sent yet is replaced.
    void speak(int channel, Message message);
    void cancel(int channel);
    // A profile is set to a system voice: the server may be started when it does not run, and is
    // looked for every two seconds while it is away.
    void want();

private:
    struct Connection; // libspeechd's connection, which cannot be declared ahead
    struct Job {
        bool speak = false;
        Message message;
    };
    // Owned by the speaker thread, except pending (under m_mutex).
    struct ChannelState {
        std::unique_ptr<Connection> connection;
        std::string module, voice;
        int rate = 0, volume = 0;
        bool fresh = true; // nothing set on this connection yet
        std::optional<Job> pending;
    };

    void speakerLoop();
    void run(int channel, const Job& job);
    bool deliver(ChannelState& state, const Message& message);
    void listerLoop();
    void wakeLister();

    std::unique_ptr<Connection> open(const char* name, bool autospawn);
    void close(std::unique_ptr<Connection>& connection);
    std::unique_ptr<SsipLink> openLink(bool autospawn);
    void closeLink(std::unique_ptr<SsipLink>& link);

    Callbacks m_callbacks;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::array<ChannelState, kChannels> m_channels;
    bool m_quit = false;
    std::atomic<bool> m_wanted = false;
    std::atomic<bool> m_checkNow = false;
    int m_listerWake = -1; // eventfd

    // Sockets of open connections, shut down at destruction so that no thread waits out a reply.
    std::mutex m_socketMutex;
    std::set<int> m_sockets;
    bool m_closing = false;

    std::thread m_speaker;
    std::thread m_lister;
};

} // namespace quorvel::speech
