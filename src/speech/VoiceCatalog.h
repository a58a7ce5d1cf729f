#pragma once
// The voice list the user chooses from: which espeak-ng voices are offered, under which names,
// in which order. Pure; the engine feeds it what espeak-ng and the file system report.

#include <functional>
#include <string>
#include <vector>

namespace quorvel::speech {

// One voice as espeak-ng describes it.
struct EngineVoice {
    std::string name;       // "English (America)", or "english-mb-en1" for an MBROLA voice
    std::string identifier; // "gmw/en-US", "mb/mb-en1"
    std::string language;   // its first language, "en-us"
    std::string mbrolaData; // MBROLA database the voice needs ("en1"); empty for espeak-ng's own
};

// One entry of the list offered to the user.
struct VoiceEntry {
    std::string displayName;
    std::string identifier;      // voice the text is spoken with
    std::string latinIdentifier; // when set: Latin runs inside the text are spoken with this voice
    bool operator==(const VoiceEntry&) const = default;
};

inline constexpr const char* kMandarinPinyinVoice = "sit/cmn-Latn-pinyin";
inline constexpr const char* kMandarinVoice = "sit/cmn";
inline constexpr const char* kPreferredEnglishVoice = "gmw/en-US";

// "English (America) — en-us"; MBROLA voices: "English (MBROLA en1) — mb-en1".
std::string DisplayName(const EngineVoice& voice);

// Mandarin first (one entry: the pinyin voice, which speaks Chinese right in espeak-ng 1.51, with
// Latin runs in the English voice; the other Mandarin voice reads tone numbers aloud and is left
// out), then English (American first), then the rest by display name. MBROLA voices whose
// database is not installed are left out, as they cannot speak.
std::vector<VoiceEntry> OrderVoices(const std::vector<EngineVoice>& voices,
                                    const std::function<bool(const std::string& mbrolaData)>& mbrolaInstalled);

} // namespace quorvel::speech
