#pragma once
// Recording stand-ins of SAPI's voice, voice token and file stream, named as such: they say nothing
// and write nothing, and keep a line for every call the speech layer makes, so that a test can check
// the sequence (voice chosen, rate, volume, cut-off, what is spoken, the WAV format).

#include "win/common/Com.h"
#include "win/common/Wide.h"

#include <mmreg.h>
#include <sapi.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace quorvel::win::test {

// What all stand-ins of one test did, by object ("voice0", "voice1", ...; "file").
class CallLog {
public:
    void add(const std::string& object, const std::string& call)
    {
        const std::lock_guard guard(m_lock);
        m_calls[object].push_back(call);
    }
    std::vector<std::string> of(const std::string& object) const
    {
        const std::lock_guard guard(m_lock);
        const auto it = m_calls.find(object);
        return it == m_calls.end() ? std::vector<std::string>{} : it->second;
    }
    void clear()
    {
        const std::lock_guard guard(m_lock);
        m_calls.clear();
    }

private:
    mutable std::mutex m_lock;
    std::map<std::string, std::vector<std::string>> m_calls;
};

template <typename Interface> class StandIn : public Interface {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_IUnknown || matches(iid)) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = --m_references;
        if (left == 0)
            delete this;
        return left;
    }
    virtual ~StandIn() = default;

protected:
    virtual bool matches(REFIID iid) const = 0;

private:
    std::atomic<ULONG> m_references{1};
};

#define QUORVEL_NOT_HERE(...)                                                                                        \
    HRESULT STDMETHODCALLTYPE __VA_ARGS__ override { return E_NOTIMPL; }

// A voice token that only has an id.
class StandInToken final : public StandIn<ISpObjectToken> {
public:
    explicit StandInToken(std::wstring id) : m_id(std::move(id)) {}
    HRESULT STDMETHODCALLTYPE GetId(LPWSTR* id) override
    {
        *id = static_cast<LPWSTR>(CoTaskMemAlloc((m_id.size() + 1) * sizeof(wchar_t)));
        lstrcpyW(*id, m_id.c_str());
        return S_OK;
    }
    QUORVEL_NOT_HERE(SetData(LPCWSTR, ULONG, const BYTE*))
    QUORVEL_NOT_HERE(GetData(LPCWSTR, ULONG*, BYTE*))
    QUORVEL_NOT_HERE(SetStringValue(LPCWSTR, LPCWSTR))
    QUORVEL_NOT_HERE(GetStringValue(LPCWSTR, LPWSTR*))
    QUORVEL_NOT_HERE(SetDWORD(LPCWSTR, DWORD))
    QUORVEL_NOT_HERE(GetDWORD(LPCWSTR, DWORD*))
    QUORVEL_NOT_HERE(OpenKey(LPCWSTR, ISpDataKey**))
    QUORVEL_NOT_HERE(CreateKey(LPCWSTR, ISpDataKey**))
    QUORVEL_NOT_HERE(DeleteKey(LPCWSTR))
    QUORVEL_NOT_HERE(DeleteValue(LPCWSTR))
    QUORVEL_NOT_HERE(EnumKeys(ULONG, LPWSTR*))
    QUORVEL_NOT_HERE(EnumValues(ULONG, LPWSTR*))
    QUORVEL_NOT_HERE(SetId(LPCWSTR, LPCWSTR, WINBOOL))
    QUORVEL_NOT_HERE(GetCategory(ISpObjectTokenCategory**))
    QUORVEL_NOT_HERE(CreateInstance(IUnknown*, DWORD, REFIID, void**))
    QUORVEL_NOT_HERE(GetStorageFileName(REFCLSID, LPCWSTR, LPCWSTR, ULONG, LPWSTR*))
    QUORVEL_NOT_HERE(RemoveStorageFileName(REFCLSID, LPCWSTR, WINBOOL))
    QUORVEL_NOT_HERE(Remove(const CLSID*))
    QUORVEL_NOT_HERE(IsUISupported(LPCWSTR, void*, ULONG, IUnknown*, WINBOOL*))
    QUORVEL_NOT_HERE(DisplayUI(HWND, LPCWSTR, LPCWSTR, void*, ULONG, IUnknown*))
    QUORVEL_NOT_HERE(MatchesAttributes(LPCWSTR, WINBOOL*))

protected:
    bool matches(REFIID iid) const override { return iid == IID_ISpObjectToken || iid == IID_ISpDataKey; }

private:
    std::wstring m_id;
};

inline std::string TokenId(ISpObjectToken* token)
{
    if (!token)
        return "null";
    wchar_t* id = nullptr;
    if (FAILED(token->GetId(&id)))
        return "?";
    const std::string text = Utf8(id);
    CoTaskMemFree(id);
    return text;
}

// A WAV file stream that keeps the format it was made with and writes nothing but an empty file.
class StandInWaveFile final : public StandIn<ISpStream> {
public:
    StandInWaveFile(CallLog& log, const WAVEFORMATEX& format) : m_log(log), m_format(format) {}
    HRESULT STDMETHODCALLTYPE Close() override
    {
        m_log.add("file", "Close");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetFormat(GUID*, WAVEFORMATEX** format) override
    {
        *format = static_cast<WAVEFORMATEX*>(CoTaskMemAlloc(sizeof(WAVEFORMATEX)));
        **format = m_format;
        return S_OK;
    }
    QUORVEL_NOT_HERE(SetBaseStream(IStream*, REFGUID, const WAVEFORMATEX*))
    QUORVEL_NOT_HERE(GetBaseStream(IStream**))
    QUORVEL_NOT_HERE(BindToFile(LPCWSTR, SPFILEMODE, const GUID*, const WAVEFORMATEX*, ULONGLONG))
    QUORVEL_NOT_HERE(Read(void*, ULONG, ULONG*))
    QUORVEL_NOT_HERE(Write(const void*, ULONG, ULONG*))
    QUORVEL_NOT_HERE(Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*))
    QUORVEL_NOT_HERE(SetSize(ULARGE_INTEGER))
    QUORVEL_NOT_HERE(CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*))
    QUORVEL_NOT_HERE(Commit(DWORD))
    QUORVEL_NOT_HERE(Revert())
    QUORVEL_NOT_HERE(LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD))
    QUORVEL_NOT_HERE(UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD))
    QUORVEL_NOT_HERE(Stat(STATSTG*, DWORD))
    QUORVEL_NOT_HERE(Clone(IStream**))

protected:
    bool matches(REFIID iid) const override
    {
        return iid == IID_ISpStream || iid == IID_ISpStreamFormat || iid == IID_IStream ||
               iid == IID_ISequentialStream;
    }

private:
    CallLog& m_log;
    WAVEFORMATEX m_format;
};

// How a recording voice answers: as working SAPI does, or as Wine's does.
struct VoiceAnswers {
    HRESULT speak = S_OK;
    HRESULT setVoice = S_OK;
};

// A recording stand-in of SAPI's ISpVoice.
class RecordingSpVoice final : public StandIn<ISpVoice> {
public:
    RecordingSpVoice(CallLog& log, std::string name, VoiceAnswers answers)
        : m_log(log), m_name(std::move(name)), m_answers(answers)
    {
    }
    HRESULT STDMETHODCALLTYPE SetOutput(IUnknown* output, WINBOOL allowFormatChanges) override
    {
        std::string line = "SetOutput ";
        ComPtr<ISpStreamFormat> stream;
        if (output)
            output->QueryInterface(IID_ISpStreamFormat, stream.putVoid());
        WAVEFORMATEX* format = nullptr;
        GUID id{};
        if (stream && SUCCEEDED(stream->GetFormat(&id, &format))) {
            line += "wav " + std::to_string(format->nSamplesPerSec) + " Hz " + std::to_string(format->wBitsPerSample) +
                    " bit " + std::to_string(format->nChannels) + " channel" +
                    (format->wFormatTag == WAVE_FORMAT_PCM ? " PCM" : " ?");
            CoTaskMemFree(format);
        } else {
            line += output ? "?" : "default";
        }
        m_log.add(m_name, line + (allowFormatChanges ? ", format may change" : ", format kept"));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetVoice(ISpObjectToken* token) override
    {
        m_log.add(m_name, "SetVoice " + TokenId(token));
        return m_answers.setVoice;
    }
    HRESULT STDMETHODCALLTYPE Speak(LPCWSTR text, DWORD flags, ULONG*) override
    {
        std::string line = "Speak ";
        line += text ? "\"" + Utf8(text) + "\"" : "null";
        const std::pair<DWORD, const char*> names[] = {{SPF_ASYNC, "async"},
                                                       {SPF_PURGEBEFORESPEAK, "purge"},
                                                       {SPF_IS_NOT_XML, "not-xml"},
                                                       {SPF_IS_XML, "xml"},
                                                       {SPF_IS_FILENAME, "file"}};
        for (const auto& [flag, name] : names)
            if (flags & flag)
                line += std::string(" ") + name;
        m_log.add(m_name, line);
        return m_answers.speak;
    }
    HRESULT STDMETHODCALLTYPE SetRate(LONG rate) override
    {
        m_log.add(m_name, "SetRate " + std::to_string(rate));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetVolume(USHORT volume) override
    {
        m_log.add(m_name, "SetVolume " + std::to_string(volume));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE WaitUntilDone(ULONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetStatus(SPVOICESTATUS* status, LPWSTR*) override
    {
        *status = SPVOICESTATUS{};
        return S_OK;
    }
    QUORVEL_NOT_HERE(SetNotifySink(ISpNotifySink*))
    QUORVEL_NOT_HERE(SetNotifyWindowMessage(HWND, UINT, WPARAM, LPARAM))
    QUORVEL_NOT_HERE(SetNotifyCallbackFunction(SPNOTIFYCALLBACK*, WPARAM, LPARAM))
    QUORVEL_NOT_HERE(SetNotifyCallbackInterface(ISpNotifyCallback*, WPARAM, LPARAM))
    QUORVEL_NOT_HERE(SetNotifyWin32Event())
    QUORVEL_NOT_HERE(WaitForNotifyEvent(DWORD))
    HANDLE STDMETHODCALLTYPE GetNotifyEventHandle() override { return nullptr; }
    QUORVEL_NOT_HERE(SetInterest(ULONGLONG, ULONGLONG))
    QUORVEL_NOT_HERE(GetEvents(ULONG, SPEVENT*, ULONG*))
    QUORVEL_NOT_HERE(GetInfo(SPEVENTSOURCEINFO*))
    QUORVEL_NOT_HERE(GetOutputObjectToken(ISpObjectToken**))
    QUORVEL_NOT_HERE(GetOutputStream(ISpStreamFormat**))
    QUORVEL_NOT_HERE(Pause())
    QUORVEL_NOT_HERE(Resume())
    QUORVEL_NOT_HERE(GetVoice(ISpObjectToken**))
    QUORVEL_NOT_HERE(SpeakStream(IStream*, DWORD, ULONG*))
    QUORVEL_NOT_HERE(Skip(LPCWSTR, LONG, ULONG*))
    QUORVEL_NOT_HERE(SetPriority(SPVPRIORITY))
    QUORVEL_NOT_HERE(GetPriority(SPVPRIORITY*))
    QUORVEL_NOT_HERE(SetAlertBoundary(SPEVENTENUM))
    QUORVEL_NOT_HERE(GetAlertBoundary(SPEVENTENUM*))
    QUORVEL_NOT_HERE(GetRate(LONG*))
    QUORVEL_NOT_HERE(GetVolume(USHORT*))
    QUORVEL_NOT_HERE(SetSyncSpeakTimeout(ULONG))
    QUORVEL_NOT_HERE(GetSyncSpeakTimeout(ULONG*))
    HANDLE STDMETHODCALLTYPE SpeakCompleteEvent() override { return nullptr; }
    QUORVEL_NOT_HERE(IsUISupported(LPCWSTR, void*, ULONG, WINBOOL*))
    QUORVEL_NOT_HERE(DisplayUI(HWND, LPCWSTR, LPCWSTR, void*, ULONG))

protected:
    bool matches(REFIID iid) const override
    {
        return iid == IID_ISpVoice || iid == IID_ISpEventSource || iid == IID_ISpNotifySource;
    }

private:
    CallLog& m_log;
    std::string m_name;
    VoiceAnswers m_answers;
};

#undef QUORVEL_NOT_HERE

} // namespace quorvel::win::test
