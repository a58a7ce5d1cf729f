// Plain-text log files: UTF-8 with CR LF out; UTF-8, UTF-16 with BOM, or GB18030 in.

#include "ui/logfile/RichText.h"

#include "text/Utf8.h"
#include "ui/logfile/CodePage.h"

namespace quorvel::logfile {
namespace {

constexpr std::string_view Utf8Bom = "\xEF\xBB\xBF";

std::string DecodeUtf16(std::string_view bytes, bool littleEndian)
{
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto b0 = static_cast<unsigned char>(bytes[i]);
        const auto b1 = static_cast<unsigned char>(bytes[i + 1]);
        units.push_back(static_cast<char16_t>(littleEndian ? (b1 << 8 | b0) : (b0 << 8 | b1)));
    }
    // A cut-off surrogate and a cut-off unit at the end are one U+FFFD together.
    const bool cutSurrogate = !units.empty() && text::IsHighSurrogate(units.back());
    std::string out = text::Utf8FromUtf16(units);
    if (bytes.size() % 2 != 0 && !cutSurrogate)
        text::AppendUtf8(out, text::ReplacementCharacter);
    return out;
}

} // namespace

std::string EncodePlainText(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size() + utf8.size() / 16);
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        if (c == '\n' && (i == 0 || utf8[i - 1] != '\r'))
            out += "\r\n";
        else
            out.push_back(c);
    }
    return out;
}

std::string DecodePlainText(std::string_view bytes)
{
    std::string decoded;
    if (bytes.starts_with(Utf8Bom)) {
        // With the mark the file declares itself UTF-8: keep what is valid, mark what is not.
        decoded = text::DecodeUtf8Lossy(bytes.substr(Utf8Bom.size()));
    } else if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
        // What Windows Notepad calls "Unicode": UTF-16 with its byte-order mark.
        decoded = DecodeUtf16(bytes.substr(2), bytes[0] == '\xFF');
    } else if (text::IsValidUtf8(bytes)) {
        decoded.assign(bytes);
    } else {
        // Logs saved on Chinese Windows systems are in code page 936, which GB18030 contains.
        CodePageDecoder decoder;
        decoder.Decode(54936, bytes, decoded);
    }

    std::string out;
    out.reserve(decoded.size());
    for (std::size_t i = 0; i < decoded.size(); ++i) {
        if (decoded[i] == '\r') {
            out.push_back('\n');
            if (i + 1 < decoded.size() && decoded[i + 1] == '\n')
                ++i;
        } else {
            out.push_back(decoded[i]);
        }
    }
    return out;
}

} // namespace quorvel::logfile
