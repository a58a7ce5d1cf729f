#pragma once
// Byte text in a Windows code page (or GB18030) turned into UTF-8, through glibc's iconv.

#include <map>
#include <string>
#include <string_view>

namespace quorvel::logfile {

// Code page 54936 is GB18030; 65001 is UTF-8. Unknown code pages are read as 1252.
class CodePageDecoder {
public:
    CodePageDecoder() = default;
    CodePageDecoder(const CodePageDecoder&) = delete;
    CodePageDecoder& operator=(const CodePageDecoder&) = delete;
    ~CodePageDecoder();

    // Appends the UTF-8 form of `bytes` to `out`; each byte that is no character (or an incomplete
    // sequence at the end) becomes U+FFFD.
    void Decode(int codePage, std::string_view bytes, std::string& out);

private:
    void* converterFor(int codePage);
    std::map<int, void*> m_converters; // iconv_t per code page, opened on first use
};

// The code page that an RTF \fcharset stands for; 0 when it means "the document's code page".
int CodePageOfCharset(int charset);

} // namespace quorvel::logfile
