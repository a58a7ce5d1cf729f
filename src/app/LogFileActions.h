#pragma once
// The log's file commands of the main menu: open, save, clear, the time stamp switch and the WAV
// export with its progress dialog.

#include <QObject>
#include <QString>

#include <functional>

class QProgressDialog;
class QWidget;

namespace quorvel::speech {
class Speech;
}
namespace quorvel::ui {
class LazyFileDialog;
class LogView;
} // namespace quorvel::ui

namespace quorvel::app {

class LogFileLoader;

struct LogFileDialogs {
    ui::LazyFileDialog* open = nullptr;
    ui::LazyFileDialog* save = nullptr;
    ui::LazyFileDialog* wav = nullptr;
};

class LogFileActions : public QObject {
    Q_OBJECT
public:
    // window parents the boxes and the progress dialog; speech may be null; ownVoice gives the
    // voice the export speaks with (-1: none).
    LogFileActions(QWidget* window, ui::LogView* log, speech::Speech* speech, const LogFileDialogs& dialogs,
                   std::function<int()> ownVoice, QObject* parent);

    // Stops a running export; its finished report closes the dialog.
    void cancelWavExport();

public slots:
    void NOpenMessageClick();
    void NClearMessageClick();
    void NSaveMessageClick();
    void NShowTime1Click();
    void ExportMessageToWav1Click();

private:
    void finishWavExport(bool ok, bool cancelled, const QString& errorText);

    QWidget* m_window;
    ui::LogView* m_log;
    speech::Speech* m_speech;
    LogFileDialogs m_dialogs;
    std::function<int()> m_ownVoice;
    LogFileLoader* m_loader;
    QProgressDialog* m_wavProgress = nullptr;
};

} // namespace quorvel::app
