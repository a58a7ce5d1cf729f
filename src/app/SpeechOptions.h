#pragma once
// The two voice profiles on the options page: voice lists, rate and volume track bars with their
// labels, the default buttons, and speaking with the profile of either side.

#include <QObject>
#include <QString>
#include <QStringList>

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
    void loadVoiceLists(int engine, int engine1);

    speech::Speech* m_speech;
    VoiceControls m_own;
    VoiceControls m_friends;
};

} // namespace quorvel::app
