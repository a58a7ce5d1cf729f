#pragma once
// Byte text in a Windows code page (or GB18030) turned into UTF-8: through glibc's iconv
// (CodePageIconv.cpp), or Windows' own tables (CodePageWin32.cpp).

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

    // Appends the UTF-8 form of `bytes` to `out`. A byte that starts no character of the code
    // page (or an incomplete sequence at the end) becomes U+FFFD, or with `latinFallback` its
    // code page 1252 character: writers such as TextEdit put single Latin bytes like \'a9 for (c)
    // into documents of a multi-byte code page.
    void Decode(int codePage, std::string_view bytes, std::string& out, bool latinFallback = false);

private:
    void* converterFor(int codePage);
    std::map<int, void*> m_converters; // iconv_t per code page, opened on first use (iconv only)
};

// The code pages the system's own tables decode (iconv's, or Windows'); GB2312 and GB18030 are not
// among them, every other one is read as 1252.
bool IsSystemTableCodePage(int codePage);

// The code page that an RTF \fcharset stands for; 0 when it means "the document's code page".
int CodePageOfCharset(int charset);

} // namespace quorvel::logfile
