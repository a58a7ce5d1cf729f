#pragma once
// The local time to the second, as the log header and the contacts list show it. Asking the C library
// re-reads the time zone file each time, which cost a burst of chat a fifth of its handling; the local
// time is therefore asked once a second at most. Pure C++; for one thread (the window's).

#include <cstdint>
#include <string>

namespace quorvel::app {

struct LocalSecond {
    std::int64_t utcSecond = -1;
    std::string clock;   // hh:mm:ss
    std::string isoDate; // yyyy-MM-ddThh:mm:ss
};

// The given second since the epoch in local time.
LocalSecond LocalSecondOf(std::int64_t utcSecond);
// Now; the same object until the second changes.
const LocalSecond& CurrentLocalSecond();

} // namespace quorvel::app
