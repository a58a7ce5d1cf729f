// The model's plain text and our RTF writer.

#include "ui/logfile/RichText.h"

#include "text/Utf8.h"

#include <algorithm>
#include <optional>

namespace quorvel::logfile {
namespace {

// Plain ASCII font table: every character beyond ASCII goes out as \uN, so no code page matters.
constexpr std::string_view RtfHeader = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1"
                                       "{\\fonttbl{\\f0\\fswiss\\fcharset0 Tahoma;}}";

void AppendColorTable(const std::vector<Color>& colors, std::string& out)
{
    out += "{\\colortbl;";
    for (const Color& c : colors) {
        out += "\\red" + std::to_string(c.red) + "\\green" + std::to_string(c.green) + "\\blue" +
               std::to_string(c.blue) + ";";
    }
    out += "}\n";
}

void AppendUnicodeEscape(std::uint16_t unit, std::string& out)
{
    // RTF takes the parameter as a signed 16-bit number.
    out += "\\u" + std::to_string(static_cast<std::int16_t>(unit)) + "?";
}

void AppendRunText(std::string_view text, std::string& out)
{
    std::size_t pos = 0;
    while (pos < text.size()) {
        const char32_t c = text::NextCodePoint(text, pos);
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '{':
            out += "\\{";
            break;
        case '}':
            out += "\\}";
            break;
        case '\n':
            out += "\\par\n";
            break;
        case '\t':
            out += "\\tab ";
            break;
        default:
            if (c < 0x20) {
                // Other control characters have no RTF form; the reader drops them as well.
            } else if (c < 0x80) {
                out.push_back(static_cast<char>(c));
            } else if (c < 0x10000) {
                AppendUnicodeEscape(static_cast<std::uint16_t>(c), out);
            } else {
                AppendUnicodeEscape(text::HighSurrogateOf(c), out);
                AppendUnicodeEscape(text::LowSurrogateOf(c), out);
            }
        }
    }
}

} // namespace

std::string RichText::plainText() const
{
    std::string text;
    for (const TextRun& run : runs)
        text += run.text;
    return text;
}

std::string WriteRtf(const RichText& text)
{
    std::vector<Color> colors;
    for (const TextRun& run : text.runs) {
        if (std::find(colors.begin(), colors.end(), run.color) == colors.end())
            colors.push_back(run.color);
    }

    std::string out(RtfHeader);
    AppendColorTable(colors, out);
    out += "\\viewkind4\\pard\\plain\\f0\\fs20 ";

    std::optional<Color> color;
    bool bold = false, italic = false, underline = false;
    for (const TextRun& run : text.runs) {
        if (run.text.empty())
            continue;
        std::string words;
        if (!color || *color != run.color) {
            const auto index = std::find(colors.begin(), colors.end(), run.color) - colors.begin();
            words += "\\cf" + std::to_string(index + 1);
            color = run.color;
        }
        if (bold != run.bold)
            words += run.bold ? "\\b" : "\\b0";
        if (italic != run.italic)
            words += run.italic ? "\\i" : "\\i0";
        if (underline != run.underline)
            words += run.underline ? "\\ul" : "\\ulnone";
        bold = run.bold, italic = run.italic, underline = run.underline;
        if (!words.empty())
            out += words + " ";
        AppendRunText(run.text, out);
    }
    out += "}\n";
    return out;
}

void BreakLongLines(RichText& text, std::size_t maxChars)
{
    std::size_t column = 0;
    for (TextRun& run : text.runs) {
        std::string broken;
        std::size_t copied = 0;
        bool changed = false;
        for (std::size_t i = 0; i < run.text.size(); ++i) {
            const char c = run.text[i];
            if (c == '\n') {
                column = 0;
                continue;
            }
            if ((static_cast<unsigned char>(c) & 0xC0) == 0x80)
                continue; // inside a character
            if (column == maxChars) {
                broken.append(run.text, copied, i - copied);
                broken += '\n';
                copied = i;
                column = 0;
                changed = true;
            }
            ++column;
        }
        if (changed) {
            broken.append(run.text, copied);
            run.text = std::move(broken);
        }
    }
}

} // namespace quorvel::logfile
