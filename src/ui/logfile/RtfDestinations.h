#pragma once
// The document layer of a tolerant RTF reader: group state, destinations (font and colour tables,
// skipped ones), code pages of text bytes, and the rich-text model (text, colours, bold, italic,
// underline); everything else is passed over. It never recurses: groups live on an explicit stack,
// capped at RtfMaxGroupDepth like the tokenizer's; the text of deeper groups is still read.

#include "ui/logfile/CodePage.h"
#include "ui/logfile/RichText.h"
#include "ui/logfile/RtfTokenizer.h"

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace quorvel::logfile {

// Fed the tokens of one document, the first of which opens its outermost group.
class RtfDestinations {
public:
    // True once the document's outermost group has closed.
    bool take(const RtfToken& token);
    RichText finish();

private:
    enum class Destination : std::uint8_t { Text, Skip, FontTable, ColorTable };
    // Which script the associated properties (\ab, \ai) apply to: only double-byte text is shown
    // with them (LibreOffice writes bold Chinese as \dbch\ab).
    enum class Association : std::uint8_t { None, RightToLeft, DoubleByte };

    struct State {
        Destination destination = Destination::Text;
        Association association = Association::None;
        bool bold = false, italic = false, underline = false, hidden = false;
        std::int8_t doubleByteBold = -1, doubleByteItalic = -1; // -1: follow \b and \i
        int font = -1;                                          // -1: the document's default font
        int colorIndex = 0;
    };

    struct FontInfo {
        int charset = -1;
        int codePage = 0; // from \cpgN, which wins over the charset
    };

    State& state() { return m_stack.back(); }
    void openGroup();
    bool closeGroup();
    void symbol(char c);
    void handleWord(std::string_view word, bool hasParameter, int parameter, bool ignorable);
    int codePageNow();
    void textByte(unsigned char byte);
    void endColorEntry(bool always);
    void flushBytes();
    void resolveSurrogate();
    void emitUnicode(char32_t code);
    void emitCharacter(char32_t code);
    void emitBreak(char c);
    void appendUtf8Char(char32_t code);
    void appendText(std::string_view text);
    Color colorAt(int index) const;

    std::vector<State> m_stack;
    std::size_t m_overflow = 0;

    int m_documentCodePage = 1252;
    int m_defaultFont = 0;
    std::map<int, FontInfo> m_fonts;
    int m_fontDefined = -1;
    std::vector<std::optional<Color>> m_colors;
    Color m_colorEntry;
    bool m_colorEntrySet = false;

    std::string m_bytes;
    int m_bytesCodePage = 1252;
    char32_t m_highSurrogate = 0;
    CodePageDecoder m_decoder;
    RichText m_result;
};

} // namespace quorvel::logfile
