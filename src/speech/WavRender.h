#pragma once
// Renders texts with espeak-ng into a 16 kHz, 16-bit, mono PCM WAV file, without Qt and without
// an audio server. The file is written beside the target under a temporary name and renamed over
// it only when complete, so a cancelled or failed render leaves no partial file and keeps an
// existing file until the new one is whole.

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quorvel::speech {

inline constexpr int kWavSampleRate = 16000;

struct RenderItem {
    int voiceIndex = 0; // into EspeakEngine::voices(); 0 is the default voice
    std::string text;   // UTF-8
    int rate = 0;       // -10..10
    int volume = 100;   // 0..100
};

struct RenderOutcome {
    bool ok = false;
    bool cancelled = false;
    std::string errorText; // for the user, when neither ok nor cancelled
    double seconds = 0;    // length of the audio written
};

struct RenderControl {
    std::function<void(int percent)> progress; // called on the engine's worker, 0..100
    std::shared_ptr<std::atomic<bool>> cancel; // set to stop at the next chunk
};

// Queues the render on the engine's worker and returns at once; done runs on the worker.
void StartRenderToWav(std::vector<RenderItem> items, std::string path, RenderControl control,
                      std::function<void(const RenderOutcome&)> done);

// The same, waiting for the result. Never call it on the engine's worker.
RenderOutcome RenderToWav(const std::vector<RenderItem>& items, const std::string& path, RenderControl control = {});

} // namespace quorvel::speech
