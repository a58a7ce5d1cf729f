#include "win/speech/SapiSpeech.h"

#include "win/common/Wide.h"
#include "win/speech/StaThread.h"

#include <algorithm>
#include <utility>

namespace quorvel::win {

namespace {

// SAPI's file format identifier for a WAVEFORMATEX, {C31ADBAE-527F-4FF5-A230-F62BB61FF70C}.
const GUID WaveFormatExFormatId = {0xC31ADBAE, 0x527F, 0x4FF5, {0xA2, 0x30, 0xF6, 0x2B, 0xB6, 0x1F, 0xF7, 0x0C}};

// Chat text is said as written, never read as speech markup.
constexpr DWORD SpeakFlags = SPF_ASYNC | SPF_IS_NOT_XML;
constexpr DWORD CutOffFlags = SPF_ASYNC | SPF_PURGEBEFORESPEAK;

const char* const NoEngineText = "无法启动 SAPI 5 的语音引擎，消息只显示，不朗读。";
const char* const NoVoiceText = "找不到 SAPI 5 的语音，消息只显示，不朗读。";
const char* const CannotSpeakText = "SAPI 5 的语音不能朗读，消息只显示，不朗读。";
const char* const EngineFailedText = "The speech engine could not speak the text.";

std::string CannotCreateText(const std::filesystem::path& path, HRESULT result)
{
    return "Cannot create file \"" + Utf8(path.wstring()) + "\". " + SystemMessage(static_cast<DWORD>(result));
}

} // namespace

WAVEFORMATEX ExportFormat()
{
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 1;
    format.nSamplesPerSec = 16000;
    format.wBitsPerSample = 16;
    format.nBlockAlign = 2;
    format.nAvgBytesPerSec = 32000;
    return format;
}

SapiParts RealSapi()
{
    SapiParts parts;
    parts.createVoice = [](ISpVoice** voice) {
        return CoCreateInstance(CLSID_SpVoice, nullptr, CLSCTX_ALL, IID_ISpVoice, reinterpret_cast<void**>(voice));
    };
    parts.listVoices = &ListSapiVoices;
    parts.createWaveFile = [](const std::wstring& path, const WAVEFORMATEX& format, ISpStream** stream) {
        ComPtr<ISpStream> file;
        HRESULT result = CoCreateInstance(CLSID_SpStream, nullptr, CLSCTX_ALL, IID_ISpStream, file.putVoid());
        if (SUCCEEDED(result))
            result = file->BindToFile(path.c_str(), SPFM_CREATE_ALWAYS, &WaveFormatExFormatId, &format, 0);
        if (SUCCEEDED(result)) {
            *stream = file.get();
            (*stream)->AddRef();
        }
        return result;
    };
    return parts;
}

// One channel: its thread, and the voice and tokens that live in that thread's apartment.
struct SapiSpeech::ChannelState {
    StaThread thread;
    ComPtr<ISpVoice> voice;       // thread only
    std::vector<SapiVoice> voices; // thread only
};

SapiSpeech::SapiSpeech(SapiParts parts)
    : m_parts(std::move(parts)), m_own(std::make_unique<ChannelState>()), m_friend(std::make_unique<ChannelState>())
{
    for (ChannelState* state : {m_own.get(), m_friend.get()}) {
        state->thread.call([this, state] {
            if (FAILED(m_parts.createVoice(state->voice.put())))
                state->voice.reset();
            state->voices = m_parts.listVoices();
        });
    }
    // Known before the first message: whether anything can be said at all. Saying nothing is harmless
    // where SAPI works, and answers E_NOTIMPL where it only pretends to (Wine).
    m_own->thread.call([this] {
        ChannelState& own = *m_own;
        for (const SapiVoice& voice : own.voices)
            m_voiceNames.push_back(voice.name);
        std::string reason;
        if (!own.voice)
            reason = NoEngineText;
        else if (own.voices.empty())
            reason = NoVoiceText;
        else if (own.voice->Speak(L"", SpeakFlags, nullptr) == E_NOTIMPL)
            reason = CannotSpeakText;
        const std::lock_guard guard(m_lock);
        m_unavailable = reason;
    });
}

SapiSpeech::~SapiSpeech()
{
    cancelWavExport();
    if (m_export.joinable())
        m_export.join();
    for (ChannelState* state : {m_own.get(), m_friend.get()}) {
        state->thread.call([state] {
            if (state->voice)
                state->voice->Speak(nullptr, CutOffFlags, nullptr);
            state->voices.clear();
            state->voice.reset();
        });
    }
}

SapiSpeech::ChannelState& SapiSpeech::channel(speech::Channel which) const
{
    return which == speech::Channel::Own ? *m_own : *m_friend;
}

std::vector<std::string> SapiSpeech::voiceNames() const
{
    return m_voiceNames;
}

std::string SapiSpeech::unavailableReason() const
{
    const std::lock_guard guard(m_lock);
    return m_unavailable;
}

void SapiSpeech::setUnavailableListener(std::function<void(const std::string& reason)> listener)
{
    const std::lock_guard guard(m_lock);
    m_unavailableListener = std::move(listener);
}

void SapiSpeech::markUnavailable(const std::string& reason)
{
    std::function<void(const std::string&)> listener;
    {
        const std::lock_guard guard(m_lock);
        if (!m_unavailable.empty())
            return;
        m_unavailable = reason;
        listener = m_unavailableListener;
    }
    if (listener)
        listener(reason);
}

void SapiSpeech::speak(speech::Channel which, std::string_view text, int voiceIndex, int rate, int volume)
{
    ChannelState& state = channel(which);
    state.thread.post([this, &state, text = Wide(text), voiceIndex, rate, volume] {
        ISpVoice* voice = state.voice.get();
        if (!voice)
            return;
        // Each step only when the one before succeeded; nothing is reported.
        voice->Speak(nullptr, CutOffFlags, nullptr);
        if (voiceIndex < 0 || voiceIndex >= static_cast<int>(state.voices.size()))
            return;
        if (FAILED(voice->SetVoice(state.voices[static_cast<std::size_t>(voiceIndex)].token.get())) ||
            FAILED(voice->SetRate(std::clamp(rate, -10, 10))) ||
            FAILED(voice->SetVolume(static_cast<USHORT>(std::clamp(volume, 0, 100)))))
            return;
        if (voice->Speak(text.c_str(), SpeakFlags, nullptr) == E_NOTIMPL)
            markUnavailable(CannotSpeakText);
    });
}

void SapiSpeech::stop(speech::Channel which)
{
    ChannelState& state = channel(which);
    state.thread.post([&state] {
        if (state.voice)
            state.voice->Speak(nullptr, CutOffFlags, nullptr);
    });
}

void SapiSpeech::stopAll()
{
    stop(speech::Channel::Own);
    stop(speech::Channel::Friend);
}

void SapiSpeech::drain()
{
    m_own->thread.call([] {});
    m_friend->thread.call([] {});
}

void SapiSpeech::joinFinishedExport()
{
    if (!m_exportRunning && m_export.joinable())
        m_export.join();
}

bool SapiSpeech::startWavExport(std::string_view text, int voiceIndex, const std::filesystem::path& path,
                                WavExportReport report)
{
    joinFinishedExport();
    if (m_exportRunning || voiceIndex < 0 || voiceIndex >= static_cast<int>(m_voiceNames.size()))
        return false;
    stop(speech::Channel::Own);
    m_exportCancel = false;
    m_exportRunning = true;
    m_export = std::thread(&SapiSpeech::exportWav, this, Wide(text), voiceIndex, path, std::move(report));
    return true;
}

void SapiSpeech::cancelWavExport()
{
    m_exportCancel = true;
}

// On a thread of its own: a fresh voice (its own rate and volume), speaking into a file stream.
void SapiSpeech::exportWav(std::wstring text, int voiceIndex, std::filesystem::path path, WavExportReport report)
{
    const ComApartment apartment(COINIT_APARTMENTTHREADED);
    const auto finish = [&](bool ok, bool cancelled, const std::string& errorText) {
        m_exportRunning = false;
        if (report.finished)
            report.finished(ok, cancelled, errorText);
    };
    const std::vector<SapiVoice> voices = m_parts.listVoices();
    ComPtr<ISpVoice> voice;
    if (voiceIndex >= static_cast<int>(voices.size()) || FAILED(m_parts.createVoice(voice.put())) ||
        FAILED(voice->SetVoice(voices[static_cast<std::size_t>(voiceIndex)].token.get())))
        return finish(false, false, EngineFailedText);

    // Written under a name of its own and renamed when complete: a cancelled or failed export leaves
    // no file, and an existing one stays until the new one is whole.
    const std::filesystem::path temp =
        path.wstring() + L"." + std::to_wstring(GetCurrentProcessId()) + L".part";
    ComPtr<ISpStream> stream;
    const HRESULT opened = m_parts.createWaveFile(temp.wstring(), ExportFormat(), stream.put());
    if (FAILED(opened) || !stream) {
        DeleteFileW(temp.c_str());
        return finish(false, false, opened == E_NOTIMPL ? EngineFailedText : CannotCreateText(path, opened));
    }
    const auto abandon = [&] {
        voice->SetOutput(nullptr, TRUE);
        stream->Close();
        DeleteFileW(temp.c_str());
    };
    if (FAILED(voice->SetOutput(stream.get(), FALSE)) || FAILED(voice->Speak(text.c_str(), SpeakFlags, nullptr))) {
        abandon();
        return finish(false, false, EngineFailedText);
    }
    int shown = -1;
    for (;;) {
        const HRESULT waited = voice->WaitUntilDone(100);
        if (waited == S_OK)
            break;
        if (FAILED(waited)) {
            abandon();
            return finish(false, false, EngineFailedText);
        }
        if (m_exportCancel) {
            voice->Speak(nullptr, CutOffFlags, nullptr);
            abandon();
            return finish(false, true, {});
        }
        SPVOICESTATUS status{};
        if (SUCCEEDED(voice->GetStatus(&status, nullptr)) && !text.empty()) {
            const int percent = static_cast<int>(std::min<std::size_t>(99, status.ulInputWordPos * 100 / text.size()));
            if (percent > shown && report.progress)
                report.progress(shown = percent);
        }
    }
    voice->SetOutput(nullptr, TRUE);
    const HRESULT closed = stream->Close();
    if (FAILED(closed) || !MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const HRESULT failure = FAILED(closed) ? closed : HRESULT_FROM_WIN32(GetLastError());
        DeleteFileW(temp.c_str());
        return finish(false, false, CannotCreateText(path, failure));
    }
    if (report.progress)
        report.progress(100);
    finish(true, false, {});
}

} // namespace quorvel::win
