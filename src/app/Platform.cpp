#include "app/Platform.h"

#include "capture/live/LiveCapture.h"
#include "speech/SpeechFactory.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>
#include <QSystemTrayIcon>

namespace quorvel::app {

QString ExecutableBaseName(const QString& executablePath)
{
    return QFileInfo(executablePath).completeBaseName();
}

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
    platform.baseName = ExecutableBaseName(platform.executablePath);
    return platform;
}

} // namespace quorvel::app
