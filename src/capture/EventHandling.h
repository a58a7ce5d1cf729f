#pragma once
// What one chat event puts into the log and hands to speech, as pure decisions.
// The desktop program applies the outcome to its log and voices; the replay tool prints it.

#include "capture/ChatEvent.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::capture {

// The three boxes of one direction.
struct ReadingOptions {
    bool speakMessage = true;
    bool speakNickname = true;
    bool speakEmoticons = true;
};

struct Rgb {
    std::uint8_t red = 0, green = 0, blue = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};
inline constexpr Rgb Black{0, 0, 0};
inline constexpr Rgb HeaderGreen{0, 128, 0};
inline constexpr Rgb HeaderBlue{0, 0, 255};

struct LogLine {
    std::string text; // UTF-8; may hold CR LF line breaks (multi-line bodies)
    Rgb color;
    bool scrollToEnd = false; // body lines bring the end of the log into view
};

enum class Voice { Own, Friend };

struct SpeechRequest {
    Voice voice = Voice::Own;
    std::string text;
    std::string contact; // account whose own voice speaks it; empty: the direction's voice
};

struct EventOutcome {
    std::vector<LogLine> lines;
    std::optional<SpeechRequest> speech;
    // How many of `lines` are appended before the speech request is handed over
    // (friend events speak after the header, own events after the body).
    std::size_t speakAfterLines = 0;
};

// How one event's speech is shaped beyond the direction's three boxes.
struct SpeechShaping {
    bool speakLinks = true;                // URLs spoken as "链接" and the host name
    std::size_t maxSpoken = 300;           // characters of the message spoken; 0 = no limit
    std::optional<std::string> spokenName; // a friend's alias, spoken instead of the nickname
    bool mute = false;                     // logged, never spoken
    std::string contact;                   // account whose own voice speaks it; empty: the friend voice
};

EventOutcome HandleChatEvent(const ChatEvent& event, const ReadingOptions& own, const ReadingOptions& friends,
                             bool showTime, std::string_view timeText, const SpeechShaping& shaping = {});

// Hands an outcome to a log and a voice in its order: the lines, and the speech request where it
// belongs among them. Every line after an event's first continues its paragraph.
void ApplyOutcome(const EventOutcome& outcome, const std::function<void(const LogLine&, bool continues)>& addLine,
                  const std::function<void(const SpeechRequest&)>& speak);

// The header's time of day: "hh:mm:ss" on the 24-hour clock.
std::string ClockText(int hour, int minute, int second);

} // namespace quorvel::capture
