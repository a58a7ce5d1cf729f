#include "app/Platform.h"

#include "app/core/Executable.h"

#include "capture/live/LiveCapture.h"
#include "speech/SpeechFactory.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <QSystemTrayIcon>

namespace quorvel::app {

std::optional<int> WindowsMajorVersion()
{
    return std::nullopt;
}

Platform DesktopPlatform()
{
    Platform platform;
    platform.capture = capture::CreateLiveCapture();
    platform.speech = speech::CreateSpeech();
    platform.trayAvailable = QSystemTrayIcon::isSystemTrayAvailable();
    platform.configHome = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    platform.executablePath = QCoreApplication::applicationFilePath();
    platform.baseName = QString::fromStdString(ExecutableBaseName(platform.executablePath.toStdString()));
    return platform;
}

} // namespace quorvel::app
