#pragma once
// The main window: owns the capture source, the speech layer, the log, the option controls (the
// only store of the settings while the program runs), the tray and the dialogs. The handlers of the
// log files, the voice profiles, the tray and the autostart entry live in classes of their own.

#include "app/Platform.h"
#include "capture/ChatEvent.h"
#include "capture/StreamDecoder.h"

#include <QMainWindow>
#include <QString>

#include <memory>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSlider;
class QSpinBox;
class QStatusBar;
class QTabWidget;
class QTimer;
class QWidget;

namespace quorvel::settings {
struct Contact;
} // namespace quorvel::settings

namespace quorvel::ui {
class LazyFileDialog;
class LogView;
class Tray;
} // namespace quorvel::ui

namespace quorvel::app {

class ContactsPage;
class LogFileActions;
class SpeechOptions;
class StartupEntry;
class TrayWindow;

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
    ui::LogView* log() const { return RichEdit1; }
    ui::Tray* tray() const { return m_tray; }
    ContactsPage* contacts() const { return TabSheet3; }

signals:
    void terminateRequested();

public slots:
    void WMCaptureRead(const QByteArray& ipDatagram);
    // Forwarded to the parts that handle them.
    void SpeakMyMessage(const QString& text);
    void SpeakFriendMessage(const QString& text);
    void TrayIcon1Click();
    void TrayIcon1DblClick();

    void NexitClick();
    void Help1Click();
    void VisitHomepage1Click();
    void Email1Click();
    void About1Click();
    void BDownloadClick();
    void Exit1Click();

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
    void assembleParts();

    void FormCreate();
    void reportSpeechUnavailable();
    void applyDecoded();
    void applyEvent(const capture::ChatEvent& event);
    void saveContacts();
    void reportInStatusBar(const QString& text);
    void speakAsContact(const QString& text, const settings::Contact& contact);
    void showCaptureError(const QString& text, bool standardError);
    void EPortsEditingFinished();
    QString settingsFolder() const;

    Platform m_platform;
    bool m_destroyed = false;
    bool m_terminating = false;
    bool m_captureBoxOpen = false;

    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet1 = nullptr;
    QWidget* TabSheet2 = nullptr;
    ContactsPage* TabSheet3 = nullptr;
    ui::LogView* RichEdit1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;

    QCheckBox *CBMe = nullptr, *CBmyname = nullptr, *CBmyex = nullptr;
    QCheckBox *CBFriend = nullptr, *CBFriendsname = nullptr, *CBFriendsex = nullptr;
    QCheckBox* CBLinks = nullptr;
    QSpinBox* SEMaxSpoken = nullptr;
    QLineEdit* EPorts = nullptr; // the servers' ports, "1863 1864"
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
    std::unique_ptr<ui::LazyFileDialog> OpenDialog1, SaveDialog1, SaveDialogWav;

    LogFileActions* m_logFiles = nullptr;
    SpeechOptions* m_speechOptions = nullptr;
    TrayWindow* m_trayWindow = nullptr;
    StartupEntry* m_startupEntry = nullptr;
    QTimer* m_contactsSave = nullptr; // one save for a burst of edits
    bool m_contactsLoaded = false;

    // Chat commands from the reassembled connections; results are collected while a datagram is
    // added and applied after, so a message box opened for one cannot re-enter the decoder.
    std::unique_ptr<capture::StreamDecoder> m_streams;
    std::vector<capture::DecodeResult> m_decoded;
    QTimer* m_streamExpiry = nullptr;
};

} // namespace quorvel::app
