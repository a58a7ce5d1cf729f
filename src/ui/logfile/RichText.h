#pragma once
// The log's rich-text model and its two file forms: RTF (our own writer, a tolerant reader) and
// plain text (UTF-8 out; UTF-8 or GB18030 in). Pure C++, no Qt.

#include <cstdint>
#include <optional>
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

} // namespace quorvel::logfile
