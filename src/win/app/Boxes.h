#pragma once
// The program's message boxes and file dialogs. Every report also goes to standard error: a box at
// logoff, or on a desktop nobody watches, is never read.

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace quorvel::win {

// A box with the program's caption, no icon and OK, as failures of system calls are reported.
void PlainBox(HWND owner, std::string_view text);
// An error not handled where it arose: caption "Quorvel", the error icon, OK, a full stop added.
void StandardErrorBox(HWND owner, std::string_view message);
// Yes or No with the question icon; Yes is the default.
bool AskBox(HWND owner, std::string_view caption, std::string_view text);
// Help and About: without an owner, so that the window stays usable; OK, no icon.
void InformationBox(std::string_view caption, std::string_view text);

// While the program ends at logoff nobody answers: boxes then only go to standard error.
void SetEnding(bool ending);

enum class FileDialogKind { OpenLog, SaveLog, SaveWav };
// The name chosen in the common file dialog, or nothing when cancelled or left empty.
std::optional<std::wstring> AskFileName(HWND owner, FileDialogKind kind);

} // namespace quorvel::win
