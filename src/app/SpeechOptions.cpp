#include "app/SpeechOptions.h"

#include "app/settings/SettingsStore.h"
#include "speech/Speech.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

namespace quorvel::app {

int ChooseVoiceIndex(const QStringList& names, int stored)
{
    return speech::ChooseStoredIndex(static_cast<int>(names.size()), stored,
                                     [&names](int i) { return !names.at(i).isEmpty(); });
}

SpeechOptions::SpeechOptions(speech::Speech* speech, const VoiceControls& own, const VoiceControls& friends,
                             QObject* parent)
    : QObject(parent), m_speech(speech)
{
    setObjectName(QStringLiteral("SpeechOptions"));
    m_own.controls = own;
    m_own.whose = QStringLiteral("我的消息");
    m_friends.controls = friends;
    m_friends.whose = QStringLiteral("好友的消息");
    connect(m_own.controls.voice, &QComboBox::currentIndexChanged, this, [this] {
        chosen(m_own);
        CBVoiceChange();
    });
    connect(m_friends.controls.voice, &QComboBox::currentIndexChanged, this, [this] {
        chosen(m_friends);
        CBVoice1Change();
    });
    connect(m_own.controls.rate, &QSlider::valueChanged, this, &SpeechOptions::TRateChange);
    connect(m_friends.controls.rate, &QSlider::valueChanged, this, &SpeechOptions::TRate1Change);
    connect(m_own.controls.volume, &QSlider::valueChanged, this, &SpeechOptions::TVolumeChange);
    connect(m_friends.controls.volume, &QSlider::valueChanged, this, &SpeechOptions::TVolume1Change);
    connect(m_own.controls.defaults, &QPushButton::clicked, this, &SpeechOptions::BtnDefault1Click);
    connect(m_friends.controls.defaults, &QPushButton::clicked, this, &SpeechOptions::BtnDefault2Click);
    if (m_speech)
        connect(m_speech, &speech::Speech::voicesChanged, this, [this] {
            m_voicesLookedUp = true;
            fillVoiceLists();
        });
}

void SpeechOptions::restore(const settings::StoredSettings& stored)
{
    m_own.choice = speech::ReadVoiceChoice(stored.engine, stored.systemVoice);
    m_friends.choice = speech::ReadVoiceChoice(stored.engine1, stored.systemVoice1);
    for (const Side* side : {&m_own, &m_friends})
        if (m_speech && !side->choice.systemKey.empty())
            m_speech->wantVoice(QString::fromStdString(side->choice.systemKey));
    fillVoiceLists();
    if (m_own.controls.voice->count() > 0)
        CBVoiceChange();
    if (m_friends.controls.voice->count() > 0)
        CBVoice1Change();
    // The sliders clamp out-of-range values.
    m_own.controls.rate->setValue(stored.rate);
    m_friends.controls.rate->setValue(stored.rate1);
    m_own.controls.volume->setValue(stored.volume);
    m_friends.controls.volume->setValue(stored.volume1);
    TRateChange();
    TRate1Change();
    TVolumeChange();
    TVolume1Change();
}

void SpeechOptions::store(settings::SettingsToSave& values) const
{
    const speech::SavedVoice own = speech::SaveVoiceChoice(m_own.choice, m_own.shown);
    const speech::SavedVoice friends = speech::SaveVoiceChoice(m_friends.choice, m_friends.shown);
    values.rate = m_own.controls.rate->value();
    values.volume = m_own.controls.volume->value();
    values.engine = own.engine;
    values.systemVoice = own.systemVoice;
    values.rate1 = m_friends.controls.rate->value();
    values.volume1 = m_friends.controls.volume->value();
    values.engine1 = friends.engine;
    values.systemVoice1 = friends.systemVoice;
}

int SpeechOptions::ownVoice() const
{
    return m_own.controls.voice->currentIndex();
}

QStringList SpeechOptions::builtInVoiceNames() const
{
    QStringList names;
    for (std::size_t i = 0; i < m_entries.size() && m_entries[i].key.empty(); ++i)
        names << m_own.controls.voice->itemText(static_cast<int>(i));
    return names;
}

// Both lists are filled anew, in the speech layer's order; each side then selects what its choice
// resolves to. The change handlers do not run: only the user's selection changes a choice.
void SpeechOptions::fillVoiceLists()
{
    const QStringList names = m_speech ? m_speech->voiceNames() : QStringList();
    m_entries.clear();
    for (int i = 0; i < names.size(); ++i)
        m_entries.push_back({!names.at(i).isEmpty(), m_speech->voiceKey(i).toStdString()});
    for (Side* side : {&m_own, &m_friends}) {
        QComboBox* box = side->controls.voice;
        const QSignalBlocker block(box);
        box->clear();
        box->addItems(names);
        side->shown = speech::ResolveVoiceChoice(side->choice, m_entries);
        box->setCurrentIndex(side->shown.index);
        tellMissing(*side);
    }
}

void SpeechOptions::chosen(Side& side)
{
    side.choice = speech::ChoiceOfEntry(side.controls.voice->currentIndex(), m_entries);
    side.shown = speech::ResolveVoiceChoice(side.choice, m_entries);
    side.missingTold = false;
    if (m_speech && !side.choice.systemKey.empty())
        m_speech->wantVoice(QString::fromStdString(side.choice.systemKey));
}

// Once when a profile's system voice goes missing (not before the speech layer has looked for it),
// once when it is back.
void SpeechOptions::tellMissing(Side& side)
{
    const QString voice = QString::fromStdString(side.choice.systemKey);
    if (side.shown.missing && m_voicesLookedUp && !side.missingTold) {
        side.missingTold = true;
        const bool serverAnswers = !m_entries.empty() && !m_entries.back().key.empty();
        emit notice(QStringLiteral("找不到系统语音 %1（%2），%3暂用内置语音朗读")
                        .arg(voice,
                             serverAnswers ? QStringLiteral("speech-dispatcher 没有这个语音")
                                           : QStringLiteral("speech-dispatcher 没有运行？"),
                             side.whose));
    } else if (!side.shown.missing && side.missingTold) {
        side.missingTold = false;
        emit notice(QStringLiteral("系统语音 %1 已恢复，%2又用它朗读").arg(voice, side.whose));
    }
}

void SpeechOptions::SpeakMyMessage(const QString& text)
{
    try {
        if (m_speech)
            m_speech->speak(speech::Channel::Own, text, m_own.controls.voice->currentIndex(),
                            m_own.controls.rate->value(), m_own.controls.volume->value());
    } catch (...) {
    }
}

void SpeechOptions::SpeakFriendMessage(const QString& text)
{
    try {
        if (m_speech)
            m_speech->speak(speech::Channel::Friend, text, m_friends.controls.voice->currentIndex(),
                            m_friends.controls.rate->value(), m_friends.controls.volume->value());
    } catch (...) {
    }
}

void SpeechOptions::StopSpeak1Click()
{
    try {
        if (m_speech)
            m_speech->stopAll();
    } catch (...) {
    }
}

// The speech layer takes voice, rate and volume with every request, so a new selection has nothing
// to push; the handlers stay as the lists' change points.
void SpeechOptions::CBVoiceChange() {}

void SpeechOptions::CBVoice1Change() {}

void SpeechOptions::TRateChange()
{
    m_own.controls.rateLabel->setText(QString::number(m_own.controls.rate->value()));
}

void SpeechOptions::TRate1Change()
{
    m_friends.controls.rateLabel->setText(QString::number(m_friends.controls.rate->value()));
}

void SpeechOptions::TVolumeChange()
{
    m_own.controls.volumeLabel->setText(QString::number(m_own.controls.volume->value()));
}

void SpeechOptions::TVolume1Change()
{
    m_friends.controls.volumeLabel->setText(QString::number(m_friends.controls.volume->value()));
}

void SpeechOptions::BtnDefault1Click()
{
    m_own.controls.rate->setValue(0);
    m_own.controls.volume->setValue(100);
}

void SpeechOptions::BtnDefault2Click()
{
    m_friends.controls.rate->setValue(0);
    m_friends.controls.volume->setValue(100);
}

} // namespace quorvel::app
