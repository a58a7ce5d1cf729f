#pragma once
// The speech layer of the Windows edition on SAPI 5: one ISpVoice per channel, each on a thread with
// an apartment of its own; voices from the voice category's tokens; rate -10..10 and volume 0..100 as
// SAPI takes them; a new text cuts off the channel's previous one (SPF_PURGEBEFORESPEAK). The WAV
// export renders with a fresh voice into an ISpStream bound to a 16 kHz 16-bit mono WAV file.
//
// Where no voice can speak (Wine answers every speaking call with E_NOTIMPL), unavailableReason()
// says so and the program logs without speech.

#include "speech/SpeechEngine.h"
#include "win/common/Com.h"
#include "win/speech/SapiVoices.h"

#include <mmreg.h>
#include <sapi.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace quorvel::win {

// What the layer is made of: SAPI itself, or in tests stand-ins that record what they are asked.
// Each is called on the thread that uses what it makes.
struct SapiParts {
    std::function<HRESULT(ISpVoice** voice)> createVoice;
    std::function<std::vector<SapiVoice>()> listVoices;
    std::function<HRESULT(const std::wstring& path, const WAVEFORMATEX& format, ISpStream** stream)> createWaveFile;
};
SapiParts RealSapi();

// PCM, 16 kHz, 16 bits, mono: the format of every exported file.
WAVEFORMATEX ExportFormat();

class StaThread;

class SapiSpeech final : public speech::SpeechEngine {
public:
    explicit SapiSpeech(SapiParts parts = RealSapi());
    ~SapiSpeech() override;

    std::vector<std::string> voiceNames() const override;
    std::string unavailableReason() const override;
    void speak(speech::Channel channel, std::string_view text, int voiceIndex, int rate, int volume) override;
    void stop(speech::Channel channel) override;
    void stopAll() override;
    bool startWavExport(std::string_view text, int voiceIndex, const std::filesystem::path& path,
                        WavExportReport report) override;
    void cancelWavExport() override;

    // Called once, from a channel's thread, when speaking turns out to be impossible after start.
    void setUnavailableListener(std::function<void(const std::string& reason)> listener);
    // Waits until both channels have done what they were asked so far.
    void drain();

private:
    struct ChannelState;
    ChannelState& channel(speech::Channel which) const;
    void markUnavailable(const std::string& reason);
    void exportWav(std::wstring text, int voiceIndex, std::filesystem::path path, WavExportReport report);
    void joinFinishedExport();

    SapiParts m_parts;
    std::vector<std::string> m_voiceNames;
    std::unique_ptr<ChannelState> m_own, m_friend;

    mutable std::mutex m_lock;
    std::string m_unavailable;                                     // guarded by m_lock
    std::function<void(const std::string&)> m_unavailableListener; // guarded by m_lock

    std::thread m_export;
    std::atomic<bool> m_exportRunning{false};
    std::atomic<bool> m_exportCancel{false};
};

} // namespace quorvel::win
