#pragma once
// The text of the window system's controls, and line breaks as it shows them.

#include <windows.h>

#include <string>
#include <string_view>

namespace quorvel::win {

std::wstring WindowText(HWND window);
void SetWindowTextUtf8(HWND window, std::string_view utf8);
// Every '\n' becomes CR LF.
std::wstring WithCrLf(std::string_view utf8);

} // namespace quorvel::win
