#include "app/LogFileLoader.h"

#include "ui/AppInfo.h"
#include "ui/LogView.h"
#include "ui/MessageBox.h"
#include "ui/logfile/LogFiles.h"

#include <QFileInfo>
#include <QProgressDialog>
#include <QTextDocument>
#include <QTimer>

#include <atomic>
#include <exception>
#include <optional>

namespace quorvel::app {

namespace {

// One step appends about this much text: a few milliseconds of work for the window's thread.
constexpr std::size_t StepBytes = 64 * 1024;

} // namespace

struct LogFileLoader::Job {
    std::atomic<bool> cancelled = false;
    std::vector<logfile::RichText> parts;
    std::optional<QString> error;
    std::size_t next = 0;
};

struct LogFileLoader::Worker {
    std::thread thread;
    std::atomic<bool> done = false;
};

LogFileLoader::LogFileLoader(QWidget* window, ui::LogView* log, QObject* parent)
    : QObject(parent), m_window(window), m_log(log), m_step(new QTimer(this))
{
    m_step->setSingleShot(true);
    m_step->setInterval(0);
    connect(m_step, &QTimer::timeout, this, &LogFileLoader::fillStep);
}

LogFileLoader::~LogFileLoader()
{
    if (m_job)
        m_job->cancelled = true;
    // A worker reports to this object: it must be gone before this is.
    for (auto& worker : m_workers)
        worker->thread.join();
}

void LogFileLoader::load(const QString& path)
{
    if (m_job)
        return;
    if (QFileInfo(path).size() <= ImmediateBytes) {
        m_log->clear();
        try {
            logfile::LoadLogFile(path, *m_log->document());
        } catch (const std::exception& error) {
            ui::MessageBox::standardError(m_window, QString::fromUtf8(error.what()));
        }
        emit finished();
        return;
    }

    // Finished workers are joined here rather than waited for.
    std::erase_if(m_workers, [](const std::unique_ptr<Worker>& worker) {
        if (!worker->done)
            return false;
        worker->thread.join();
        return true;
    });
    m_job = std::make_shared<Job>();
    m_log->holdAppends();

    m_progress = new QProgressDialog(QStringLiteral("正在打开消息文件..."), QStringLiteral("取消"), 0, 0, m_window);
    m_progress->setObjectName(QStringLiteral("LogProgress"));
    m_progress->setWindowTitle(ui::ApplicationTitle());
    m_progress->setWindowModality(Qt::WindowModal);
    m_progress->setAutoClose(false);
    m_progress->setAutoReset(false);
    m_progress->setMinimumDuration(0);
    m_progress->setValue(0);
    connect(m_progress, &QProgressDialog::canceled, this, &LogFileLoader::cancel);
    m_progress->show();

    auto& worker = m_workers.emplace_back(std::make_unique<Worker>());
    worker->thread = std::thread([this, job = m_job, path, done = &worker->done] {
        try {
            job->parts = logfile::SplitForAppending(logfile::ReadLogFile(path), StepBytes);
        } catch (const std::exception& error) {
            job->error = QString::fromUtf8(error.what());
        } catch (...) {
            job->error = QStringLiteral("Failed to Load Stream");
        }
        if (!job->cancelled)
            QMetaObject::invokeMethod(
                this, [this, job] { decoded(job); }, Qt::QueuedConnection);
        *done = true;
    });
}

void LogFileLoader::decoded(const std::shared_ptr<Job>& job)
{
    if (job != m_job || job->cancelled)
        return;
    if (job->error) {
        end();
        // A file that could not be read leaves the log empty.
        m_log->clear();
        m_log->releaseAppends();
        ui::MessageBox::standardError(m_window, *job->error);
        emit finished();
        return;
    }
    m_filling = m_log->makeDocument();
    m_progress->setRange(0, static_cast<int>(job->parts.size()));
    m_step->start();
}

void LogFileLoader::fillStep()
{
    if (!m_job || !m_filling)
        return;
    logfile::AppendToDocument(m_job->parts[m_job->next], *m_filling);
    m_job->parts[m_job->next] = {};
    ++m_job->next;
    if (m_job->next < m_job->parts.size()) {
        m_progress->setValue(static_cast<int>(m_job->next));
        m_step->start();
        return;
    }
    m_log->showDocument(std::exchange(m_filling, nullptr));
    end();
    m_log->releaseAppends();
    emit finished();
}

void LogFileLoader::cancel()
{
    if (!m_job)
        return;
    m_job->cancelled = true;
    delete std::exchange(m_filling, nullptr);
    end();
    m_log->releaseAppends();
    emit finished();
}

void LogFileLoader::end()
{
    m_step->stop();
    m_job.reset();
    if (m_progress) {
        m_progress->disconnect(this);
        m_progress->hide();
        m_progress->deleteLater();
        m_progress = nullptr;
    }
}

} // namespace quorvel::app
