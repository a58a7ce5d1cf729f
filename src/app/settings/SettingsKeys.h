#pragma once
// The keys of section "set": how they are read, and the order in which a save writes them (a
// newly created file lists them in that order).

#include "app/settings/IniDocument.h"
#include "app/settings/SettingsStore.h"

#include <string_view>

namespace quorvel::settings {

inline constexpr std::string_view SettingsSection = "set";

// Missing keys and unreadable values give the defaults of StoredSettings.
StoredSettings ReadSettings(const IniDocument& doc);
// Writes "Rate", "Volume", "Engine", "SystemVoice", "Rate1", "Volume1", "Engine1", "SystemVoice1",
// the seven flags, then "speaklinks", "maxspoken" and "ports"; an engine without a value is left as
// the file has it, and a system voice is written only when there is one or the file has the key.
void WriteSettings(IniDocument& doc, const SettingsToSave& values);

} // namespace quorvel::settings
