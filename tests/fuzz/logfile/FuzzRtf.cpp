// ReadRtf on any bytes; what it gives must survive our writer unchanged, and every text it or the
// plain-text decoder gives must be valid UTF-8.

#include "text/Utf8.h"
#include "ui/logfile/RichText.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace quorvel::logfile;
using quorvel::text::IsValidUtf8;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    if (!IsValidUtf8(DecodePlainText(bytes)))
        std::abort();

    const std::optional<RichText> text = ReadRtf(bytes);
    if (!text)
        return 0;
    for (const TextRun& run : text->runs) {
        if (run.text.empty() || !IsValidUtf8(run.text))
            std::abort();
    }
    const std::optional<RichText> again = ReadRtf(WriteRtf(*text));
    if (!again || again->runs != text->runs)
        std::abort();
    return 0;
}
