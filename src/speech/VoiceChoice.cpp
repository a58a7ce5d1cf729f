#include "speech/VoiceChoice.h"

#include "speech/SystemVoices.h"

namespace quorvel::speech {

int ChooseStoredIndex(int count, int stored, const std::function<bool(int)>& hasText)
{
    if (count <= 0)
        return -1;
    if (stored >= 0 && stored < count && hasText(stored))
        return stored;
    return 0;
}

VoiceChoice ReadVoiceChoice(int engine, std::string_view systemVoice)
{
    VoiceChoice choice;
    choice.builtIn = engine;
    if (ParseSystemVoiceKey(systemVoice))
        choice.systemKey = std::string(systemVoice);
    return choice;
}

ShownVoice ResolveVoiceChoice(const VoiceChoice& choice, const std::vector<ListedEntry>& list)
{
    int builtIns = 0;
    while (builtIns < static_cast<int>(list.size()) && list[static_cast<std::size_t>(builtIns)].key.empty())
        ++builtIns;
    const auto hasText = [&](int i) { return list[static_cast<std::size_t>(i)].hasText; };
    if (choice.systemKey.empty())
        return {ChooseStoredIndex(builtIns, choice.builtIn, hasText), false};
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i].key == choice.systemKey)
            return {static_cast<int>(i), false};
    return {ChooseStoredIndex(builtIns, 0, hasText), true};
}

VoiceChoice ChoiceOfEntry(int index, const std::vector<ListedEntry>& list)
{
    VoiceChoice choice;
    choice.builtIn = index;
    if (index >= 0 && index < static_cast<int>(list.size()))
        choice.systemKey = list[static_cast<std::size_t>(index)].key;
    return choice;
}

SavedVoice SaveVoiceChoice(const VoiceChoice& choice, const ShownVoice& shown)
{
    SavedVoice saved;
    saved.systemVoice = choice.systemKey;
    if (!shown.missing && shown.index >= 0)
        saved.engine = shown.index;
    return saved;
}

} // namespace quorvel::speech
