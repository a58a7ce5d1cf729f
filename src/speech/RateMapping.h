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

// speech-dispatcher takes rate and volume as -100..100, and each output module maps that scale onto
// its synthesiser. The default module, espeak-ng, maps rate piecewise linearly (-100 = 80 wpm,
// 0 = 170, +100 = 449 as Debian configures it) and volume linearly onto its amplitude 0..200.

// rate -10..10 (clamped) with the built-in voices' curve, each step the same factor and 10 steps
// three times as fast, placed on that scale: 0 stays 0, the server's normal rate (which users tune
// for their screen reader), and steps beyond the module's range stop at its ends.
int SystemRate(int rate);

// volume 0..100 (clamped) linearly onto -100..100: 0 is silent, 100 the server's full volume, which
// Debian's speech-dispatcher gives every client by default.
int SystemVolume(int volume);

} // namespace quorvel::speech
