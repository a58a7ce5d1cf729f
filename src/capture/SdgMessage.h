#pragma once
// Group messages of newer clients: an SDG command carries three header blocks (routing, reliability,
// messaging), each ended by an empty line, and then the message.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quorvel::capture {

struct SdgText {
    std::string account;            // the sender, from "From:" without "1:" and ";epid=..."
    std::size_t messagingStart = 0; // where the messaging headers begin: the body follows their empty line
};

// A chat message when the innermost headers say "Message-Type: Text" and a content type of
// "text/plain" (without regard to case); nothing for typing and other control messages.
std::optional<SdgText> ReadSdgText(std::string_view command);

} // namespace quorvel::capture
