#pragma once
// Splits mixed Chinese/Latin text into runs, so that the Mandarin voice speaks the Chinese parts
// and an English voice the Latin words inside them (espeak-ng's Mandarin voices read Latin letters
// as pinyin).

#include <string>
#include <string_view>
#include <vector>

namespace quorvel::speech {

enum class Script { Han, Latin };

struct TextRun {
    Script script;
    std::string text; // UTF-8, a slice of the input
    bool operator==(const TextRun&) const = default;
};

// Han: CJK ideographs, kana, hangul, CJK and full-width punctuation. Latin: letters of the Latin,
// Greek and Cyrillic scripts. Digits join the word they are glued to (before, else after), else the
// preceding run; spaces, ASCII punctuation, emoji and other symbols join the preceding run (the first
// run when the text starts with them). Text without any letter is one Han run. Empty text: no runs.
// The runs concatenated give the input back byte for byte.
std::vector<TextRun> SplitScriptRuns(std::string_view utf8);

} // namespace quorvel::speech
