// libFuzzer target: a whole capture file (pcap or pcapng) as quorvel-replay reads it, from memory:
// the capture file reader, the link layers, datagram decoding, event handling and the JSON lines.

#include "Replay.h"
#include "text/Utf8.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace quorvel;
    if (size == 0)
        return 0; // fmemopen refuses an empty buffer
    std::FILE* file = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    if (!file)
        return 0;
    replay::ReplayOptions options;
    options.collectSpeeches = (data[0] & 1) != 0;
    std::uint64_t lastFrame = 0, records = 0;
    const replay::ReplayResult result = replay::ReplayCapture(file, options, [&](const replay::ReplayRecord& record) {
        Check(record.frame >= lastFrame && record.frame >= 1);
        lastFrame = record.frame;
        ++records;
        const std::string line = replay::RecordToJson(record);
        // One record, one line: every control character is escaped.
        Check(!line.empty() && line.front() == '{' && line.back() == '}');
        Check(line.find('\n') == std::string::npos && line.find('\r') == std::string::npos);
        Check(text::IsValidUtf8(line));
    });
    Check(lastFrame <= result.frames);
    if (result.error)
        Check(!result.error->empty());
    if (!options.collectSpeeches)
        Check(result.speeches.empty());
    else
        Check(result.speeches.size() <= 2 * records);
    return 0;
}
