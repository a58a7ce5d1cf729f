#include "app/core/LocalTime.h"

#include "app/settings/ContactsStore.h"
#include "capture/EventHandling.h"

#include <chrono>
#include <ctime>

namespace quorvel::app {

LocalSecond LocalSecondOf(std::int64_t utcSecond)
{
    const std::time_t time = static_cast<std::time_t>(utcSecond);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &time);
#else
    localtime_r(&time, &local);
#endif
    return {utcSecond, capture::ClockText(local.tm_hour, local.tm_min, local.tm_sec),
            settings::IsoTimeText(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                                  local.tm_sec)};
}

const LocalSecond& CurrentLocalSecond()
{
    static LocalSecond current;
    const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    if (now != current.utcSecond)
        current = LocalSecondOf(now);
    return current;
}

} // namespace quorvel::app
