// The Linux edition's window opening a log file, for the Windows edition's end-to-end test: the real
// TFmain (offscreen, over the test fakes) opens FILE through "打开消息", prints each line with its colour
// as JSON, and saves the log again to SAVED through "保存消息".
//
// usage: quorvel-open-log FILE SAVED

#include "LogLines.h"
#include "Support.h"

#include "app/LogFileActions.h"
#include "ui/FileDialog.h"
#include "ui/LogView.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>

#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: quorvel-open-log FILE SAVED\n");
        return 2;
    }
    quorvel::testing::Harness harness;
    harness.start();
    quorvel::ui::FileDialog::setNextFileName(QString::fromLocal8Bit(argv[1]));
    harness.trigger("NOpenMessage");
    for (const quorvel::testing::Line& line : quorvel::testing::Lines(*harness.window->log()->document())) {
        const QString text = QString::fromUtf8(QJsonDocument(QJsonArray{line.text}).toJson(QJsonDocument::Compact));
        std::printf("{\"text\":%s,\"color\":\"%s\"}\n", qPrintable(text.mid(1, text.size() - 2)),
                    qPrintable(line.color.name()));
    }
    quorvel::ui::FileDialog::setNextFileName(QString::fromLocal8Bit(argv[2]));
    harness.trigger("NSaveMessage");
    return 0;
}
