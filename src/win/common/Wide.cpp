#include "win/common/Wide.h"

#include "text/Utf8.h"

namespace quorvel::win {

std::wstring Wide(std::string_view utf8)
{
    const std::u16string units = text::Utf16FromUtf8(utf8);
    return std::wstring(units.begin(), units.end());
}

std::string Utf8(std::wstring_view wide)
{
    return text::Utf8FromUtf16(std::u16string(wide.begin(), wide.end()));
}

std::string SystemMessage(DWORD error)
{
    wchar_t* buffer = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring message(buffer ? buffer : L"", length);
    if (buffer)
        LocalFree(buffer);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    return message.empty() ? "error " + std::to_string(error) : Utf8(message);
}

} // namespace quorvel::win
