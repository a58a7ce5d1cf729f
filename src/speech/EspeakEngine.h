#pragma once
// The one espeak-ng instance of the process, on one worker thread of its own (the library keeps
// global state and must be used from one thread). Jobs run there in order; background tasks (WAV
// rendering) advance one step at a time between jobs, so live speech is not held up by an export.
// No Qt here, so the offline renderer works without a GUI or an audio server.

#include "speech/VoiceCatalog.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace quorvel::speech {

class EspeakEngine {
public:
    // Starts the worker and espeak-ng on first use.
    static EspeakEngine& Instance();

    EspeakEngine(const EspeakEngine&) = delete;
    EspeakEngine& operator=(const EspeakEngine&) = delete;
    ~EspeakEngine();

    bool available() const { return m_sampleRate > 0; }
    int sampleRate() const { return m_sampleRate; } // espeak-ng's output rate (22,050 Hz)
    const std::vector<VoiceEntry>& voices() const { return m_voices; }

    void post(std::function<void()> job);
    // step() is called on the worker until it returns false.
    void postBackground(std::function<bool()> step);
    // Blocks until every job and background task posted so far has run. Not from the worker.
    void waitIdle();

    // --- worker thread only ---
    // Samples of one chunk and the text position (characters from 1) reached; false aborts.
    using ChunkFn = std::function<bool(std::span<std::int16_t> samples, int textPosition)>;
    enum class Result { Done, Aborted, Failed };
    // Speaks text with one espeak-ng voice; speed below 1 slows the samples down further.
    Result synthesize(const std::string& identifier, int wordsPerMinute, std::string_view text, const ChunkFn& onChunk,
                      double speed = 1.0);
    // Speaks text with a list entry: Chinese/Latin runs go to their voices in order.
    Result synthesizeEntry(const VoiceEntry& entry, int wordsPerMinute, std::string_view text, const ChunkFn& onChunk,
                           double speed = 1.0);

private:
    EspeakEngine();
    void run();
    void initialise();

    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<std::function<void()>> m_jobs;
    std::deque<std::function<bool()>> m_background;
    bool m_busy = false;
    bool m_quit = false;
    bool m_ready = false;

    int m_sampleRate = 0;
    std::vector<VoiceEntry> m_voices;
    std::string m_currentVoice;
    int m_currentRate = -1;
};

} // namespace quorvel::speech
