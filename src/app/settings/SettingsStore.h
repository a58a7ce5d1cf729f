#pragma once
// The settings file "set.ini": locating its folder, loading and saving the keys of section "set". Pure C++ (no Qt);
// errors are thrown as SettingsError with the text the user sees.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::settings {

class SettingsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "0x"/"0X" hexadecimal, "$" hexadecimal, decimal with optional minus; anything else gives fallback.
int ParseProfileInt(std::string_view text, int fallback);

struct StoredSettings {
    int engine = -1, engine1 = -1;
    std::string systemVoice = {}, systemVoice1 = {}; // "module/voice" of a speech-dispatcher voice, or empty
    int rate = 0, rate1 = 0;
    int volume = 100, volume1 = 100;
    bool cbme = true, cbfriend = true, cbmyname = true, cbfriendsname = true, cbmyex = true, cbfriendsex = true,
         showtime = true;
    bool speaklinks = true;
    int maxspoken = 300; // characters of a message spoken, 0 = all; a negative value reads as the default
    std::vector<std::uint16_t> ports{1863, 1864}; // the messenger servers' ports; an unreadable list reads as these
    bool operator==(const StoredSettings&) const = default;
};

// What a save writes; engines are written only when their list has a selection.
struct SettingsToSave {
    int rate = 0, rate1 = 0, volume = 100, volume1 = 100;
    std::optional<int> engine = std::nullopt, engine1 = std::nullopt;
    // Written when set or when the file has the key (then emptied): files that never held a system
    // voice get no such key.
    std::string systemVoice = {}, systemVoice1 = {};
    bool cbme = true, cbfriend = true, cbmyname = true, cbfriendsname = true, cbmyex = true, cbfriendsex = true,
         showtime = true;
    bool speaklinks = true;
    int maxspoken = 300;
    std::vector<std::uint16_t> ports{1863, 1864};
    bool operator==(const SettingsToSave&) const = default;
};

// configHome/baseName/, created when missing (missing parents too: a fresh account has no
// ~/.config yet). Throws SettingsError worded after the system's error ("File access denied",
// "I/O error %d", ...); a file standing where the folder should be is an error as well.
std::filesystem::path LocateSettingsFolder(const std::filesystem::path& configHome, std::string_view baseName);

class IniDocument;

// Whole-file read and the atomic replace (temporary file, flush, rename) that every INI file of the
// program goes through.
enum class ReadStatus { Ok, Missing, Failed };
ReadStatus ReadWholeFile(const std::filesystem::path& path, std::string& out);
// False on any failure, with the temporary file removed and the old file whole.
bool ReplaceWholeFile(const std::filesystem::path& target, std::string_view data);
// Reads the file (missing: empty), applies change and replaces the file; a symbolic link stays a
// link. Throws SettingsError("Unable to write to <path>").
void UpdateIniFile(const std::filesystem::path& path, const std::function<IniDocument(IniDocument)>& change);

class SettingsStore {
public:
    explicit SettingsStore(std::filesystem::path iniPath);
    const std::filesystem::path& path() const { return m_path; }

    // Missing file or key: defaults, nothing reported. Values are returned unclamped.
    StoredSettings load() const;
    // Replaces values in place and keeps every other line; written to a temporary file and renamed.
    // Throws SettingsError("Unable to write to <path>") and leaves the old file whole; a read-only
    // file is left as it is.
    void save(const SettingsToSave& values) const;

private:
    std::filesystem::path m_path;
};

} // namespace quorvel::settings
