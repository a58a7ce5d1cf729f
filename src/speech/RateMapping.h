#pragma once
// How the profile's rate and volume positions become espeak-ng words per minute and a sample gain.

#include <cstdint>
#include <span>

namespace quorvel::speech {

inline constexpr int kNormalWordsPerMinute = 175;
// espeak-ng speaks no slower than 80 wpm (anything lower acts as 80) and gets hard to follow
// far above 500, so the scale is clamped to that range.
inline constexpr int kMinWordsPerMinute = 80;
inline constexpr int kMaxWordsPerMinute = 500;

// What espeak-ng is asked for, and how much its output is then stretched in time.
struct SpokenRate {
    int wordsPerMinute = kNormalWordsPerMinute;
    double speed = 1.0; // below 1 the samples are slowed down by that factor, pitch kept
    friend bool operator==(const SpokenRate&, const SpokenRate&) = default;
};

// rate -10..10 (out of range is clamped): 175 · 3^(rate/10), so each step is the same factor,
// +10 is about three times faster and -10 three times slower. Below espeak-ng's 80 wpm the
// text is spoken at 80 and stretched to the rate's own speed (-8 ≈ 0.91, -9 ≈ 0.81, -10 ≈ 0.73).
SpokenRate MapRate(int rate);

// MapRate(rate).wordsPerMinute.
int RateToWordsPerMinute(int rate);

// volume 0..100 (clamped) as a linear gain 0.0..1.0.
double VolumeToGain(int volume);

// Scales samples in place; volume 0 gives exact silence, 100 leaves them untouched.
void ApplyVolume(std::span<std::int16_t> samples, int volume);

} // namespace quorvel::speech
