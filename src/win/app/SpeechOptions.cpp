#include "win/app/SpeechOptions.h"

#include "app/settings/SettingsStore.h"
#include "speech/VoiceChoice.h"
#include "win/common/Wide.h"
#include "win/app/WindowText.h"

#include <commctrl.h>

namespace quorvel::win {

int TrackValue(HWND bar)
{
    return static_cast<int>(SendMessageW(bar, TBM_GETPOS, 0, 0));
}

void SetTrackValue(HWND bar, int value)
{
    // The bar clamps values outside its range, as the stored ones may be.
    SendMessageW(bar, TBM_SETPOS, TRUE, value);
}

int Selected(HWND combo)
{
    return static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0));
}

void SetNumberText(HWND label, int value)
{
    SetWindowTextW(label, std::to_wstring(value).c_str());
}

SpeechOptions::SpeechOptions(speech::SpeechEngine* speech, const VoiceControls& own, const VoiceControls& friends)
    : m_speech(speech), m_own(own), m_friends(friends)
{
}

void SpeechOptions::restore(const settings::StoredSettings& stored)
{
    m_names = m_speech ? m_speech->voiceNames() : std::vector<std::string>{};
    for (HWND box : {m_own.voice, m_friends.voice}) {
        SendMessageW(box, CB_RESETCONTENT, 0, 0);
        for (const std::string& name : m_names)
            SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(name).c_str()));
    }
    const auto choose = [this](int index) {
        return speech::ChooseStoredIndex(static_cast<int>(m_names.size()), index,
                                         [this](int i) { return !m_names[static_cast<std::size_t>(i)].empty(); });
    };
    SendMessageW(m_own.voice, CB_SETCURSEL, static_cast<WPARAM>(choose(stored.engine)), 0);
    SendMessageW(m_friends.voice, CB_SETCURSEL, static_cast<WPARAM>(choose(stored.engine1)), 0);
    if (!m_names.empty()) {
        CBVoiceChange();
        CBVoice1Change();
    }
    SetTrackValue(m_own.rate, stored.rate);
    SetTrackValue(m_friends.rate, stored.rate1);
    SetTrackValue(m_own.volume, stored.volume);
    SetTrackValue(m_friends.volume, stored.volume1);
    TRateChange();
    TRate1Change();
    TVolumeChange();
    TVolume1Change();
}

void SpeechOptions::store(settings::SettingsToSave& values) const
{
    values.rate = TrackValue(m_own.rate);
    values.volume = TrackValue(m_own.volume);
    values.rate1 = TrackValue(m_friends.rate);
    values.volume1 = TrackValue(m_friends.volume);
    // Without a selection the file keeps its engine.
    if (const int own = Selected(m_own.voice); own >= 0)
        values.engine = own;
    if (const int friends = Selected(m_friends.voice); friends >= 0)
        values.engine1 = friends;
}

int SpeechOptions::ownVoice() const
{
    return Selected(m_own.voice);
}

void SpeechOptions::speak(speech::Channel channel, const VoiceControls& controls, const std::string& text)
{
    if (m_speech)
        m_speech->speak(channel, text, Selected(controls.voice), TrackValue(controls.rate), TrackValue(controls.volume));
}

void SpeechOptions::SpeakMyMessage(const std::string& text)
{
    speak(speech::Channel::Own, m_own, text);
}

void SpeechOptions::SpeakFriendMessage(const std::string& text)
{
    speak(speech::Channel::Friend, m_friends, text);
}

void SpeechOptions::StopSpeak1Click()
{
    if (m_speech)
        m_speech->stopAll();
}

// The speech layer takes voice, rate and volume with every request, so a new selection has nothing to
// push; the handlers stay as the lists' change points.
void SpeechOptions::CBVoiceChange() {}

void SpeechOptions::CBVoice1Change() {}

void SpeechOptions::TRateChange()
{
    SetNumberText(m_own.rateLabel, TrackValue(m_own.rate));
}

void SpeechOptions::TRate1Change()
{
    SetNumberText(m_friends.rateLabel, TrackValue(m_friends.rate));
}

void SpeechOptions::TVolumeChange()
{
    SetNumberText(m_own.volumeLabel, TrackValue(m_own.volume));
}

void SpeechOptions::TVolume1Change()
{
    SetNumberText(m_friends.volumeLabel, TrackValue(m_friends.volume));
}

void SpeechOptions::BtnDefault1Click()
{
    SetTrackValue(m_own.rate, 0);
    SetTrackValue(m_own.volume, 100);
    TRateChange();
    TVolumeChange();
}

void SpeechOptions::BtnDefault2Click()
{
    SetTrackValue(m_friends.rate, 0);
    SetTrackValue(m_friends.volume, 100);
    TRate1Change();
    TVolume1Change();
}

} // namespace quorvel::win
