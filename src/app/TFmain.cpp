#include "app/TFmain.h"

#include "app/ContactsPage.h"
#include "app/LogFileActions.h"
#include "app/SpeechOptions.h"
#include "app/StartupEntry.h"
#include "app/TrayWindow.h"
#include "app/core/LocalTime.h"
#include "app/settings/ContactsStore.h"
#include "app/settings/SettingsStore.h"
#include "capture/EventHandling.h"
#include "speech/VoiceTokens.h"
#include "text/TextRules.h"
#include "ui/AppInfo.h"
#include "ui/FileDialog.h"
#include "ui/LogView.h"
#include "ui/MessageBox.h"
#include "ui/Tray.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDeadlineTimer>
#include <QDesktopServices>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>

#include <exception>
#include <span>

namespace quorvel::app {

namespace {

std::int64_t MonotonicMicros()
{
    return QDeadlineTimer::current().deadlineNSecs() / 1000;
}

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

TFmain::TFmain(Platform platform, QWidget* parent) : QMainWindow(parent), m_platform(std::move(platform))
{
    m_streams = std::make_unique<capture::StreamDecoder>(
        [this](const capture::DecodeResult& decoded) { m_decoded.push_back(decoded); });
    // The capture passes what the decoder follows: the ports, and each switchboard as it is handed out.
    m_streams->endpoints().setChangeListener([this](const capture::ServerEndpoints& endpoints) {
        if (m_platform.capture)
            m_platform.capture->setServerEndpoints(endpoints);
    });
    buildWindow();
    assembleParts();
    m_tray->setVisible(true);
    FormCreate();
}

TFmain::~TFmain()
{
    FormDestroy();
}

bool TFmain::trayAvailable() const
{
    return m_trayWindow->trayAvailable();
}

void TFmain::assembleParts()
{
    m_speechOptions = new SpeechOptions(m_platform.speech.get(), {CBVoice, TRate, LRate, TVolume, LVolume, BtnDefault1},
                                        {CBVoice1, TRate1, LRate1, TVolume1, LVolume1, BtnDefault2}, this);
    connect(m_speechOptions, &SpeechOptions::notice, this, &TFmain::reportInStatusBar);
    m_logFiles = new LogFileActions(
        this, RichEdit1, m_platform.speech.get(), {OpenDialog1.get(), SaveDialog1.get(), SaveDialogWav.get()},
        [options = m_speechOptions] { return options->ownVoice(); }, this);
    m_trayWindow = new TrayWindow(
        {this, m_tray, PopupMenu1, PageControl1, TabSheet1, TabSheet2, Open1, NItemOption, StatusBar1}, this);
    m_startupEntry = new StartupEntry(this, m_platform, NOpenOnStartup, NOpenOnStartup2, this);

    if (m_platform.capture) {
        connect(m_platform.capture.get(), &capture::CaptureSource::datagramReceived, this, &TFmain::WMCaptureRead);
        connect(m_platform.capture.get(), &capture::CaptureSource::captureFailed, this,
                [this](const QString& text) { showCaptureError(text, false); });
        // Holes left by lost segments are skipped after a while even when no more traffic comes.
        m_streamExpiry = new QTimer(this);
        m_streamExpiry->setInterval(1000);
        connect(m_streamExpiry, &QTimer::timeout, this, [this] {
            m_streams->expire(MonotonicMicros());
            applyDecoded();
        });
        m_streamExpiry->start();
    }
    connect(NOpenMessage, &QAction::triggered, m_logFiles, &LogFileActions::NOpenMessageClick);
    connect(NClearMessage, &QAction::triggered, m_logFiles, &LogFileActions::NClearMessageClick);
    connect(NSaveMessage, &QAction::triggered, m_logFiles, &LogFileActions::NSaveMessageClick);
    connect(ExportMessageToWav1, &QAction::triggered, m_logFiles, &LogFileActions::ExportMessageToWav1Click);
    connect(NShowTime1, &QAction::triggered, m_logFiles, &LogFileActions::NShowTime1Click);
    connect(StopSpeak1, &QAction::triggered, m_speechOptions, &SpeechOptions::StopSpeak1Click);
    connect(Nexit, &QAction::triggered, this, &TFmain::NexitClick);
    connect(Exit1, &QAction::triggered, this, &TFmain::Exit1Click);
    connect(Help1, &QAction::triggered, this, &TFmain::Help1Click);
    connect(VisitHomepage1, &QAction::triggered, this, &TFmain::VisitHomepage1Click);
    connect(Email1, &QAction::triggered, this, &TFmain::Email1Click);
    connect(About1, &QAction::triggered, this, &TFmain::About1Click);
    connect(BDownload, &QPushButton::clicked, this, &TFmain::BDownloadClick);
    connect(EPorts, &QLineEdit::editingFinished, this, &TFmain::EPortsEditingFinished);

    m_contactsSave = new QTimer(this);
    m_contactsSave->setSingleShot(true);
    m_contactsSave->setInterval(500);
    connect(m_contactsSave, &QTimer::timeout, this, &TFmain::saveContacts);
    connect(TabSheet3, &ContactsPage::edited, m_contactsSave, qOverload<>(&QTimer::start));
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
        // Friends' own settings; a missing file is an empty list. One that cannot be read is never
        // saved over during this run, and the user is told why edits will not last.
        if (auto book = settings::ContactsStore(ToPath(folder) / "contacts.ini").load()) {
            TabSheet3->model()->reset(std::move(*book));
            m_contactsLoaded = true;
        } else {
            reportInStatusBar(QStringLiteral("无法读取 contacts.ini，本次运行不保存联系人设置"));
        }

        // 4-6. Voice lists and their selections, rates, volumes; the reading options and the time stamp.
        m_speechOptions->restore(stored);
        // Friends' own voices are the built-in ones: they are kept by index.
        TabSheet3->setVoiceNames(m_speechOptions->builtInVoiceNames());
        reportSpeechUnavailable();
        CBMe->setChecked(stored.cbme);
        CBFriend->setChecked(stored.cbfriend);
        CBmyname->setChecked(stored.cbmyname);
        CBFriendsname->setChecked(stored.cbfriendsname);
        CBmyex->setChecked(stored.cbmyex);
        CBFriendsex->setChecked(stored.cbfriendsex);
        NShowTime1->setChecked(stored.showtime);
        CBLinks->setChecked(stored.speaklinks);
        SEMaxSpoken->setValue(stored.maxspoken);
        m_streams->endpoints().setPorts(stored.ports);
        EPorts->setText(QString::fromStdString(capture::FormatPortList(m_streams->endpoints().ports())));

        // 7. Run at start-up: the entry's presence is the state.
        m_startupEntry->readState();
    } catch (const std::exception& error) {
        ui::MessageBox::standardError(this, QString::fromUtf8(error.what()));
        m_trayWindow->startVisible();
        return;
    }

    // Without a tray nothing could bring a hidden window back: start visible.
    if (trayAvailable())
        m_trayWindow->startInTray(); // 8, 9: hidden, remembered as minimised, with the start balloon
    else
        m_trayWindow->startWithoutTray();
}

// Without an engine the program still logs; the user learns why it is silent once, in the status
// bar, which neither blocks start-up nor repeats per message.
void TFmain::reportSpeechUnavailable()
{
    const QString reason = m_platform.speech ? m_platform.speech->unavailableReason() : QString();
    if (!reason.isEmpty())
        reportInStatusBar(reason);
}

void TFmain::reportInStatusBar(const QString& text)
{
    // Start-up problems share the one line; none hides another.
    const QString shown = StatusBar1->currentMessage();
    StatusBar1->showMessage(shown.isEmpty() ? text : shown + QStringLiteral("；") + text);
    qWarning("%s", qPrintable(text));
}

void TFmain::FormDestroy()
{
    if (m_destroyed)
        return;
    m_destroyed = true;
    m_logFiles->cancelWavExport();

    m_tray->setVisible(false);
    if (WindowsMajorVersion() == 5) {
        speech::RemoveMaryToken();
        speech::RemoveMikeToken();
    }
    try {
        settings::SettingsToSave values;
        m_speechOptions->store(values);
        values.cbme = CBMe->isChecked();
        values.cbfriend = CBFriend->isChecked();
        values.cbmyname = CBmyname->isChecked();
        values.cbfriendsname = CBFriendsname->isChecked();
        values.cbmyex = CBmyex->isChecked();
        values.cbfriendsex = CBFriendsex->isChecked();
        values.showtime = NShowTime1->isChecked();
        values.speaklinks = CBLinks->isChecked();
        values.maxspoken = SEMaxSpoken->value();
        values.ports = m_streams->endpoints().ports();
        const QString folder = settingsFolder();
        settings::SettingsStore(ToPath(folder) / "set.ini").save(values);
    } catch (const std::exception& error) {
        ui::MessageBox::standardError(nullptr, QString::fromUtf8(error.what()));
        return;
    }
    m_contactsSave->stop();
    saveContacts();
    if (m_platform.capture)
        m_platform.capture->close();
}

void TFmain::saveContacts()
{
    // Without a successful start-up read, a save could drop what the file holds.
    if (!m_contactsLoaded)
        return;
    try {
        settings::ContactsStore(ToPath(settingsFolder()) / "contacts.ini").save(TabSheet3->model()->book());
    } catch (const std::exception& error) {
        ui::MessageBox::standardError(m_destroyed ? nullptr : this, QString::fromUtf8(error.what()));
    }
}

void TFmain::speakAsContact(const QString& text, const settings::Contact& contact)
{
    // The friend channel, so that cut-off and "停止朗读" treat it as any friend's message.
    try {
        if (m_platform.speech)
            m_platform.speech->speak(speech::Channel::Friend, text,
                                     ChooseVoiceIndex(TabSheet3->voiceNames(), contact.engine), contact.rate,
                                     contact.volume);
    } catch (...) {
    }
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
    m_streams->addDatagram(bytes, MonotonicMicros());
    applyDecoded();
}

void TFmain::applyDecoded()
{
    std::vector<capture::DecodeResult> decoded;
    decoded.swap(m_decoded);
    for (const capture::DecodeResult& result : decoded) {
        if (result.missingFieldIndex) {
            showCaptureError(FromUtf8(text::FieldResult::Missing(*result.missingFieldIndex).errorMessage()), true);
            continue;
        }
        for (const capture::ChatEvent& event : result.events)
            applyEvent(event);
    }
}

void TFmain::applyEvent(const capture::ChatEvent& event)
{
    const capture::ReadingOptions own{CBMe->isChecked(), CBmyname->isChecked(), CBmyex->isChecked()};
    const capture::ReadingOptions friends{CBFriend->isChecked(), CBFriendsname->isChecked(), CBFriendsex->isChecked()};
    const LocalSecond& now = CurrentLocalSecond();
    capture::SpeechShaping shaping;
    shaping.speakLinks = CBLinks->isChecked();
    shaping.maxSpoken = static_cast<std::size_t>(SEMaxSpoken->value());
    ContactsModel* contacts = TabSheet3->model();
    const capture::EventOutcome outcome = capture::HandleChatEvent(
        event, own, friends, NShowTime1->isChecked(), now.clock, settings::ShapeSpeech(contacts->book(), event, shaping));

    capture::ApplyOutcome(
        outcome,
        [this](const capture::LogLine& line, bool continues) {
            RichEdit1->AddLogLine(FromUtf8(line.text), ToColor(line.color), line.scrollToEnd, continues);
        },
        [this, contacts](const capture::SpeechRequest& request) {
            const QString text = FromUtf8(request.text);
            const settings::Contact* contact = request.contact.empty() ? nullptr : contacts->book().find(request.contact);
            if (request.voice == capture::Voice::Own)
                m_speechOptions->SpeakMyMessage(text);
            else if (contact)
                speakAsContact(text, *contact);
            else
                m_speechOptions->SpeakFriendMessage(text);
        });
    if (event.direction == capture::Direction::Friend && !event.account.empty())
        contacts->recordMessage(event.account, event.nickname, now.isoDate);
}

// A list that cannot be read changes nothing: the field shows the ports in use again.
void TFmain::EPortsEditingFinished()
{
    if (const auto ports = capture::ParsePortList(EPorts->text().toStdString()))
        m_streams->endpoints().setPorts(*ports);
    EPorts->setText(QString::fromStdString(capture::FormatPortList(m_streams->endpoints().ports())));
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

// ---- Forwarded ----------------------------------------------------------------------------------

void TFmain::SpeakMyMessage(const QString& text)
{
    m_speechOptions->SpeakMyMessage(text);
}

void TFmain::SpeakFriendMessage(const QString& text)
{
    m_speechOptions->SpeakFriendMessage(text);
}

void TFmain::TrayIcon1Click()
{
    m_trayWindow->TrayIcon1Click();
}

void TFmain::TrayIcon1DblClick()
{
    m_trayWindow->TrayIcon1DblClick();
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

// ---- Window --------------------------------------------------------------------------------------

void TFmain::closeEvent(QCloseEvent* event)
{
    if (m_terminating) {
        event->accept();
        return;
    }
    event->ignore();
    if (trayAvailable()) {
        m_trayWindow->hideToTray();
    } else {
        // Without a tray a hidden window could never come back; closing ends the program.
        requestTerminate();
    }
}

void TFmain::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        m_trayWindow->windowStateChanged();
}

} // namespace quorvel::app
