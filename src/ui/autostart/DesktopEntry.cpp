#include "ui/autostart/DesktopEntry.h"
#include "ui/autostart/StartupFields.h"

#include "text/Utf8.h"

#include <cerrno>
#include <cstring>
#include <random>
#include <string_view>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvel::autostart {

namespace {

// Characters that force an Exec argument into double quotes.
constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";

// One argument as the Exec key's own quoting wants it; the target is always quoted.
std::string quoteArgument(std::string_view arg, bool always)
{
    std::string out;
    const bool quote = always || arg.empty() || arg.find_first_of(kReserved) != std::string_view::npos;
    if (quote)
        out += '"';
    for (char c : arg) {
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\'))
            out += '\\';
        if (c == '%')
            out += '%'; // "%%" is a literal percent sign, not a field code
        out += c;
    }
    if (quote)
        out += '"';
    return out;
}

// The escapes of the key file's string type; a leading blank would otherwise be trimmed by readers.
std::string escapeString(std::string_view value)
{
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case ' ':
            out += i == 0 ? "\\s" : " ";
            break;
        default:
            out += c;
            break;
        }
    }
    return out;
}

std::vector<std::string_view> splitWords(std::string_view s)
{
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
            ++i;
        const std::size_t start = i;
        while (i < s.size() && s[i] != ' ' && s[i] != '\t')
            ++i;
        if (i > start)
            words.push_back(s.substr(start, i - start));
    }
    return words;
}

[[noreturn]] void fail(const std::string& what, const std::string& path, int err)
{
    throw ShellLinkError(what + " \"" + path + "\": " + std::strerror(err));
}

// Temporary file in the destination's folder, flushed to disk, then renamed over the destination, so a
// crash or a full disk never leaves a half-written entry in place of the old one.
void writeAtomically(const std::string& path, const std::string& content)
{
    const auto slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);

    std::random_device rd;
    std::string tmp;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        tmp = dir + "/." + name + "." + std::to_string(::getpid()) + "." + std::to_string(rd()) + ".tmp";
        fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            fail("Cannot write the start-up entry", path, errno);
    }
    if (fd < 0)
        fail("Cannot write the start-up entry", path, EEXIST);

    auto abandon = [&](int err) {
        ::close(fd);
        ::unlink(tmp.c_str());
        fail("Cannot write the start-up entry", path, err);
    };

    std::size_t written = 0;
    while (written < content.size()) {
        const ssize_t n = ::write(fd, content.data() + written, content.size() - written);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            abandon(errno);
        }
        written += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0)
        abandon(errno);
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(tmp.c_str());
        fail("Cannot write the start-up entry", path, err);
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(tmp.c_str());
        fail("Cannot write the start-up entry", path, err);
    }
    // The rename itself must reach the disk too; a failure here leaves a complete file, so it is not fatal.
    const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

} // namespace

void CreateShellLink(const std::string& target, const std::string& arguments, const std::string& linkPath,
                     const std::string& description)
{
    if (!HasExtension(linkPath, ".desktop"))
        throw ShellLinkError(WrongExtensionText("DESKTOP"));
    // Readers reject a key file that is not UTF-8, which would leave an entry that never starts anything.
    if (!text::IsValidUtf8(target) || !text::IsValidUtf8(arguments) || !text::IsValidUtf8(description))
        throw ShellLinkError("Cannot write the start-up entry \"" + linkPath + "\": the program path is not UTF-8");

    std::string exec;
    if (target.find('%') != std::string::npos) {
        // GLib looks the program up before it turns "%%" back into "%", so GNOME would refuse an entry whose
        // program path holds a percent sign; the shell starts it instead, with the same arguments.
        exec = "/bin/sh -c " + quoteArgument(R"(exec "$0" "$@")", true) + ' ';
    }
    exec += quoteArgument(target, true);
    for (std::string_view word : splitWords(arguments)) {
        exec += ' ';
        exec += quoteArgument(word, false);
    }

    std::string content = "[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Quorvel\n";
    if (!description.empty())
        content += "Comment=" + escapeString(description) + "\n";
    content += "Exec=" + escapeString(exec) + "\n";
    const auto slash = target.rfind('/');
    if (slash != std::string::npos)
        content += "Path=" + escapeString(std::string_view(target).substr(0, slash + 1)) + "\n";
    content += "Terminal=false\n"
               "X-GNOME-Autostart-enabled=true\n";

    writeAtomically(linkPath, content);
}

Autostart::Autostart(std::filesystem::path autostartDir, std::string baseName, std::string executablePath,
                     std::string description)
    : m_dir(std::move(autostartDir)), m_baseName(std::move(baseName)), m_executable(std::move(executablePath)),
      m_description(std::move(description))
{
}

std::filesystem::path Autostart::entryPath() const
{
    return m_dir / (m_baseName + ".desktop");
}

bool Autostart::isEnabled() const
{
    std::error_code ec;
    return std::filesystem::exists(entryPath(), ec);
}

void Autostart::enable() const
{
    // A fresh account has no autostart folder yet.
    std::error_code ec;
    std::filesystem::create_directories(m_dir, ec);
    if (ec)
        throw ShellLinkError("Cannot create the folder \"" + m_dir.string() + "\": " + ec.message());
    CreateShellLink(m_executable, std::string(StartupArguments), entryPath().string(), m_description);
}

void Autostart::disable() const
{
    std::error_code ec;
    std::filesystem::remove(entryPath(), ec);
}

} // namespace quorvel::autostart
