#include "speech/EspeakSpeech.h"

#include "speech/EspeakEngine.h"
#include "speech/RateMapping.h"
#include "speech/SoundServerProbe.h"
#include "speech/WavRender.h"

#include <QAudioSink>
#include <QElapsedTimer>
#include <QFile>
#include <QIODevice>
#include <QMetaObject>
#include <QPointer>

namespace quorvel::speech {

namespace {
// A short device buffer keeps the first sound close to speak(); the timer tops it up.
constexpr int kBufferMs = 200;
constexpr int kFeedIntervalMs = 10;
// Qt's sound backend (process-wide) has connected to a server once; it is not probed any more.
bool g_soundBackendUp = false;

// Without a server every message would probe again; a burst of chat spent more on that than on
// decoding. A refusal holds for 100 ms, far less than a server takes to start.
bool SoundServerWorthTrying()
{
    static QElapsedTimer sinceRefused;
    if (g_soundBackendUp)
        return true;
    if (sinceRefused.isValid() && sinceRefused.elapsed() < 100)
        return false;
    if (SoundServerMayBeReachable()) {
        sinceRefused.invalidate();
        return true;
    }
    sinceRefused.start();
    return false;
}
} // namespace

EspeakSpeech::EspeakSpeech(QObject* parent) : Speech(parent)
{
    auto& engine = EspeakEngine::Instance();
    m_format.setSampleRate(engine.available() ? engine.sampleRate() : 22050);
    m_format.setChannelCount(1);
    m_format.setSampleFormat(QAudioFormat::Int16);
    for (Channel c : {Channel::Own, Channel::Friend}) {
        Voice& v = voice(c);
        v.feeder.setInterval(kFeedIntervalMs);
        connect(&v.feeder, &QTimer::timeout, this, [this, c] { feed(c); });
    }
}

EspeakSpeech::~EspeakSpeech()
{
    // Nothing the worker still does for us may post back after this object is gone.
    ++*m_own.generation;
    ++*m_friend.generation;
    if (m_exportCancel)
        m_exportCancel->store(true);
    EspeakEngine::Instance().waitIdle();
    cutOff(m_own);
    cutOff(m_friend);
}

QStringList EspeakSpeech::voiceNames() const
{
    QStringList names;
    for (const auto& v : EspeakEngine::Instance().voices())
        names << QString::fromStdString(v.displayName);
    return names;
}

QString EspeakSpeech::unavailableReason() const
{
    const auto& engine = EspeakEngine::Instance();
    if (engine.available() && !engine.voices().empty())
        return {};
    return QStringLiteral("找不到 espeak-ng 的语音数据，消息只显示，不朗读。");
}

void EspeakSpeech::cutOff(Voice& v)
{
    v.feeder.stop();
    v.pending.clear();
    v.synthesisDone = true;
    if (v.sink) {
        v.sink->disconnect(this);
        v.sink->stop();
        v.sink.reset();
    }
    v.io = nullptr;
}

bool EspeakSpeech::openSink(Voice& v)
{
    if (!SoundServerWorthTrying())
        return false;
    // A fresh sink per message: one that failed, or that was made before the sound server came up,
    // never recovers, and a new one connects to the server as it is now.
    v.sink = std::make_unique<QAudioSink>(m_format);
    v.sink->setBufferSize(m_format.bytesForDuration(kBufferMs * 1000));
    v.io = v.sink->start();
    if (!v.io || v.sink->error() != QAudio::NoError) {
        v.sink.reset();
        v.io = nullptr;
        return false;
    }
    g_soundBackendUp = true;
    QAudioSink* sink = v.sink.get();
    connect(sink, &QAudioSink::stateChanged, this, [this, sink](QAudio::State state) {
        for (Voice* pv : {&m_own, &m_friend}) {
            if (pv->sink.get() != sink)
                continue;
            if (state == QAudio::StoppedState && sink->error() != QAudio::NoError) {
                // Lost the server: drop this message; the next one opens a new sink.
                QMetaObject::invokeMethod(
                    this,
                    [this, pv, sink] {
                        if (pv->sink.get() == sink)
                            cutOff(*pv);
                    },
                    Qt::QueuedConnection);
            } else if (state == QAudio::IdleState) {
                releaseIfDrained(*pv);
            }
        }
    });
    return true;
}

void EspeakSpeech::speak(Channel channel, const QString& text, int voiceIndex, int rate, int volume)
{
    Voice& v = voice(channel);
    const std::uint64_t generation = ++*v.generation;
    cutOff(v);

    auto& engine = EspeakEngine::Instance();
    if (voiceIndex < 0 || voiceIndex >= static_cast<int>(engine.voices().size()) || text.isEmpty())
        return;
    if (!openSink(v))
        return; // no sound server: the message is not heard, the next one tries again
    v.synthesisDone = false;
    v.firstWritten = false;
    v.sinceSpeak.start();

    const VoiceEntry entry = engine.voices()[static_cast<std::size_t>(voiceIndex)];
    const SpokenRate spoken = MapRate(rate);
    auto counter = v.generation;
    QPointer<EspeakSpeech> self(this);
    engine.post([self, counter, generation, channel, entry, spoken, volume, text = text.toStdString()] {
        const auto current = [&] { return counter->load() == generation; };
        if (!current())
            return;
        auto& e = EspeakEngine::Instance();
        e.synthesizeEntry(
            entry, spoken.wordsPerMinute, text,
            [&](std::span<std::int16_t> samples, int) {
                if (!current())
                    return false; // cut off: stop synthesising at this chunk
                ApplyVolume(samples, volume);
                QByteArray bytes(reinterpret_cast<const char*>(samples.data()),
                                 static_cast<qsizetype>(samples.size_bytes()));
                QMetaObject::invokeMethod(
                    self.data(),
                    [self, channel, generation, bytes = std::move(bytes)]() mutable {
                        if (self)
                            self->receive(channel, generation, std::move(bytes));
                    },
                    Qt::QueuedConnection);
                return true;
            },
            spoken.speed);
        if (current())
            QMetaObject::invokeMethod(
                self.data(),
                [self, channel, generation] {
                    if (self)
                        self->synthesisEnded(channel, generation);
                },
                Qt::QueuedConnection);
    });
}

void EspeakSpeech::receive(Channel c, std::uint64_t generation, QByteArray samples)
{
    Voice& v = voice(c);
    if (generation != v.generation->load() || !v.sink)
        return; // a late chunk of a message that was cut off
    v.pending.append(samples);
    feed(c);
}

void EspeakSpeech::synthesisEnded(Channel c, std::uint64_t generation)
{
    Voice& v = voice(c);
    if (generation != v.generation->load())
        return;
    v.synthesisDone = true;
    releaseIfDrained(v);
}

void EspeakSpeech::feed(Channel c)
{
    Voice& v = voice(c);
    if (!v.io || !v.sink)
        return;
    while (!v.pending.isEmpty()) {
        const qint64 free = v.sink->bytesFree();
        if (free <= 0)
            break;
        const qint64 n = v.io->write(v.pending.constData(), std::min<qint64>(free, v.pending.size()));
        if (n <= 0)
            break;
        if (!v.firstWritten) {
            v.firstWritten = true;
            if (onFirstSamples)
                onFirstSamples(c, v.sinceSpeak.elapsed());
        }
        v.pending.remove(0, n);
    }
    if (v.pending.isEmpty())
        v.feeder.stop();
    else if (!v.feeder.isActive())
        v.feeder.start();
}

void EspeakSpeech::releaseIfDrained(Voice& v)
{
    // The stream is closed once the message has played out, so an idle program holds none open.
    if (v.sink && v.synthesisDone && v.pending.isEmpty() && v.sink->state() == QAudio::IdleState) {
        QAudioSink* sink = v.sink.get();
        QMetaObject::invokeMethod(
            this,
            [this, pv = &v, sink] {
                if (pv->sink.get() == sink && pv->synthesisDone && pv->pending.isEmpty() &&
                    sink->state() == QAudio::IdleState)
                    cutOff(*pv);
            },
            Qt::QueuedConnection);
    }
}

void EspeakSpeech::stop(Channel channel)
{
    Voice& v = voice(channel);
    ++*v.generation;
    cutOff(v);
}

void EspeakSpeech::stopAll()
{
    stop(Channel::Own);
    stop(Channel::Friend);
}

bool EspeakSpeech::startWavExport(const QString& text, int voiceIndex, const QString& path)
{
    auto& engine = EspeakEngine::Instance();
    if (m_exportRunning || voiceIndex < 0 || voiceIndex >= static_cast<int>(engine.voices().size()) || path.isEmpty())
        return false;
    stop(Channel::Own);
    m_exportRunning = true;
    m_exportCancel = std::make_shared<std::atomic<bool>>(false);

    QPointer<EspeakSpeech> self(this);
    RenderControl control;
    control.cancel = m_exportCancel;
    control.progress = [self](int percent) {
        QMetaObject::invokeMethod(
            self.data(),
            [self, percent] {
                if (self && self->m_exportRunning)
                    emit self->wavExportProgress(percent);
            },
            Qt::QueuedConnection);
    };
    // A selection taken from a text edit separates its paragraphs with U+2029; the renderer
    // works line by line.
    QString lines = text;
    lines.replace(QChar(0x2029), QLatin1Char('\n')).replace(QChar(0x2028), QLatin1Char('\n'));
    // A fresh voice's settings: rate 0, volume 100.
    StartRenderToWav({RenderItem{voiceIndex, lines.toStdString(), 0, 100}}, QFile::encodeName(path).toStdString(),
                     std::move(control), [self](const RenderOutcome& outcome) {
                         QMetaObject::invokeMethod(
                             self.data(),
                             [self, outcome] {
                                 if (!self)
                                     return;
                                 self->m_exportRunning = false;
                                 self->m_exportCancel.reset();
                                 emit self->wavExportFinished(outcome.ok, outcome.cancelled,
                                                              QString::fromStdString(outcome.errorText));
                             },
                             Qt::QueuedConnection);
                     });
    return true;
}

void EspeakSpeech::cancelWavExport()
{
    if (m_exportCancel)
        m_exportCancel->store(true);
}

} // namespace quorvel::speech
