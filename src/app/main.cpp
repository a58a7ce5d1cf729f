// Quorvel: reads messenger chats aloud. One instance per user; the window lives in the tray.

#include "app/Platform.h"
#include "app/SessionEnd.h"
#include "app/SingleInstance.h"
#include "app/TFmain.h"
#include "ui/AppInfo.h"

#include <QApplication>
#include <QStandardPaths>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(quorvel::ui::ApplicationTitle());
    QApplication::setApplicationDisplayName(quorvel::ui::ApplicationTitle());
    QApplication::setDesktopFileName(QStringLiteral("quorvel"));
    // Closing the window hides it into the tray; only "退出" ends the run.
    QApplication::setQuitOnLastWindowClosed(false);

    quorvel::app::SingleInstance instance(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation));
    if (!instance.acquire())
        return 0;

    quorvel::app::SessionEnd sessionEnd;
    quorvel::app::TFmain window(quorvel::app::DesktopPlatform());
    QObject::connect(&window, &quorvel::app::TFmain::terminateRequested, &app, [] { QCoreApplication::exit(0); });
    QObject::connect(&sessionEnd, &quorvel::app::SessionEnd::endRequested, &window,
                     &quorvel::app::TFmain::requestTerminate);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &window, &quorvel::app::TFmain::FormDestroy);

    const int status = QApplication::exec();
    window.FormDestroy();
    return status;
}
