#include "speech/CombinedSpeech.h"

namespace quorvel::speech {

CombinedSpeech::CombinedSpeech(std::unique_ptr<Speech> builtIn, std::unique_ptr<Speech> system, QObject* parent)
    : Speech(parent), m_builtIn(std::move(builtIn)), m_system(std::move(system)),
      m_builtInCount(static_cast<int>(m_builtIn->voiceNames().size()))
{
    connect(m_builtIn.get(), &Speech::wavExportProgress, this, &Speech::wavExportProgress);
    connect(m_builtIn.get(), &Speech::wavExportFinished, this, &Speech::wavExportFinished);
    connect(m_builtIn.get(), &Speech::voicesChanged, this, &Speech::voicesChanged);
    // Counted here, before anyone hears of the change: speak() asks for every message.
    connect(m_system.get(), &Speech::voicesChanged, this,
            [this] { m_systemCount = static_cast<int>(m_system->voiceNames().size()); });
    connect(m_system.get(), &Speech::voicesChanged, this, &Speech::voicesChanged);
}

CombinedSpeech::~CombinedSpeech() = default;

QStringList CombinedSpeech::voiceNames() const
{
    return m_builtIn->voiceNames() + m_system->voiceNames();
}

QString CombinedSpeech::unavailableReason() const
{
    return m_builtIn->unavailableReason();
}

QString CombinedSpeech::voiceKey(int voiceIndex) const
{
    return voiceIndex < m_builtInCount ? QString() : m_system->voiceKey(voiceIndex - m_builtInCount);
}

void CombinedSpeech::wantVoice(const QString& key)
{
    m_system->wantVoice(key);
}

bool CombinedSpeech::isSystemVoice(int voiceIndex) const
{
    return voiceIndex >= m_builtInCount && voiceIndex - m_builtInCount < m_systemCount;
}

void CombinedSpeech::speak(Channel channel, const QString& text, int voiceIndex, int rate, int volume)
{
    if (isSystemVoice(voiceIndex)) {
        m_builtIn->stop(channel);
        m_system->speak(channel, text, voiceIndex - m_builtInCount, rate, volume);
    } else {
        m_system->stop(channel);
        m_builtIn->speak(channel, text, voiceIndex, rate, volume);
    }
}

void CombinedSpeech::speakWithDefault(Channel channel, const QString& text, int rate, int volume)
{
    m_builtIn->speak(channel, text, 0, rate, volume);
}

void CombinedSpeech::stop(Channel channel)
{
    m_builtIn->stop(channel);
    m_system->stop(channel);
}

void CombinedSpeech::stopAll()
{
    m_builtIn->stopAll();
    m_system->stopAll();
}

bool CombinedSpeech::startWavExport(const QString& text, int voiceIndex, const QString& path)
{
    if (!m_builtIn->startWavExport(text, isSystemVoice(voiceIndex) ? 0 : voiceIndex, path))
        return false;
    m_system->stop(Channel::Own);
    return true;
}

void CombinedSpeech::cancelWavExport()
{
    m_builtIn->cancelWavExport();
}

} // namespace quorvel::speech
