#include "win/app/TFmain.h"

#include "app/core/Executable.h"
#include "win/shell/ShellLink.h"
#include "win/shell/System.h"
#include "win/speech/SapiSpeech.h"

#include <knownfolders.h>

namespace quorvel::win {

Platform DesktopPlatform()
{
    Platform platform;
    platform.configHome = SpecialFolder(FOLDERID_RoamingAppData);
    platform.executablePath = ExecutablePath();
    platform.baseName = app::ExecutableBaseName(platform.executablePath);
    platform.windowsMajorVersion = WindowsMajorVersion();
    platform.capture = [](std::function<void()> notify) { return std::make_unique<WinsockCapture>(std::move(notify)); };
    platform.startup =
        std::make_unique<StartupShortcut>(SpecialFolder(FOLDERID_Startup), platform.baseName, platform.executablePath);
    auto speech = std::make_unique<SapiSpeech>();
    SapiSpeech* sapi = speech.get();
    platform.watchSpeech = [sapi](std::function<void()> notify) {
        sapi->setUnavailableListener([notify = std::move(notify)](const std::string&) { notify(); });
    };
    platform.speech = std::move(speech);
    return platform;
}

} // namespace quorvel::win
