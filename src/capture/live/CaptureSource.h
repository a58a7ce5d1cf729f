#pragma once
// The live source of captured IPv4 datagrams, as the main window sees it.

#include "capture/CaptureReports.h"
#include "capture/ServerEndpoints.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

namespace quorvel::capture {

class CaptureSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~CaptureSource() override = default;

    // Runs the set-up steps in order. Each failed step is handed to reportFailure at once with its
    // text ("WSASocket failed with error 1", ...) and set-up goes on with the next step.
    // Throws HostLookupError when the host name cannot be resolved.
    virtual void open(const std::function<void(const QString&)>& reportFailure) = 0;
    virtual void close() = 0;
    virtual bool isCapturing() const = 0;
    // The server endpoints the decoder follows, whenever they change: what the capture must pass on.
    virtual void setServerEndpoints(const ServerEndpoints& endpoints) = 0;

signals:
    // One datagram, starting at its IP header, in arrival order.
    void datagramReceived(const QByteArray& ipDatagram);
    // A real capture error (the interface went away); emitted once, re-opening follows quietly.
    void captureFailed(const QString& text);
};

} // namespace quorvel::capture
