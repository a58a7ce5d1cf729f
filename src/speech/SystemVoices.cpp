#include "speech/SystemVoices.h"

#include <unordered_set>

namespace quorvel::speech {

std::vector<SystemVoice> OfferedVoices(const std::string& module, const std::vector<ListedVoice>& listed)
{
    std::unordered_set<std::string> names;
    for (const auto& v : listed)
        names.insert(v.name);
    std::vector<SystemVoice> out;
    for (const auto& v : listed) {
        if (v.name.empty())
            continue;
        const auto plus = v.name.rfind('+');
        if (plus != std::string::npos && plus > 0 && names.count(v.name.substr(0, plus)))
            continue;
        out.push_back({module, v.name, v.language});
    }
    return out;
}

std::string SystemVoiceDisplayName(const SystemVoice& voice)
{
    std::string text = voice.module + ": " + voice.name;
    if (!voice.language.empty() && voice.language != "none")
        text += " \u2014 " + voice.language;
    return text;
}

std::string SystemVoiceKey(const SystemVoice& voice)
{
    return voice.module + "/" + voice.name;
}

std::optional<std::pair<std::string, std::string>> ParseSystemVoiceKey(std::string_view key)
{
    const auto slash = key.find('/');
    if (slash == std::string_view::npos || slash == 0 || slash + 1 == key.size())
        return std::nullopt;
    return std::pair{std::string(key.substr(0, slash)), std::string(key.substr(slash + 1))};
}

} // namespace quorvel::speech
