#pragma once
// --wav: every text that would be spoken, in capture order, rendered into one 16 kHz mono WAV file
// by the edition's speech engine.

#include "app/settings/ContactsStore.h"
#include "capture/EventHandling.h"

#include <optional>
#include <string>
#include <vector>

namespace quorvel::replay {

// Nothing when the file is whole; else what went wrong, for the user (one line).
std::optional<std::string> WriteSpeechWav(const std::vector<capture::SpeechRequest>& speeches,
                                          const settings::ContactBook& contacts, const std::string& path);

} // namespace quorvel::replay
