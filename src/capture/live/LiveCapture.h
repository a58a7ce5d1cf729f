#pragma once
// The one place that picks the real capture source (libpcap on the chosen interface).

#include "capture/live/CaptureSource.h"

#include <memory>

namespace quorvel::capture {

std::unique_ptr<CaptureSource> CreateLiveCapture(QObject* parent = nullptr);

} // namespace quorvel::capture
