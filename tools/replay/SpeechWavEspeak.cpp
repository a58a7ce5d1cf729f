#include "SpeechWav.h"

#include "speech/EspeakEngine.h"
#include "speech/WavRender.h"

namespace quorvel::replay {

std::optional<std::string> WriteSpeechWav(const std::vector<capture::SpeechRequest>& speeches,
                                          const settings::ContactBook& contacts, const std::string& path)
{
    // Both directions' default voice is the first of the list; a fresh voice's rate and volume.
    // A contact's own voice follows the friend profile's rule: an engine that names no voice is
    // the first.
    const auto voiceCount = static_cast<int>(speech::EspeakEngine::Instance().voices().size());
    std::vector<speech::RenderItem> items;
    for (const auto& speech : speeches) {
        const auto* contact = speech.contact.empty() ? nullptr : contacts.find(speech.contact);
        if (!contact) {
            items.push_back({0, speech.text, 0, 100});
            continue;
        }
        const int voice = contact->engine >= 0 && contact->engine < voiceCount ? contact->engine : 0;
        items.push_back({voice, speech.text, contact->rate, contact->volume});
    }
    const auto outcome = speech::RenderToWav(items, path);
    if (!outcome.ok)
        return outcome.errorText;
    return std::nullopt;
}

} // namespace quorvel::replay
