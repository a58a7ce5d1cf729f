#include "win/app/TFmain.h"

#include "app/core/Executable.h"
#include "win/common/Wide.h"

#include <shlobj.h>

namespace quorvel::win {

namespace {

std::filesystem::path RoamingAppData()
{
    PWSTR folder = nullptr;
    std::filesystem::path path;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &folder)))
        path = folder;
    CoTaskMemFree(folder);
    return path;
}

std::string ExecutablePath()
{
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return Utf8(path);
}

} // namespace

Platform DesktopPlatform()
{
    Platform platform;
    platform.configHome = RoamingAppData();
    platform.executablePath = ExecutablePath();
    platform.baseName = app::ExecutableBaseName(platform.executablePath);
    return platform;
}

} // namespace quorvel::win
