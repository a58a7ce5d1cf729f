#pragma once
// The two voice profiles on "选项": the voice lists, the rate and volume track bars with their labels,
// the default buttons, and speaking with the profile of either side.

#include "speech/SpeechEngine.h"

#include <windows.h>

#include <string>
#include <vector>

namespace quorvel::settings {
struct StoredSettings;
struct SettingsToSave;
} // namespace quorvel::settings

namespace quorvel::win {

struct VoiceControls {
    HWND voice = nullptr, rate = nullptr, rateLabel = nullptr, volume = nullptr, volumeLabel = nullptr;
};

class SpeechOptions {
public:
    // speech may be null: then nothing is spoken and the lists stay empty.
    SpeechOptions(speech::SpeechEngine* speech, const VoiceControls& own, const VoiceControls& friends);

    // Fills the lists, selects the stored voices, sets rates and volumes.
    void restore(const settings::StoredSettings& stored);
    void store(settings::SettingsToSave& values) const;
    int ownVoice() const;
    const std::vector<std::string>& voiceNames() const { return m_names; }

    void SpeakMyMessage(const std::string& text);
    void SpeakFriendMessage(const std::string& text);
    void StopSpeak1Click();

    void CBVoiceChange();
    void CBVoice1Change();
    void TRateChange();
    void TRate1Change();
    void TVolumeChange();
    void TVolume1Change();
    void BtnDefault1Click();
    void BtnDefault2Click();

private:
    void speak(speech::Channel channel, const VoiceControls& controls, const std::string& text);

    speech::SpeechEngine* m_speech;
    VoiceControls m_own, m_friends;
    std::vector<std::string> m_names;
};

// The track bars and combo boxes of the Windows edition, read and set by value.
int TrackValue(HWND bar);
void SetTrackValue(HWND bar, int value);
int Selected(HWND combo);
void SetNumberText(HWND label, int value);

} // namespace quorvel::win
