// libFuzzer target: a captured frame through link-layer stripping, datagram decoding and event handling.
// Byte 0 picks the link type, byte 1 the option boxes and show-time, the rest is the frame.

#include "capture/DatagramDecoder.h"
#include "capture/EventHandling.h"
#include "capture/LinkLayer.h"
#include "text/Utf8.h"

#include <pcap/dlt.h>

#include <cstdint>
#include <cstdlib>
#include <span>

namespace {

constexpr int LinkTypes[] = {DLT_EN10MB, DLT_LINUX_SLL, DLT_LINUX_SLL2, DLT_RAW,
                             DLT_IPV4,   DLT_NULL,      DLT_LOOP,       DLT_IEEE802_11};

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace quorvel::capture;
    using quorvel::text::IsValidUtf8;
    if (size < 2)
        return 0;
    const int dlt = LinkTypes[data[0] % std::size(LinkTypes)];
    const std::uint8_t bits = data[1];
    const std::span<const std::uint8_t> frame(data + 2, size - 2);

    const auto datagram = StripLinkLayer(dlt, frame);
    if (!datagram)
        return 0;
    Check(datagram->data() >= frame.data() && datagram->data() + datagram->size() <= frame.data() + frame.size());

    const DecodeResult result = DecodeDatagram(*datagram);
    if (result.missingFieldIndex)
        Check(result.events.empty() && (*result.missingFieldIndex == 1 || *result.missingFieldIndex == 2));
    Check(result.events.size() <= 2);

    const ReadingOptions own{(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0};
    const ReadingOptions friends{(bits & 8) != 0, (bits & 16) != 0, (bits & 32) != 0};
    const bool showTime = (bits & 64) != 0;
    for (const ChatEvent& event : result.events) {
        Check(IsValidUtf8(event.payloadText) && IsValidUtf8(event.nickname) && IsValidUtf8(event.wordedText) &&
              IsValidUtf8(event.strippedText));
        const EventOutcome outcome = HandleChatEvent(event, own, friends, showTime, "12:34:56");
        Check(outcome.speakAfterLines <= outcome.lines.size());
        for (const LogLine& line : outcome.lines)
            Check(IsValidUtf8(line.text));
        if (outcome.speech)
            Check(!outcome.speech->text.empty() && IsValidUtf8(outcome.speech->text));
        if (event.direction == Direction::Own && event.wordedText.empty())
            Check(outcome.lines.empty() && !outcome.speech);
    }
    return 0;
}
