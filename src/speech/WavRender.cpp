#include "speech/WavRender.h"

#include "speech/EspeakEngine.h"
#include "speech/RateMapping.h"
#include "text/Utf8.h"

#include <sndfile.h>
#include <soxr.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <unistd.h>

namespace quorvel::speech {
namespace {

std::string Format(const char* pattern, const std::string& path, const std::string& reason)
{
    std::string out;
    for (const char* p = pattern; *p; ++p) {
        if (p[0] == '%' && p[1] == '1') {
            out += path;
            ++p;
        } else if (p[0] == '%' && p[1] == '2') {
            out += reason;
            ++p;
        } else
            out += *p;
    }
    return out;
}

struct Segment {
    const VoiceEntry* voice;
    SpokenRate rate;
    int volume;
    std::string text;
    int characters;
};

int CountCharacters(const std::string& s)
{
    return static_cast<int>(text::CountCodePoints(s));
}

class RenderTask {
public:
    RenderTask(std::vector<RenderItem> items, std::string path, RenderControl control,
               std::function<void(const RenderOutcome&)> done)
        : m_items(std::move(items)), m_path(std::move(path)), m_control(std::move(control)), m_done(std::move(done))
    {
    }

    ~RenderTask() { cleanUp(); }

    // One step on the worker; false when finished (done has been called).
    bool step()
    {
        if (!m_started) {
            m_started = true;
            if (!open())
                return false;
        }
        if (cancelled())
            return finish({false, true, {}, 0});
        if (m_next < m_segments.size()) {
            if (!render(m_segments[m_next]))
                return false;
            m_doneCharacters += m_segments[m_next].characters;
            ++m_next;
            return true;
        }
        return complete();
    }

private:
    bool cancelled() const { return m_control.cancel && m_control.cancel->load(); }

    bool open()
    {
        auto& engine = EspeakEngine::Instance();
        const auto& voices = engine.voices();
        for (const auto& item : m_items) {
            if (item.voiceIndex < 0 || item.voiceIndex >= static_cast<int>(voices.size()))
                return finish(
                    {false, false, engine.available() ? "No such voice." : "No speech engine is available.", 0});
            const SpokenRate rate = MapRate(item.rate);
            // One line per step keeps each step short, so live speech is never held up for long.
            std::size_t begin = 0;
            while (begin <= item.text.size()) {
                auto end = item.text.find('\n', begin);
                if (end == std::string::npos)
                    end = item.text.size();
                std::string line = item.text.substr(begin, end - begin);
                if (line.find_first_not_of(" \t\r") != std::string::npos) {
                    const int n = CountCharacters(line);
                    m_segments.push_back(
                        {&voices[static_cast<std::size_t>(item.voiceIndex)], rate, item.volume, std::move(line), n});
                    m_totalCharacters += n;
                }
                begin = end + 1;
            }
        }

        for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
            m_tempPath = m_path + "." + std::to_string(::getpid()) + "-" + std::to_string(attempt) + ".part";
            m_fd = ::open(m_tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (m_fd < 0 && errno != EEXIST)
                break;
        }
        if (m_fd < 0) {
            const std::string reason = std::strerror(errno);
            m_tempPath.clear();
            return finish({false, false, Format("Cannot create file \"%1\". %2", m_path, reason), 0});
        }
        SF_INFO info{};
        info.samplerate = kWavSampleRate;
        info.channels = 1;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        m_file = sf_open_fd(m_fd, SFM_WRITE, &info, SF_TRUE);
        if (!m_file) {
            ::close(m_fd);
            m_fd = -1;
            return finish({false, false, Format("Cannot create file \"%1\". %2", m_path, sf_strerror(nullptr)), 0});
        }
        m_fd = -1; // owned by m_file now

        soxr_error_t error = nullptr;
        const soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
        m_resampler = soxr_create(engine.sampleRate(), kWavSampleRate, 1, &error, &io, &quality, nullptr);
        if (error || !m_resampler)
            return finish(
                {false, false, Format("Cannot write file \"%1\". %2", m_path, error ? error : "resampler"), 0});
        reportProgress(0);
        return true;
    }

    bool write(const std::int16_t* in, std::size_t count)
    {
        // count == 0 with in == nullptr flushes the resampler.
        for (;;) {
            std::size_t used = 0;
            std::size_t produced = 0;
            const std::size_t room = m_out.size();
            if (soxr_process(m_resampler, in, count, &used, m_out.data(), room, &produced))
                return false;
            if (produced > 0 && sf_write_short(m_file, m_out.data(), static_cast<sf_count_t>(produced)) !=
                                    static_cast<sf_count_t>(produced))
                return false;
            m_frames += produced;
            if (in) {
                in += used;
                count -= used;
                if (count == 0)
                    return true;
            } else if (produced < room) {
                return true;
            }
        }
    }

    bool render(const Segment& seg)
    {
        bool failed = false;
        const auto r = EspeakEngine::Instance().synthesizeEntry(
            *seg.voice, seg.rate.wordsPerMinute, seg.text,
            [&](std::span<std::int16_t> samples, int pos) {
                if (cancelled())
                    return false;
                ApplyVolume(samples, seg.volume);
                if (!write(samples.data(), samples.size())) {
                    failed = true;
                    return false;
                }
                reportProgress(m_doneCharacters + std::min(pos, seg.characters));
                return true;
            },
            seg.rate.speed);
        if (failed)
            return finish({false, false, Format("Cannot write file \"%1\". %2", m_path, sf_strerror(m_file)), 0});
        if (r == EspeakEngine::Result::Aborted || cancelled())
            return finish({false, true, {}, 0});
        if (r == EspeakEngine::Result::Failed)
            return finish({false, false, "The speech engine could not speak the text.", 0});
        return true;
    }

    bool complete()
    {
        if (!write(nullptr, 0))
            return finish({false, false, Format("Cannot write file \"%1\". %2", m_path, sf_strerror(m_file)), 0});
        sf_command(m_file, SFC_UPDATE_HEADER_NOW, nullptr, 0);
        sf_write_sync(m_file);
        const int closeError = sf_close(m_file);
        m_file = nullptr;
        if (closeError != 0)
            return finish(
                {false, false, Format("Cannot write file \"%1\". %2", m_path, sf_error_number(closeError)), 0});
        if (std::rename(m_tempPath.c_str(), m_path.c_str()) != 0)
            return finish({false, false, Format("Cannot create file \"%1\". %2", m_path, std::strerror(errno)), 0});
        m_tempPath.clear();
        reportProgress(m_totalCharacters);
        return finish({true, false, {}, static_cast<double>(m_frames) / kWavSampleRate});
    }

    void reportProgress(int characters)
    {
        const int percent = m_totalCharacters > 0 ? static_cast<int>(100LL * characters / m_totalCharacters) : 100;
        const int shown = m_tempPath.empty() ? percent : std::min(percent, 99); // 100 only once complete
        // Chunks without a text event carry no position: only ever move forward.
        if (shown > m_lastPercent && m_control.progress) {
            m_lastPercent = shown;
            m_control.progress(shown);
        }
    }

    bool finish(const RenderOutcome& outcome)
    {
        cleanUp();
        if (m_done)
            m_done(outcome);
        m_done = nullptr;
        return false;
    }

    void cleanUp()
    {
        if (m_resampler) {
            soxr_delete(m_resampler);
            m_resampler = nullptr;
        }
        if (m_file) {
            sf_close(m_file);
            m_file = nullptr;
        }
        if (m_fd >= 0) {
            ::close(m_fd);
            m_fd = -1;
        }
        if (!m_tempPath.empty()) {
            ::unlink(m_tempPath.c_str());
            m_tempPath.clear();
        }
    }

    std::vector<RenderItem> m_items;
    std::string m_path;
    RenderControl m_control;
    std::function<void(const RenderOutcome&)> m_done;

    bool m_started = false;
    std::vector<Segment> m_segments;
    std::size_t m_next = 0;
    int m_totalCharacters = 0;
    int m_doneCharacters = 0;
    int m_lastPercent = -1;
    std::string m_tempPath;
    int m_fd = -1;
    SNDFILE* m_file = nullptr;
    soxr_t m_resampler = nullptr;
    std::vector<std::int16_t> m_out = std::vector<std::int16_t>(4096);
    std::size_t m_frames = 0;
};

} // namespace

void StartRenderToWav(std::vector<RenderItem> items, std::string path, RenderControl control,
                      std::function<void(const RenderOutcome&)> done)
{
    auto task = std::make_shared<RenderTask>(std::move(items), std::move(path), std::move(control), std::move(done));
    EspeakEngine::Instance().postBackground([task] { return task->step(); });
}

RenderOutcome RenderToWav(const std::vector<RenderItem>& items, const std::string& path, RenderControl control)
{
    auto promise = std::make_shared<std::promise<RenderOutcome>>();
    auto result = promise->get_future();
    StartRenderToWav(items, path, std::move(control), [promise](const RenderOutcome& o) { promise->set_value(o); });
    return result.get();
}

} // namespace quorvel::speech
