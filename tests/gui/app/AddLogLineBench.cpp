// Prints the cost of one AddLogLine as the log grows; appending must not get slower with length.

#include "ui/LogView.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    quorvel::ui::LogView log;
    log.resize(300, 480);
    log.show();
    const QString header = QStringLiteral("Ann 说 (09:05:07):");
    const QString body = QStringLiteral("Hello, this is a chat line of ordinary length [微笑]");
    int lines = 0;
    for (const int target : {1000, 10000, 50000, 100000}) {
        QElapsedTimer timer;
        int batch = 0;
        while (lines < target) {
            // Only the last thousand lines before each mark are timed.
            const bool timed = target - lines <= 1000;
            if (timed && !timer.isValid())
                timer.start();
            log.AddLogLine(lines % 2 ? body : header, lines % 2 ? QColor(0, 0, 0) : QColor(0, 128, 0), lines % 2);
            ++lines;
            if (lines % 100 == 0)
                QCoreApplication::processEvents(); // layout and paint as in the running program
            if (timed)
                ++batch;
        }
        std::printf("AddLogLine at %6d lines: %.3f ms per line (shown, laid out)\n", target,
                    double(timer.nsecsElapsed()) / 1e6 / batch);
    }
    return 0;
}
