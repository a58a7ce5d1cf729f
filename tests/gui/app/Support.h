#pragma once
// Building the real main window over fakes and a temporary configuration folder.

#include "Fakes.h"
#include "app/TFmain.h"

#include <QAction>
#include <QByteArray>
#include <QTemporaryDir>
#include <QTest>

#include <map>
#include <memory>

namespace quorvel::testing {

struct Harness {
    explicit Harness(bool trayAvailable = true, const QString& configHome = {}) : home(configHome), tray(trayAvailable)
    {
        if (home.isEmpty())
            home = dir.path() + QStringLiteral("/config");
    }

    // Builds a fresh window over the same folder (a "restart").
    app::TFmain& start()
    {
        window.reset();
        auto fakeCapture = std::make_unique<FakeCapture>();
        auto fakeSpeech = std::make_unique<FakeSpeech>();
        fakeCapture->failuresToReport = captureFailures;
        fakeCapture->throwHostLookup = throwHostLookup;
        fakeSpeech->voices = voices;
        capture = fakeCapture.get();
        speech = fakeSpeech.get();
        app::Platform platform;
        platform.capture = std::move(fakeCapture);
        platform.speech = std::move(fakeSpeech);
        platform.trayAvailable = tray;
        platform.configHome = home;
        platform.executablePath = QStringLiteral("/opt/quorvel/bin/quorvel");
        platform.baseName = QStringLiteral("quorvel");
        window = std::make_unique<app::TFmain>(std::move(platform));
        return *window;
    }
    void stop() { window.reset(); }

    template <typename T> T* find(const char* name) const
    {
        T* child = window->findChild<T*>(QString::fromLatin1(name));
        if (!child)
            qWarning("no child named %s", name);
        return child;
    }
    void trigger(const char* action) const
    {
        QAction* a = find<QAction>(action);
        QVERIFY2(a, action);
        a->trigger();
    }

    QString iniPath() const { return home + QStringLiteral("/quorvel/set.ini"); }

    QTemporaryDir dir;
    QString home;
    bool tray = true;
    bool throwHostLookup = false;
    QStringList captureFailures;
    QStringList voices{QStringLiteral("English"), QStringLiteral("Mandarin"), QStringLiteral("German")};
    FakeCapture* capture = nullptr;
    FakeSpeech* speech = nullptr;
    std::unique_ptr<app::TFmain> window;
};

// IPv4 + TCP headers (20 bytes each) in front of a payload. Each flow's sequence numbers run on as a
// connection's would, so that the window's stream decoding takes every datagram made as new data.
inline QByteArray Datagram(quint16 sourcePort, quint16 destinationPort, const QByteArray& payload)
{
    static std::map<quint32, quint32> nextSequence;
    quint32& seq = nextSequence[(quint32(sourcePort) << 16) | destinationPort];
    QByteArray d(40, '\0');
    const int total = 40 + int(payload.size());
    d[0] = char(0x45);
    d[2] = char(total >> 8);
    d[3] = char(total & 0xFF);
    d[9] = char(6);
    d[20] = char(sourcePort >> 8);
    d[21] = char(sourcePort & 0xFF);
    d[22] = char(destinationPort >> 8);
    d[23] = char(destinationPort & 0xFF);
    for (int i = 0; i < 4; ++i)
        d[24 + i] = char((seq >> (24 - 8 * i)) & 0xFF);
    d[32] = char(0x50);
    seq += quint32(payload.size());
    return d + payload;
}

// A command line with its payload's length appended, then the payload.
inline QByteArray WithLength(const QByteArray& commandLine, const QByteArray& payload)
{
    return commandLine + " " + QByteArray::number(payload.size()) + "\r\n" + payload;
}

inline QByteArray FriendMsgFrom(const QByteArray& account, const QByteArray& nickname, const QByteArray& body)
{
    return Datagram(1863, 50000,
                    WithLength("MSG " + account + " " + nickname,
                               "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n\r\n" + body));
}

inline QByteArray FriendMsg(const QByteArray& nickname, const QByteArray& body)
{
    return FriendMsgFrom("ann@example.org", nickname, body);
}

inline QByteArray FriendUbm(const QByteArray& account, const QByteArray& body)
{
    return Datagram(1863, 50000,
                    WithLength("UBM " + account + " 1 1", "Content-Type: text/plain; charset=UTF-8\r\n\r\n" + body));
}

inline QByteArray OwnMsg(const QByteArray& body)
{
    return Datagram(50000, 1863,
                    WithLength("MSG 5 N", "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n\r\n" + body));
}

} // namespace quorvel::testing
