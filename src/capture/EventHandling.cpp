#include "capture/EventHandling.h"

#include "text/SpeechText.h"

#include <cstdio>

namespace quorvel::capture {

namespace {

// The message part as it is said: links by their host, then cut to length (after the links, so
// that an address counts as the few characters it is spoken as).
std::string Shaped(const std::string& body, const SpeechShaping& shaping)
{
    return text::CutForSpeech(shaping.speakLinks ? text::SpeakLinks(body) : body, shaping.maxSpoken);
}

// The spoken text by the direction's three boxes; nothing when the row's test text is empty.
std::optional<std::string> SpokenText(const ChatEvent& event, const ReadingOptions& options, const std::string& prefix,
                                      const SpeechShaping& shaping)
{
    const std::string& worded = event.wordedText;
    const std::string& stripped = event.strippedText;
    if (options.speakMessage) {
        const std::string& body = options.speakEmoticons ? worded : stripped;
        if (body.empty())
            return std::nullopt;
        return options.speakNickname ? prefix + Shaped(body, shaping) : Shaped(body, shaping);
    }
    if (!options.speakNickname || worded.empty())
        return std::nullopt;
    return options.speakEmoticons ? prefix + Shaped(worded, shaping) : prefix;
}

} // namespace

EventOutcome HandleChatEvent(const ChatEvent& event, const ReadingOptions& own, const ReadingOptions& friends,
                             bool showTime, std::string_view timeText, const SpeechShaping& shaping)
{
    EventOutcome outcome;
    const std::string time(timeText);
    const LogLine body{event.wordedText, Black, true};

    if (event.direction == Direction::Friend) {
        const bool ubm = event.command == "UBM";
        const std::string header =
            (ubm || showTime) ? event.nickname + " 说 (" + time + "):" : event.nickname + " 说 :";
        outcome.lines.push_back({header, ubm ? HeaderBlue : HeaderGreen, false});
        outcome.speakAfterLines = 1;
        // The log keeps the nickname; only what is spoken takes the alias.
        const std::string& spokenName = shaping.spokenName ? *shaping.spokenName : event.nickname;
        if (auto text = SpokenText(event, friends, spokenName + " 说：", shaping); text && !shaping.mute)
            outcome.speech = SpeechRequest{Voice::Friend, std::move(*text), shaping.contact};
        if (!event.wordedText.empty())
            outcome.lines.push_back(body);
        return outcome;
    }

    if (!event.wordedText.empty()) {
        outcome.lines.push_back({showTime ? "我 说 (" + time + "):" : std::string("我 说 :"), HeaderGreen, false});
        outcome.lines.push_back(body);
    }
    outcome.speakAfterLines = outcome.lines.size();
    if (auto text = SpokenText(event, own, "我说：", shaping))
        outcome.speech = SpeechRequest{Voice::Own, std::move(*text), {}};
    return outcome;
}

void ApplyOutcome(const EventOutcome& outcome, const std::function<void(const LogLine&, bool continues)>& addLine,
                  const std::function<void(const SpeechRequest&)>& speak)
{
    for (std::size_t i = 0; i < outcome.lines.size(); ++i) {
        if (i == outcome.speakAfterLines && outcome.speech)
            speak(*outcome.speech);
        addLine(outcome.lines[i], i > 0);
    }
    if (outcome.speakAfterLines >= outcome.lines.size() && outcome.speech)
        speak(*outcome.speech);
}

std::string ClockText(int hour, int minute, int second)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", hour, minute, second);
    return text;
}

} // namespace quorvel::capture
