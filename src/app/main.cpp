// Quorvel: reads messenger chats aloud. One instance per user; the window lives in the tray.

#include "app/Platform.h"
#include "app/SessionEnd.h"
#include "app/SingleInstance.h"
#include "app/TFmain.h"
#include "ui/AppInfo.h"
#include "ui/MessageBox.h"

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

    // Installed before the lock is taken, so that a signal to a running instance is never lost.
    quorvel::app::SessionEnd sessionEnd;
    quorvel::app::SingleInstance instance(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation));
    if (!instance.acquire())
        return 0;

    quorvel::app::TFmain* window = nullptr;
    bool ending = false;
    const auto end = [&ending] {
        ending = true;
        QCoreApplication::exit(0);
    };
    // A signal may arrive while set-up still shows a box. At a session end nobody answers boxes;
    // after "退出" the user is there to read why the settings could not be saved.
    QObject::connect(&sessionEnd, &quorvel::app::SessionEnd::endRequested, &app, [&window, &end] {
        quorvel::ui::MessageBox::setEnding(true);
        if (window)
            window->requestTerminate();
        else
            end();
    });

    quorvel::app::TFmain mainWindow(quorvel::app::DesktopPlatform());
    window = &mainWindow;
    QObject::connect(&mainWindow, &quorvel::app::TFmain::terminateRequested, &app, end);

    const int status = ending ? 0 : QApplication::exec();
    mainWindow.FormDestroy();
    return status;
}
