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
    if (names.isEmpty())
        return -1;
    if (stored >= 0 && stored < names.size() && !names.at(stored).isEmpty())
        return stored;
    return 0;
}

SpeechOptions::SpeechOptions(speech::Speech* speech, const VoiceControls& own, const VoiceControls& friends,
                             QObject* parent)
    : QObject(parent), m_speech(speech), m_own(own), m_friends(friends)
{
    setObjectName(QStringLiteral("SpeechOptions"));
    connect(m_own.voice, &QComboBox::currentIndexChanged, this, &SpeechOptions::CBVoiceChange);
    connect(m_friends.voice, &QComboBox::currentIndexChanged, this, &SpeechOptions::CBVoice1Change);
    connect(m_own.rate, &QSlider::valueChanged, this, &SpeechOptions::TRateChange);
    connect(m_friends.rate, &QSlider::valueChanged, this, &SpeechOptions::TRate1Change);
    connect(m_own.volume, &QSlider::valueChanged, this, &SpeechOptions::TVolumeChange);
    connect(m_friends.volume, &QSlider::valueChanged, this, &SpeechOptions::TVolume1Change);
    connect(m_own.defaults, &QPushButton::clicked, this, &SpeechOptions::BtnDefault1Click);
    connect(m_friends.defaults, &QPushButton::clicked, this, &SpeechOptions::BtnDefault2Click);
}

void SpeechOptions::restore(const settings::StoredSettings& stored)
{
    loadVoiceLists(stored.engine, stored.engine1);
    // The sliders clamp out-of-range values.
    m_own.rate->setValue(stored.rate);
    m_friends.rate->setValue(stored.rate1);
    m_own.volume->setValue(stored.volume);
    m_friends.volume->setValue(stored.volume1);
    TRateChange();
    TRate1Change();
    TVolumeChange();
    TVolume1Change();
}

void SpeechOptions::store(settings::SettingsToSave& values) const
{
    values.rate = m_own.rate->value();
    values.volume = m_own.volume->value();
    if (m_own.voice->currentIndex() >= 0)
        values.engine = m_own.voice->currentIndex();
    values.rate1 = m_friends.rate->value();
    values.volume1 = m_friends.volume->value();
    if (m_friends.voice->currentIndex() >= 0)
        values.engine1 = m_friends.voice->currentIndex();
}

int SpeechOptions::ownVoice() const
{
    return m_own.voice->currentIndex();
}

void SpeechOptions::loadVoiceLists(int engine, int engine1)
{
    const QStringList names = m_speech ? m_speech->voiceNames() : QStringList();
    {
        const QSignalBlocker own(m_own.voice), friends(m_friends.voice);
        m_own.voice->addItems(names);
        m_friends.voice->addItems(names);
        m_own.voice->setCurrentIndex(-1);
        m_friends.voice->setCurrentIndex(-1);
    }
    if (m_own.voice->count() > 0) {
        const QSignalBlocker block(m_own.voice);
        m_own.voice->setCurrentIndex(ChooseVoiceIndex(names, engine));
        CBVoiceChange();
    }
    if (m_friends.voice->count() > 0) {
        const QSignalBlocker block(m_friends.voice);
        m_friends.voice->setCurrentIndex(ChooseVoiceIndex(names, engine1));
        CBVoice1Change();
    }
}

void SpeechOptions::SpeakMyMessage(const QString& text)
{
    try {
        if (m_speech)
            m_speech->speak(speech::Channel::Own, text, m_own.voice->currentIndex(), m_own.rate->value(),
                            m_own.volume->value());
    } catch (...) {
    }
}

void SpeechOptions::SpeakFriendMessage(const QString& text)
{
    try {
        if (m_speech)
            m_speech->speak(speech::Channel::Friend, text, m_friends.voice->currentIndex(), m_friends.rate->value(),
                            m_friends.volume->value());
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
    m_own.rateLabel->setText(QString::number(m_own.rate->value()));
}

void SpeechOptions::TRate1Change()
{
    m_friends.rateLabel->setText(QString::number(m_friends.rate->value()));
}

void SpeechOptions::TVolumeChange()
{
    m_own.volumeLabel->setText(QString::number(m_own.volume->value()));
}

void SpeechOptions::TVolume1Change()
{
    m_friends.volumeLabel->setText(QString::number(m_friends.volume->value()));
}

void SpeechOptions::BtnDefault1Click()
{
    m_own.rate->setValue(0);
    m_own.volume->setValue(100);
}

void SpeechOptions::BtnDefault2Click()
{
    m_friends.rate->setValue(0);
    m_friends.volume->setValue(100);
}

} // namespace quorvel::app
