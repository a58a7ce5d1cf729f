#pragma once
// The words in which either edition's capture reports a failed set-up step. Pure.

#include <stdexcept>
#include <string>
#include <string_view>

namespace quorvel::capture {

// A local address that cannot be looked up ("Socket Error # %d" and the reason); ends the window's
// set-up as an error that is not handled where it arises.
class HostLookupError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "<step> failed with error <number>"
std::string FailureText(std::string_view step, int number);

// "Socket Error # <number>\n<reason>"
std::string HostLookupErrorText(int number, std::string_view reason);
// The resolver answered without any IPv4 address: the first entry of an empty list was asked for.
std::string NoHostAddressText();

} // namespace quorvel::capture
