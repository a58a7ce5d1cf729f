// The offline renderer: the file's format and length, cancelling, volume, and failures that must
// leave no partial file behind.

#include "speech/WavRender.h"
#include "speech/EspeakEngine.h"
#include "speech/RateMapping.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sndfile.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace quorvel::speech {
namespace {

class WavRenderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(EspeakEngine::Instance().available()) << "espeak-ng did not start";
        ASSERT_FALSE(EspeakEngine::Instance().voices().empty());
    }

    std::vector<std::string> filesInDir() const
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(m_dir))
            names.push_back(e.path().filename().string());
        return names;
    }

    test::TempDir m_tmp;
    fs::path m_dir = m_tmp.path();
};

struct WavInfo {
    SF_INFO info{};
    std::vector<short> samples;
    bool opened = false;
    double seconds() const { return info.samplerate ? double(info.frames) / info.samplerate : 0; }
    double rms() const
    {
        double sum = 0;
        for (short s : samples)
            sum += double(s) * s;
        return samples.empty() ? 0 : std::sqrt(sum / samples.size());
    }
};

WavInfo ReadWav(const fs::path& path)
{
    WavInfo w;
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &w.info);
    if (!f)
        return w;
    w.opened = true;
    w.samples.resize(static_cast<std::size_t>(w.info.frames * w.info.channels));
    sf_read_short(f, w.samples.data(), static_cast<sf_count_t>(w.samples.size()));
    sf_close(f);
    return w;
}

// Seconds espeak-ng itself produces for the text with the default voice at normal speed.
double SynthesisedSeconds(const std::string& text)
{
    auto& engine = EspeakEngine::Instance();
    std::promise<std::size_t> done;
    engine.post([&] {
        std::size_t samples = 0;
        engine.synthesizeEntry(engine.voices()[0], RateToWordsPerMinute(0), text, [&](std::span<std::int16_t> s, int) {
            samples += s.size();
            return true;
        });
        done.set_value(samples);
    });
    return double(done.get_future().get()) / engine.sampleRate();
}

const std::string kMixed = "你好，我们今天用QQ聊天吧。This is a test of the export.";

TEST_F(WavRenderTest, WritesSixteenKilohertzSixteenBitMonoOfTheSynthesisedLength)
{
    const auto path = m_dir / "out.wav";
    std::vector<int> progress;
    RenderControl control;
    control.progress = [&](int p) { progress.push_back(p); };
    const auto outcome = RenderToWav({{0, kMixed, 0, 100}}, path.string(), control);
    ASSERT_TRUE(outcome.ok) << outcome.errorText;

    const auto wav = ReadWav(path);
    ASSERT_TRUE(wav.opened);
    EXPECT_EQ(wav.info.samplerate, 16000);
    EXPECT_EQ(wav.info.channels, 1);
    EXPECT_EQ(wav.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    const double expected = SynthesisedSeconds(kMixed);
    EXPECT_GT(expected, 2.0);
    EXPECT_NEAR(wav.seconds(), expected, 0.05 * expected + 0.05);
    EXPECT_NEAR(outcome.seconds, wav.seconds(), 0.001);
    EXPECT_GT(wav.rms(), 300);

    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 100);
    for (std::size_t i = 1; i < progress.size(); ++i)
        EXPECT_LT(progress[i - 1], progress[i]) << "progress goes up";
    EXPECT_EQ(filesInDir(), std::vector<std::string>{"out.wav"}) << "no temporary file is left";
}

TEST_F(WavRenderTest, ItemsFollowEachOtherInOneFile)
{
    const auto one = RenderToWav({{0, "第一句话。", 0, 100}}, (m_dir / "one.wav").string());
    const auto two =
        RenderToWav({{0, "第一句话。", 0, 100}, {1, "The second sentence.", 0, 100}}, (m_dir / "two.wav").string());
    ASSERT_TRUE(one.ok && two.ok);
    EXPECT_GT(two.seconds, one.seconds + 0.5);
}

TEST_F(WavRenderTest, VolumeZeroIsSilentAndFullVolumeIsHeard)
{
    ASSERT_TRUE(RenderToWav({{0, kMixed, 0, 0}}, (m_dir / "quiet.wav").string()).ok);
    ASSERT_TRUE(RenderToWav({{0, kMixed, 0, 100}}, (m_dir / "loud.wav").string()).ok);
    const auto quiet = ReadWav(m_dir / "quiet.wav");
    const auto loud = ReadWav(m_dir / "loud.wav");
    EXPECT_GT(quiet.seconds(), 1.0) << "silence still has the speech's length";
    EXPECT_LT(quiet.rms(), 1.0);
    EXPECT_GT(loud.rms(), 300);
}

TEST_F(WavRenderTest, CancellingALongRenderLeavesNoFile)
{
    std::string longText;
    for (int i = 0; i < 400; ++i)
        longText += "This is a long line of the chat log that takes a while to read.\n";
    const auto path = m_dir / "long.wav";
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    RenderControl control;
    control.cancel = cancel;
    control.progress = [cancel](int p) {
        if (p >= 2)
            cancel->store(true);
    };
    const auto outcome = RenderToWav({{1, longText, 0, 100}}, path.string(), control);
    EXPECT_FALSE(outcome.ok);
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_TRUE(filesInDir().empty()) << "partial file removed";
}

TEST_F(WavRenderTest, AnExistingFileIsKeptUntilTheNewOneIsComplete)
{
    const auto path = m_dir / "keep.wav";
    {
        std::ofstream(path) << "old contents";
    }
    auto cancel = std::make_shared<std::atomic<bool>>(true);
    const auto outcome = RenderToWav({{0, kMixed, 0, 100}}, path.string(), {{}, cancel});
    EXPECT_TRUE(outcome.cancelled);
    std::ifstream in(path);
    std::string contents;
    std::getline(in, contents);
    EXPECT_EQ(contents, "old contents");
    EXPECT_EQ(filesInDir(), std::vector<std::string>{"keep.wav"});
    ASSERT_TRUE(RenderToWav({{0, "你好", 0, 100}}, path.string()).ok);
    EXPECT_TRUE(ReadWav(path).opened);
}

TEST_F(WavRenderTest, Failures)
{
    struct Row {
        const char* name;
        std::string path;
        int voice;
        const char* errorStart;
    };
    const Row rows[] = {
        {"folder missing", (m_dir / "missing" / "x.wav").string(), 0, "Cannot create file \""},
        {"target is a folder", m_dir.string(), 0, "Cannot create file \""},
        {"no such voice", (m_dir / "v.wav").string(), 100000, "No such voice."},
        {"negative voice", (m_dir / "v.wav").string(), -1, "No such voice."},
    };
    for (const auto& r : rows) {
        const auto outcome = RenderToWav({{r.voice, "hello", 0, 100}}, r.path);
        EXPECT_FALSE(outcome.ok) << r.name;
        EXPECT_FALSE(outcome.cancelled) << r.name;
        EXPECT_EQ(outcome.errorText.rfind(r.errorStart, 0), 0u) << r.name << ": " << outcome.errorText;
    }
    EXPECT_TRUE(filesInDir().empty()) << "nothing left behind";
}

TEST_F(WavRenderTest, LiveJobsRunBetweenTheStepsOfARender)
{
    std::string longText;
    for (int i = 0; i < 300; ++i)
        longText += "One more line of a long chat log, rendered step by step.\n";
    auto& engine = EspeakEngine::Instance();
    std::promise<void> rendered;
    std::atomic<bool> renderDone{false};
    StartRenderToWav({{1, longText, 0, 100}}, (m_dir / "bg.wav").string(), {}, [&](const RenderOutcome&) {
        renderDone = true;
        rendered.set_value();
    });
    std::promise<bool> job;
    engine.post([&] { job.set_value(renderDone.load()); });
    EXPECT_FALSE(job.get_future().get()) << "a job posted during a render does not wait for its end";
    rendered.get_future().wait();
}

TEST_F(WavRenderTest, AbortingASynthesisStopsAtTheChunkAndTheEngineGoesOn)
{
    auto& engine = EspeakEngine::Instance();
    std::string longText;
    for (int i = 0; i < 50; ++i)
        longText += "A long sentence that would take many seconds to speak. ";
    std::promise<std::pair<int, std::size_t>> aborted;
    engine.post([&] {
        std::size_t samples = 0;
        const auto r =
            engine.synthesize(engine.voices()[1].identifier, 175, longText, [&](std::span<std::int16_t> s, int) {
                samples += s.size();
                return false;
            });
        aborted.set_value({static_cast<int>(r), samples});
    });
    const auto [result, samples] = aborted.get_future().get();
    EXPECT_EQ(result, static_cast<int>(EspeakEngine::Result::Aborted));
    EXPECT_LT(samples, 22050u) << "stopped within the first chunk, not after the text";
    EXPECT_GT(SynthesisedSeconds("still working"), 0.3);
}

TEST_F(WavRenderTest, EmptyTextGivesAnEmptyValidFile)
{
    const auto path = m_dir / "empty.wav";
    ASSERT_TRUE(RenderToWav({{0, "", 0, 100}}, path.string()).ok);
    const auto wav = ReadWav(path);
    ASSERT_TRUE(wav.opened);
    EXPECT_EQ(wav.info.samplerate, 16000);
    EXPECT_EQ(wav.info.frames, 0);
}

// Faster rates are shorter; espeak-ng stops at 80 wpm, and below -7 the stretch must still make
// every step slower.
TEST_F(WavRenderTest, EachSlowerRateLongerThanTheLast)
{
    const std::string text = "你好，我们今天用QQ聊天吧。This is a test.";
    struct Row {
        int rate;
        double minGrowth; // over the row before
    };
    const Row rows[] = {{10, 0}, {0, 1.6}, {-7, 1.05}, {-8, 1.05}, {-9, 1.05}, {-10, 1.05}};
    std::vector<double> seconds;
    for (const auto& r : rows) {
        const auto path = m_dir / ("rate" + std::to_string(r.rate) + ".wav");
        const auto outcome = RenderToWav({{0, text, r.rate, 100}}, path.string());
        ASSERT_TRUE(outcome.ok) << r.rate << ": " << outcome.errorText;
        const auto wav = ReadWav(path);
        EXPECT_GT(wav.rms(), 300) << r.rate;
        if (!seconds.empty()) {
            EXPECT_GT(wav.seconds(), seconds.back() * r.minGrowth) << r.rate;
        }
        seconds.push_back(wav.seconds());
        std::printf("rate %d: %.2f s\n", r.rate, wav.seconds());
    }
    // 175·3^(rate/10): -10 lasts 81/58.3 ≈ 1.39 times as long as -7.
    EXPECT_NEAR(seconds.back() / seconds[2], 1.39, 0.12);
}

} // namespace
} // namespace quorvel::speech
