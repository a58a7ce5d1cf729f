#pragma once
// Captured chat text is decoded by the text module; capture code keeps calling it by these names.

#include "text/Utf8.h"

namespace quorvel::capture {

using text::DecodeUtf8Lossy;
using text::IsValidUtf8;

} // namespace quorvel::capture
