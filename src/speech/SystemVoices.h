#pragma once
// The voices of a speech-dispatcher server as the lists offer them: which of a module's voices are
// listed, under which name, and how the settings name one. Pure; the client feeds it what the server
// reports.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorvel::speech {

// One voice of one output module.
struct SystemVoice {
    std::string module;   // "espeak-ng"
    std::string name;     // "English (America)", as spd_set_synthesis_voice takes it
    std::string language; // "en-US"
    bool operator==(const SystemVoice&) const = default;
};

// One line of a module's voice list as the server sends it.
struct ListedVoice {
    std::string name, language, variant;
};

// A module's voices in the server's order, leaving out the variants that only restate a voice of the
// list ("English (America)+Max" beside "English (America)"): espeak-ng lists each of its voices with
// every one of its hundred variants.
std::vector<SystemVoice> OfferedVoices(const std::string& module, const std::vector<ListedVoice>& listed);

// "espeak-ng: English (America) — en-US": the module first, so its voices stand together in the list.
std::string SystemVoiceDisplayName(const SystemVoice& voice);

// "espeak-ng/English (America)", what the settings keep; module names hold no "/", voice names may.
std::string SystemVoiceKey(const SystemVoice& voice);
// Module and voice of a key; nullopt when either part is missing.
std::optional<std::pair<std::string, std::string>> ParseSystemVoiceKey(std::string_view key);

} // namespace quorvel::speech
