// Resident memory of the real main window: after start, and as 100,000 captured chat messages are
// logged through the real decoding and event handling, with the window shown or in the tray; and the
// CPU time that logging a message took. Run offscreen:
//   QT_QPA_PLATFORM=offscreen build/bin/bench_memory [messages] [tray]

#include "Fakes.h"
#include "Support.h"
#include "app/TFmain.h"
#include "speech/SpeechFactory.h"
#include "ui/LogView.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextDocument>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <sys/resource.h>

namespace {

// VmRSS and VmHWM in KiB.
struct Resident {
    long rss = 0, peak = 0;
};

Resident ReadResident()
{
    Resident r;
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmRSS:"))
            r.rss = std::atol(line.c_str() + 6);
        else if (line.starts_with("VmHWM:"))
            r.peak = std::atol(line.c_str() + 6);
    }
    return r;
}

void Print(const char* when, const Resident& r)
{
    std::printf("%-34s VmRSS %7.1f MB   VmHWM %7.1f MB\n", when, r.rss / 1024.0, r.peak / 1024.0);
}

// User and system time of the process so far.
double CpuSeconds()
{
    rusage used{};
    getrusage(RUSAGE_SELF, &used);
    return static_cast<double>(used.ru_utime.tv_sec + used.ru_stime.tv_sec) +
           static_cast<double>(used.ru_utime.tv_usec + used.ru_stime.tv_usec) / 1e6;
}

void PrintPerMessage(const Resident& now, const Resident& start, int messages)
{
    std::printf("%-34s %7.0f bytes per message since start\n", "", (now.rss - start.rss) * 1024.0 / messages);
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const int messages = argc > 1 ? std::atoi(argv[1]) : 100000;
    const bool tray = argc > 2 && std::string(argv[2]) == "tray";
    QTemporaryDir config;

    using namespace quorvel;
    auto fakeCapture = std::make_unique<testing::FakeCapture>();
    testing::FakeCapture* capture = fakeCapture.get();
    app::Platform platform;
    platform.capture = std::move(fakeCapture);
    platform.speech = speech::CreateSpeech(); // real espeak-ng and playback
    platform.configHome = config.path();
    platform.executablePath = QStringLiteral("/usr/bin/quorvel");
    platform.baseName = QStringLiteral("quorvel");
    app::TFmain window(std::move(platform));
    window.show(); // the log laid out as when the user looks at it
    QCoreApplication::processEvents();
    const Resident start = ReadResident();
    Print("after start (window shown)", start);
    if (tray)
        window.hide(); // as closing the window does

    // Logging is measured, not synthesis: nothing is spoken.
    for (const char* name : {"CBMe", "CBmyname", "CBmyex", "CBFriend", "CBFriendsname", "CBFriendsex"})
        window.findChild<QCheckBox*>(QString::fromLatin1(name))->setChecked(false);

    const QByteArray friendBody = "今天的周会改到下午三点，地点不变。 See you :) #";
    const QByteArray ownBody = "好的，我知道了 (Y) thanks #";
    Resident before = ReadResident();
    const double cpuBefore = CpuSeconds();
    for (int i = 1; i <= messages; ++i) {
        const QByteArray n = QByteArray::number(i);
        capture->deliver(i % 2 ? testing::FriendMsg("Ann", friendBody + n) : testing::OwnMsg(ownBody + n));
        if (i % 100 == 0)
            QCoreApplication::processEvents(); // layout and paint as in the running program
        if (i == messages / 10 || i == messages) {
            const Resident now = ReadResident();
            char when[64];
            std::snprintf(when, sizeof when, "after %d messages", i);
            Print(when, now);
            PrintPerMessage(now, start, i);
            before = now;
        }
    }
    std::printf("CPU per message logged: %.1f us (decoding, event handling, log, layout and paint)\n",
                (CpuSeconds() - cpuBefore) * 1e6 / messages);
    if (tray) {
        QElapsedTimer showing;
        showing.start();
        window.show();
        QCoreApplication::processEvents();
        std::printf("window shown again in %.0f ms\n", showing.nsecsElapsed() / 1e6);
        const Resident now = ReadResident();
        Print("after showing", now);
        PrintPerMessage(now, start, messages);
    }
    std::printf("log: %d blocks, %lld characters\n", window.log()->document()->blockCount(),
                static_cast<long long>(window.log()->document()->characterCount()));
    window.FormDestroy();
    return 0;
}
