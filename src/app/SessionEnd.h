#pragma once
// A regular end of the session ends the program like "退出": SIGTERM, SIGINT and SIGHUP arrive
// through a self-pipe on the GUI thread; the desktop's logout through the session manager.

#include <QObject>

class QSocketNotifier;

namespace quorvel::app {

class SessionEnd : public QObject {
    Q_OBJECT
public:
    explicit SessionEnd(QObject* parent = nullptr);
    ~SessionEnd() override;

signals:
    void endRequested();

private:
    void readSignal();
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace quorvel::app
