#pragma once
// UTF-8 of the core to the wide text of the Win32 calls and back, and the system's words for an error.

#include <windows.h>

#include <string>
#include <string_view>

namespace quorvel::win {

std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

// The system's message for a Win32 error or HRESULT, in UTF-8, without the line break it ends in;
// "error <number>" when the system has none.
std::string SystemMessage(DWORD error);

} // namespace quorvel::win
