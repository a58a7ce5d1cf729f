// libFuzzer target: lossy UTF-8 decoding always gives valid UTF-8 and leaves valid input alone; walking
// code points and encoding them again gives the same text.

#include "text/Utf8.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace quorvel::text;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string output = DecodeUtf8Lossy(input);
    if (!IsValidUtf8(output))
        std::abort();
    if (IsValidUtf8(input) != (output == input))
        std::abort();
    if (DecodeUtf8Lossy(output) != output)
        std::abort();
    // A U+FFFD (three bytes) stands for at least one input byte.
    if (output.size() > input.size() * 3)
        std::abort();

    std::string walked;
    std::size_t steps = 0;
    for (std::size_t pos = 0; pos < input.size(); ++steps)
        AppendUtf8(walked, NextCodePoint(input, pos));
    if (walked != output || CountCodePoints(output) != steps)
        std::abort();
    return 0;
}
