// Synthesis figures: time to the first chunk and speed as a multiple of real time, for a
// 20-character Chinese sentence (Mandarin entry) and 100 English words (English entry), plus the
// whole render of a WAV export. Runs on the engine's own worker, as the program does.

#include "speech/EspeakEngine.h"
#include "speech/RateMapping.h"
#include "speech/WavRender.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <future>
#include <string>
#include <unistd.h>

namespace {

using quorvel::speech::EspeakEngine;
using Clock = std::chrono::steady_clock;

const std::string kChinese = "今天天气很好，我们一起去公园散步吧，然后吃饭。"; // 20 Han characters + punctuation

std::string EnglishWords()
{
    static const char* words[] = {"the", "quick", "brown", "fox", "jumps", "over", "a", "lazy", "dog", "today"};
    std::string s;
    for (int i = 0; i < 100; ++i)
        s += std::string(words[i % 10]) + (i % 10 == 9 ? ". " : " ");
    return s;
}

struct Figures {
    double firstChunkMs = 0;
    double synthMs = 0;
    double audioSeconds = 0;
};

Figures Synthesise(int voiceIndex, const std::string& text, int rate = 0)
{
    auto& engine = EspeakEngine::Instance();
    std::promise<Figures> done;
    engine.post([&] {
        Figures f;
        std::size_t samples = 0;
        const auto start = Clock::now();
        bool first = true;
        const auto spoken = quorvel::speech::MapRate(rate);
        engine.synthesizeEntry(
            engine.voices()[static_cast<std::size_t>(voiceIndex)], spoken.wordsPerMinute, text,
            [&](std::span<std::int16_t> s, int) {
                if (first) {
                    first = false;
                    f.firstChunkMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
                }
                samples += s.size();
                return true;
            },
            spoken.speed);
        f.synthMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        f.audioSeconds = double(samples) / engine.sampleRate();
        done.set_value(f);
    });
    return done.get_future().get();
}

void Report(benchmark::State& state, const Figures& f)
{
    state.counters["first_chunk_ms"] = f.firstChunkMs;
    state.counters["audio_s"] = f.audioSeconds;
    state.counters["x_realtime"] = f.audioSeconds * 1000.0 / f.synthMs;
}

void BM_SynthesiseChinese20(benchmark::State& state)
{
    Figures f;
    for (auto _ : state)
        f = Synthesise(0, kChinese);
    Report(state, f);
}
BENCHMARK(BM_SynthesiseChinese20)->Unit(benchmark::kMillisecond);

void BM_SynthesiseEnglish100Words(benchmark::State& state)
{
    Figures f;
    for (auto _ : state)
        f = Synthesise(1, EnglishWords());
    Report(state, f);
}
BENCHMARK(BM_SynthesiseEnglish100Words)->Unit(benchmark::kMillisecond);

// The slowest rates: -7 is espeak-ng alone at 81 wpm, -8 to -10 add the time stretch.
void BM_SynthesiseEnglish100WordsAtRate(benchmark::State& state)
{
    Figures f;
    for (auto _ : state)
        f = Synthesise(1, EnglishWords(), static_cast<int>(state.range(0)));
    Report(state, f);
}
BENCHMARK(BM_SynthesiseEnglish100WordsAtRate)->Arg(-7)->Arg(-8)->Arg(-10)->Unit(benchmark::kMillisecond);

void BM_RenderWavExport(benchmark::State& state)
{
    std::string log;
    for (int i = 0; i < 20; ++i)
        log += "Thomas 说 (02:27:50):\n" + kChinese + " OK, see you at 5.\n";
    const auto path = std::filesystem::temp_directory_path() / ("quorvel-bench-" + std::to_string(::getpid()) + ".wav");
    double seconds = 0;
    double wallMs = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        seconds = quorvel::speech::RenderToWav({{0, log, 0, 100}}, path.string()).seconds;
        wallMs += std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    }
    state.counters["audio_s"] = seconds;
    state.counters["x_realtime"] = seconds * 1000.0 * double(state.iterations()) / wallMs;
    std::filesystem::remove(path);
}
BENCHMARK(BM_RenderWavExport)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
