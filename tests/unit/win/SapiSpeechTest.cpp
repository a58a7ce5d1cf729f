// The SAPI speech layer's calls, checked against recording stand-ins of the voice, its tokens and the
// WAV file stream (speaking cannot be heard under Wine, whose SAPI answers E_NOTIMPL).

#include "win/speech/SapiSpeech.h"

#include "SapiStandIns.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace quorvel::win::test {
namespace {

using Calls = std::vector<std::string>;
using speech::Channel;

struct StandInSapi {
    CallLog log;
    VoiceAnswers answers;
    int voicesMade = 0;

    SapiParts parts()
    {
        SapiParts parts;
        parts.createVoice = [this](ISpVoice** voice) {
            *voice = new RecordingSpVoice(log, "voice" + std::to_string(voicesMade++), answers);
            return S_OK;
        };
        parts.listVoices = [] {
            std::vector<SapiVoice> voices;
            for (const wchar_t* name : {L"Anna", L"Bo"}) {
                ComPtr<ISpObjectToken> token;
                *token.put() = new StandInToken(std::wstring(L"Voices\\Tokens\\") + name);
                voices.push_back({Utf8(name), token});
            }
            return voices;
        };
        parts.createWaveFile = [this](const std::wstring& path, const WAVEFORMATEX& format, ISpStream** stream) {
            log.add("file", "create " + std::filesystem::path(path).extension().string());
            CloseHandle(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
            *stream = new StandInWaveFile(log, format);
            return S_OK;
        };
        return parts;
    }
};

struct CallRow {
    const char* name;
    std::function<void(SapiSpeech&)> act;
    Calls own, friends;
};

const char* const CutOff = "Speak null async purge";

TEST(SapiSpeech, CallSequence)
{
    const CallRow rows[] = {
        {"OwnMessage",
         [](SapiSpeech& s) { s.speak(Channel::Own, "你好 Ann", 1, 3, 50); },
         {CutOff, "SetVoice Voices\\Tokens\\Bo", "SetRate 3", "SetVolume 50", "Speak \"你好 Ann\" async not-xml"},
         {}},
        {"FriendMessage",
         [](SapiSpeech& s) { s.speak(Channel::Friend, "hi", 0, 0, 100); },
         {},
         {CutOff, "SetVoice Voices\\Tokens\\Anna", "SetRate 0", "SetVolume 100", "Speak \"hi\" async not-xml"}},
        {"RateAndVolumeKeptInRange",
         [](SapiSpeech& s) {
             s.speak(Channel::Friend, "x", 0, 25, -5);
             s.speak(Channel::Friend, "y", 0, -25, 300);
         },
         {},
         {CutOff, "SetVoice Voices\\Tokens\\Anna", "SetRate 10", "SetVolume 0", "Speak \"x\" async not-xml", CutOff,
          "SetVoice Voices\\Tokens\\Anna", "SetRate -10", "SetVolume 100", "Speak \"y\" async not-xml"}},
        {"MarkupIsSaidAsText",
         [](SapiSpeech& s) { s.speak(Channel::Own, "<volume level='0'>hi", 0, 0, 100); },
         {CutOff, "SetVoice Voices\\Tokens\\Anna", "SetRate 0", "SetVolume 100",
          "Speak \"<volume level='0'>hi\" async not-xml"},
         {}},
        // Without a voice the channel is still cut off, and nothing else is asked.
        {"NoVoiceSelected", [](SapiSpeech& s) { s.speak(Channel::Own, "x", -1, 0, 100); }, {CutOff}, {}},
        {"VoicePastTheEnd", [](SapiSpeech& s) { s.speak(Channel::Friend, "x", 2, 0, 100); }, {}, {CutOff}},
        {"StopOneChannel", [](SapiSpeech& s) { s.stop(Channel::Friend); }, {}, {CutOff}},
        {"StopAll", [](SapiSpeech& s) { s.stopAll(); }, {CutOff}, {CutOff}},
    };
    for (const CallRow& row : rows) {
        StandInSapi sapi;
        SapiSpeech speech(sapi.parts());
        EXPECT_EQ(speech.voiceNames(), (std::vector<std::string>{"Anna", "Bo"})) << row.name;
        EXPECT_EQ(speech.unavailableReason(), "") << row.name;
        sapi.log.clear();
        row.act(speech);
        speech.drain();
        EXPECT_EQ(sapi.log.of("voice0"), row.own) << row.name;
        EXPECT_EQ(sapi.log.of("voice1"), row.friends) << row.name;
    }
}

TEST(SapiSpeech, FailedStepEndsTheMessage)
{
    StandInSapi sapi;
    sapi.answers.setVoice = E_FAIL;
    SapiSpeech speech(sapi.parts());
    sapi.log.clear();
    speech.speak(Channel::Own, "x", 0, 0, 100);
    speech.drain();
    EXPECT_EQ(sapi.log.of("voice0"), (Calls{CutOff, "SetVoice Voices\\Tokens\\Anna"}));
}

// Wine's SAPI: the start-up probe finds out, and the program says so in the Linux edition's words.
TEST(SapiSpeech, VoiceThatCannotSpeak)
{
    StandInSapi sapi;
    sapi.answers.speak = E_NOTIMPL;
    SapiSpeech speech(sapi.parts());
    EXPECT_EQ(sapi.log.of("voice0"), (Calls{"Speak \"\" async not-xml"}));
    EXPECT_EQ(speech.unavailableReason(), "SAPI 5 的语音不能朗读，消息只显示，不朗读。");
}

struct ExportEnd {
    std::mutex lock;
    std::condition_variable signal;
    int reports = 0;
    bool ok = false, cancelled = false;
    std::string error;
    std::vector<int> progress;

    speech::SpeechEngine::WavExportReport report()
    {
        return {[this](int percent) {
                    const std::lock_guard guard(lock);
                    progress.push_back(percent);
                },
                [this](bool o, bool c, const std::string& e) {
                    const std::lock_guard guard(lock);
                    ++reports, ok = o, cancelled = c, error = e;
                    signal.notify_all();
                }};
    }
    void wait()
    {
        std::unique_lock hold(lock);
        signal.wait_for(hold, std::chrono::seconds(20), [this] { return reports > 0; });
    }
};

// A fresh voice (no rate, no volume) speaks into a 16 kHz 16-bit mono PCM file that keeps its format;
// the own channel is cut off first, and the file appears under its name only when complete.
TEST(SapiSpeech, WavExport)
{
    quorvel::test::TempDir dir;
    const auto path = dir.path() / "log.wav";
    StandInSapi sapi;
    SapiSpeech speech(sapi.parts());
    sapi.log.clear();
    EXPECT_FALSE(speech.startWavExport("x", 2, path, {})) << "no such voice";
    ExportEnd end;
    ASSERT_TRUE(speech.startWavExport("Ann 说 (09:05:07):\n你好", 1, path, end.report()));
    end.wait();
    speech.drain();
    EXPECT_EQ(end.reports, 1);
    EXPECT_TRUE(end.ok) << end.error;
    EXPECT_EQ(end.progress.back(), 100);
    EXPECT_EQ(sapi.log.of("voice0"), (Calls{CutOff}));
    EXPECT_EQ(sapi.log.of("voice2"),
              (Calls{"SetVoice Voices\\Tokens\\Bo", "SetOutput wav 16000 Hz 16 bit 1 channel PCM, format kept",
                     "Speak \"Ann 说 (09:05:07):\n你好\" async not-xml", "SetOutput default, format may change"}));
    EXPECT_EQ(sapi.log.of("file"), (Calls{"create .part", "Close"}));
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

} // namespace
} // namespace quorvel::win::test
