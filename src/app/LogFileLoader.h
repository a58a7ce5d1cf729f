#pragma once
// Opening a log file into the log view. Small files load at once; a big one is read and decoded on
// a thread of its own behind a window-modal progress dialog with a cancel button, then filled into
// a fresh document in steps, so the window keeps answering. Cancelling keeps the old log.

#include <QList>
#include <QObject>
#include <QString>

#include <memory>
#include <thread>
#include <vector>

class QProgressDialog;
class QTextDocument;
class QTimer;
class QWidget;

namespace quorvel::ui {
class LogView;
}

namespace quorvel::app {

class LogFileLoader : public QObject {
    Q_OBJECT
public:
    // Files up to this size load at once, as they always did.
    static constexpr qint64 ImmediateBytes = 1 << 20;

    LogFileLoader(QWidget* window, ui::LogView* log, QObject* parent);
    ~LogFileLoader() override;

    // Errors end in the standard error box with the log cleared, as a failed open always did.
    void load(const QString& path);
    bool loading() const { return m_job != nullptr; }

signals:
    // Either way a load ends: filled, failed or cancelled.
    void finished();

private:
    struct Job;
    struct Worker;

    void decoded(const std::shared_ptr<Job>& job);
    void fillStep();
    void cancel();
    void end();

    QWidget* m_window;
    ui::LogView* m_log;
    std::shared_ptr<Job> m_job;
    QProgressDialog* m_progress = nullptr;
    QTextDocument* m_filling = nullptr;
    QTimer* m_step;
    std::vector<std::unique_ptr<Worker>> m_workers;
};

} // namespace quorvel::app
