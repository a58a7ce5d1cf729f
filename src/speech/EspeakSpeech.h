#pragma once
// The speech layer of the program: espeak-ng synthesis on the engine's worker, streamed chunk by
// chunk into one QAudioSink per channel on this object's thread, so both channels play at once and
// cutting one off leaves the other playing.

#include "speech/Speech.h"

#include <QAudioFormat>
#include <QByteArray>
#include <QElapsedTimer>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

class QAudioSink;
class QIODevice;

namespace quorvel::speech {

class EspeakSpeech final : public Speech {
    Q_OBJECT
public:
    explicit EspeakSpeech(QObject* parent = nullptr);
    ~EspeakSpeech() override;

    QStringList voiceNames() const override;
    QString unavailableReason() const override;
    void speak(Channel channel, const QString& text, int voiceIndex, int rate, int volume) override;
    void stop(Channel channel) override;
    void stopAll() override;
    bool startWavExport(const QString& text, int voiceIndex, const QString& path) override;
    void cancelWavExport() override;

    // Measuring hook: called when the first samples of a message are handed to the sink, with the
    // milliseconds since speak().
    std::function<void(Channel, qint64 elapsedMs)> onFirstSamples;

private:
    struct Voice {
        std::shared_ptr<std::atomic<std::uint64_t>> generation = std::make_shared<std::atomic<std::uint64_t>>(0);
        std::unique_ptr<QAudioSink> sink;
        QIODevice* io = nullptr;
        QByteArray pending;
        bool synthesisDone = true;
        bool firstWritten = false;
        QElapsedTimer sinceSpeak;
        QTimer feeder;
    };

    Voice& voice(Channel c) { return c == Channel::Own ? m_own : m_friend; }
    void cutOff(Voice& v);
    bool openSink(Voice& v);
    void receive(Channel c, std::uint64_t generation, QByteArray samples);
    void synthesisEnded(Channel c, std::uint64_t generation);
    void feed(Channel c);
    void releaseIfDrained(Voice& v);

    QAudioFormat m_format;
    Voice m_own;
    Voice m_friend;
    std::shared_ptr<std::atomic<bool>> m_exportCancel;
    bool m_exportRunning = false;
};

} // namespace quorvel::speech
