#pragma once
// Speech through the desktop's speech-dispatcher: the voices of its output modules, one connection
// per channel. What the server cannot be given is handed back (undelivered) to be spoken otherwise.
// It cannot write files, so it has no WAV export.

#include "speech/Speech.h"
#include "speech/SystemVoices.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace quorvel::speech {

class SpeechDispatcherClient;

class SpeechDispatcherSpeech final : public Speech {
    Q_OBJECT
public:
    explicit SpeechDispatcherSpeech(QObject* parent = nullptr);
    ~SpeechDispatcherSpeech() override;

    // Empty until the server answered; empty again while it is away.
    QStringList voiceNames() const override;
    QString voiceKey(int voiceIndex) const override;
    void wantVoice(const QString& key) override;
    // rate and volume on the profile's scales (-10..10, 0..100).
    void speak(Channel channel, const QString& text, int voiceIndex, int rate, int volume) override;
    void stop(Channel channel) override;
    void stopAll() override;
    bool startWavExport(const QString&, int, const QString&) override { return false; }
    void cancelWavExport() override {}

signals:
    // The newest message of the channel could not be given to the server.
    void undelivered(quorvel::speech::Channel channel, const QString& text, int rate, int volume);

private:
    struct Sent {
        std::uint64_t id = 0;
        QString text;
        int rate = 0, volume = 100;
        bool mayBeSpeaking = false;
    };
    void setVoices(std::optional<std::vector<SystemVoice>> voices);
    void returned(int channel, std::uint64_t id);

    std::vector<SystemVoice> m_voices;
    std::array<Sent, 2> m_sent;
    std::uint64_t m_lastId = 0;
    std::unique_ptr<SpeechDispatcherClient> m_client; // last: its threads end before the rest goes
};

} // namespace quorvel::speech
