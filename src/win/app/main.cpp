// Quorvel for Windows: reads messenger chats aloud. One instance at a time; the window lives in the tray.

#include "win/app/ControlIds.h"
#include "win/app/TFmain.h"
#include "win/common/Com.h"
#include "win/shell/System.h"

#include <commctrl.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    // A running instance, shown or in the tray, is left alone; the start-up entry's " -s" is not read.
    if (quorvel::win::AnotherInstanceRuns())
        return 0;
    const quorvel::win::ComApartment apartment(COINIT_APARTMENTTHREADED);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_TAB_CLASSES | ICC_BAR_CLASSES |
                                                       ICC_LISTVIEW_CLASSES | ICC_UPDOWN_CLASS | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    if (!quorvel::win::TFmain::RegisterClasses(instance))
        return 0;

    quorvel::win::TFmain window(instance, quorvel::win::DesktopPlatform());
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (window.preTranslateMessage(message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    window.FormDestroy();
    return 0;
}
