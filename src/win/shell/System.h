#pragma once
// What the Windows edition asks of the system at start: where it runs from, its folders (the user's
// application data, settings and Startup folders), the operating system's version, and whether the
// program runs already.

#include <windows.h>
#include <shtypes.h>

#include <filesystem>
#include <optional>
#include <string>

namespace quorvel::win {

// The running executable, UTF-8.
std::string ExecutablePath();

// A special folder, with its trailing backslash; "\" alone when the shell cannot name it.
std::filesystem::path SpecialFolder(REFKNOWNFOLDERID folder);

// %APPDATA%\<base name>\, created when missing; the settings store's errors when it cannot be.
std::filesystem::path SettingsFolder(const std::string& baseName);

// The major version (10 on Windows 10 and 11, 5 on 2000 and XP), whatever the program's manifest says.
std::optional<int> WindowsMajorVersion();

// Another instance's window (class "TFmain", caption "Quorvel") exists.
bool AnotherInstanceRuns();

// A hidden window of that class and caption, which the guard finds, for a program without a window of
// its own; it goes with the object.
class InstanceWindow {
public:
    InstanceWindow();
    ~InstanceWindow();
    InstanceWindow(const InstanceWindow&) = delete;
    InstanceWindow& operator=(const InstanceWindow&) = delete;
    HWND handle() const { return m_window; }

private:
    HWND m_window = nullptr;
};

} // namespace quorvel::win
