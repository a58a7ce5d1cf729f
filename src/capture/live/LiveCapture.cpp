#include "capture/live/LiveCapture.h"

#include "capture/live/PcapCaptureSource.h"

namespace quorvel::capture {

std::unique_ptr<CaptureSource> CreateLiveCapture(QObject* parent)
{
    return std::make_unique<PcapCaptureSource>(parent);
}

} // namespace quorvel::capture
