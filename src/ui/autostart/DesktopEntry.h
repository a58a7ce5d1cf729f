#pragma once
// Shortcuts as Desktop Entry files, and run-at-logon through an XDG autostart entry. Pure C++.

#include "ui/autostart/StartupFields.h"

#include <filesystem>
#include <stdexcept>
#include <string>

namespace quorvel::autostart {

class ShellLinkError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Writes a Desktop Entry (Type=Application, Name=Quorvel, Exec=target+arguments, Path=target's folder
// with trailing '/', Comment=description) atomically. Throws ShellLinkError for a link path that does
// not end in ".desktop" (any case; nothing written) and for write failures.
void CreateShellLink(const std::string& target, const std::string& arguments, const std::string& linkPath,
                     const std::string& description);

// The entry <autostartDir>/<baseName>.desktop; its existence is the state.
class Autostart final : public RunAtStartup {
public:
    Autostart(std::filesystem::path autostartDir, std::string baseName, std::string executablePath,
              std::string description);
    std::filesystem::path entryPath() const override;
    bool isEnabled() const override;
    void enable() const override;  // writes (replaces) the entry with arguments " -s"; throws ShellLinkError
    void disable() const override; // deletes the entry if present; failures are not reported

private:
    std::filesystem::path m_dir;
    std::string m_baseName, m_executable, m_description;
};

} // namespace quorvel::autostart
