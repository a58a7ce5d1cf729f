#pragma once
// One decoded chat message of the messenger protocol.

#include <string>

namespace quorvel::capture {

enum class Direction { Own, Friend };

struct ChatEvent {
    Direction direction = Direction::Own;
    std::string command;      // "MSG", "UBM" (friend only) or "UUM" (own only)
    std::string payloadText;  // the whole payload, UTF-8 (malformed sequences as U+FFFD)
    std::string nickname;     // friend only: cleaned nickname ("MSG") or account ("UBM")
    std::string account;      // friend only: the sender's account as written in the traffic
    std::string wordedText;   // body with emoticon codes as words
    std::string strippedText; // body with emoticon codes removed
};

} // namespace quorvel::capture
