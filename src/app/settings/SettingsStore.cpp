#include "app/settings/SettingsStore.h"

#include "app/settings/Files.h"
#include "app/settings/IniDocument.h"
#include "app/settings/SettingsKeys.h"

#include "capture/ServerEndpoints.h"
#include "text/Ascii.h"

#include <climits>
#include <cstdint>
#include <functional>
#include <string>

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

} // namespace

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
    if (baseName.empty() || baseName == "." || baseName == ".." ||
        baseName.find_first_of(files::ForbiddenNameCharacters) != std::string_view::npos)
        throw SettingsError(files::FolderErrorText(files::InvalidNameError));
    const auto folder = configHome / files::PathFromUtf8(baseName);
    if (const int err = files::MakeDirectories(folder, true))
        throw SettingsError(files::FolderErrorText(err));
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
    if (files::IsReadOnly(target))
        throw failure;

    std::string bytes;
    // A file that exists but cannot be read is not overwritten: its other lines would be lost.
    if (ReadWholeFile(target, bytes) == ReadStatus::Failed)
        throw failure;
    const IniDocument doc = change(IniDocument::parse(bytes));
    if (!ReplaceWholeFile(target, doc.serialize()))
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
