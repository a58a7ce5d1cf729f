// The file operations of the INI stores on Windows; errors are Win32 error codes, which are the
// numbers the folder's error texts were first worded after (2, 3, 4, 5).

#include "app/settings/Files.h"
#include "app/settings/SettingsStore.h"

#include <windows.h>

#include <atomic>
#include <string>

namespace quorvel::settings {

namespace {

struct FileHandle {
    HANDLE handle;
    explicit FileHandle(HANDLE h) : handle(h) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle()
    {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
    bool close()
    {
        const bool ok = CloseHandle(handle) != 0;
        handle = INVALID_HANDLE_VALUE;
        return ok;
    }
};

bool WriteAll(HANDLE file, std::string_view data)
{
    while (!data.empty()) {
        const DWORD chunk = data.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(data.size());
        DWORD written = 0;
        if (!WriteFile(file, data.data(), chunk, &written, nullptr) || written == 0)
            return false;
        data.remove_prefix(written);
    }
    return true;
}

bool Exists(const std::filesystem::path& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

namespace files {

const std::string_view ForbiddenNameCharacters{"\\/:*?\"<>|\0", 10};
const int InvalidNameError = ERROR_INVALID_NAME;

std::string FolderErrorText(int error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
        return "File not found";
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_DIRECTORY:
        return "Invalid filename";
    case ERROR_TOO_MANY_OPEN_FILES:
        return "Too many open files";
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return "File access denied";
    default:
        return "I/O error " + std::to_string(error);
    }
}

int MakeDirectories(const std::filesystem::path& dir, bool last)
{
    // Not every file system says so itself (Wine answers "not found").
    if (dir.filename().native().size() > MAX_PATH - 5)
        return ERROR_FILENAME_EXCED_RANGE;
    DWORD attributes = GetFileAttributesW(dir.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : (last ? ERROR_ALREADY_EXISTS : ERROR_PATH_NOT_FOUND);
    const DWORD missing = GetLastError();
    if (missing != ERROR_FILE_NOT_FOUND && missing != ERROR_PATH_NOT_FOUND)
        return static_cast<int>(missing);
    const auto parent = dir.parent_path();
    if (!parent.empty() && parent != dir) {
        if (const int error = MakeDirectories(parent, false))
            return error;
    }
    if (CreateDirectoryW(dir.c_str(), nullptr))
        return 0;
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS) {
        // Something came in between.
        attributes = GetFileAttributesW(dir.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return static_cast<int>(GetLastError());
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : (last ? ERROR_ALREADY_EXISTS : ERROR_PATH_NOT_FOUND);
    }
    return static_cast<int>(error);
}

bool IsReadOnly(const std::filesystem::path& file)
{
    const DWORD attributes = GetFileAttributesW(file.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        return true;
    const FileHandle probe(CreateFileW(file.c_str(), FILE_WRITE_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return probe.handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED;
}

} // namespace files

ReadStatus ReadWholeFile(const std::filesystem::path& path, std::string& out)
{
    const FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ReadStatus::Missing
                                                                               : ReadStatus::Failed;
    }
    out.clear();
    char buffer[8192];
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(file.handle, buffer, sizeof buffer, &n, nullptr))
            return ReadStatus::Failed;
        if (n == 0)
            break;
        out.append(buffer, n);
    }
    return ReadStatus::Ok;
}

// A temporary file beside `target`, flushed to disk, then put in the old one's place; an existing file
// is replaced with ReplaceFileW, which keeps its attributes and security.
bool ReplaceWholeFile(const std::filesystem::path& target, std::string_view data)
{
    const auto folder = target.parent_path().empty() ? std::filesystem::path(L".") : target.parent_path();
    static std::atomic<unsigned> counter = 0;
    std::filesystem::path temp;
    HANDLE handle = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && handle == INVALID_HANDLE_VALUE; ++attempt) {
        temp = folder / (L"." + target.filename().wstring() + L"." + std::to_wstring(GetCurrentProcessId()) + L"." +
                         std::to_wstring(++counter) + L".tmp");
        handle = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS)
            return false;
    }
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    FileHandle file(handle);
    bool ok = WriteAll(file.handle, data);
    ok = ok && FlushFileBuffers(file.handle);
    ok = file.close() && ok;
    if (ok) {
        if (Exists(target))
            ok = ReplaceFileW(target.c_str(), temp.c_str(), nullptr, REPLACEFILE_WRITE_THROUGH, nullptr, nullptr);
        else
            ok = MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
    }
    if (!ok) {
        DeleteFileW(temp.c_str());
        return false;
    }
    return true;
}

} // namespace quorvel::settings
