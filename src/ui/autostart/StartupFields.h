#pragma once
// What the start-up entry of either edition holds (the desktop entry on Linux, the shell link in the
// Startup folder on Windows), and the extension rule of the writers. Pure C++.

#include <filesystem>
#include <string>
#include <string_view>

namespace quorvel::autostart {

// The program's start through the entry passes this; the program reads no arguments.
inline constexpr std::string_view StartupArguments = " -s";

struct StartupEntryFields {
    std::string target;        // the running executable
    std::string arguments;     // StartupArguments
    std::string workingFolder; // the executable's folder, with its trailing separator
    std::string description;   // the application title
    bool operator==(const StartupEntryFields&) const = default;
};
StartupEntryFields StartupEntryFor(std::string_view executablePath);

// Run at logon as either edition keeps it: an entry named after the executable's base name, whose
// existence is the state (an XDG autostart entry on Linux, a shell link in the Startup folder on Windows).
class RunAtStartup {
public:
    virtual ~RunAtStartup() = default;
    virtual std::filesystem::path entryPath() const = 0;
    virtual bool isEnabled() const = 0;
    // Writes (replaces) the entry with the fields of StartupEntryFor; throws a std::runtime_error with
    // the text the user is shown.
    virtual void enable() const = 0;
    // Deletes the entry if present; failures are not reported.
    virtual void disable() const = 0;
};

// The extension of a path's file name, from its last '.' on ("" without one), and whether it is
// `extension` without regard to ASCII case.
std::string_view ExtensionOf(std::string_view path);
bool HasExtension(std::string_view path, std::string_view extension);
// "File Ext Must Be: ′′LNK′′!" for "LNK": a writer's refusal of another extension.
std::string WrongExtensionText(std::string_view upperCaseExtension);

} // namespace quorvel::autostart
