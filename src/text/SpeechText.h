#pragma once
// What speech makes of a message body beyond the emoticon rules: web addresses said by their
// host, and long messages cut short. Pure functions on UTF-8 text; the log keeps the original.

#include <cstddef>
#include <string>
#include <string_view>

namespace quorvel::text {

// Said after a message that was cut.
inline constexpr std::string_view OmittedMark = "……(以下省略)";

// Each http://, https://, ftp:// or www. address becomes "链接" and its host name (lower case,
// without user, password or port); punctuation right after an address stays outside it.
std::string SpeakLinks(std::string_view text);

// The first maxCharacters code points and OmittedMark, or the text unchanged when it is no longer
// than that or maxCharacters is 0. A bracketed emoticon word is never split: the cut moves before it.
std::string CutForSpeech(std::string_view text, std::size_t maxCharacters);

} // namespace quorvel::text
