#pragma once
// What the INI stores need of the file system beyond std::filesystem, written once per system:
// FilesPosix.cpp (errno numbers) and FilesWin32.cpp (Win32 error codes). ReadWholeFile and
// ReplaceWholeFile (SettingsStore.h) are among them.

#include <filesystem>
#include <string>
#include <string_view>

namespace quorvel::settings::files {

// Characters a folder name may not hold.
extern const std::string_view ForbiddenNameCharacters;
// The system's error number for a name that cannot be a folder's.
extern const int InvalidNameError;

// 0 when `dir` is a directory afterwards, else the system's error number that stands in the way.
// Missing parents are created too; `last` tells the folder asked for from its parents.
int MakeDirectories(const std::filesystem::path& dir, bool last);
// "File not found", "Invalid filename", "Too many open files", "File access denied" or "I/O error N".
std::string FolderErrorText(int error);
// A file the user made read-only, or that this user may not write.
bool IsReadOnly(const std::filesystem::path& file);

// UTF-8 names in and out of paths (on Windows a path is UTF-16, and char text is not taken as UTF-8).
inline std::filesystem::path PathFromUtf8(std::string_view utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}
inline std::string Utf8FromPath(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

} // namespace quorvel::settings::files
