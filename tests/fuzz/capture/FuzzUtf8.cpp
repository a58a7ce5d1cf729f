// libFuzzer target: lossy UTF-8 decoding always gives valid UTF-8 and leaves valid input alone.

#include "capture/Utf8.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace quorvel::capture;
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
    return 0;
}
