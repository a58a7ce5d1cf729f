// The code page decoder on glibc's iconv.

#include "ui/logfile/CodePage.h"

#include "text/Utf8.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <string>

namespace quorvel::logfile {
namespace {

const iconv_t InvalidConverter = reinterpret_cast<iconv_t>(-1);

std::string IconvName(int codePage)
{
    if (IsSystemTableCodePage(codePage))
        return codePage == 10000 ? "MACINTOSH" : "CP" + std::to_string(codePage);
    switch (codePage) {
    case 20936:
        return "GB2312";
    case 54936:
        return "GB18030";
    default:
        return "CP1252";
    }
}

} // namespace

CodePageDecoder::~CodePageDecoder()
{
    for (auto& [codePage, converter] : m_converters) {
        if (converter != InvalidConverter)
            iconv_close(static_cast<iconv_t>(converter));
    }
}

void* CodePageDecoder::converterFor(int codePage)
{
    auto it = m_converters.find(codePage);
    if (it == m_converters.end()) {
        iconv_t converter = iconv_open("UTF-8", IconvName(codePage).c_str());
        if (converter == InvalidConverter)
            converter = iconv_open("UTF-8", "CP1252");
        it = m_converters.emplace(codePage, converter).first;
    }
    return it->second;
}

void CodePageDecoder::Decode(int codePage, std::string_view bytes, std::string& out, bool latinFallback)
{
    if (codePage == 65001) {
        out += text::DecodeUtf8Lossy(bytes);
        return;
    }
    iconv_t converter = static_cast<iconv_t>(converterFor(codePage));
    if (converter == InvalidConverter) {
        for (char c : bytes)
            text::AppendUtf8(out, static_cast<unsigned char>(c) < 0x80 ? static_cast<unsigned char>(c)
                                                                       : text::ReplacementCharacter);
        return;
    }
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    std::array<char, 4096> buffer;
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    while (inLeft > 0) {
        char* outPtr = buffer.data();
        std::size_t outLeft = buffer.size();
        const std::size_t result = iconv(converter, &in, &inLeft, &outPtr, &outLeft);
        const int error = errno;
        out.append(buffer.data(), static_cast<std::size_t>(outPtr - buffer.data()));
        if (result != static_cast<std::size_t>(-1))
            break;
        if (error == E2BIG)
            continue;
        // EILSEQ: a byte that starts no character; EINVAL: a sequence cut off at the end.
        if (latinFallback && codePage != 1252)
            Decode(1252, std::string_view(in, 1), out);
        else
            text::AppendUtf8(out, text::ReplacementCharacter);
        ++in;
        --inLeft;
        iconv(converter, nullptr, nullptr, nullptr, nullptr);
    }
}

} // namespace quorvel::logfile
