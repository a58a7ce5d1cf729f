#pragma once
// Lossy UTF-8 decoding of captured chat text.

#include <string>
#include <string_view>

namespace quorvel::capture {

// Valid UTF-8 (one- to four-byte sequences) is kept as it is; each maximal ill-formed subpart
// (a malformed or truncated sequence) becomes one U+FFFD, as ICU and Python's "replace" do.
// The result is always valid UTF-8.
std::string DecodeUtf8Lossy(std::string_view bytes);

bool IsValidUtf8(std::string_view bytes);

} // namespace quorvel::capture
