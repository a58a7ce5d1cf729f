#pragma once
// The one place that picks the real speech layer (espeak-ng synthesis, Qt Multimedia playback).

#include "speech/Speech.h"

#include <memory>

namespace quorvel::speech {

std::unique_ptr<Speech> CreateSpeech(QObject* parent = nullptr);

} // namespace quorvel::speech
