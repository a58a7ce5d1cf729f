#include "win/shell/System.h"

#include "app/settings/SettingsStore.h"
#include "win/common/Wide.h"

#include <knownfolders.h>
#include <shlobj.h>

namespace quorvel::win {

std::string ExecutablePath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return Utf8(path);
        }
        path.resize(path.size() * 2);
    }
}

std::filesystem::path SpecialFolder(REFKNOWNFOLDERID folder)
{
    wchar_t* path = nullptr;
    std::wstring found;
    if (SUCCEEDED(SHGetKnownFolderPath(folder, KF_FLAG_DEFAULT, nullptr, &path)) && path)
        found = path;
    CoTaskMemFree(path);
    if (found.empty() || found.back() != L'\\')
        found += L'\\';
    return found;
}

std::filesystem::path SettingsFolder(const std::string& baseName)
{
    return settings::LocateSettingsFolder(SpecialFolder(FOLDERID_RoamingAppData), baseName);
}

std::optional<int> WindowsMajorVersion()
{
    // GetVersionEx answers what the manifest allows; the kernel's own call does not.
    using RtlGetVersionCall = LONG(WINAPI*)(OSVERSIONINFOW*);
    const auto call = reinterpret_cast<RtlGetVersionCall>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!call || call(&version) != 0)
        return std::nullopt;
    return static_cast<int>(version.dwMajorVersion);
}

namespace {

constexpr const wchar_t* WindowClass = L"TFmain";
constexpr const wchar_t* WindowCaption = L"Quorvel";

} // namespace

bool AnotherInstanceRuns()
{
    return FindWindowW(WindowClass, WindowCaption) != nullptr;
}

InstanceWindow::InstanceWindow()
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = WindowClass;
    RegisterClassW(&windowClass); // fails harmlessly when registered already
    // A top-level window, not a message-only one: FindWindowW does not see those.
    m_window = CreateWindowExW(0, WindowClass, WindowCaption, WS_OVERLAPPED, CW_USEDEFAULT, CW_USEDEFAULT, 0, 0,
                               nullptr, nullptr, windowClass.hInstance, nullptr);
}

InstanceWindow::~InstanceWindow()
{
    if (m_window)
        DestroyWindow(m_window);
}

} // namespace quorvel::win
