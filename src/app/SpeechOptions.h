#pragma once
// The two voice profiles on the options page: voice lists, rate and volume track bars with their
// labels, the default buttons, and speaking with the profile of either side. The lists follow the
// speech layer's voices as a speech server comes and goes; a profile set to a system voice keeps that
// choice while the voice is missing and speaks with the first built-in voice meanwhile.

#include "speech/VoiceChoice.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <vector>

class QComboBox;
class QLabel;
class QPushButton;
class QSlider;

namespace quorvel::speech {
class Speech;
}

namespace quorvel::settings {
struct StoredSettings;
struct SettingsToSave;
} // namespace quorvel::settings

namespace quorvel::app {

// Index the engine list selects for a stored index: the stored one when it names an entry with
// text, otherwise the first; -1 for an empty list.
int ChooseVoiceIndex(const QStringList& names, int stored);

// The controls of one side's profile, built by the window's layout.
struct VoiceControls {
    QComboBox* voice = nullptr;
    QSlider* rate = nullptr;
    QLabel* rateLabel = nullptr;
    QSlider* volume = nullptr;
    QLabel* volumeLabel = nullptr;
    QPushButton* defaults = nullptr;
};

class SpeechOptions : public QObject {
    Q_OBJECT
public:
    // speech may be null: then nothing is spoken and the lists stay empty.
    SpeechOptions(speech::Speech* speech, const VoiceControls& own, const VoiceControls& friends, QObject* parent);

    // Fills the lists and sets the stored selections, rates and volumes.
    void restore(const settings::StoredSettings& stored);
    void store(settings::SettingsToSave& values) const;
    int ownVoice() const;
    // The voices that are there for the whole run, without a speech server's.
    QStringList builtInVoiceNames() const;

signals:
    // For the status bar: a profile's system voice went missing or came back.
    void notice(const QString& text);

public slots:
    void SpeakMyMessage(const QString& text);
    void SpeakFriendMessage(const QString& text);
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
    struct Side {
        VoiceControls controls;
        QString whose; // "我的消息" / "好友的消息", for the notices
        speech::VoiceChoice choice;
        speech::ShownVoice shown;
        bool missingTold = false;
    };
    void fillVoiceLists();
    void chosen(Side& side);
    void tellMissing(Side& side);

    speech::Speech* m_speech;
    Side m_own;
    Side m_friends;
    std::vector<speech::ListedEntry> m_entries; // the lists' entries as the choices see them
    bool m_voicesLookedUp = false;              // the speech layer has reported once
};

} // namespace quorvel::app
