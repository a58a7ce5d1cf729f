#include "Remote.h"

#include "win/app/ControlIds.h"

#include <commctrl.h>
#include <richedit.h>
#include <shellapi.h>
#include <shlobj.h>

#include <functional>
#include <stdexcept>

namespace quorvel::driver {

std::string Utf8(const std::wstring& wide)
{
    if (wide.empty())
        return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                      nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring Wide(const std::string& utf8)
{
    if (utf8.empty())
        return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs)
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount64() > end)
            return false;
        Sleep(20);
    }
}

namespace {

// The first top-level window of a process that a test accepts, by its class name.
struct Search {
    DWORD process;
    std::function<bool(HWND, const std::wstring& className)> accepts;
    HWND found = nullptr;
};

BOOL CALLBACK FindWindowOf(HWND window, LPARAM data)
{
    auto* search = reinterpret_cast<Search*>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    if (process == search->process && search->accepts(window, name)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindWindowOf(DWORD process, std::function<bool(HWND, const std::wstring&)> accepts)
{
    Search search{process, std::move(accepts)};
    EnumWindows(FindWindowOf, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

} // namespace

Program::Program(const std::wstring& exe, DWORD timeoutMs)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    std::wstring commandLine = L"\"" + exe + L"\"";
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &m_process))
        return;
    m_memoryProcess = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | SYNCHRONIZE, FALSE,
                                  m_process.dwProcessId);
    WaitFor(
        [this] {
            m_window = FindWindowOf(m_process.dwProcessId,
                                    [](HWND, const std::wstring& name) { return name == win::MainWindowClass; });
            return m_window != nullptr || WaitForSingleObject(m_process.hProcess, 0) == WAIT_OBJECT_0;
        },
        timeoutMs);
    // Set-up has run once the window's thread takes messages: a message sent to it waits till then
    // (WaitForInputIdle is satisfied by any thread's message loop, and the speech layer has its own).
    DWORD_PTR answer = 0;
    if (m_window)
        SendMessageTimeoutW(m_window, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &answer);
}

Program::~Program()
{
    if (m_process.hProcess) {
        if (!m_detached && WaitForSingleObject(m_process.hProcess, 0) != WAIT_OBJECT_0) {
            TerminateProcess(m_process.hProcess, 1);
            WaitForSingleObject(m_process.hProcess, 5000);
        }
        CloseHandle(m_process.hProcess);
        CloseHandle(m_process.hThread);
    }
    if (m_memoryProcess)
        CloseHandle(m_memoryProcess);
}

bool Program::waitForExit(DWORD timeoutMs, DWORD* exitCode)
{
    if (!m_process.hProcess || WaitForSingleObject(m_process.hProcess, timeoutMs) != WAIT_OBJECT_0)
        return false;
    if (exitCode)
        GetExitCodeProcess(m_process.hProcess, exitCode);
    return true;
}

HWND Program::page(int tabSheetId) const
{
    return GetDlgItem(m_window, tabSheetId);
}

HWND Program::control(int id) const
{
    if (HWND direct = GetDlgItem(m_window, id))
        return direct;
    for (const int sheet : {win::ids::TabSheet1, win::ids::TabSheet2, win::ids::TabSheet3})
        if (HWND found = GetDlgItem(page(sheet), id))
            return found;
    return nullptr;
}

void Program::post(int commandId) const
{
    PostMessageW(m_window, WM_COMMAND, static_cast<WPARAM>(commandId), 0);
}

void* Program::remote(std::size_t bytes) const
{
    if (bytes > BufferBytes)
        throw std::runtime_error("remote buffer too small");
    if (!m_buffer)
        m_buffer = VirtualAllocEx(m_memoryProcess, nullptr, BufferBytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    return m_buffer;
}

void Program::write(void* at, const void* from, std::size_t bytes) const
{
    WriteProcessMemory(m_memoryProcess, at, from, bytes, nullptr);
}

void Program::read(const void* at, void* to, std::size_t bytes) const
{
    ReadProcessMemory(m_memoryProcess, at, to, bytes, nullptr);
}

std::string Program::logText() const
{
    const HWND edit = control(win::ids::RichEdit1);
    GETTEXTLENGTHEX length{GTL_DEFAULT, 1200};
    auto* buffer = static_cast<char*>(remote(0));
    write(buffer, &length, sizeof length);
    const auto chars = static_cast<std::size_t>(SendMessageW(edit, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(buffer), 0));
    GETTEXTEX how{};
    how.cb = static_cast<DWORD>((chars + 1) * sizeof(wchar_t));
    how.flags = GT_DEFAULT;
    how.codepage = 1200;
    write(buffer, &how, sizeof how);
    const auto got = static_cast<std::size_t>(SendMessageW(edit, EM_GETTEXTEX, reinterpret_cast<WPARAM>(buffer),
                                                           reinterpret_cast<LPARAM>(buffer + 64)));
    std::wstring text(got, L'\0');
    read(buffer + 64, text.data(), got * sizeof(wchar_t));
    return Utf8(text);
}

std::vector<Line> Program::logLines() const
{
    const HWND edit = control(win::ids::RichEdit1);
    const std::wstring text = Wide(logText());
    std::vector<Line> lines;
    std::size_t start = 0;
    while (!text.empty() && start <= text.size()) {
        const std::size_t end = std::min(text.find(L'\r', start), text.size());
        Line line{Utf8(text.substr(start, end - start)), 0};
        if (end > start) {
            SendMessageW(edit, EM_SETSEL, start, start + 1);
            CHARFORMAT2W format{};
            format.cbSize = sizeof format;
            void* buffer = remote(sizeof format);
            write(buffer, &format, sizeof format);
            SendMessageW(edit, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(buffer));
            read(buffer, &format, sizeof format);
            line.color = format.crTextColor;
        }
        lines.push_back(line);
        start = end + 1;
    }
    SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(-1), -1);
    return lines;
}

void Program::typeIntoLog(const std::wstring& text, COLORREF color) const
{
    const HWND edit = control(win::ids::RichEdit1);
    SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(-1), -1);
    CHARFORMAT2W format{};
    format.cbSize = sizeof format;
    format.dwMask = CFM_COLOR;
    format.crTextColor = color;
    auto* buffer = static_cast<char*>(remote(0));
    write(buffer, &format, sizeof format);
    SendMessageW(edit, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(buffer));
    // EM_REPLACESEL is among the messages the system carries across processes itself.
    SendMessageW(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text.c_str()));
}

std::string Program::statusText() const
{
    const HWND bar = control(win::ids::StatusBar1);
    auto* buffer = static_cast<wchar_t*>(remote(0));
    const auto length = LOWORD(SendMessageW(bar, SB_GETTEXTLENGTHW, 0, 0));
    SendMessageW(bar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(buffer));
    std::wstring text(length, L'\0');
    read(buffer, text.data(), length * sizeof(wchar_t));
    return Utf8(text);
}

std::wstring Program::tabText(int index) const
{
    const HWND tabs = control(win::ids::PageControl1);
    auto* buffer = static_cast<char*>(remote(0));
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = reinterpret_cast<wchar_t*>(buffer + 256);
    item.cchTextMax = 64;
    write(buffer, &item, sizeof item);
    SendMessageW(tabs, TCM_GETITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer));
    wchar_t text[64] = {};
    read(buffer + 256, text, sizeof text);
    text[63] = L'\0';
    return text;
}

bool Program::trayIconPresent() const
{
    // The shell knows an icon by its window and number; changing nothing about it tells whether it is there.
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = m_window;
    data.uID = 1;
    return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

void Program::removeTrayIcon() const
{
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = m_window;
    data.uID = 1;
    Shell_NotifyIconW(NIM_DELETE, &data);
}

HWND Program::modal(DWORD timeoutMs) const
{
    HWND found = nullptr;
    WaitFor(
        [&] {
            // A dialog box owned by the window, or by no window at all.
            found = FindWindowOf(m_process.dwProcessId, [this](HWND window, const std::wstring& name) {
                const HWND owner = GetWindow(window, GW_OWNER);
                return name == L"#32770" && IsWindowVisible(window) && (owner == m_window || owner == nullptr);
            });
            return found != nullptr;
        },
        timeoutMs);
    return found;
}

std::wstring WindowTextOf(HWND window)
{
    const auto length = static_cast<std::size_t>(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0));
    std::wstring text(length + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        SendMessageW(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()))));
    return text;
}

std::wstring BoxText(HWND box)
{
    return WindowTextOf(GetDlgItem(box, 0xFFFF));
}

void Press(HWND dialog, int button)
{
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
}

void ChooseFile(HWND dialog, const std::wstring& path)
{
    // The name field of the explorer-style dialog is a combo box (cmb13), in older ones an edit (edt1).
    HWND name = GetDlgItem(dialog, 0x47C);
    if (!name)
        name = GetDlgItem(dialog, 0x480);
    SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    Press(dialog, IDOK);
}

std::wstring TempFolder()
{
    wchar_t path[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, path);
    return path;
}

std::string ReadFileBytes(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    std::string bytes;
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0)
        bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

std::wstring AppDataFolder()
{
    PWSTR folder = nullptr;
    std::wstring path;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &folder)))
        path = folder;
    CoTaskMemFree(folder);
    return path;
}

} // namespace quorvel::driver
