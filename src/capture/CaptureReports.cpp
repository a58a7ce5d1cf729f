#include "capture/CaptureReports.h"

namespace quorvel::capture {

std::string FailureText(std::string_view step, int number)
{
    return std::string(step) + " failed with error " + std::to_string(number);
}

std::string HostLookupErrorText(int number, std::string_view reason)
{
    return "Socket Error # " + std::to_string(number) + "\n" + std::string(reason);
}

std::string NoHostAddressText()
{
    return "List index out of bounds (0)";
}

} // namespace quorvel::capture
