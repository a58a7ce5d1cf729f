#include "speech/EspeakEngine.h"

#include "speech/TextRuns.h"
#include "text/Utf8.h"

#include <espeak-ng/speak_lib.h>
#include <sonic.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <system_error>

namespace quorvel::speech {
namespace {

// The synth callback has no user pointer of ours in synchronous mode that survives every event
// list, and everything runs on the worker, so the current chunk handler lives here.
thread_local const EspeakEngine::ChunkFn* t_onChunk = nullptr;
thread_local bool t_aborted = false;

int SynthCallback(short* wav, int numSamples, espeak_EVENT* events)
{
    if (!t_onChunk || t_aborted)
        return 1;
    int position = 0;
    for (auto* e = events; e && e->type != espeakEVENT_LIST_TERMINATED; ++e)
        position = std::max(position, e->text_position);
    if (!wav || numSamples <= 0)
        return 0;
    if (!(*t_onChunk)(
            std::span<std::int16_t>(reinterpret_cast<std::int16_t*>(wav), static_cast<std::size_t>(numSamples)),
            position)) {
        t_aborted = true;
        return 1;
    }
    return 0;
}

std::string FirstLanguage(const char* languages)
{
    // A sequence of (priority byte, name, NUL), ended by a zero priority.
    if (!languages || !languages[0])
        return {};
    return std::string(languages + 1);
}

bool ExecutableOnPath(const char* name)
{
    const char* path = std::getenv("PATH");
    if (!path)
        return false;
    std::stringstream dirs(path);
    std::string dir;
    std::error_code ec;
    while (std::getline(dirs, dir, ':'))
        if (!dir.empty() && std::filesystem::exists(std::filesystem::path(dir) / name, ec))
            return true;
    return false;
}

// espeak-ng looks for MBROLA databases in these places and needs the mbrola program to use them.
bool MbrolaInstalled(const std::string& dataPath, const std::string& database)
{
    if (database.empty() || database.find('/') != std::string::npos || !ExecutableOnPath("mbrola"))
        return false;
    namespace fs = std::filesystem;
    std::error_code ec;
    for (const fs::path& p :
         {fs::path(dataPath) / "mbrola" / database, fs::path("/usr/share/mbrola") / database,
          fs::path("/usr/share/mbrola") / database / database, fs::path("/usr/share/mbrola/voices") / database})
        if (fs::is_regular_file(p, ec))
            return true;
    return false;
}

// espeak_ListVoices(NULL) leaves the MBROLA voices out; their definitions are read directly.
std::vector<EngineVoice> MbrolaVoices(const std::string& dataPath)
{
    namespace fs = std::filesystem;
    std::vector<EngineVoice> out;
    std::error_code ec;
    const fs::path dir = fs::path(dataPath) / "voices" / "mb";
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::ifstream in(it->path());
        EngineVoice v;
        v.identifier = "mb/" + it->path().filename().string();
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream words(line);
            std::string key, value;
            words >> key >> value;
            if (key == "name" && v.name.empty())
                v.name = value;
            else if (key == "language" && v.language.empty())
                v.language = value;
            else if (key == "mbrola" && v.mbrolaData.empty())
                v.mbrolaData = value;
        }
        if (!v.mbrolaData.empty())
            out.push_back(std::move(v));
    }
    return out;
}

// libsonic stretches below espeak-ng's 80 wpm: made for speech, keeps the pitch, small plain C.
struct SonicDeleter {
    void operator()(sonicStreamStruct* stream) const { sonicDestroyStream(stream); }
};
using SonicStream = std::unique_ptr<sonicStreamStruct, SonicDeleter>;

} // namespace

EspeakEngine& EspeakEngine::Instance()
{
    static EspeakEngine engine;
    return engine;
}

EspeakEngine::EspeakEngine()
{
    m_thread = std::thread([this] { run(); });
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return m_ready; });
}

EspeakEngine::~EspeakEngine()
{
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void EspeakEngine::initialise()
{
    // DONT_EXIT: without it espeak-ng ends the process when its data is missing.
    const int rate = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, espeakINITIALIZE_DONT_EXIT);
    if (rate <= 0)
        return;
    espeak_SetSynthCallback(SynthCallback);
    const char* dataPath = nullptr;
    espeak_Info(&dataPath);
    const std::string data = dataPath ? dataPath : "";

    std::vector<EngineVoice> found;
    if (const espeak_VOICE** list = espeak_ListVoices(nullptr))
        for (; *list; ++list)
            found.push_back({(*list)->name ? (*list)->name : "",
                             (*list)->identifier ? (*list)->identifier : "",
                             FirstLanguage((*list)->languages),
                             {}});
    for (auto& v : MbrolaVoices(data))
        found.push_back(std::move(v));
    m_voices = OrderVoices(found, [&](const std::string& db) { return MbrolaInstalled(data, db); });
    m_sampleRate = rate;
}

void EspeakEngine::run()
{
    initialise();
    {
        std::lock_guard lock(m_mutex);
        m_ready = true;
    }
    m_idle.notify_all();

    for (;;) {
        std::function<void()> job;
        std::function<bool()> step;
        {
            std::unique_lock lock(m_mutex);
            m_busy = false;
            if (m_jobs.empty() && m_background.empty())
                m_idle.notify_all();
            m_wake.wait(lock, [this] { return m_quit || !m_jobs.empty() || !m_background.empty(); });
            if (m_quit)
                break;
            m_busy = true;
            if (!m_jobs.empty()) {
                job = std::move(m_jobs.front());
                m_jobs.pop_front();
            } else {
                step = std::move(m_background.front());
                m_background.pop_front();
            }
        }
        if (job) {
            job();
        } else if (step()) {
            std::lock_guard lock(m_mutex);
            m_background.push_back(std::move(step));
        }
    }
    if (m_sampleRate > 0)
        espeak_Terminate();
}

void EspeakEngine::post(std::function<void()> job)
{
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_one();
}

void EspeakEngine::postBackground(std::function<bool()> step)
{
    {
        std::lock_guard lock(m_mutex);
        m_background.push_back(std::move(step));
    }
    m_wake.notify_one();
}

void EspeakEngine::waitIdle()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return !m_busy && m_jobs.empty() && m_background.empty(); });
}

EspeakEngine::Result EspeakEngine::synthesize(const std::string& identifier, int wordsPerMinute, std::string_view text,
                                              const ChunkFn& onChunk, double speed)
{
    if (!available())
        return Result::Failed;
    if (identifier != m_currentVoice) {
        if (espeak_SetVoiceByName(identifier.c_str()) != EE_OK) {
            m_currentVoice.clear();
            return Result::Failed;
        }
        m_currentVoice = identifier;
        m_currentRate = -1; // a voice change resets the parameters
    }
    if (wordsPerMinute != m_currentRate) {
        espeak_SetParameter(espeakRATE, wordsPerMinute, 0);
        espeak_SetParameter(espeakVOLUME, 100, 0); // loudness is a gain applied by the caller
        m_currentRate = wordsPerMinute;
    }
    if (text.empty())
        return Result::Done;

    // Slower than espeak-ng goes: its chunks pass through the stretcher, which hands on what it has.
    SonicStream stretch;
    std::vector<std::int16_t> stretched;
    int lastPosition = 0;
    bool stretchFailed = false;
    const auto drain = [&](int position) {
        const int available = sonicSamplesAvailable(stretch.get());
        if (available <= 0)
            return true;
        stretched.resize(static_cast<std::size_t>(available));
        const int read = sonicReadShortFromStream(stretch.get(), stretched.data(), available);
        return read <= 0 || onChunk(std::span(stretched.data(), static_cast<std::size_t>(read)), position);
    };
    const ChunkFn throughStretch = [&](std::span<std::int16_t> samples, int position) {
        lastPosition = position;
        if (!sonicWriteShortToStream(stretch.get(), samples.data(), static_cast<int>(samples.size()))) {
            stretchFailed = true;
            return false;
        }
        return drain(position);
    };
    if (speed < 1.0) {
        stretch.reset(sonicCreateStream(m_sampleRate, 1));
        if (!stretch)
            return Result::Failed;
        sonicSetSpeed(stretch.get(), static_cast<float>(speed));
    }

    const std::string owned(text);
    t_onChunk = stretch ? &throughStretch : &onChunk;
    t_aborted = false;
    const espeak_ERROR err =
        espeak_Synth(owned.c_str(), owned.size() + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr, nullptr);
    const bool aborted = t_aborted;
    t_onChunk = nullptr;
    t_aborted = false;
    if (stretchFailed)
        return Result::Failed;
    if (aborted)
        return Result::Aborted;
    if (err != EE_OK)
        return Result::Failed;
    if (stretch && (!sonicFlushStream(stretch.get()) || !drain(lastPosition)))
        return Result::Aborted;
    return Result::Done;
}

EspeakEngine::Result EspeakEngine::synthesizeEntry(const VoiceEntry& entry, int wordsPerMinute, std::string_view text,
                                                   const ChunkFn& onChunk, double speed)
{
    if (entry.latinIdentifier.empty())
        return synthesize(entry.identifier, wordsPerMinute, text, onChunk, speed);
    int offset = 0; // characters of the earlier runs, so positions stay relative to the whole text
    for (const auto& run : SplitScriptRuns(text)) {
        const ChunkFn shifted = [&](std::span<std::int16_t> s, int pos) { return onChunk(s, offset + pos); };
        const auto& voice = run.script == Script::Latin ? entry.latinIdentifier : entry.identifier;
        const Result r = synthesize(voice, wordsPerMinute, run.text, shifted, speed);
        if (r != Result::Done)
            return r;
        offset += static_cast<int>(text::CountCodePoints(run.text));
    }
    return Result::Done;
}

} // namespace quorvel::speech
