#include "win/app/WindowText.h"

#include "win/common/Wide.h"

namespace quorvel::win {

std::wstring WindowText(HWND window)
{
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

void SetWindowTextUtf8(HWND window, std::string_view utf8)
{
    SetWindowTextW(window, Wide(utf8).c_str());
}

std::wstring WithCrLf(std::string_view utf8)
{
    std::wstring out;
    for (const wchar_t c : Wide(utf8)) {
        if (c == L'\n' && (out.empty() || out.back() != L'\r'))
            out += L'\r';
        out += c;
    }
    return out;
}

} // namespace quorvel::win
