#include "win/shell/ShellLink.h"

#include "app/settings/Files.h"
#include "win/common/Com.h"
#include "win/common/Wide.h"

#include <objidl.h>
#include <ole2.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <functional>

namespace quorvel::win {

namespace {

// OleInitialize for the lifetime of the object; OleUninitialize also when a step throws.
class OleSession {
public:
    OleSession() : m_result(OleInitialize(nullptr)) {}
    ~OleSession()
    {
        if (SUCCEEDED(m_result))
            OleUninitialize();
    }
    OleSession(const OleSession&) = delete;
    OleSession& operator=(const OleSession&) = delete;

private:
    HRESULT m_result;
};

std::string ClassIdText(REFCLSID id)
{
    wchar_t text[64] = {};
    StringFromGUID2(id, text, 64);
    return Utf8(text);
}

struct Link {
    ComPtr<IShellLinkW> shellLink;
    ComPtr<IPersistFile> file;
};

Link MakeLink()
{
    ComPtr<IUnknown> object;
    const HRESULT made = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                          IID_IUnknown, object.putVoid());
    if (FAILED(made))
        throw ShellLinkError(SystemMessage(static_cast<DWORD>(made)) + ", ClassID: " + ClassIdText(CLSID_ShellLink));
    Link link{object.as<IShellLinkW>(IID_IShellLinkW), object.as<IPersistFile>(IID_IPersistFile)};
    if (!link.shellLink || !link.file)
        throw ShellLinkError("Interface not supported");
    return link;
}

std::string Field(const std::function<HRESULT(wchar_t*, int)>& get)
{
    wchar_t text[MAX_PATH * 4] = {};
    if (FAILED(get(text, static_cast<int>(std::size(text)))))
        return {};
    return Utf8(text);
}

} // namespace

void CreateShellLink(const std::string& target, const std::string& arguments, const std::string& linkPath,
                     const std::string& description)
{
    if (!autostart::HasExtension(linkPath, ".lnk"))
        throw ShellLinkError(autostart::WrongExtensionText("LNK"));
    const OleSession ole;
    const Link link = MakeLink();
    link.shellLink->SetPath(Wide(target).c_str());
    link.shellLink->SetArguments(Wide(arguments).c_str());
    link.shellLink->SetWorkingDirectory(Wide(autostart::StartupEntryFor(target).workingFolder).c_str());
    link.shellLink->SetDescription(Wide(description).c_str());
    link.file->Save(Wide(linkPath).c_str(), FALSE);
}

std::optional<autostart::StartupEntryFields> ReadShellLink(const std::filesystem::path& linkPath)
{
    const OleSession ole;
    const Link link = MakeLink();
    if (FAILED(link.file->Load(linkPath.c_str(), STGM_READ)))
        return std::nullopt;
    IShellLinkW* shellLink = link.shellLink.get();
    return autostart::StartupEntryFields{
        Field([&](wchar_t* text, int size) { return shellLink->GetPath(text, size, nullptr, SLGP_RAWPATH); }),
        Field([&](wchar_t* text, int size) { return shellLink->GetArguments(text, size); }),
        Field([&](wchar_t* text, int size) { return shellLink->GetWorkingDirectory(text, size); }),
        Field([&](wchar_t* text, int size) { return shellLink->GetDescription(text, size); })};
}

StartupShortcut::StartupShortcut(std::filesystem::path startupFolder, std::string baseName, std::string executablePath)
    : m_folder(std::move(startupFolder)), m_baseName(std::move(baseName)), m_executable(std::move(executablePath))
{
}

std::filesystem::path StartupShortcut::entryPath() const
{
    return m_folder / settings::files::PathFromUtf8(m_baseName + ".lnk");
}

bool StartupShortcut::isEnabled() const
{
    return GetFileAttributesW(entryPath().c_str()) != INVALID_FILE_ATTRIBUTES;
}

void StartupShortcut::enable() const
{
    const autostart::StartupEntryFields fields = autostart::StartupEntryFor(m_executable);
    CreateShellLink(fields.target, fields.arguments, settings::files::Utf8FromPath(entryPath()), fields.description);
}

void StartupShortcut::disable() const
{
    const std::filesystem::path path = entryPath();
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
        DeleteFileW(path.c_str());
}

} // namespace quorvel::win
