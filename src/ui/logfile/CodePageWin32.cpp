// The code page decoder on Windows' own code page tables (MultiByteToWideChar); GB18030 on tables
// of its own, which Wine lacks.

#include "ui/logfile/CodePage.h"
#include "ui/logfile/Gb18030.h"

#include "text/Utf8.h"

#include <windows.h>

#include <string>

namespace quorvel::logfile {
namespace {

int SupportedCodePage(int codePage)
{
    if (IsSystemTableCodePage(codePage))
        return IsValidCodePage(static_cast<UINT>(codePage)) ? codePage : 1252;
    switch (codePage) {
    case 54936:
        return 54936;
    case 20936: // GB2312, which GBK holds
        return IsValidCodePage(20936) ? 20936 : 936;
    default:
        return 1252;
    }
}

// Bytes that code page 1252 leaves undefined; Windows maps them to C1 controls, iconv refuses them.
bool UndefinedIn1252(unsigned char byte)
{
    return byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D;
}

// Appends the UTF-8 form of bytes that are whole characters of the code page; false (nothing
// appended) when they are not.
bool Convert(int codePage, std::string_view bytes, std::string& out)
{
    if (bytes.empty())
        return true;
    if (codePage == 1252) {
        for (const char c : bytes)
            if (UndefinedIn1252(static_cast<unsigned char>(c)))
                return false;
    }
    const int length = static_cast<int>(bytes.size());
    const int units = MultiByteToWideChar(static_cast<UINT>(codePage), MB_ERR_INVALID_CHARS, bytes.data(), length,
                                          nullptr, 0);
    if (units <= 0)
        return false;
    std::u16string wide(static_cast<std::size_t>(units), u'\0');
    MultiByteToWideChar(static_cast<UINT>(codePage), MB_ERR_INVALID_CHARS, bytes.data(), length,
                        reinterpret_cast<wchar_t*>(wide.data()), units);
    out += text::Utf8FromUtf16(wide);
    return true;
}

} // namespace

CodePageDecoder::~CodePageDecoder() = default;

void CodePageDecoder::Decode(int codePage, std::string_view bytes, std::string& out, bool latinFallback)
{
    if (codePage == 65001) {
        out += text::DecodeUtf8Lossy(bytes);
        return;
    }
    const int table = SupportedCodePage(codePage);
    if (table != 54936 && Convert(table, bytes, out))
        return;
    // Somewhere a byte starts no character: character by character.
    const std::size_t longest =
        (table == 932 || table == 936 || table == 949 || table == 950 || table == 1361 || table == 20936) ? 2 : 1;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t taken = 0;
        if (table == 54936) {
            const gb18030::Step step = gb18030::DecodeStep(bytes, pos);
            if (step.length > 0)
                text::AppendUtf8(out, step.codePoint);
            taken = step.length;
        } else {
            for (std::size_t length = 1; length <= longest && pos + length <= bytes.size(); ++length) {
                if (Convert(table, bytes.substr(pos, length), out)) {
                    taken = length;
                    break;
                }
            }
        }
        if (taken == 0) {
            if (latinFallback && table != 1252)
                Decode(1252, bytes.substr(pos, 1), out);
            else
                text::AppendUtf8(out, text::ReplacementCharacter);
            taken = 1;
        }
        pos += taken;
    }
}

} // namespace quorvel::logfile
