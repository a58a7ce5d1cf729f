#pragma once
// Shell links (.lnk) through the shell's own link object, IShellLinkW with IPersistFile, and the
// program's start-up shortcut in the user's Startup folder made of them.

#include "ui/autostart/StartupFields.h"

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

namespace quorvel::win {

class ShellLinkError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Writes the link at linkPath (UTF-8 arguments): target, arguments, the target's folder as working
// folder, description. A path not ending in ".lnk" (any case) is refused with "File Ext Must Be:
// ′′LNK′′!" and nothing is written; the link object's failures are "<system message>, ClassID: {...}"
// and "Interface not supported". A failed save is silent, as the shell's own callers have it.
void CreateShellLink(const std::string& target, const std::string& arguments, const std::string& linkPath,
                     const std::string& description);

// The four fields of the link at linkPath, loaded back through IShellLinkW; nothing when it does not load.
std::optional<autostart::StartupEntryFields> ReadShellLink(const std::filesystem::path& linkPath);

// <Startup folder>\<base name>.lnk, starting the executable with " -s".
class StartupShortcut final : public autostart::RunAtStartup {
public:
    StartupShortcut(std::filesystem::path startupFolder, std::string baseName, std::string executablePath);
    std::filesystem::path entryPath() const override;
    bool isEnabled() const override;
    void enable() const override; // throws ShellLinkError
    void disable() const override;

private:
    std::filesystem::path m_folder;
    std::string m_baseName, m_executable;
};

} // namespace quorvel::win
