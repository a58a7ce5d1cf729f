#pragma once
// Which entry of a voice list a profile selects, and what a save writes for it. The list holds the
// built-in voices first, then the voices of a speech server while one answers. A built-in voice is
// kept by its index ("Engine"); a system voice by its key as well ("SystemVoice"), because a run
// without the server shortens the list and an index alone would then name another voice. Pure.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::speech {

// What the user chose for one profile.
struct VoiceChoice {
    int builtIn = -1;      // the stored index, meant when systemKey is empty
    std::string systemKey; // empty: a built-in voice
    bool operator==(const VoiceChoice&) const = default;
};

// One entry of the list as the choice sees it.
struct ListedEntry {
    bool hasText = true;
    std::string key; // empty for the built-in voices
};

// The entry a profile selects for a stored index: the stored one when it names an entry with text,
// otherwise the first; -1 for an empty list.
int ChooseStoredIndex(int count, int stored, const std::function<bool(int)>& hasText);

// From the stored "Engine" and "SystemVoice": a value that names no module and voice is no choice.
VoiceChoice ReadVoiceChoice(int engine, std::string_view systemVoice);

struct ShownVoice {
    int index = -1;        // entry to select, -1 for an empty list
    bool missing = false;  // a system voice not in the list now: the built-in default stands in
};
// A built-in choice picks among the built-in entries by index (as files without system voices always
// did), a system choice finds its key.
ShownVoice ResolveVoiceChoice(const VoiceChoice& choice, const std::vector<ListedEntry>& list);

// The choice the user makes by selecting entry index.
VoiceChoice ChoiceOfEntry(int index, const std::vector<ListedEntry>& list);

struct SavedVoice {
    std::optional<int> engine; // nullopt: the file keeps its value
    std::string systemVoice;   // empty: no system voice
    bool operator==(const SavedVoice&) const = default;
};
// What a save writes for a choice shown as shown: a missing system voice keeps its key and leaves the
// stored index alone, so that the next run with the server selects it again.
SavedVoice SaveVoiceChoice(const VoiceChoice& choice, const ShownVoice& shown);

} // namespace quorvel::speech
