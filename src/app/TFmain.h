#pragma once
// The main window: owns the capture source, the speech layer, the log, the option controls (the
// only store of the settings while the program runs), the tray and the dialogs.

#include "app/Platform.h"
#include "capture/ChatEvent.h"

#include <QMainWindow>
#include <QString>

class QAction;
class QCheckBox;
class QComboBox;
class QFileDialog;
class QLabel;
class QMenu;
class QProgressDialog;
class QPushButton;
class QSlider;
class QStatusBar;
class QTabWidget;
class QTimer;
class QWidget;

namespace quorvel::ui {
class LogView;
class Tray;
} // namespace quorvel::ui

namespace quorvel::app {

// Index the engine list selects for a stored index: the stored one when it names an entry with
// text, otherwise the first; -1 for an empty list.
int ChooseVoiceIndex(const QStringList& names, int stored);

class TFmain : public QMainWindow {
    Q_OBJECT
public:
    // Builds the window and runs FormCreate.
    explicit TFmain(Platform platform, QWidget* parent = nullptr);
    ~TFmain() override;

    // Runs once: at the first call, later calls and the destructor do nothing.
    void FormDestroy();

    // Ends the program like "退出": the window stops refusing to close, terminateRequested follows.
    void requestTerminate();

    bool trayAvailable() const;
    bool plainTextMode() const { return m_plainTextMode; }
    ui::LogView* log() const { return RichEdit1; }
    ui::Tray* tray() const { return m_tray; }

signals:
    void terminateRequested();

public slots:
    void WMCaptureRead(const QByteArray& ipDatagram);
    void SpeakMyMessage(const QString& text);
    void SpeakFriendMessage(const QString& text);

    void NOpenMessageClick();
    void NClearMessageClick();
    void NSaveMessageClick();
    void ExportMessageToWav1Click();
    void NShowTime1Click();
    void NOpenOnStartupClick();
    void NOpenOnStartup2Click();
    void NexitClick();
    void Help1Click();
    void VisitHomepage1Click();
    void Email1Click();
    void About1Click();
    void BDownloadClick();

    void Open1Click();
    void NItemOptionClick();
    void StopSpeak1Click();
    void Exit1Click();
    void TrayIcon1Click();
    void TrayIcon1DblClick();

    void CBVoiceChange();
    void CBVoice1Change();
    void TRateChange();
    void TRate1Change();
    void TVolumeChange();
    void TVolume1Change();
    void BtnDefault1Click();
    void BtnDefault2Click();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildWindow();
    void buildMenus();
    QWidget* buildOptionsPage();
    QWidget* buildEngineGroup(const QString& title, QComboBox*& voice, QSlider*& rate, QLabel*& rateLabel,
                              QSlider*& volume, QLabel*& volumeLabel, QPushButton*& defaults,
                              const QString& defaultsName);
    void buildDialogs();
    void connectHandlers();

    void FormCreate();
    void loadVoiceLists(int engine, int engine1);
    void setRunAtStartup(bool on);
    void applyEvent(const capture::ChatEvent& event);
    void showCaptureError(const QString& text, bool standardError);
    void hideToTray();
    void showAsked(QWidget* tab);
    void finishWavExport(bool ok, bool cancelled, const QString& errorText);
    QString settingsFolder() const;

    Platform m_platform;
    bool m_destroyed = false;
    bool m_terminating = false;
    bool m_plainTextMode = false;
    bool m_captureBoxOpen = false;
    bool m_showingRemembered = false;
    Qt::WindowStates m_rememberedState = Qt::WindowNoState;

    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet1 = nullptr;
    QWidget* TabSheet2 = nullptr;
    ui::LogView* RichEdit1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;

    QCheckBox *CBMe = nullptr, *CBmyname = nullptr, *CBmyex = nullptr;
    QCheckBox *CBFriend = nullptr, *CBFriendsname = nullptr, *CBFriendsex = nullptr;
    QComboBox *CBVoice = nullptr, *CBVoice1 = nullptr;
    QSlider *TRate = nullptr, *TRate1 = nullptr, *TVolume = nullptr, *TVolume1 = nullptr;
    QLabel *LRate = nullptr, *LRate1 = nullptr, *LVolume = nullptr, *LVolume1 = nullptr;
    QPushButton *BtnDefault1 = nullptr, *BtnDefault2 = nullptr, *BDownload = nullptr;

    QMenu *NMain = nullptr, *NHlelp = nullptr, *PopupMenu1 = nullptr;
    QAction *NOpenMessage = nullptr, *NClearMessage = nullptr, *NSaveMessage = nullptr;
    QAction *ExportMessageToWav1 = nullptr, *NShowTime1 = nullptr, *NOpenOnStartup = nullptr, *Nexit = nullptr;
    QAction *Help1 = nullptr, *VisitHomepage1 = nullptr, *Email1 = nullptr, *About1 = nullptr;
    QAction *Open1 = nullptr, *NItemOption = nullptr, *StopSpeak1 = nullptr, *NOpenOnStartup2 = nullptr,
            *Exit1 = nullptr;

    ui::Tray* m_tray = nullptr;
    QFileDialog *OpenDialog1 = nullptr, *SaveDialog1 = nullptr, *SaveDialogWav = nullptr;
    QProgressDialog* m_wavProgress = nullptr;
    QTimer* m_singleClick = nullptr;
};

} // namespace quorvel::app
