#include "app/LogFileActions.h"

#include "app/LogFileLoader.h"

#include "speech/Speech.h"
#include "ui/AppInfo.h"
#include "ui/FileDialog.h"
#include "ui/LogView.h"
#include "ui/MessageBox.h"
#include "ui/logfile/LogFiles.h"

#include <QProgressDialog>

#include <exception>

namespace quorvel::app {

LogFileActions::LogFileActions(QWidget* window, ui::LogView* log, speech::Speech* speech, const LogFileDialogs& dialogs,
                               std::function<int()> ownVoice, QObject* parent)
    : QObject(parent), m_window(window), m_log(log), m_speech(speech), m_dialogs(dialogs),
      m_ownVoice(std::move(ownVoice))
{
    setObjectName(QStringLiteral("LogFileActions"));
    m_loader = new LogFileLoader(window, log, this);
    if (m_speech)
        connect(m_speech, &speech::Speech::wavExportFinished, this, &LogFileActions::finishWavExport);
}

void LogFileActions::NOpenMessageClick()
{
    const QString path = ui::FileDialog::exec(m_dialogs.open->get());
    if (path.isEmpty())
        return;
    m_loader->load(path);
}

void LogFileActions::NSaveMessageClick()
{
    const QString path = ui::FileDialog::exec(m_dialogs.save->get());
    if (path.isEmpty())
        return;
    // Only the name's extension counts, not the chosen filter.
    const bool plainText = logfile::SavesAsPlainText(path.toStdString());
    try {
        logfile::SaveLogFile(path, plainText, *m_log->document());
    } catch (const std::exception& error) {
        ui::MessageBox::standardError(m_window, QString::fromUtf8(error.what()));
    }
}

void LogFileActions::NClearMessageClick()
{
    const auto answer = ui::MessageBox::show(m_window, QMessageBox::Question, QStringLiteral("确认"),
                                             QStringLiteral("您确定要清空当前消息内容列表吗？"),
                                             QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    if (answer == QMessageBox::Yes)
        m_log->clear();
}

void LogFileActions::NShowTime1Click()
{
    // The checkable action has already inverted its mark; new lines follow it.
}

void LogFileActions::ExportMessageToWav1Click()
{
    if (m_log->document()->isEmpty()) {
        ui::MessageBox::plain(m_window, QStringLiteral("Now cannot export to wav,message is blank!"));
        return;
    }
    const QString path = ui::FileDialog::exec(m_dialogs.wav->get());
    if (path.isEmpty() || !m_speech)
        return;
    const int voice = m_ownVoice();
    if (voice < 0)
        return;
    // Read after the dialog: lines that arrived meanwhile are part of the recording.
    QString text = m_log->selectedPlainText();
    if (text.isEmpty())
        text = m_log->toPlainText();
    if (text.isEmpty())
        return;
    if (!m_speech->startWavExport(text, voice, path))
        return;

    m_wavProgress = new QProgressDialog(QStringLiteral("正在导出WAV文件..."), QStringLiteral("取消"), 0, 100, m_window);
    m_wavProgress->setObjectName(QStringLiteral("WavProgress"));
    m_wavProgress->setWindowTitle(ui::ApplicationTitle());
    m_wavProgress->setWindowModality(Qt::WindowModal);
    m_wavProgress->setAutoClose(false);
    m_wavProgress->setAutoReset(false);
    m_wavProgress->setMinimumDuration(0);
    m_wavProgress->setValue(0);
    connect(m_speech, &speech::Speech::wavExportProgress, m_wavProgress, &QProgressDialog::setValue);
    connect(m_wavProgress, &QProgressDialog::canceled, m_speech, &speech::Speech::cancelWavExport);
    m_wavProgress->show();
}

void LogFileActions::cancelWavExport()
{
    if (m_wavProgress && m_speech)
        m_speech->cancelWavExport();
}

void LogFileActions::finishWavExport(bool ok, bool cancelled, const QString& errorText)
{
    if (m_wavProgress) {
        m_wavProgress->disconnect(m_speech);
        m_speech->disconnect(m_wavProgress);
        m_wavProgress->hide();
        m_wavProgress->deleteLater();
        m_wavProgress = nullptr;
    }
    if (!ok && !cancelled)
        ui::MessageBox::standardError(m_window, errorText);
}

} // namespace quorvel::app
