#include "app/TFmain.h"

#include "app/settings/SettingsStore.h"
#include "capture/DatagramDecoder.h"
#include "capture/EventHandling.h"
#include "speech/VoiceTokens.h"
#include "text/TextRules.h"
#include "ui/AppInfo.h"
#include "ui/FileDialog.h"
#include "ui/LogView.h"
#include "ui/MessageBox.h"
#include "ui/Tray.h"
#include "ui/autostart/DesktopEntry.h"
#include "ui/logfile/LogFiles.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTime>
#include <QTimer>

#include <exception>
#include <span>

namespace quorvel::app {

namespace {

QString FromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::filesystem::path ToPath(const QString& path)
{
    return std::filesystem::path(path.toStdString());
}

QColor ToColor(const capture::Rgb& rgb)
{
    return QColor(rgb.red, rgb.green, rgb.blue);
}

} // namespace

int ChooseVoiceIndex(const QStringList& names, int stored)
{
    if (names.isEmpty())
        return -1;
    if (stored >= 0 && stored < names.size() && !names.at(stored).isEmpty())
        return stored;
    return 0;
}

TFmain::TFmain(Platform platform, QWidget* parent) : QMainWindow(parent), m_platform(std::move(platform))
{
    buildWindow();
    connectHandlers();
    m_tray->setVisible(true);
    FormCreate();
}

TFmain::~TFmain()
{
    FormDestroy();
}

bool TFmain::trayAvailable() const
{
    return m_tray->available();
}

void TFmain::connectHandlers()
{
    if (m_platform.capture) {
        connect(m_platform.capture.get(), &capture::CaptureSource::datagramReceived, this, &TFmain::WMCaptureRead);
        connect(m_platform.capture.get(), &capture::CaptureSource::captureFailed, this,
                [this](const QString& text) { showCaptureError(text, false); });
    }
    if (m_platform.speech)
        connect(m_platform.speech.get(), &speech::Speech::wavExportFinished, this, &TFmain::finishWavExport);

    connect(NOpenMessage, &QAction::triggered, this, &TFmain::NOpenMessageClick);
    connect(NClearMessage, &QAction::triggered, this, &TFmain::NClearMessageClick);
    connect(NSaveMessage, &QAction::triggered, this, &TFmain::NSaveMessageClick);
    connect(ExportMessageToWav1, &QAction::triggered, this, &TFmain::ExportMessageToWav1Click);
    connect(NShowTime1, &QAction::triggered, this, &TFmain::NShowTime1Click);
    connect(NOpenOnStartup, &QAction::triggered, this, &TFmain::NOpenOnStartupClick);
    connect(Nexit, &QAction::triggered, this, &TFmain::NexitClick);
    connect(Help1, &QAction::triggered, this, &TFmain::Help1Click);
    connect(VisitHomepage1, &QAction::triggered, this, &TFmain::VisitHomepage1Click);
    connect(Email1, &QAction::triggered, this, &TFmain::Email1Click);
    connect(About1, &QAction::triggered, this, &TFmain::About1Click);
    connect(BDownload, &QPushButton::clicked, this, &TFmain::BDownloadClick);

    connect(Open1, &QAction::triggered, this, &TFmain::Open1Click);
    connect(NItemOption, &QAction::triggered, this, &TFmain::NItemOptionClick);
    connect(StopSpeak1, &QAction::triggered, this, &TFmain::StopSpeak1Click);
    connect(NOpenOnStartup2, &QAction::triggered, this, &TFmain::NOpenOnStartup2Click);
    connect(Exit1, &QAction::triggered, this, &TFmain::Exit1Click);
    // X11 reports the first click of a double click as a click too; wait out the double-click
    // time so that a double click does not also open the menu.
    m_singleClick = new QTimer(this);
    m_singleClick->setSingleShot(true);
    m_singleClick->setInterval(QApplication::doubleClickInterval());
    connect(m_singleClick, &QTimer::timeout, this, &TFmain::TrayIcon1Click);
    connect(m_tray->icon(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger) {
            m_singleClick->start();
        } else if (reason == QSystemTrayIcon::DoubleClick) {
            m_singleClick->stop();
            TrayIcon1DblClick();
        }
        // Context: the icon opens PopupMenu1 itself.
    });

    connect(CBVoice, &QComboBox::currentIndexChanged, this, &TFmain::CBVoiceChange);
    connect(CBVoice1, &QComboBox::currentIndexChanged, this, &TFmain::CBVoice1Change);
    connect(TRate, &QSlider::valueChanged, this, &TFmain::TRateChange);
    connect(TRate1, &QSlider::valueChanged, this, &TFmain::TRate1Change);
    connect(TVolume, &QSlider::valueChanged, this, &TFmain::TVolumeChange);
    connect(TVolume1, &QSlider::valueChanged, this, &TFmain::TVolume1Change);
    connect(BtnDefault1, &QPushButton::clicked, this, &TFmain::BtnDefault1Click);
    connect(BtnDefault2, &QPushButton::clicked, this, &TFmain::BtnDefault2Click);
}

QString TFmain::settingsFolder() const
{
    const auto folder =
        settings::LocateSettingsFolder(ToPath(m_platform.configHome), m_platform.baseName.toStdString());
    return QString::fromStdString(folder.string());
}

// ---- Start and end ------------------------------------------------------------------------------

void TFmain::FormCreate()
{
    try {
        // 1. Capture: each failed step is its own box; set-up goes on.
        if (m_platform.capture)
            m_platform.capture->open([this](const QString& text) { ui::MessageBox::plain(this, text); });

        // 2. Only Windows 5.x needed the voices registered; WindowsMajorVersion() is empty here.
        if (WindowsMajorVersion() == 5) {
            speech::RegisterMikeToken();
            speech::RegisterMaryToken();
        }

        // 3. Settings.
        const QString folder = settingsFolder();
        const settings::SettingsStore store(ToPath(folder) / "set.ini");
        const settings::StoredSettings stored = store.load();

        // 4, 5. Voice lists and their stored selections.
        loadVoiceLists(stored.engine, stored.engine1);

        // 6. Rates, volumes (clamped by the sliders), the reading options and the time stamp.
        TRate->setValue(stored.rate);
        TRate1->setValue(stored.rate1);
        TVolume->setValue(stored.volume);
        TVolume1->setValue(stored.volume1);
        TRateChange();
        TRate1Change();
        TVolumeChange();
        TVolume1Change();
        CBMe->setChecked(stored.cbme);
        CBFriend->setChecked(stored.cbfriend);
        CBmyname->setChecked(stored.cbmyname);
        CBFriendsname->setChecked(stored.cbfriendsname);
        CBmyex->setChecked(stored.cbmyex);
        CBFriendsex->setChecked(stored.cbfriendsex);
        NShowTime1->setChecked(stored.showtime);

        // 7. Run at start-up: the entry's presence is the state.
        const autostart::Autostart entry(ToPath(m_platform.configHome) / "autostart", m_platform.baseName.toStdString(),
                                         m_platform.executablePath.toStdString(), ui::ApplicationTitle().toStdString());
        const bool enabled = entry.isEnabled();
        NOpenOnStartup->setChecked(enabled);
        NOpenOnStartup2->setChecked(enabled);
    } catch (const std::exception& error) {
        ui::MessageBox::standardError(this, QString::fromUtf8(error.what()));
        m_rememberedState = Qt::WindowNoState;
        show();
        return;
    }

    if (!trayAvailable()) {
        // Nothing could bring a hidden window back: start visible.
        m_rememberedState = Qt::WindowNoState;
        show();
        return;
    }
    // 8. Hidden in the tray, remembered as minimised.
    m_rememberedState = Qt::WindowMinimized;
    // 9. The start balloon.
    m_tray->showBalloon(ui::StartBalloonTitle(), ui::StartBalloonText(), 3000);
}

void TFmain::loadVoiceLists(int engine, int engine1)
{
    const QStringList names = m_platform.speech ? m_platform.speech->voiceNames() : QStringList();
    {
        const QSignalBlocker own(CBVoice), friends(CBVoice1);
        CBVoice->addItems(names);
        CBVoice1->addItems(names);
        CBVoice->setCurrentIndex(-1);
        CBVoice1->setCurrentIndex(-1);
    }
    if (CBVoice->count() > 0) {
        const QSignalBlocker block(CBVoice);
        CBVoice->setCurrentIndex(ChooseVoiceIndex(names, engine));
        CBVoiceChange();
    }
    if (CBVoice1->count() > 0) {
        const QSignalBlocker block(CBVoice1);
        CBVoice1->setCurrentIndex(ChooseVoiceIndex(names, engine1));
        CBVoice1Change();
    }
}

void TFmain::FormDestroy()
{
    if (m_destroyed)
        return;
    m_destroyed = true;
    if (m_wavProgress && m_platform.speech)
        m_platform.speech->cancelWavExport();

    m_tray->setVisible(false);
    if (WindowsMajorVersion() == 5) {
        speech::RemoveMaryToken();
        speech::RemoveMikeToken();
    }
    try {
        settings::SettingsToSave values;
        values.rate = TRate->value();
        values.volume = TVolume->value();
        if (CBVoice->currentIndex() >= 0)
            values.engine = CBVoice->currentIndex();
        values.rate1 = TRate1->value();
        values.volume1 = TVolume1->value();
        if (CBVoice1->currentIndex() >= 0)
            values.engine1 = CBVoice1->currentIndex();
        values.cbme = CBMe->isChecked();
        values.cbfriend = CBFriend->isChecked();
        values.cbmyname = CBmyname->isChecked();
        values.cbfriendsname = CBFriendsname->isChecked();
        values.cbmyex = CBmyex->isChecked();
        values.cbfriendsex = CBFriendsex->isChecked();
        values.showtime = NShowTime1->isChecked();
        const QString folder = settingsFolder();
        settings::SettingsStore(ToPath(folder) / "set.ini").save(values);
    } catch (const std::exception& error) {
        ui::MessageBox::standardError(nullptr, QString::fromUtf8(error.what()));
        return;
    }
    if (m_platform.capture)
        m_platform.capture->close();
}

void TFmain::requestTerminate()
{
    m_terminating = true;
    emit terminateRequested();
}

void TFmain::NexitClick()
{
    requestTerminate();
}

void TFmain::Exit1Click()
{
    requestTerminate();
}

// ---- Capture ------------------------------------------------------------------------------------

void TFmain::WMCaptureRead(const QByteArray& ipDatagram)
{
    const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(ipDatagram.constData()),
                                 static_cast<std::size_t>(ipDatagram.size()));
    const capture::DecodeResult result = capture::DecodeDatagram(bytes);
    if (result.missingFieldIndex) {
        showCaptureError(FromUtf8(text::FieldResult::Missing(*result.missingFieldIndex).errorMessage()), true);
        return;
    }
    for (const capture::ChatEvent& event : result.events)
        applyEvent(event);
}

void TFmain::applyEvent(const capture::ChatEvent& event)
{
    const capture::ReadingOptions own{CBMe->isChecked(), CBmyname->isChecked(), CBmyex->isChecked()};
    const capture::ReadingOptions friends{CBFriend->isChecked(), CBFriendsname->isChecked(), CBFriendsex->isChecked()};
    const std::string time = QTime::currentTime().toString(QStringLiteral("hh:mm:ss")).toStdString();
    const capture::EventOutcome outcome = capture::HandleChatEvent(event, own, friends, NShowTime1->isChecked(), time);

    auto speak = [this, &outcome] {
        if (!outcome.speech)
            return;
        const QString text = FromUtf8(outcome.speech->text);
        if (outcome.speech->voice == capture::Voice::Own)
            SpeakMyMessage(text);
        else
            SpeakFriendMessage(text);
    };
    for (std::size_t i = 0; i < outcome.lines.size(); ++i) {
        if (i == outcome.speakAfterLines)
            speak();
        const capture::LogLine& line = outcome.lines[i];
        RichEdit1->AddLogLine(FromUtf8(line.text), ToColor(line.color), line.scrollToEnd);
    }
    if (outcome.speakAfterLines >= outcome.lines.size())
        speak();
}

void TFmain::showCaptureError(const QString& text, bool standardError)
{
    // Network input must not stack boxes: while one is open, further reports are dropped.
    if (m_captureBoxOpen)
        return;
    m_captureBoxOpen = true;
    if (standardError)
        ui::MessageBox::standardError(this, text);
    else
        ui::MessageBox::plain(this, text);
    m_captureBoxOpen = false;
}

// ---- Speaking -----------------------------------------------------------------------------------

void TFmain::SpeakMyMessage(const QString& text)
{
    try {
        if (m_platform.speech)
            m_platform.speech->speak(speech::Channel::Own, text, CBVoice->currentIndex(), TRate->value(),
                                     TVolume->value());
    } catch (...) {
    }
}

void TFmain::SpeakFriendMessage(const QString& text)
{
    try {
        if (m_platform.speech)
            m_platform.speech->speak(speech::Channel::Friend, text, CBVoice1->currentIndex(), TRate1->value(),
                                     TVolume1->value());
    } catch (...) {
    }
}

void TFmain::StopSpeak1Click()
{
    try {
        if (m_platform.speech)
            m_platform.speech->stopAll();
    } catch (...) {
    }
}

// ---- Voice profiles -----------------------------------------------------------------------------

// The speech layer takes voice, rate and volume with every request, so a new selection has nothing
// to push; the handlers stay as the lists' change points.
void TFmain::CBVoiceChange() {}

void TFmain::CBVoice1Change() {}

void TFmain::TRateChange()
{
    LRate->setText(QString::number(TRate->value()));
}

void TFmain::TRate1Change()
{
    LRate1->setText(QString::number(TRate1->value()));
}

void TFmain::TVolumeChange()
{
    LVolume->setText(QString::number(TVolume->value()));
}

void TFmain::TVolume1Change()
{
    LVolume1->setText(QString::number(TVolume1->value()));
}

void TFmain::BtnDefault1Click()
{
    TRate->setValue(0);
    TVolume->setValue(100);
}

void TFmain::BtnDefault2Click()
{
    TRate1->setValue(0);
    TVolume1->setValue(100);
}

// ---- WAV export ---------------------------------------------------------------------------------

void TFmain::ExportMessageToWav1Click()
{
    if (RichEdit1->document()->isEmpty()) {
        ui::MessageBox::plain(this, QStringLiteral("Now cannot export to wav,message is blank!"));
        return;
    }
    const QString path = ui::FileDialog::exec(*SaveDialogWav);
    if (path.isEmpty() || !m_platform.speech)
        return;
    const int voice = CBVoice->currentIndex();
    if (voice < 0)
        return;
    // Read after the dialog: lines that arrived meanwhile are part of the recording.
    QString text = RichEdit1->selectedPlainText();
    if (text.isEmpty())
        text = RichEdit1->toPlainText();
    if (text.isEmpty())
        return;
    if (!m_platform.speech->startWavExport(text, voice, path))
        return;

    m_wavProgress = new QProgressDialog(QStringLiteral("正在导出WAV文件..."), QStringLiteral("取消"), 0, 100, this);
    m_wavProgress->setObjectName(QStringLiteral("WavProgress"));
    m_wavProgress->setWindowTitle(ui::ApplicationTitle());
    m_wavProgress->setWindowModality(Qt::WindowModal);
    m_wavProgress->setAutoClose(false);
    m_wavProgress->setAutoReset(false);
    m_wavProgress->setMinimumDuration(0);
    m_wavProgress->setValue(0);
    connect(m_platform.speech.get(), &speech::Speech::wavExportProgress, m_wavProgress, &QProgressDialog::setValue);
    connect(m_wavProgress, &QProgressDialog::canceled, m_platform.speech.get(), &speech::Speech::cancelWavExport);
    m_wavProgress->show();
}

void TFmain::finishWavExport(bool ok, bool cancelled, const QString& errorText)
{
    if (m_wavProgress) {
        m_wavProgress->disconnect(this);
        m_wavProgress->disconnect(m_platform.speech.get());
        m_platform.speech->disconnect(m_wavProgress);
        m_wavProgress->hide();
        m_wavProgress->deleteLater();
        m_wavProgress = nullptr;
    }
    if (!ok && !cancelled)
        ui::MessageBox::standardError(this, errorText);
}

// ---- Log files ----------------------------------------------------------------------------------

void TFmain::NOpenMessageClick()
{
    const QString path = ui::FileDialog::exec(*OpenDialog1);
    if (path.isEmpty())
        return;
    RichEdit1->clear();
    try {
        logfile::LoadLogFile(path, m_plainTextMode, *RichEdit1->document());
    } catch (const std::exception& error) {
        ui::MessageBox::standardError(this, QString::fromUtf8(error.what()));
    }
}

void TFmain::NSaveMessageClick()
{
    const QString path = ui::FileDialog::exec(*SaveDialog1);
    if (path.isEmpty())
        return;
    // Only the name's extension counts, not the chosen filter.
    const QString suffix = QFileInfo(path).suffix().toLower();
    m_plainTextMode = suffix != QStringLiteral("rtf");
    try {
        logfile::SaveLogFile(path, m_plainTextMode, *RichEdit1->document());
    } catch (const std::exception& error) {
        ui::MessageBox::standardError(this, QString::fromUtf8(error.what()));
    }
}

void TFmain::NClearMessageClick()
{
    const auto answer = ui::MessageBox::show(this, QMessageBox::Question, QStringLiteral("确认"),
                                             QStringLiteral("您确定要清空当前消息内容列表吗？"),
                                             QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    if (answer == QMessageBox::Yes)
        RichEdit1->clear();
}

void TFmain::NShowTime1Click()
{
    // The checkable action has already inverted its mark; new lines follow it.
}

// ---- Run at start-up ----------------------------------------------------------------------------

void TFmain::setRunAtStartup(bool on)
{
    NOpenOnStartup->setChecked(on);
    NOpenOnStartup2->setChecked(on);
    try {
        const autostart::Autostart entry(ToPath(m_platform.configHome) / "autostart", m_platform.baseName.toStdString(),
                                         m_platform.executablePath.toStdString(), ui::ApplicationTitle().toStdString());
        if (on)
            entry.enable();
        else
            entry.disable();
    } catch (const std::exception& error) {
        ui::MessageBox::standardError(this, QString::fromUtf8(error.what()));
    }
}

void TFmain::NOpenOnStartupClick()
{
    setRunAtStartup(NOpenOnStartup->isChecked());
}

void TFmain::NOpenOnStartup2Click()
{
    setRunAtStartup(NOpenOnStartup2->isChecked());
}

// ---- Help and links -----------------------------------------------------------------------------

void TFmain::Help1Click()
{
    ui::MessageBox::modeless(this, QStringLiteral("帮助"), ui::HelpText());
}

void TFmain::About1Click()
{
    ui::MessageBox::modeless(this, QStringLiteral("关于"), ui::AboutText());
}

void TFmain::VisitHomepage1Click()
{
    QDesktopServices::openUrl(ui::Maker::homepage());
}

void TFmain::Email1Click()
{
    QDesktopServices::openUrl(ui::Maker::mailto());
}

void TFmain::BDownloadClick()
{
    QDesktopServices::openUrl(ui::Maker::enginesPage());
}

// ---- Tray and window ----------------------------------------------------------------------------

void TFmain::hideToTray()
{
    m_tray->showBalloon(ui::ApplicationTitle(), ui::HiddenBalloonText(), 500);
    hide();
}

void TFmain::closeEvent(QCloseEvent* event)
{
    if (m_terminating) {
        event->accept();
        return;
    }
    event->ignore();
    if (trayAvailable()) {
        hideToTray();
    } else {
        // Without a tray a hidden window could never come back; closing ends the program.
        requestTerminate();
    }
}

void TFmain::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || m_showingRemembered)
        return;
    if (isMinimized() && trayAvailable() && isVisible()) {
        // Minimising goes to the tray; the remembered state stays as it was.
        QTimer::singleShot(0, this, [this] {
            hideToTray();
            setWindowState(windowState() & ~Qt::WindowMinimized);
        });
        return;
    }
    if (isVisible())
        m_rememberedState = isMinimized() ? Qt::WindowMinimized : Qt::WindowNoState;
}

void TFmain::TrayIcon1Click()
{
    PopupMenu1->popup(QCursor::pos());
}

void TFmain::TrayIcon1DblClick()
{
    m_showingRemembered = true;
    if (m_rememberedState & Qt::WindowMinimized)
        showMinimized();
    else
        showNormal();
    m_showingRemembered = false;
}

void TFmain::showAsked(QWidget* tab)
{
    m_showingRemembered = true;
    m_rememberedState = Qt::WindowNoState;
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    m_showingRemembered = false;
    PageControl1->setCurrentWidget(tab);
    raise();
    activateWindow();
}

void TFmain::Open1Click()
{
    showAsked(TabSheet1);
}

void TFmain::NItemOptionClick()
{
    showAsked(TabSheet2);
}

} // namespace quorvel::app
