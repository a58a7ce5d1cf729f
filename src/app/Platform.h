#pragma once
// What TFmain is assembled from: the platform seams and the places it keeps its files. main()
// builds the real one; tests hand in fakes and temporary folders.

#include "capture/live/CaptureSource.h"
#include "speech/Speech.h"

#include <QString>

#include <memory>
#include <optional>

namespace quorvel::app {

struct Platform {
    std::unique_ptr<capture::CaptureSource> capture;
    std::unique_ptr<speech::Speech> speech;
    bool trayAvailable = false;
    QString configHome;     // the per-user configuration folder
    QString executablePath; // the running program, for the autostart entry
    QString baseName;       // the executable's file name without folder and extension
};

// Real capture and speech, the desktop's tray, QStandardPaths' configuration folder.
Platform DesktopPlatform();

// The major version of Windows; there is none here, so the Windows-only voice token steps never run.
std::optional<int> WindowsMajorVersion();

} // namespace quorvel::app
