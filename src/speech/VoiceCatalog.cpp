#include "speech/VoiceCatalog.h"

#include <algorithm>
#include <cctype>

namespace quorvel::speech {
namespace {

std::string Trimmed(std::string s)
{
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.pop_back();
    std::size_t b = 0;
    while (b < s.size() && std::isspace(static_cast<unsigned char>(s[b])))
        ++b;
    return s.substr(b);
}

std::string Lower(std::string s)
{
    for (auto& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Tail(const std::string& identifier)
{
    const auto slash = identifier.rfind('/');
    return slash == std::string::npos ? identifier : identifier.substr(slash + 1);
}

bool IsEnglish(const EngineVoice& v)
{
    return v.language == "en" || v.language.rfind("en-", 0) == 0;
}

constexpr const char* kDash = " \u2014 ";

} // namespace

std::string DisplayName(const EngineVoice& voice)
{
    if (!voice.mbrolaData.empty()) {
        std::string lang = voice.name;
        if (const auto mb = lang.find("-mb-"); mb != std::string::npos)
            lang.resize(mb);
        lang = Trimmed(lang);
        if (!lang.empty())
            lang[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(lang[0])));
        else
            lang = "MBROLA";
        return lang + " (MBROLA " + voice.mbrolaData + ")" + kDash + Tail(voice.identifier);
    }
    std::string name = Trimmed(voice.name);
    if (name.empty())
        name = Tail(voice.identifier);
    return voice.language.empty() ? name : name + kDash + voice.language;
}

std::vector<VoiceEntry> OrderVoices(const std::vector<EngineVoice>& voices,
                                    const std::function<bool(const std::string&)>& mbrolaInstalled)
{
    const EngineVoice* pinyin = nullptr;
    const EngineVoice* mandarin = nullptr;
    std::vector<const EngineVoice*> english;
    std::vector<const EngineVoice*> rest;
    for (const auto& v : voices) {
        if (!v.mbrolaData.empty() && !(mbrolaInstalled && mbrolaInstalled(v.mbrolaData)))
            continue;
        if (v.identifier == kMandarinPinyinVoice)
            pinyin = &v;
        else if (v.identifier == kMandarinVoice)
            mandarin = &v;
        else if (IsEnglish(v))
            english.push_back(&v);
        else
            rest.push_back(&v);
    }

    const auto byName = [](const EngineVoice* a, const EngineVoice* b) {
        const auto la = Lower(DisplayName(*a));
        const auto lb = Lower(DisplayName(*b));
        return la != lb ? la < lb : a->identifier < b->identifier;
    };
    std::stable_sort(english.begin(), english.end(), [&](const EngineVoice* a, const EngineVoice* b) {
        const bool pa = a->identifier == kPreferredEnglishVoice;
        const bool pb = b->identifier == kPreferredEnglishVoice;
        return pa != pb ? pa : byName(a, b);
    });
    std::stable_sort(rest.begin(), rest.end(), byName);

    std::vector<VoiceEntry> out;
    if (const EngineVoice* chinese = pinyin ? pinyin : mandarin) {
        out.push_back({std::string("Chinese (Mandarin)") + kDash + "cmn", chinese->identifier,
                       english.empty() ? std::string() : english.front()->identifier});
    }
    for (const auto* v : english)
        out.push_back({DisplayName(*v), v->identifier, {}});
    for (const auto* v : rest)
        out.push_back({DisplayName(*v), v->identifier, {}});
    return out;
}

} // namespace quorvel::speech
