#include "ui/logfile/RtfDestinations.h"

#include "text/Utf8.h"

#include <algorithm>
#include <array>
#include <utility>

namespace quorvel::logfile {
namespace {

// Destinations whose content is no text of the document. Sorted for binary search.
constexpr std::array<std::string_view, 143> SkippedDestinations{
    "annotation",
    "atnauthor",
    "atndate",
    "atnicn",
    "atnid",
    "atnparent",
    "atnref",
    "atntime",
    "atrfend",
    "atrfstart",
    "author",
    "background",
    "bkmkend",
    "bkmkstart",
    "blipuid",
    "buptim",
    "category",
    "colorschememapping",
    "comment",
    "company",
    "creatim",
    "datafield",
    "datastore",
    "defchp",
    "defpap",
    "do",
    "doccomm",
    "docvar",
    "dptxbxtext",
    "ebcend",
    "ebcstart",
    "expandedcolortbl",
    "factoidname",
    "falt",
    "fchars",
    "ffdeftext",
    "ffentrymcr",
    "ffexitmcr",
    "ffformat",
    "ffhelptext",
    "ffl",
    "ffname",
    "ffstattext",
    "file",
    "filetbl",
    "fldinst",
    "fldtype",
    "footer",
    "footerf",
    "footerl",
    "footerr",
    "footnote",
    "formfield",
    "ftncn",
    "ftnsep",
    "ftnsepc",
    "g",
    "generator",
    "gridtbl",
    "header",
    "headerf",
    "headerl",
    "headerr",
    "hl",
    "hlfr",
    "hlinkbase",
    "hlloc",
    "hlsrc",
    "hsv",
    "htmltag",
    "info",
    "keycode",
    "keywords",
    "latentstyles",
    "lchars",
    "levelnumbers",
    "leveltext",
    "lfolevel",
    "linkval",
    "list",
    "listlevel",
    "listname",
    "listoverride",
    "listoverridetable",
    "listpicture",
    "liststylename",
    "listtable",
    "mhtmltag",
    "mmath",
    "mmathPr",
    "nesttableprops",
    "nextfile",
    "nonshppict",
    "objalias",
    "objclass",
    "objdata",
    "object",
    "objname",
    "objsect",
    "objtime",
    "oldcprops",
    "oldpprops",
    "oldsprops",
    "oldtprops",
    "operator",
    "panose",
    "passwordhash",
    "pgdsctbl",
    "picprop",
    "pict",
    "pn",
    "pnseclvl",
    "pntxta",
    "pntxtb",
    "printim",
    "private",
    "propname",
    "protusertbl",
    "pxe",
    "result",
    "revtbl",
    "revtim",
    "rsidtbl",
    "rxe",
    "shp",
    "shpinst",
    "shppict",
    "sn",
    "sp",
    "stylesheet",
    "subject",
    "sv",
    "tc",
    "template",
    "themedata",
    "title",
    "txe",
    "ud",
    "upr",
    "userprops",
    "wgrffmtfilter",
    "xe",
    "xmlnstbl",
};

struct SpecialCharacter {
    std::string_view word;
    char32_t character;
};

constexpr std::array<SpecialCharacter, 14> SpecialCharacters{{
    {"bullet", 0x2022},
    {"emdash", 0x2014},
    {"emspace", 0x2003},
    {"endash", 0x2013},
    {"enspace", 0x2002},
    {"ldblquote", 0x201C},
    {"lquote", 0x2018},
    {"ltrmark", 0x200E},
    {"qmspace", 0x2005},
    {"rdblquote", 0x201D},
    {"rquote", 0x2019},
    {"rtlmark", 0x200F},
    {"zwj", 0x200D},
    {"zwnj", 0x200C},
}};

bool IsUnderlineWord(std::string_view word)
{
    static constexpr std::array<std::string_view, 18> Words{
        "ul",    "uld",      "uldash",    "uldashd",    "uldashdd",  "uldb",       "ulhwave", "ulldash", "ulth",
        "ulthd", "ulthdash", "ulthdashd", "ulthdashdd", "ulthldash", "ululdbwave", "ulw",     "ulwave",  "ulhair"};
    return std::find(Words.begin(), Words.end(), word) != Words.end();
}

} // namespace

bool RtfDestinations::take(const RtfToken& token)
{
    if (token.kind != RtfTokenKind::Byte)
        flushBytes();
    switch (token.kind) {
    case RtfTokenKind::GroupStart:
        openGroup();
        return false;
    case RtfTokenKind::GroupEnd:
        return closeGroup();
    case RtfTokenKind::ControlWord:
        handleWord(token.word, token.hasParameter, token.parameter, token.ignorable);
        return false;
    case RtfTokenKind::Symbol:
        symbol(token.character);
        return false;
    case RtfTokenKind::Unicode:
        if (state().destination == Destination::Text && !state().hidden)
            emitUnicode(token.codePoint);
        return false;
    case RtfTokenKind::Byte:
        textByte(static_cast<unsigned char>(token.character));
        return false;
    case RtfTokenKind::Boundary:
    case RtfTokenKind::End:
        return false;
    }
    return false;
}

RichText RtfDestinations::finish()
{
    flushBytes();
    if (m_highSurrogate != 0 && !m_stack.empty())
        appendUtf8Char(text::ReplacementCharacter);
    m_highSurrogate = 0;
    return std::move(m_result);
}

void RtfDestinations::openGroup()
{
    if (m_stack.empty())
        m_stack.emplace_back();
    else if (m_stack.size() < RtfMaxGroupDepth)
        m_stack.push_back(m_stack.back());
    else
        ++m_overflow;
}

bool RtfDestinations::closeGroup()
{
    if (m_overflow > 0) {
        --m_overflow;
        return false;
    }
    if (m_stack.empty())
        return true;
    if (state().destination == Destination::ColorTable)
        endColorEntry(false);
    if (m_stack.size() == 1)
        resolveSurrogate();
    m_stack.pop_back();
    return m_stack.empty();
}

void RtfDestinations::symbol(char c)
{
    switch (c) {
    case '\\':
    case '{':
    case '}':
        textByte(static_cast<unsigned char>(c));
        break;
    case '~':
        emitCharacter(0x00A0);
        break;
    case '_':
        emitCharacter(0x2011);
        break;
    case '\r':
    case '\n':
        emitBreak('\n');
        break;
    case '\t':
        emitBreak('\t');
        break;
    default: // \- optional hyphen, \| and \: index marks, and unknown symbols
        break;
    }
}

void RtfDestinations::handleWord(std::string_view word, bool hasParameter, int parameter, bool ignorable)
{
    State& s = state();
    if (s.destination == Destination::Skip)
        return;
    const bool on = !hasParameter || parameter != 0;

    // Document properties, wherever they stand.
    if (word == "ansicpg") {
        m_documentCodePage = parameter > 0 ? parameter : 1252;
        return;
    }
    if (word == "ansi") {
        m_documentCodePage = 1252;
        return;
    }
    if (word == "mac") {
        m_documentCodePage = 10000;
        return;
    }
    if (word == "pc") {
        m_documentCodePage = 437;
        return;
    }
    if (word == "pca") {
        m_documentCodePage = 850;
        return;
    }
    if (word == "deff") {
        m_defaultFont = parameter;
        return;
    }

    // Destinations.
    if (word == "fonttbl") {
        s.destination = Destination::FontTable;
        return;
    }
    if (word == "colortbl") {
        s.destination = Destination::ColorTable;
        m_colors.clear();
        m_colorEntry = {};
        m_colorEntrySet = false;
        return;
    }
    if (ignorable || std::binary_search(SkippedDestinations.begin(), SkippedDestinations.end(), word)) {
        s.destination = Destination::Skip;
        return;
    }

    if (s.destination == Destination::FontTable) {
        if (word == "f")
            m_fontDefined = parameter;
        else if (word == "fcharset")
            m_fonts[m_fontDefined].charset = parameter;
        else if (word == "cpg")
            m_fonts[m_fontDefined].codePage = parameter;
        return;
    }
    if (s.destination == Destination::ColorTable) {
        const auto component = static_cast<std::uint8_t>(std::clamp(parameter, 0, 255));
        if (word == "red")
            m_colorEntry.red = component, m_colorEntrySet = true;
        else if (word == "green")
            m_colorEntry.green = component, m_colorEntrySet = true;
        else if (word == "blue")
            m_colorEntry.blue = component, m_colorEntrySet = true;
        return;
    }

    if (word == "par" || word == "line" || word == "row" || word == "nestrow" || word == "sect" || word == "page") {
        emitBreak('\n');
    } else if (word == "tab" || word == "cell" || word == "nestcell") {
        emitBreak('\t');
    } else if (word == "plain") {
        const State fresh;
        s.bold = fresh.bold, s.italic = fresh.italic, s.underline = fresh.underline;
        s.hidden = fresh.hidden, s.colorIndex = fresh.colorIndex, s.font = fresh.font;
        s.doubleByteBold = fresh.doubleByteBold, s.doubleByteItalic = fresh.doubleByteItalic;
        s.association = fresh.association;
    } else if (word == "b") {
        s.bold = on;
    } else if (word == "i") {
        s.italic = on;
    } else if (word == "ulnone") {
        s.underline = false;
    } else if (IsUnderlineWord(word)) {
        s.underline = on;
    } else if (word == "v") {
        s.hidden = on;
    } else if (word == "cf") {
        s.colorIndex = parameter;
    } else if (word == "f") {
        s.font = parameter;
    } else if (word == "rtlch") {
        s.association = Association::RightToLeft;
    } else if (word == "dbch") {
        s.association = Association::DoubleByte;
    } else if (word == "ltrch" || word == "loch" || word == "hich") {
        s.association = Association::None;
    } else if (word == "ab") {
        if (s.association == Association::DoubleByte)
            s.doubleByteBold = on ? 1 : 0;
    } else if (word == "ai") {
        if (s.association == Association::DoubleByte)
            s.doubleByteItalic = on ? 1 : 0;
    } else {
        for (const SpecialCharacter& special : SpecialCharacters) {
            if (special.word == word) {
                emitCharacter(special.character);
                break;
            }
        }
    }
}

int RtfDestinations::codePageNow()
{
    const int font = state().font >= 0 ? state().font : m_defaultFont;
    const auto it = m_fonts.find(font);
    if (it != m_fonts.end()) {
        if (it->second.codePage > 0)
            return it->second.codePage;
        if (const int codePage = CodePageOfCharset(it->second.charset); codePage != 0)
            return codePage;
    }
    return m_documentCodePage;
}

void RtfDestinations::textByte(unsigned char byte)
{
    State& s = state();
    switch (s.destination) {
    case Destination::Text:
        if (s.hidden || (byte < 0x20 && byte != '\t'))
            return;
        if (const int codePage = codePageNow(); codePage != m_bytesCodePage) {
            flushBytes();
            m_bytesCodePage = codePage;
        }
        m_bytes.push_back(static_cast<char>(byte));
        return;
    case Destination::ColorTable:
        if (byte == ';')
            endColorEntry(true);
        return;
    default:
        return;
    }
}

void RtfDestinations::endColorEntry(bool always)
{
    if (always || m_colorEntrySet)
        m_colors.push_back(m_colorEntrySet ? std::optional<Color>(m_colorEntry) : std::nullopt);
    m_colorEntry = {};
    m_colorEntrySet = false;
}

// Text bytes are gathered until any other token or a change of code page, so that a character of a
// multi-byte code page spread over several \'hh is decoded whole.
void RtfDestinations::flushBytes()
{
    if (m_bytes.empty())
        return;
    std::string decoded;
    m_decoder.Decode(m_bytesCodePage, m_bytes, decoded, true);
    m_bytes.clear();
    std::string text;
    text.reserve(decoded.size());
    for (char c : decoded) {
        if (static_cast<unsigned char>(c) >= 0x20 || c == '\t')
            text.push_back(c);
    }
    resolveSurrogate();
    appendText(text);
}

void RtfDestinations::resolveSurrogate()
{
    if (m_highSurrogate != 0) {
        m_highSurrogate = 0;
        appendUtf8Char(text::ReplacementCharacter);
    }
}

void RtfDestinations::emitUnicode(char32_t code)
{
    if (text::IsHighSurrogate(code)) {
        resolveSurrogate();
        m_highSurrogate = code;
        return;
    }
    if (text::IsLowSurrogate(code)) {
        const char32_t high = std::exchange(m_highSurrogate, 0);
        appendUtf8Char(high != 0 ? text::CombineSurrogates(high, code) : text::ReplacementCharacter);
        return;
    }
    emitCharacter(code);
}

void RtfDestinations::emitCharacter(char32_t code)
{
    const State& s = state();
    if (s.destination != Destination::Text || s.hidden)
        return;
    resolveSurrogate();
    if (code < 0x20 && code != '\t')
        return;
    appendUtf8Char(code);
}

void RtfDestinations::emitBreak(char c)
{
    const State& s = state();
    if (s.destination != Destination::Text || s.hidden)
        return;
    resolveSurrogate();
    appendText(std::string_view(&c, 1));
}

void RtfDestinations::appendUtf8Char(char32_t code)
{
    std::string utf8;
    text::AppendUtf8(utf8, code);
    appendText(utf8);
}

void RtfDestinations::appendText(std::string_view text)
{
    if (text.empty())
        return;
    const State& s = state();
    TextRun format;
    format.color = colorAt(s.colorIndex);
    const bool doubleByte = s.association == Association::DoubleByte;
    format.bold = doubleByte && s.doubleByteBold >= 0 ? s.doubleByteBold == 1 : s.bold;
    format.italic = doubleByte && s.doubleByteItalic >= 0 ? s.doubleByteItalic == 1 : s.italic;
    format.underline = s.underline;
    auto& runs = m_result.runs;
    if (!runs.empty()) {
        TextRun& last = runs.back();
        if (last.color == format.color && last.bold == format.bold && last.italic == format.italic &&
            last.underline == format.underline) {
            last.text += text;
            return;
        }
    }
    format.text.assign(text);
    runs.push_back(std::move(format));
}

Color RtfDestinations::colorAt(int index) const
{
    if (index >= 0 && static_cast<std::size_t>(index) < m_colors.size() && m_colors[index])
        return *m_colors[index];
    return Color{}; // "auto": black
}

std::optional<RichText> ReadRtf(std::string_view bytes)
{
    std::size_t start = 0;
    if (bytes.starts_with("\xEF\xBB\xBF"))
        start = 3;
    while (start < bytes.size() &&
           (bytes[start] == ' ' || bytes[start] == '\t' || bytes[start] == '\r' || bytes[start] == '\n'))
        ++start;
    if (bytes.substr(start, 5) != "{\\rtf")
        return std::nullopt;
    RtfTokenizer tokenizer(bytes, start);
    RtfDestinations document;
    for (RtfToken token = tokenizer.next(); token.kind != RtfTokenKind::End; token = tokenizer.next()) {
        if (document.take(token))
            break;
    }
    return document.finish();
}

} // namespace quorvel::logfile
