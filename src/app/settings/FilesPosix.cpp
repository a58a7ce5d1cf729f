// The file operations of the INI stores on POSIX systems; errors are errno numbers.

#include "app/settings/Files.h"
#include "app/settings/SettingsStore.h"

#include <atomic>
#include <cerrno>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvel::settings {

namespace {

bool WriteAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

} // namespace

namespace files {

const std::string_view ForbiddenNameCharacters{"/\0", 2};
const int InvalidNameError = EINVAL;

std::string FolderErrorText(int err)
{
    switch (err) {
    case ENOENT:
        return "File not found";
    case ENOTDIR:
    case ENAMETOOLONG:
    case EINVAL:
        return "Invalid filename";
    case EMFILE:
    case ENFILE:
        return "Too many open files";
    case EACCES:
    case EPERM:
    case EROFS:
        return "File access denied";
    default:
        return "I/O error " + std::to_string(err);
    }
}

// A fresh account has no ~/.config yet.
int MakeDirectories(const std::filesystem::path& dir, bool last)
{
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode) ? 0 : (last ? EEXIST : ENOTDIR);
    if (errno != ENOENT)
        return errno;
    const auto parent = dir.parent_path();
    if (!parent.empty() && parent != dir) {
        if (const int err = MakeDirectories(parent, false))
            return err;
    }
    if (::mkdir(dir.c_str(), 0700) == 0)
        return 0;
    const int err = errno;
    if (err == EEXIST) {
        // Something came in between, or a dangling symbolic link stands there.
        if (::stat(dir.c_str(), &st) != 0)
            return errno;
        return S_ISDIR(st.st_mode) ? 0 : (last ? EEXIST : ENOTDIR);
    }
    return err;
}

bool IsReadOnly(const std::filesystem::path& file)
{
    struct stat st {};
    return ::stat(file.c_str(), &st) == 0 && ((st.st_mode & 0222) == 0 || ::access(file.c_str(), W_OK) != 0);
}

} // namespace files

ReadStatus ReadWholeFile(const std::filesystem::path& path, std::string& out)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? ReadStatus::Missing : ReadStatus::Failed;
    out.clear();
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            return ReadStatus::Failed;
        }
        if (n == 0)
            break;
        out.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return ReadStatus::Ok;
}

// Writes a temporary file beside `target`, flushes it to disk and renames it over `target`, so
// that the old file stays whole until the new one is complete. False on any failure, with the
// temporary file removed.
bool ReplaceWholeFile(const std::filesystem::path& target, std::string_view data)
{
    const auto folder = target.parent_path().empty() ? std::filesystem::path(".") : target.parent_path();
    struct stat old {};
    const bool hadOld = ::stat(target.c_str(), &old) == 0;

    static std::atomic<unsigned> counter = 0;
    std::filesystem::path temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = folder / ("." + target.filename().string() + "." + std::to_string(::getpid()) + "." +
                         std::to_string(++counter) + ".tmp");
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    if (fd < 0)
        return false;

    bool ok = WriteAll(fd, data);
    if (ok && hadOld)
        ok = ::fchmod(fd, old.st_mode & 07777) == 0;
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    // The rename itself reaches the disk with the folder.
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

} // namespace quorvel::settings
