#pragma once
// The log's rich-text model and its two file forms: RTF (our own writer, a tolerant reader) and
// plain text (UTF-8 out; UTF-8 or GB18030 in). Pure C++, no Qt.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::logfile {

struct Color {
    std::uint8_t red = 0, green = 0, blue = 0;
    friend bool operator==(const Color&, const Color&) = default;
};

struct TextRun {
    std::string text; // UTF-8; '\n' separates paragraphs/lines, '\t' a tab
    Color color;
    bool bold = false, italic = false, underline = false;
    friend bool operator==(const TextRun&, const TextRun&) = default;
};

struct RichText {
    std::vector<TextRun> runs; // adjacent runs of equal format may be merged by the reader
    std::string plainText() const;
};

std::string WriteRtf(const RichText& text);
// Nothing when the bytes are not an RTF document (do not start with "{\rtf").
std::optional<RichText> ReadRtf(std::string_view bytes);

// Breaks every line longer than maxChars characters into lines of maxChars: a text view needs time
// that grows with the square of a line's length to lay it out, so a file of one endless line would
// hang the window.
void BreakLongLines(RichText& text, std::size_t maxChars);

std::string EncodePlainText(std::string_view utf8);  // UTF-8, '\n' written as CR LF
std::string DecodePlainText(std::string_view bytes); // UTF-8 when valid, else GB18030; CR LF -> '\n'

// The log files as both editions open and save them; each edition reads and writes the bytes.
class LogFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Far beyond any chat message; a line this long lays out in a few milliseconds.
inline constexpr std::size_t MaxLogLineChars = 4096;

// The file decides how it is read, whatever the last save was: RTF when it begins with "{\rtf" (after
// a byte-order mark and white space), else plain text; "Failed to Load Stream" when it is neither.
// Lines longer than MaxLogLineChars come broken up.
RichText DecodeLogFile(std::string_view bytes);
// Plain text: UTF-8 with CR LF line ends; otherwise RTF.
std::string EncodeLogFile(const RichText& text, bool plainText);
// Only the name's extension counts, in any case: ".rtf" is RTF, any other or none plain text.
bool SavesAsPlainText(std::string_view fileName);

// The errors of a file that cannot be read or written, with the system's reason.
std::string CannotOpenFileText(std::string_view path, std::string_view reason);
std::string CannotCreateFileText(std::string_view path, std::string_view reason);

} // namespace quorvel::logfile
