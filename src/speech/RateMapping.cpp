#include "speech/RateMapping.h"

#include <algorithm>
#include <cmath>

namespace quorvel::speech {

SpokenRate MapRate(int rate)
{
    const int r = std::clamp(rate, -10, 10);
    const double wpm = kNormalWordsPerMinute * std::pow(3.0, r / 10.0);
    SpokenRate spoken;
    spoken.wordsPerMinute = std::clamp(static_cast<int>(std::lround(wpm)), kMinWordsPerMinute, kMaxWordsPerMinute);
    if (wpm < kMinWordsPerMinute - 0.5)
        spoken.speed = wpm / kMinWordsPerMinute;
    return spoken;
}

int RateToWordsPerMinute(int rate)
{
    return MapRate(rate).wordsPerMinute;
}

double VolumeToGain(int volume)
{
    return std::clamp(volume, 0, 100) / 100.0;
}

void ApplyVolume(std::span<std::int16_t> samples, int volume)
{
    const int v = std::clamp(volume, 0, 100);
    if (v == 100)
        return;
    for (auto& s : samples)
        s = static_cast<std::int16_t>(static_cast<int>(s) * v / 100);
}

int SystemRate(int rate)
{
    // espeak-ng module's words per minute at -100, 0 and +100.
    constexpr double slowest = 80, normal = 170, fastest = 449;
    const double factor = std::pow(3.0, std::clamp(rate, -10, 10) / 10.0);
    const double wpm = normal * factor;
    const double scaled = wpm >= normal ? 100 * (wpm - normal) / (fastest - normal)
                                        : 100 * (wpm - normal) / (normal - slowest);
    return std::clamp(static_cast<int>(std::lround(scaled)), -100, 100);
}

int SystemVolume(int volume)
{
    return 2 * std::clamp(volume, 0, 100) - 100;
}

} // namespace quorvel::speech
