#pragma once
// The voices SAPI 5 offers: the tokens of its voice category in the engine's order, each with its
// display name (the description in the user's language, else the default one, else the token's name).

#include "win/common/Com.h"

#include <sapi.h>

#include <string>
#include <vector>

namespace quorvel::win {

struct SapiVoice {
    std::string name; // UTF-8
    ComPtr<ISpObjectToken> token;
};

// On the calling thread's apartment; empty when SAPI is missing or has no voice.
std::vector<SapiVoice> ListSapiVoices();

std::string TokenDisplayName(ISpObjectToken* token);

} // namespace quorvel::win
