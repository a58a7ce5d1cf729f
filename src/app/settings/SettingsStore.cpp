#include "app/settings/SettingsStore.h"

#include "app/settings/IniDocument.h"
#include "app/settings/SettingsKeys.h"

#include "capture/ServerEndpoints.h"
#include "text/Ascii.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvel::settings {

namespace {

std::optional<int> ParseHex(std::string_view digits)
{
    if (digits.empty())
        return std::nullopt;
    std::int64_t v = 0;
    for (char c : digits) {
        const int d = text::HexDigitValue(c);
        if (d < 0)
            return std::nullopt;
        v = v * 16 + d;
        if (v > INT_MAX)
            return std::nullopt;
    }
    return static_cast<int>(v);
}

std::optional<int> ParseDecimal(std::string_view text)
{
    const bool negative = !text.empty() && text.front() == '-';
    if (negative)
        text.remove_prefix(1);
    if (text.empty())
        return std::nullopt;
    const std::int64_t limit = negative ? -static_cast<std::int64_t>(INT_MIN) : INT_MAX;
    std::int64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        v = v * 10 + (c - '0');
        if (v > limit)
            return std::nullopt;
    }
    return static_cast<int>(negative ? -v : v);
}

int ReadInt(const IniDocument& doc, std::string_view key, int fallback)
{
    const auto text = doc.value(SettingsSection, key);
    return text ? ParseProfileInt(*text, fallback) : fallback;
}

bool ReadFlag(const IniDocument& doc, std::string_view key, bool fallback)
{
    return ReadInt(doc, key, fallback ? 1 : 0) != 0;
}

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

// 0 when `dir` is a directory afterwards, else the errno that stands in the way. Missing parents
// are created too: a fresh account has no ~/.config yet.
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
bool ReplaceFile(const std::filesystem::path& target, std::string_view data)
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

int ParseProfileInt(std::string_view text, int fallback)
{
    std::optional<int> v;
    if (text.size() >= 3 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        v = ParseHex(text.substr(2));
    else if (!text.empty() && text.front() == '$')
        v = ParseHex(text.substr(1));
    else
        v = ParseDecimal(text);
    return v.value_or(fallback);
}

StoredSettings ReadSettings(const IniDocument& doc)
{
    const StoredSettings d;
    StoredSettings s;
    s.engine = ReadInt(doc, "Engine", d.engine);
    s.engine1 = ReadInt(doc, "Engine1", d.engine1);
    s.systemVoice = doc.value(SettingsSection, "SystemVoice").value_or("");
    s.systemVoice1 = doc.value(SettingsSection, "SystemVoice1").value_or("");
    s.rate = ReadInt(doc, "Rate", d.rate);
    s.rate1 = ReadInt(doc, "Rate1", d.rate1);
    s.volume = ReadInt(doc, "Volume", d.volume);
    s.volume1 = ReadInt(doc, "Volume1", d.volume1);
    s.cbme = ReadFlag(doc, "cbme", d.cbme);
    s.cbfriend = ReadFlag(doc, "cbfriend", d.cbfriend);
    s.cbmyname = ReadFlag(doc, "cbmyname", d.cbmyname);
    s.cbfriendsname = ReadFlag(doc, "cbfriendsname", d.cbfriendsname);
    s.cbmyex = ReadFlag(doc, "cbmyex", d.cbmyex);
    s.cbfriendsex = ReadFlag(doc, "cbfriendsex", d.cbfriendsex);
    s.showtime = ReadFlag(doc, "showtime", d.showtime);
    s.speaklinks = ReadFlag(doc, "speaklinks", d.speaklinks);
    const int maxspoken = ReadInt(doc, "maxspoken", d.maxspoken);
    s.maxspoken = maxspoken < 0 ? d.maxspoken : maxspoken;
    if (const auto text = doc.value(SettingsSection, "ports"))
        s.ports = capture::ParsePortList(*text).value_or(d.ports);
    return s;
}

void WriteSettings(IniDocument& doc, const SettingsToSave& v)
{
    const auto integer = [&](std::string_view key, int value) { doc.set(SettingsSection, key, std::to_string(value)); };
    const auto flag = [&](std::string_view key, bool value) { doc.set(SettingsSection, key, value ? "1" : "0"); };
    const auto text = [&](std::string_view key, const std::string& value) {
        if (!value.empty() || doc.value(SettingsSection, key))
            doc.set(SettingsSection, key, value);
    };
    integer("Rate", v.rate);
    integer("Volume", v.volume);
    if (v.engine)
        integer("Engine", *v.engine);
    text("SystemVoice", v.systemVoice);
    integer("Rate1", v.rate1);
    integer("Volume1", v.volume1);
    if (v.engine1)
        integer("Engine1", *v.engine1);
    text("SystemVoice1", v.systemVoice1);
    flag("cbme", v.cbme);
    flag("cbfriend", v.cbfriend);
    flag("cbmyname", v.cbmyname);
    flag("cbfriendsname", v.cbfriendsname);
    flag("cbmyex", v.cbmyex);
    flag("cbfriendsex", v.cbfriendsex);
    flag("showtime", v.showtime);
    flag("speaklinks", v.speaklinks);
    integer("maxspoken", v.maxspoken);
    doc.set(SettingsSection, "ports", capture::FormatPortList(v.ports));
}

std::filesystem::path LocateSettingsFolder(const std::filesystem::path& configHome, std::string_view baseName)
{
    if (baseName.empty() || baseName == "." || baseName == ".." || baseName.find('/') != std::string_view::npos ||
        baseName.find('\0') != std::string_view::npos)
        throw SettingsError(FolderErrorText(EINVAL));
    const auto folder = configHome / std::string(baseName);
    if (const int err = MakeDirectories(folder, true))
        throw SettingsError(FolderErrorText(err));
    return folder / "";
}

SettingsStore::SettingsStore(std::filesystem::path iniPath) : m_path(std::move(iniPath)) {}

StoredSettings SettingsStore::load() const
{
    std::string bytes;
    if (ReadWholeFile(m_path, bytes) != ReadStatus::Ok)
        return {};
    return ReadSettings(IniDocument::parse(bytes));
}

void UpdateIniFile(const std::filesystem::path& path, const std::function<IniDocument(IniDocument)>& change)
{
    const SettingsError failure("Unable to write to " + path.string());

    // A symbolic link stays a link: the file it points to is replaced.
    std::filesystem::path target = path;
    std::error_code ec;
    if (std::filesystem::is_symlink(path, ec)) {
        target = std::filesystem::weakly_canonical(path, ec);
        if (ec)
            throw failure;
    }

    // A file the user made read-only is not replaced behind their back (root included).
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0 && ((st.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0))
        throw failure;

    std::string bytes;
    // A file that exists but cannot be read is not overwritten: its other lines would be lost.
    if (ReadWholeFile(target, bytes) == ReadStatus::Failed)
        throw failure;
    const IniDocument doc = change(IniDocument::parse(bytes));
    if (!ReplaceFile(target, doc.serialize()))
        throw failure;
}

void SettingsStore::save(const SettingsToSave& values) const
{
    UpdateIniFile(m_path, [&values](IniDocument doc) {
        WriteSettings(doc, values);
        return doc;
    });
}

} // namespace quorvel::settings
