#include "speech/SpeechDispatcherSpeech.h"

#include "speech/RateMapping.h"
#include "speech/SpeechDispatcherClient.h"

#include <QMetaObject>

namespace quorvel::speech {

namespace {
int Index(Channel channel)
{
    return channel == Channel::Own ? 0 : 1;
}
} // namespace

SpeechDispatcherSpeech::SpeechDispatcherSpeech(QObject* parent) : Speech(parent)
{
    // The client's threads end in the destructor before this object does, so `this` outlives every call.
    SpeechDispatcherClient::Callbacks callbacks;
    callbacks.voicesFound = [this](std::optional<std::vector<SystemVoice>> voices) {
        QMetaObject::invokeMethod(
            this, [this, voices = std::move(voices)]() mutable { setVoices(std::move(voices)); }, Qt::QueuedConnection);
    };
    callbacks.undelivered = [this](int channel, std::uint64_t id) {
        QMetaObject::invokeMethod(this, [this, channel, id] { returned(channel, id); }, Qt::QueuedConnection);
    };
    m_client = std::make_unique<SpeechDispatcherClient>(std::move(callbacks));
}

SpeechDispatcherSpeech::~SpeechDispatcherSpeech() = default;

QStringList SpeechDispatcherSpeech::voiceNames() const
{
    QStringList names;
    for (const auto& v : m_voices)
        names << QString::fromStdString(SystemVoiceDisplayName(v));
    return names;
}

QString SpeechDispatcherSpeech::voiceKey(int voiceIndex) const
{
    if (voiceIndex < 0 || voiceIndex >= static_cast<int>(m_voices.size()))
        return {};
    return QString::fromStdString(SystemVoiceKey(m_voices[static_cast<std::size_t>(voiceIndex)]));
}

void SpeechDispatcherSpeech::wantVoice(const QString& key)
{
    if (ParseSystemVoiceKey(key.toStdString()))
        m_client->want();
}

void SpeechDispatcherSpeech::setVoices(std::optional<std::vector<SystemVoice>> voices)
{
    m_voices = std::move(voices).value_or(std::vector<SystemVoice>{});
    emit voicesChanged();
}

void SpeechDispatcherSpeech::speak(Channel channel, const QString& text, int voiceIndex, int rate, int volume)
{
    Sent& sent = m_sent[static_cast<std::size_t>(Index(channel))];
    sent = {++m_lastId, text, rate, volume, true};
    if (voiceIndex < 0 || voiceIndex >= static_cast<int>(m_voices.size())) {
        m_client->cancel(Index(channel));
        return;
    }
    const SystemVoice& voice = m_voices[static_cast<std::size_t>(voiceIndex)];
    m_client->speak(Index(channel),
                    {sent.id, voice.module, voice.name, text.toStdString(), SystemRate(rate), SystemVolume(volume)});
}

void SpeechDispatcherSpeech::returned(int channel, std::uint64_t id)
{
    const Sent& sent = m_sent[static_cast<std::size_t>(channel)];
    if (sent.id == id) // not cut off or followed by another message meanwhile
        emit undelivered(channel == 0 ? Channel::Own : Channel::Friend, sent.text, sent.rate, sent.volume);
}

void SpeechDispatcherSpeech::stop(Channel channel)
{
    Sent& sent = m_sent[static_cast<std::size_t>(Index(channel))];
    sent.id = ++m_lastId;
    // A channel that speaks with the built-in voices cuts this one off with every message: only a
    // channel that gave the server something has anything to cancel.
    if (sent.mayBeSpeaking) {
        sent.mayBeSpeaking = false;
        m_client->cancel(Index(channel));
    }
}

void SpeechDispatcherSpeech::stopAll()
{
    stop(Channel::Own);
    stop(Channel::Friend);
}

} // namespace quorvel::speech
