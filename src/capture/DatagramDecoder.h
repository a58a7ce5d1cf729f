#pragma once
// Decoding of one captured IPv4 datagram (starting at its IP header) into chat events.
// Pure: no I/O, no Qt; every read is bounds-checked against the datagram's length.

#include "capture/ChatEvent.h"
#include "capture/ServerEndpoints.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace quorvel::capture {

class FriendlyNames;

struct DecodeResult {
    // In order: the friend check's event, then the own check's.
    std::vector<ChatEvent> events;
    // Set when the friend check found a chat message whose command line lacks the nickname field;
    // events is then empty (the own check is not made). Report: text::FieldResult::errorMessage().
    std::optional<int> missingFieldIndex;
};

// One datagram on its own: the payload of the TCP segment is taken as one chat command. Nothing is
// learned: only the endpoints given (by default the default ports) count as servers.
DecodeResult DecodeDatagram(std::span<const std::uint8_t> ipDatagram);
DecodeResult DecodeDatagram(std::span<const std::uint8_t> ipDatagram, const ServerEndpoints& endpoints);

// The chat checks on one payload (read up to its first NUL byte): the friend check when it comes from
// a server endpoint, then the own check when it goes to one.
DecodeResult DecodePayload(std::string_view payloadBytes, bool fromServer, bool toServer);

// The same for one SDG command: a friend's event names its sender by the friendly name the connection
// gave the account (names may be null), or by the account.
DecodeResult DecodeSdg(std::string_view commandBytes, bool fromServer, bool toServer, const FriendlyNames* names);

} // namespace quorvel::capture
