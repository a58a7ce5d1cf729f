#include "SpeechWav.h"

#include "win/common/Wide.h"
#include "win/speech/SapiSpeech.h"

#include <windows.h>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>

namespace quorvel::replay {

namespace {

namespace fs = std::filesystem;

std::uint32_t Le32(const std::string& bytes, std::size_t at)
{
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | static_cast<std::uint8_t>(bytes[at + static_cast<std::size_t>(i)]);
    return value;
}

void PutLe(std::string& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>(value >> (8 * i)));
}

// Appends the samples of the data chunks of a 16-bit mono WAV file, at volume percent.
bool AppendSamples(const fs::path& path, int volume, std::string& samples)
{
    std::ifstream in(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0)
        return false;
    for (std::size_t at = 12; at + 8 <= bytes.size();) {
        const std::size_t size = std::min<std::size_t>(Le32(bytes, at + 4), bytes.size() - at - 8);
        if (bytes.compare(at, 4, "data") == 0) {
            for (std::size_t i = at + 8; i + 1 < at + 8 + size; i += 2) {
                const auto sample = static_cast<std::int16_t>(static_cast<std::uint8_t>(bytes[i]) |
                                                              static_cast<std::uint8_t>(bytes[i + 1]) << 8);
                PutLe(samples, static_cast<std::uint16_t>(sample * volume / 100), 2);
            }
        }
        at += 8 + size + (size & 1);
    }
    return true;
}

} // namespace

// SAPI renders one text per file with a fresh voice: each text goes into a file of its own, and their
// samples into the one file. A fresh voice speaks at its own rate, so a contact's rate is not heard.
std::optional<std::string> WriteSpeechWav(const std::vector<capture::SpeechRequest>& speeches,
                                          const settings::ContactBook& contacts, const std::string& path)
{
    const fs::path target(win::Wide(path));
    const fs::path piece = target.wstring() + L"." + std::to_wstring(GetCurrentProcessId()) + L".piece.wav";
    std::string samples;
    if (!speeches.empty()) {
        win::SapiSpeech engine;
        if (const std::string reason = engine.unavailableReason(); !reason.empty())
            return "SAPI cannot render the WAV file: " + reason;
        const auto voiceCount = static_cast<int>(engine.voiceNames().size());
        for (const auto& speech : speeches) {
            const auto* contact = speech.contact.empty() ? nullptr : contacts.find(speech.contact);
            const int voice = contact && contact->engine >= 0 && contact->engine < voiceCount ? contact->engine : 0;
            std::mutex lock;
            std::condition_variable changed;
            bool done = false, ok = false;
            std::string error;
            speech::SpeechEngine::WavExportReport report;
            report.finished = [&](bool whole, bool, const std::string& errorText) {
                const std::lock_guard held(lock);
                done = true, ok = whole, error = errorText;
                changed.notify_one();
            };
            if (!engine.startWavExport(speech.text, voice, piece, std::move(report)))
                return "The speech engine has no voice to render with.";
            std::unique_lock held(lock);
            changed.wait(held, [&] { return done; });
            if (!ok)
                return error.empty() ? "The speech engine could not speak the text." : error;
            const bool read = AppendSamples(piece, contact ? contact->volume : 100, samples);
            DeleteFileW(piece.c_str());
            if (!read)
                return "The speech engine wrote no WAV file.";
        }
    }
    std::string file = "RIFF";
    PutLe(file, static_cast<std::uint32_t>(36 + samples.size()), 4);
    file += "WAVEfmt ";
    PutLe(file, 16, 4), PutLe(file, 1, 2), PutLe(file, 1, 2), PutLe(file, 16000, 4), PutLe(file, 32000, 4);
    PutLe(file, 2, 2), PutLe(file, 16, 2);
    file += "data";
    PutLe(file, static_cast<std::uint32_t>(samples.size()), 4);
    file += samples;
    // Whole or not at all: written beside the target and renamed over it.
    const fs::path part = target.wstring() + L".part";
    {
        std::ofstream out(part, std::ios::binary | std::ios::trunc);
        out.write(file.data(), static_cast<std::streamsize>(file.size()));
        if (out.close(), !out) {
            DeleteFileW(part.c_str());
            return "Cannot write \"" + path + "\".";
        }
    }
    if (!MoveFileExW(part.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD failure = GetLastError();
        DeleteFileW(part.c_str());
        return "Cannot write \"" + path + "\". " + win::SystemMessage(failure);
    }
    return std::nullopt;
}

} // namespace quorvel::replay
