#pragma once
// Decoding of one captured IPv4 datagram (starting at its IP header) into chat events.
// Pure: no I/O, no Qt; every read is bounds-checked against the datagram's length.

#include "capture/ChatEvent.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace quorvel::capture {

inline constexpr std::uint16_t MessengerPort = 1863;

struct DecodeResult {
    // In order: the friend check's event, then the own check's.
    std::vector<ChatEvent> events;
    // Set when the friend check found a chat message whose command line lacks the nickname field;
    // events is then empty (the own check is not made). Report: text::FieldResult::errorMessage().
    std::optional<int> missingFieldIndex;
};

// One datagram on its own: the payload of the TCP segment is taken as one chat command.
DecodeResult DecodeDatagram(std::span<const std::uint8_t> ipDatagram);

// The chat checks on one payload (read up to its first NUL byte): the friend check when it comes from
// the messenger port, then the own check when it goes to it.
DecodeResult DecodePayload(std::string_view payloadBytes, bool fromServer, bool toServer);

} // namespace quorvel::capture
