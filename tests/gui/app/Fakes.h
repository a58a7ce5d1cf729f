#pragma once
// Test doubles at the two platform seams of the main window: the live capture and the speech
// layer. They record what the window asks of them.

#include "capture/live/CaptureSource.h"
#include "speech/Speech.h"

#include <QList>
#include <QStringList>

#include <functional>
#include <vector>

namespace quorvel::testing {

class FakeCapture : public capture::CaptureSource {
    Q_OBJECT
public:
    QStringList failuresToReport; // handed to reportFailure by open()
    bool throwHostLookup = false;
    int openCalls = 0, closeCalls = 0;
    bool capturing = false;
    std::function<void()> onClose;

    void open(const std::function<void(const QString&)>& reportFailure) override
    {
        ++openCalls;
        for (const QString& text : failuresToReport)
            reportFailure(text);
        if (throwHostLookup)
            throw capture::HostLookupError("Socket Error # 11001\nHost not found.");
        capturing = true;
    }
    void close() override
    {
        ++closeCalls;
        if (onClose)
            onClose();
        capturing = false;
    }
    bool isCapturing() const override { return capturing; }
    void setServerEndpoints(const capture::ServerEndpoints& endpoints) override
    {
        ports = endpoints.ports();
        learned = endpoints.learned();
        ++endpointUpdates;
    }
    std::vector<std::uint16_t> ports{capture::DefaultServerPorts.begin(), capture::DefaultServerPorts.end()};
    std::vector<capture::ServerEndpoint> learned;
    int endpointUpdates = 0;

    void deliver(const QByteArray& datagram) { emit datagramReceived(datagram); }
    void fail(const QString& text) { emit captureFailed(text); }
};

struct SpeakCall {
    speech::Channel channel;
    QString text;
    int voiceIndex, rate, volume;
};

struct ExportCall {
    QString text;
    int voiceIndex;
    QString path;
};

class FakeSpeech : public speech::Speech {
    Q_OBJECT
public:
    QStringList voices{QStringLiteral("English"), QStringLiteral("Mandarin"), QStringLiteral("German")};
    QStringList keys; // per voice, as a speech server's voices have them; missing ones are built-in
    QStringList wanted;
    QList<SpeakCall> speakCalls;
    QList<ExportCall> exportCalls;
    int stopAllCalls = 0, cancelCalls = 0;
    bool exportStarts = true;
    std::function<void()> onSpeak; // runs at each speak call, to see what the log held then

    QStringList voiceNames() const override { return voices; }
    QString voiceKey(int voiceIndex) const override { return keys.value(voiceIndex); }
    void wantVoice(const QString& key) override { wanted.append(key); }
    void speak(speech::Channel channel, const QString& text, int voiceIndex, int rate, int volume) override
    {
        speakCalls.append({channel, text, voiceIndex, rate, volume});
        if (onSpeak)
            onSpeak();
    }
    void stop(speech::Channel) override {}
    void stopAll() override { ++stopAllCalls; }
    bool startWavExport(const QString& text, int voiceIndex, const QString& path) override
    {
        exportCalls.append({text, voiceIndex, path});
        return exportStarts;
    }
    void cancelWavExport() override
    {
        ++cancelCalls;
        emit wavExportFinished(false, true, {});
    }

    // A server's voices came or went.
    void changeVoices(const QStringList& names, const QStringList& voiceKeys)
    {
        voices = names;
        keys = voiceKeys;
        emit voicesChanged();
    }
    void progress(int percent) { emit wavExportProgress(percent); }
    void finish(bool ok, const QString& error = {}) { emit wavExportFinished(ok, false, error); }
};

} // namespace quorvel::testing
