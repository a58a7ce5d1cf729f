#include "speech/SpeechFactory.h"

#include "speech/CombinedSpeech.h"
#include "speech/EspeakSpeech.h"
#include "speech/SpeechDispatcherSpeech.h"

namespace quorvel::speech {

std::unique_ptr<Speech> CreateSpeech(QObject* parent)
{
    auto system = std::make_unique<SpeechDispatcherSpeech>();
    SpeechDispatcherSpeech* server = system.get();
    auto combined = std::make_unique<CombinedSpeech>(std::make_unique<EspeakSpeech>(), std::move(system), parent);
    QObject::connect(server, &SpeechDispatcherSpeech::undelivered, combined.get(), &CombinedSpeech::speakWithDefault);
    return combined;
}

} // namespace quorvel::speech
