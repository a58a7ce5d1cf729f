#include "speech/VoiceTokens.h"

namespace quorvel::speech {

// Linux has no voice registry: espeak-ng finds its voices by itself, so there is nothing to write
// or remove, and nothing another program installed can be disturbed.
void RegisterMikeToken() {}
void RegisterMaryToken() {}
void RemoveMaryToken() {}
void RemoveMikeToken() {}

} // namespace quorvel::speech
