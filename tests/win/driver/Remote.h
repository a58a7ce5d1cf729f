#pragma once
// The running quorvel.exe seen from another program, as a user's tools see it: its windows, the text and
// colours of its RichEdit (read through memory of its own, as RichEdit's messages carry pointers), its
// boxes and file dialogs, and its tray icon.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace quorvel::driver {

std::string Utf8(const std::wstring& wide);
std::wstring Wide(const std::string& utf8);

// Polls every 20 ms; false when timeoutMs passed first.
bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs = 10000);

struct Line {
    std::string text;
    COLORREF color; // of the line's first character
};

class Program {
public:
    // Starts exe and waits for its window; the process is ended when the object goes.
    explicit Program(const std::wstring& exe, DWORD timeoutMs = 20000);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool started() const { return m_window != nullptr; }
    // Leaves the program running when the object goes.
    void detach() { m_detached = true; }
    HWND window() const { return m_window; }
    HWND page(int tabSheetId) const;
    HWND control(int id) const; // a control on any page
    // Waits until the process has ended; false on timeout.
    bool waitForExit(DWORD timeoutMs = 15000, DWORD* exitCode = nullptr);

    void post(int commandId) const;
    std::vector<Line> logLines() const;
    std::string logText() const;
    // Appends text with a colour of the test's own, as a user's paste or typing would.
    void typeIntoLog(const std::wstring& text, COLORREF color) const;
    std::string statusText() const;
    std::wstring tabText(int index) const;
    bool trayIconPresent() const;
    void removeTrayIcon() const;

    // The box or dialog the program shows now (owned by its window or without owner), or nullptr.
    HWND modal(DWORD timeoutMs = 10000) const;

private:
    void* remote(std::size_t bytes) const;
    void write(void* at, const void* from, std::size_t bytes) const;
    void read(const void* at, void* to, std::size_t bytes) const;

    PROCESS_INFORMATION m_process{};
    HANDLE m_memoryProcess = nullptr;
    HWND m_window = nullptr;
    bool m_detached = false;
    mutable void* m_buffer = nullptr;
    static constexpr std::size_t BufferBytes = 1 << 22;
};

// A box's caption and text (the static control 0xFFFF of a message box).
std::wstring WindowTextOf(HWND window);
std::wstring BoxText(HWND box);
// Presses a button of a box or dialog (IDYES, IDNO, IDOK, IDCANCEL).
void Press(HWND dialog, int button);
// Types a name into a common file dialog and confirms it.
void ChooseFile(HWND dialog, const std::wstring& path);

std::wstring TempFolder();
std::string ReadFileBytes(const std::wstring& path);
std::wstring AppDataFolder();

} // namespace quorvel::driver
