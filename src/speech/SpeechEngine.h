#pragma once
// The speech layer as either edition sees it, in plain C++: the voices in the engine's order, two
// independent channels that each cut off their previous text, stop, and the WAV export. The Windows
// edition's SAPI layer implements it; the Linux edition's Qt layer (Speech.h) is adapted to it by
// SpeechEngineAdapter. Implementations never throw and never show a box.

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::speech {

enum class Channel { Own, Friend };

class SpeechEngine {
public:
    // What a WAV export tells, on a thread of the engine's (the owner posts it on to its window).
    struct WavExportReport {
        std::function<void(int percent)> progress; // 0..100
        // ok: the file is complete. On failure errorText is the reason the user is shown.
        std::function<void(bool ok, bool cancelled, const std::string& errorText)> finished;
    };

    virtual ~SpeechEngine() = default;

    // Display names of the installed voices (UTF-8), in the engine's order; the first is the default.
    virtual std::vector<std::string> voiceNames() const = 0;
    // Why nothing at all can be spoken, for the user; empty when it can.
    virtual std::string unavailableReason() const { return {}; }

    // Cuts off whatever the channel is saying and starts speaking text; returns at once.
    // voiceIndex < 0 or out of range: nothing is spoken (the channel is still cut off).
    // rate -10..10 (0 normal), volume 0..100.
    virtual void speak(Channel channel, std::string_view text, int voiceIndex, int rate, int volume) = 0;
    virtual void stop(Channel channel) = 0;
    virtual void stopAll() = 0;

    // Renders text with voice voiceIndex at a fresh voice's rate and volume into a 16 kHz 16-bit mono
    // WAV file, off the caller's thread. Cuts off the own channel first. False when it could not start
    // (no such voice, an export already running); then no file is touched and nothing is reported.
    virtual bool startWavExport(std::string_view text, int voiceIndex, const std::filesystem::path& path,
                                WavExportReport report) = 0;
    // Stops a running export: its partial file goes, and finished(false, true, {}) follows.
    virtual void cancelWavExport() = 0;
};

} // namespace quorvel::speech
