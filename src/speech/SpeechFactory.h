#pragma once
// The one place that picks the real speech layer: espeak-ng synthesis with Qt Multimedia playback,
// and beside it the voices of the desktop's speech-dispatcher.

#include "speech/Speech.h"

#include <memory>

namespace quorvel::speech {

std::unique_ptr<Speech> CreateSpeech(QObject* parent = nullptr);

} // namespace quorvel::speech
