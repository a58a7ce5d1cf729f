// Opens the live capture the way the main window does and prints what it yields as JSON lines on
// stdout, for the end-to-end tests. Commands on stdin: "ping" (state), "quit" (close and end).
// --cost-us N makes the handling of each datagram take N microseconds more (a busy receiver).
//   {"event":"failure","text":...}          a set-up step's report
//   {"event":"hostLookupError","text":...}  the host name could not be looked up; set-up ended
//   {"event":"ready","capturing":..,"interface":..}
//   {"event":"chat","direction":"own"|"friend","command":..,"nickname":..,"worded":..,"stripped":..}
//   {"event":"missingField","index":..}
//   {"event":"captureFailed","text":...}
//   {"event":"pong","capturing":..,"datagrams":..,"kernelReceived":..,"kernelDropped":..,"queueDropped":..,
//    "handouts":..,"handoutToFilterMicros":..,"handoutToDecoderMicros":..,"filterUpdates":..}

#include "capture/StreamDecoder.h"
#include "capture/live/InterfaceChoice.h"
#include "capture/live/PcapCaptureSource.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>

#include <unistd.h>

#include <cstdio>
#include <span>

using namespace quorvel::capture;

namespace {

void Print(const QJsonObject& object)
{
    const QByteArray line = QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stdout);
    std::fflush(stdout);
}

QString Utf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const qsizetype costAt = arguments.indexOf(QStringLiteral("--cost-us"));
    const qint64 costNs = costAt > 0 && costAt + 1 < arguments.size() ? arguments[costAt + 1].toLongLong() * 1000 : 0;

    PcapCaptureSource source;
    qint64 datagrams = 0;
    QElapsedTimer clock;
    clock.start();
    StreamDecoder streams([](const DecodeResult& result) {
        if (result.missingFieldIndex)
            Print({{"event", "missingField"}, {"index", *result.missingFieldIndex}});
        for (const ChatEvent& event : result.events) {
            Print({{"event", "chat"},
                   {"direction", event.direction == Direction::Own ? "own" : "friend"},
                   {"command", Utf8(event.command)},
                   {"nickname", Utf8(event.nickname)},
                   {"worded", Utf8(event.wordedText)},
                   {"stripped", Utf8(event.strippedText)}});
        }
    });

    // As the window does: the capture follows the decoder's server endpoints.
    streams.endpoints().setChangeListener([&](const ServerEndpoints& endpoints) { source.setServerEndpoints(endpoints); });

    QObject::connect(&source, &CaptureSource::datagramReceived, [&](const QByteArray& datagram) {
        ++datagrams;
        if (costNs > 0) {
            QElapsedTimer busy;
            busy.start();
            while (busy.nsecsElapsed() < costNs) {
            }
        }
        const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(datagram.constData()),
                                     static_cast<std::size_t>(datagram.size()));
        streams.addDatagram(bytes, clock.nsecsElapsed() / 1000);
    });
    QObject::connect(&source, &CaptureSource::captureFailed, [](const QString& text) {
        Print({{"event", "captureFailed"}, {"text", text}});
    });

    try {
        source.open([](const QString& text) { Print({{"event", "failure"}, {"text", text}}); });
    } catch (const HostLookupError& error) {
        Print({{"event", "hostLookupError"}, {"text", QString::fromUtf8(error.what())}});
    }
    Print({{"event", "ready"}, {"capturing", source.isCapturing()}, {"interface", source.interfaceName()}});

    QByteArray input;
    QSocketNotifier commands(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&commands, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t count = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (count <= 0) {
            commands.setEnabled(false);
            source.close();
            app.quit();
            return;
        }
        input.append(buffer, count);
        qsizetype end = 0;
        while ((end = input.indexOf('\n')) >= 0) {
            const QByteArray command = input.left(end).trimmed();
            input.remove(0, end + 1);
            if (command == "ping") {
                QJsonObject pong{{"event", "pong"}, {"capturing", source.isCapturing()}, {"datagrams", datagrams}};
                const auto counted = source.statistics();
                pong["kernelReceived"] = static_cast<qint64>(counted.received);
                pong["kernelDropped"] = static_cast<qint64>(counted.dropped);
                pong["queueDropped"] = static_cast<qint64>(counted.queueDropped);
                pong["ringBytes"] = CaptureRingBytes;
                pong["handouts"] = static_cast<qint64>(counted.handouts);
                pong["handoutToFilterMicros"] = static_cast<qint64>(counted.handoutToFilterMicros);
                pong["handoutToDecoderMicros"] = static_cast<qint64>(counted.handoutToDecoderMicros);
                pong["filterUpdates"] = static_cast<qint64>(counted.filterUpdates);
                Print(pong);
            } else if (command == "quit") {
                source.close();
                app.quit();
                return;
            }
        }
    });
    return app.exec();
}
