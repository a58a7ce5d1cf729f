#pragma once
// Two speech layers behind one: the built-in voices first, then the voices of a speech server.
// Each message goes to the layer of its voice, and the other layer's channel is cut off, so a
// channel says one message at a time whichever voice it uses. WAV files come from the built-in layer.

#include "speech/Speech.h"

#include <memory>

namespace quorvel::speech {

class CombinedSpeech final : public Speech {
    Q_OBJECT
public:
    CombinedSpeech(std::unique_ptr<Speech> builtIn, std::unique_ptr<Speech> system, QObject* parent = nullptr);
    ~CombinedSpeech() override;

    Speech* builtIn() const { return m_builtIn.get(); }

    QStringList voiceNames() const override;
    QString unavailableReason() const override;
    QString voiceKey(int voiceIndex) const override;
    void wantVoice(const QString& key) override;
    void speak(Channel channel, const QString& text, int voiceIndex, int rate, int volume) override;
    void stop(Channel channel) override;
    void stopAll() override;
    // A voice of the server renders as the first built-in voice.
    bool startWavExport(const QString& text, int voiceIndex, const QString& path) override;
    void cancelWavExport() override;

public slots:
    // A message the server did not take: the channel's built-in default says it instead.
    void speakWithDefault(quorvel::speech::Channel channel, const QString& text, int rate, int volume);

private:
    bool isSystemVoice(int voiceIndex) const;

    std::unique_ptr<Speech> m_builtIn;
    std::unique_ptr<Speech> m_system;
    int m_builtInCount = 0; // the built-in voices are the same for the whole run
    int m_systemCount = 0;
};

} // namespace quorvel::speech
