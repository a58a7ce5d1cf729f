// quorvel-replay --wav over a real capture: one 16 kHz mono WAV file with every spoken text.

#include "TempDir.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class ReplayWavTest : public ::testing::Test {
protected:
    int run(const std::string& args)
    {
        const std::string command = std::string("'") + QUORVEL_REPLAY_BINARY + "' " + args + " > '" +
                                    (m_dir / "out.jsonl").string() + "' 2> '" + (m_dir / "err.txt").string() + "'";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    quorvel::test::TempDir m_tmp;
    fs::path m_dir = m_tmp.path();
};

TEST_F(ReplayWavTest, CaptureBecomesOneSixteenKilohertzMonoFile)
{
    const auto wav = m_dir / "chat.wav";
    ASSERT_EQ(run("--wav '" + wav.string() + "' '" QUORVEL_TEST_DATA "/captures/msnms.pcap'"), 0);
    EXPECT_GT(fs::file_size(m_dir / "out.jsonl"), 0u) << "the JSON lines are still printed";

    SF_INFO info{};
    SNDFILE* f = sf_open(wav.c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    std::vector<short> samples(static_cast<std::size_t>(info.frames));
    sf_read_short(f, samples.data(), info.frames);
    sf_close(f);
    EXPECT_EQ(info.samplerate, 16000);
    EXPECT_EQ(info.channels, 1);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    // Seven short chat lines with their speaker prefixes: some seconds each, not minutes.
    const double seconds = double(info.frames) / info.samplerate;
    EXPECT_GT(seconds, 8.0);
    EXPECT_LT(seconds, 60.0);
    double sum = 0;
    for (short s : samples)
        sum += double(s) * s;
    EXPECT_GT(std::sqrt(sum / std::max<std::size_t>(1, samples.size())), 300.0) << "speech, not silence";
}

TEST_F(ReplayWavTest, ContactsShapeTheRecording)
{
    // Thomas's three messages: muted, or read by his own voice at the fastest rate, leave a shorter
    // file; his own voice at the friend voice's rate and volume leaves it as long.
    const auto seconds = [this](const std::string& contacts) {
        const auto ini = m_dir / "contacts.ini";
        std::ofstream(ini) << contacts;
        const auto wav = m_dir / "chat.wav";
        const std::string option = contacts.empty() ? "" : "--contacts '" + ini.string() + "' ";
        EXPECT_EQ(run(option + "--wav '" + wav.string() + "' '" QUORVEL_TEST_DATA "/captures/msnms.pcap'"), 0);
        SF_INFO info{};
        SNDFILE* f = sf_open(wav.c_str(), SFM_READ, &info);
        EXPECT_NE(f, nullptr);
        if (f)
            sf_close(f);
        return double(info.frames) / std::max(1, info.samplerate);
    };
    const double plain = seconds("");
    const double same = seconds("[tesla_thomas@hotmail.com]\nOwnVoice=1\nEngine=0\nRate=0\nVolume=100\n");
    const double fast = seconds("[tesla_thomas@hotmail.com]\nOwnVoice=1\nEngine=0\nRate=10\n");
    const double muted = seconds("[Tesla_Thomas@hotmail.com]\nMute=1\n");
    EXPECT_NEAR(same, plain, 0.5);
    EXPECT_LT(fast, plain - 1.0);
    EXPECT_LT(muted, fast);
}

TEST_F(ReplayWavTest, UnwritableFileIsReported)
{
    const auto wav = m_dir / "missing" / "chat.wav";
    EXPECT_EQ(run("--wav '" + wav.string() + "' '" QUORVEL_TEST_DATA "/captures/msnms.pcap'"), 1);
    EXPECT_FALSE(fs::exists(wav));
    EXPECT_GT(fs::file_size(m_dir / "err.txt"), 0u);
}

TEST_F(ReplayWavTest, WavNeedsAName)
{
    EXPECT_EQ(run("'" QUORVEL_TEST_DATA "/captures/msnms.pcap' --wav"), 2);
}

} // namespace
