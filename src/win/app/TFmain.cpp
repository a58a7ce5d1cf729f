#include "win/app/TFmain.h"

#include "app/core/LocalTime.h"
#include "app/settings/ContactsStore.h"
#include "app/settings/SettingsStore.h"
#include "capture/EventHandling.h"
#include "speech/VoiceChoice.h"
#include "text/TextRules.h"
#include "ui/texts/AppTexts.h"
#include "win/app/Boxes.h"
#include "win/app/ContactsPage.h"
#include "win/app/ControlIds.h"
#include "win/app/LogFileActions.h"
#include "win/app/LogView.h"
#include "win/app/SpeechOptions.h"
#include "win/app/Tray.h"
#include "win/app/TrayWindow.h"
#include "win/app/WindowText.h"
#include "win/common/Wide.h"
#include "win/speech/VoiceTokens.h"

#include <commctrl.h>
#include <shellapi.h>

#include <exception>

namespace quorvel::win {

namespace {

constexpr UINT_PTR ContactsSaveTimer = 1005;
constexpr WPARAM SpeechUnavailable = 3; // a WM_SPEECH_EVENT of the speech layer's own
constexpr UINT_PTR StreamExpiryTimer = 1006;
constexpr UINT_PTR CaptureReopenTimer = 1007;
constexpr UINT CaptureReopenMs = 2000;
constexpr const char* StatusText = "  Quorvel：朗读MSN上接收和发送的消息内容。";

std::int64_t MonotonicMicros()
{
    LARGE_INTEGER frequency{}, now{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<std::int64_t>(now.QuadPart / frequency.QuadPart * 1000000 +
                                     now.QuadPart % frequency.QuadPart * 1000000 / frequency.QuadPart);
}

COLORREF ToColor(const capture::Rgb& rgb)
{
    return RGB(rgb.red, rgb.green, rgb.blue);
}

} // namespace

bool TFmain::RegisterClasses(HINSTANCE instance)
{
    WNDCLASSEXW window{};
    window.cbSize = sizeof window;
    window.lpfnWndProc = WindowProc;
    window.hInstance = instance;
    window.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    window.hIconSm = window.hIcon;
    window.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    window.lpszClassName = MainWindowClass;
    WNDCLASSEXW page = window;
    page.lpfnWndProc = PageProc;
    page.hIcon = page.hIconSm = nullptr;
    page.lpszClassName = PageWindowClass;
    return RegisterClassExW(&window) != 0 && RegisterClassExW(&page) != 0;
}

TFmain::TFmain(HINSTANCE instance, Platform platform) : m_instance(instance), m_platform(std::move(platform))
{
    m_streams = std::make_unique<capture::StreamDecoder>(
        [this](const capture::DecodeResult& decoded) { m_decoded.push_back(decoded); });
    // The capture passes what the decoder follows: the ports, and each switchboard as it is handed out.
    m_streams->endpoints().setChangeListener([this](const capture::ServerEndpoints& endpoints) {
        if (m_capture)
            m_capture->setServerEndpoints(endpoints);
    });
    m_icon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    buildMenus();
    // Caption, system menu and close box only; a fixed size. Hidden until asked for.
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    m_window = CreateWindowExW(WS_EX_CONTROLPARENT, MainWindowClass, MainWindowCaption, style, CW_USEDEFAULT,
                               CW_USEDEFAULT, 0, 0, nullptr, m_menu, instance, this);
    m_dpi = GetDpiForWindow(m_window);
    buildWindow();
    layout();
    // Placed at the centre of the desktop: 308 x 535 inside the frame and below the menu.
    RECT frame{0, 0, MulDiv(308, static_cast<int>(m_dpi), 96), MulDiv(535, static_cast<int>(m_dpi), 96)};
    AdjustWindowRectExForDpi(&frame, style, TRUE, WS_EX_CONTROLPARENT, m_dpi);
    RECT desk{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &desk, 0);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    SetWindowPos(m_window, nullptr, desk.left + (desk.right - desk.left - width) / 2,
                 desk.top + (desk.bottom - desk.top - height) / 2, width, height, SWP_NOZORDER | SWP_NOACTIVATE);

    speech::SpeechEngine* speech = m_platform.speech.get();
    m_speechOptions = std::make_unique<SpeechOptions>(
        speech,
        VoiceControls{control(ids::CBVoice), control(ids::TRate), control(ids::LRate), control(ids::TVolume),
                      control(ids::LVolume)},
        VoiceControls{control(ids::CBVoice1), control(ids::TRate1), control(ids::LRate1), control(ids::TVolume1),
                      control(ids::LVolume1)});
    m_logFiles = std::make_unique<LogFileActions>(m_window, instance, *RichEdit1, m_mainItems, speech,
                                                  [this] { return m_speechOptions->ownVoice(); });
    TabSheet3 = std::make_unique<ContactsPage>(
        m_window,
        ContactsControls{control(ids::ContactsFilter), control(ids::ContactsView), control(ids::ContactPanel),
                         control(ids::ContactAlias), control(ids::ContactMute), control(ids::ContactOwnVoice),
                         control(ids::ContactVoice), control(ids::ContactRate), control(ids::ContactRateLabel),
                         control(ids::ContactVolume), control(ids::ContactVolumeLabel), control(ids::ContactDefault)},
        [this] { SetTimer(m_window, ContactsSaveTimer, 500, nullptr); }); // one save for a burst of edits
    TrayIcon1 = std::make_unique<Tray>(m_window, m_icon);
    m_trayWindow = std::make_unique<TrayWindow>(TrayWindowParts{
        m_window, TrayIcon1.get(), m_trayMenu, [this](int page) { showPage(page); },
        [this](const std::string& line) { setStatusText(line); }});
    if (m_platform.watchSpeech) {
        HWND window = m_window;
        m_platform.watchSpeech([window] { PostMessageW(window, WM_SPEECH_EVENT, SpeechUnavailable, 0); });
    }
    if (m_platform.capture) {
        HWND window = m_window;
        m_capture = m_platform.capture([window] { PostMessageW(window, WM_CAPTURE_READ, 0, 0); });
    }
    // Holes left by lost segments are skipped after a while even when no more traffic comes.
    SetTimer(m_window, StreamExpiryTimer, 1000, nullptr);
    FormCreate();
}

TFmain::~TFmain()
{
    FormDestroy();
    if (m_window)
        DestroyWindow(m_window);
    if (m_trayMenu)
        DestroyMenu(m_trayMenu);
    if (m_font)
        DeleteObject(m_font);
}

std::filesystem::path TFmain::settingsFolder() const
{
    return settings::LocateSettingsFolder(m_platform.configHome, m_platform.baseName);
}

// ---- Start and end ------------------------------------------------------------------------------

void TFmain::FormCreate()
{
    try {
        // 1. Capture: each failed step is its own box; set-up goes on.
        if (m_capture) {
            m_capture->setServerEndpoints(m_streams->endpoints());
            m_capture->open([this](const std::string& text) { PlainBox(m_window, text); });
        }

        // 2. Only Windows 2000 and XP needed the bundled voices registered.
        if (m_platform.windowsMajorVersion == 5) {
            const VoiceTokenPlace place = SystemVoiceTokenPlace();
            RegisterVoiceToken(BundledVoice::Mike, place);
            RegisterVoiceToken(BundledVoice::Mary, place);
        }

        // 3. Settings, and the friends' own settings: a missing file is an empty list, one that cannot
        // be read is never saved over during this run, and the user is told why edits will not last.
        const std::filesystem::path folder = settingsFolder();
        const settings::StoredSettings stored = settings::SettingsStore(folder / "set.ini").load();
        if (auto book = settings::ContactsStore(folder / "contacts.ini").load()) {
            TabSheet3->reset(std::move(*book));
            m_contactsLoaded = true;
        } else {
            reportInStatusBar("无法读取 contacts.ini，本次运行不保存联系人设置");
        }

        // 4-6. Voice lists and their selections, rates, volumes; the reading options and the time stamp.
        m_speechOptions->restore(stored);
        TabSheet3->setVoiceNames(m_speechOptions->voiceNames());
        reportSpeechUnavailable();
        setChecked(ids::CBMe, stored.cbme);
        setChecked(ids::CBFriend, stored.cbfriend);
        setChecked(ids::CBmyname, stored.cbmyname);
        setChecked(ids::CBFriendsname, stored.cbfriendsname);
        setChecked(ids::CBmyex, stored.cbmyex);
        setChecked(ids::CBFriendsex, stored.cbfriendsex);
        m_logFiles->setShowTime(stored.showtime);
        setChecked(ids::CBLinks, stored.speaklinks);
        setMaxSpoken(stored.maxspoken);
        m_streams->endpoints().setPorts(stored.ports);
        SetWindowTextUtf8(control(ids::EPorts), capture::FormatPortList(m_streams->endpoints().ports()));

        // 7. Run at start-up: the shortcut's presence is the state.
        const bool startup = m_platform.startup && m_platform.startup->isEnabled();
        CheckMenuItem(m_mainItems, ids::NOpenOnStartup, MF_BYCOMMAND | (startup ? MF_CHECKED : MF_UNCHECKED));
        CheckMenuItem(m_trayMenu, ids::NOpenOnStartup2, MF_BYCOMMAND | (startup ? MF_CHECKED : MF_UNCHECKED));
    } catch (const std::exception& error) {
        StandardErrorBox(m_window, error.what());
        TrayIcon1->show();
        m_trayWindow->startVisible();
        return;
    }

    // The icon comes last: adding it waits for the shell, and meanwhile the window would take what other
    // programs send it before its settings are in place.
    TrayIcon1->show();
    // Without a tray nothing could bring a hidden window back: start visible.
    if (m_trayWindow->trayAvailable())
        m_trayWindow->startInTray(); // 8, 9: hidden, remembered as minimised, with the start balloon
    else
        m_trayWindow->startWithoutTray();
}

// Without an engine the program still logs; the user learns why it is silent once, in the status bar.
void TFmain::reportSpeechUnavailable()
{
    const std::string reason = m_platform.speech ? m_platform.speech->unavailableReason() : std::string();
    if (!reason.empty())
        reportInStatusBar(reason);
}

void TFmain::reportInStatusBar(const std::string& text)
{
    // Start-up problems share the one line; none hides another.
    m_notice = m_notice.empty() ? text : m_notice + "；" + text;
    setStatusText(m_notice);
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
}

void TFmain::setStatusText(const std::string& text)
{
    if (text.empty())
        m_notice.clear();
    SendMessageW(m_status, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(Wide(text.empty() ? StatusText : text).c_str()));
}

void TFmain::FormDestroy()
{
    if (m_destroyed)
        return;
    m_destroyed = true;
    KillTimer(m_window, StreamExpiryTimer);
    m_logFiles->cancelWavExport();

    TrayIcon1->hide();
    try {
        if (m_platform.windowsMajorVersion == 5) {
            const VoiceTokenPlace place = SystemVoiceTokenPlace();
            RemoveVoiceToken(BundledVoice::Mary, place);
            RemoveVoiceToken(BundledVoice::Mike, place);
        }
        settings::SettingsToSave values;
        m_speechOptions->store(values);
        values.cbme = checked(ids::CBMe);
        values.cbfriend = checked(ids::CBFriend);
        values.cbmyname = checked(ids::CBmyname);
        values.cbfriendsname = checked(ids::CBFriendsname);
        values.cbmyex = checked(ids::CBmyex);
        values.cbfriendsex = checked(ids::CBFriendsex);
        values.showtime = m_logFiles->showTime();
        values.speaklinks = checked(ids::CBLinks);
        values.maxspoken = maxSpoken();
        values.ports = m_streams->endpoints().ports();
        settings::SettingsStore(settingsFolder() / "set.ini").save(values);
    } catch (const std::exception& error) {
        StandardErrorBox(nullptr, error.what());
        return;
    }
    KillTimer(m_window, ContactsSaveTimer);
    saveContacts();
    KillTimer(m_window, CaptureReopenTimer);
    if (m_capture)
        m_capture->close();
}

void TFmain::saveContacts()
{
    KillTimer(m_window, ContactsSaveTimer);
    // Without a successful start-up read, a save could drop what the file holds.
    if (!m_contactsLoaded)
        return;
    try {
        settings::ContactsStore(settingsFolder() / "contacts.ini").save(TabSheet3->book());
    } catch (const std::exception& error) {
        StandardErrorBox(m_destroyed ? nullptr : m_window, error.what());
    }
}

void TFmain::requestTerminate()
{
    PostQuitMessage(0);
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

void TFmain::WMCaptureRead()
{
    if (!m_capture)
        return;
    for (auto& datagram : m_capture->takeDatagrams())
        m_datagrams.push_back(std::move(datagram));
    while (!m_datagrams.empty()) {
        const std::vector<std::uint8_t> datagram = std::move(m_datagrams.front());
        m_datagrams.pop_front();
        m_streams->addDatagram(datagram, MonotonicMicros());
        applyDecoded();
    }
    if (const auto error = m_capture->takeReadFailure()) {
        // Once; opening again follows quietly until it works.
        showCaptureError(capture::FailureText("recv", *error), false);
        SetTimer(m_window, CaptureReopenTimer, CaptureReopenMs, nullptr);
    }
}

void TFmain::reopenCapture()
{
    try {
        m_capture->setServerEndpoints(m_streams->endpoints());
        m_capture->open(nullptr);
    } catch (const capture::HostLookupError&) {
    }
    if (m_capture->isCapturing())
        KillTimer(m_window, CaptureReopenTimer);
}

void TFmain::applyDecoded()
{
    std::vector<capture::DecodeResult> decoded;
    decoded.swap(m_decoded);
    for (const capture::DecodeResult& result : decoded) {
        if (result.missingFieldIndex) {
            showCaptureError(text::FieldResult::Missing(*result.missingFieldIndex).errorMessage(), true);
            continue;
        }
        for (const capture::ChatEvent& event : result.events)
            applyEvent(event);
    }
}

void TFmain::applyEvent(const capture::ChatEvent& event)
{
    const capture::ReadingOptions own{checked(ids::CBMe), checked(ids::CBmyname), checked(ids::CBmyex)};
    const capture::ReadingOptions friends{checked(ids::CBFriend), checked(ids::CBFriendsname),
                                          checked(ids::CBFriendsex)};
    const app::LocalSecond& now = app::CurrentLocalSecond();
    capture::SpeechShaping shaping;
    shaping.speakLinks = checked(ids::CBLinks);
    shaping.maxSpoken = static_cast<std::size_t>(maxSpoken());
    const settings::ContactBook& book = TabSheet3->book();
    const capture::EventOutcome outcome = capture::HandleChatEvent(event, own, friends, m_logFiles->showTime(),
                                                                   now.clock, settings::ShapeSpeech(book, event, shaping));
    capture::ApplyOutcome(
        outcome,
        [this](const capture::LogLine& line, bool) {
            RichEdit1->AddLogLine(line.text, ToColor(line.color), line.scrollToEnd);
        },
        [this, &book](const capture::SpeechRequest& request) {
            const settings::Contact* contact = request.contact.empty() ? nullptr : book.find(request.contact);
            if (request.voice == capture::Voice::Own)
                SpeakMyMessage(request.text);
            else if (contact)
                speakAsContact(request.text, *contact);
            else
                SpeakFriendMessage(request.text);
        });
    if (event.direction == capture::Direction::Friend && !event.account.empty())
        TabSheet3->recordMessage(event.account, event.nickname, now.isoDate);
}

void TFmain::speakAsContact(const std::string& text, const settings::Contact& contact)
{
    // The friend channel, so that cut-off and "停止朗读" treat it as any friend's message.
    if (!m_platform.speech)
        return;
    const std::vector<std::string>& names = TabSheet3->voiceNames();
    const int voice = speech::ChooseStoredIndex(static_cast<int>(names.size()), contact.engine,
                                                [&names](int i) { return !names[static_cast<std::size_t>(i)].empty(); });
    m_platform.speech->speak(speech::Channel::Friend, text, voice, contact.rate, contact.volume);
}

void TFmain::SpeakMyMessage(const std::string& text)
{
    m_speechOptions->SpeakMyMessage(text);
}

void TFmain::SpeakFriendMessage(const std::string& text)
{
    m_speechOptions->SpeakFriendMessage(text);
}

void TFmain::showCaptureError(const std::string& text, bool standardError)
{
    // Network input must not stack boxes: while one is open, further reports are dropped.
    if (m_captureBoxOpen)
        return;
    m_captureBoxOpen = true;
    if (standardError)
        StandardErrorBox(m_window, text);
    else
        PlainBox(m_window, text);
    m_captureBoxOpen = false;
}

// A list that cannot be read changes nothing: the field shows the ports in use again.
void TFmain::EPortsEditingFinished()
{
    HWND field = control(ids::EPorts);
    if (const auto ports = capture::ParsePortList(Utf8(WindowText(field))))
        m_streams->endpoints().setPorts(*ports);
    SetWindowTextUtf8(field, capture::FormatPortList(m_streams->endpoints().ports()));
}

// What the field shows: "不限" or a number, else the value in use.
int TFmain::maxSpoken() const
{
    const std::wstring text = WindowText(control(ids::SEMaxSpoken));
    if (text == L"不限")
        return 0;
    if (!text.empty() && text.size() < 7 && text.find_first_not_of(L"0123456789") == std::wstring::npos)
        return std::min(std::stoi(text), 100000);
    return m_maxSpoken;
}

void TFmain::setMaxSpoken(int value)
{
    m_maxSpoken = std::clamp(value, 0, 100000);
    SendMessageW(control(ids::SEMaxSpokenSpin), UDM_SETPOS32, 0, m_maxSpoken);
    SetWindowTextW(control(ids::SEMaxSpoken), m_maxSpoken == 0 ? L"不限" : std::to_wstring(m_maxSpoken).c_str());
}

bool TFmain::checked(int id) const
{
    return SendMessageW(control(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TFmain::setChecked(int id, bool on)
{
    SendMessageW(control(id), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

// ---- Run at start-up ------------------------------------------------------------------------------

// Both items show the same mark; the shortcut follows it.
void TFmain::setRunAtStartup(bool on)
{
    CheckMenuItem(m_mainItems, ids::NOpenOnStartup, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
    CheckMenuItem(m_trayMenu, ids::NOpenOnStartup2, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
    if (!m_platform.startup)
        return;
    try {
        if (on)
            m_platform.startup->enable();
        else
            m_platform.startup->disable();
    } catch (const std::exception& error) {
        StandardErrorBox(m_window, error.what());
    }
}

void TFmain::NOpenOnStartupClick()
{
    setRunAtStartup(!(GetMenuState(m_mainItems, ids::NOpenOnStartup, MF_BYCOMMAND) & MF_CHECKED));
}

void TFmain::NOpenOnStartup2Click()
{
    setRunAtStartup(!(GetMenuState(m_trayMenu, ids::NOpenOnStartup2, MF_BYCOMMAND) & MF_CHECKED));
}

// ---- Help and links -----------------------------------------------------------------------------

void TFmain::Help1Click()
{
    InformationBox("帮助", texts::HelpText());
}

void TFmain::About1Click()
{
    InformationBox("关于", texts::AboutText());
}

void TFmain::VisitHomepage1Click()
{
    ShellExecuteW(m_window, L"open", Wide(texts::Maker::homepage).c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED);
}

void TFmain::Email1Click()
{
    ShellExecuteW(m_window, L"open", Wide(texts::Maker::mailto()).c_str(), L"", L"", SW_SHOW);
}

void TFmain::BDownloadClick()
{
    ShellExecuteW(m_window, L"open", Wide(texts::Maker::enginesPage).c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED);
}

// ---- Window --------------------------------------------------------------------------------------

void TFmain::showPage(int page)
{
    SendMessageW(m_tabs, TCM_SETCURSEL, static_cast<WPARAM>(page), 0);
    for (int i = 0; i < 3; ++i)
        ShowWindow(m_pages[i], i == page ? SW_SHOW : SW_HIDE);
    if (TabSheet3)
        TabSheet3->setShown(page == 2);
}

bool TFmain::preTranslateMessage(MSG& msg)
{
    return IsDialogMessageW(m_window, &msg) != FALSE;
}

void TFmain::command(int id, int code)
{
    if (TabSheet3 && TabSheet3->command(id, code))
        return;
    switch (id) {
    case ids::NOpenMessage:
        return m_logFiles->NOpenMessageClick();
    case ids::NClearMessage:
        return m_logFiles->NClearMessageClick();
    case ids::NSaveMessage:
        return m_logFiles->NSaveMessageClick();
    case ids::ExportMessageToWav1:
        return m_logFiles->ExportMessageToWav1Click();
    case ids::NShowTime1:
        return m_logFiles->NShowTime1Click();
    case ids::NOpenOnStartup:
        return NOpenOnStartupClick();
    case ids::NOpenOnStartup2:
        return NOpenOnStartup2Click();
    case ids::Nexit:
        return NexitClick();
    case ids::Exit1:
        return Exit1Click();
    case ids::Help1:
        return Help1Click();
    case ids::VisitHomepage1:
        return VisitHomepage1Click();
    case ids::Email1:
        return Email1Click();
    case ids::About1:
        return About1Click();
    case ids::Open1:
        return m_trayWindow->Open1Click();
    case ids::NItemOption:
        return m_trayWindow->NItemOptionClick();
    case ids::StopSpeak1:
        return m_speechOptions->StopSpeak1Click();
    case ids::BDownload:
        return BDownloadClick();
    case ids::BtnDefault1:
        return m_speechOptions->BtnDefault1Click();
    case ids::BtnDefault2:
        return m_speechOptions->BtnDefault2Click();
    case ids::CBVoice:
        if (code == CBN_SELCHANGE)
            m_speechOptions->CBVoiceChange();
        return;
    case ids::CBVoice1:
        if (code == CBN_SELCHANGE)
            m_speechOptions->CBVoice1Change();
        return;
    case ids::EPorts:
        if (code == EN_KILLFOCUS)
            EPortsEditingFinished();
        return;
    case ids::SEMaxSpoken:
        // Anything but "不限" or a number puts the value in use back.
        if (code == EN_KILLFOCUS)
            setMaxSpoken(maxSpoken());
        return;
    case IDOK:
        // Return in a field takes its value, as leaving it does.
        if (GetFocus() == control(ids::EPorts))
            EPortsEditingFinished();
        else if (GetFocus() == control(ids::SEMaxSpoken))
            setMaxSpoken(maxSpoken());
        return;
    default:
        return;
    }
}

void TFmain::trackChanged(HWND bar)
{
    if (bar == control(ids::TRate))
        m_speechOptions->TRateChange();
    else if (bar == control(ids::TRate1))
        m_speechOptions->TRate1Change();
    else if (bar == control(ids::TVolume))
        m_speechOptions->TVolumeChange();
    else if (bar == control(ids::TVolume1))
        m_speechOptions->TVolume1Change();
    else if (TabSheet3)
        TabSheet3->trackChanged(bar);
}

LRESULT TFmain::notify(NMHDR* header)
{
    if (header->idFrom == ids::PageControl1 && header->code == TCN_SELCHANGE) {
        showPage(static_cast<int>(SendMessageW(m_tabs, TCM_GETCURSEL, 0, 0)));
        return 0;
    }
    if (header->idFrom == ids::SEMaxSpokenSpin && header->code == UDN_DELTAPOS) {
        const auto* step = reinterpret_cast<NMUPDOWN*>(header);
        setMaxSpoken(maxSpoken() + step->iDelta);
        return TRUE; // the value is ours, not the control's
    }
    if (header->idFrom == ids::ContactsView && TabSheet3)
        return TabSheet3->notify(header);
    return 0;
}

LRESULT CALLBACK TFmain::PageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    // The pages only hold controls: what the controls report is the window's.
    switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_HSCROLL:
    case WM_VSCROLL:
        return SendMessageW(GetParent(page), message, wParam, lParam);
    default:
        return DefWindowProcW(page, message, wParam, lParam);
    }
}

LRESULT CALLBACK TFmain::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* self = static_cast<TFmain*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->m_window = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<TFmain*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self || !self->m_trayWindow)
        return DefWindowProcW(window, message, wParam, lParam);
    return self->handleMessage(message, wParam, lParam);
}

LRESULT TFmain::handleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (TrayIcon1->taskbarCreated(message))
        return 0;
    switch (message) {
    case WM_COMMAND:
        command(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_NOTIFY:
        return notify(reinterpret_cast<NMHDR*>(lParam));
    case WM_HSCROLL:
        trackChanged(reinterpret_cast<HWND>(lParam));
        return 0;
    case WM_TIMER:
        switch (wParam) {
        case LogView::ReleaseTimer:
            RichEdit1->timer();
            break;
        case ContactsPage::BatchTimer:
            TabSheet3->timer();
            break;
        case ContactsSaveTimer:
            saveContacts();
            break;
        case CaptureReopenTimer:
            reopenCapture();
            break;
        case StreamExpiryTimer:
            m_streams->expire(MonotonicMicros());
            applyDecoded();
            break;
        default:
            m_trayWindow->timer(wParam);
            break;
        }
        return 0;
    case WM_SYSCOMMAND:
        if (m_trayWindow->WMSysCommand(wParam))
            return 0;
        // Without a tray a hidden window could never come back: closing ends the program.
        if ((wParam & 0xFFF0) == SC_CLOSE) {
            requestTerminate();
            return 0;
        }
        break;
    case WM_SIZE:
        m_trayWindow->sized(wParam);
        SendMessageW(m_status, WM_SIZE, 0, 0);
        return 0;
    case WM_TRAY_ICON:
        m_trayWindow->trayIconMessage(lParam);
        return 0;
    case WM_CAPTURE_READ:
        WMCaptureRead();
        return 0;
    case WM_SPEECH_EVENT:
        if (wParam == SpeechUnavailable)
            reportSpeechUnavailable();
        else
            m_logFiles->speechEvent(wParam, lParam);
        return 0;
    case WM_CLOSE:
        // The close box comes as SC_CLOSE; a WM_CLOSE is another program's (an installer, taskkill)
        // asking the program to end: it ends like "退出".
        requestTerminate();
        return 0;
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        // The process may be ended as soon as this returns: the settings are saved now, and nobody
        // is there to answer a box.
        if (wParam) {
            SetEnding(true);
            FormDestroy();
        }
        return 0;
    case WM_DPICHANGED: {
        m_dpi = HIWORD(wParam);
        layout();
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(m_window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    default:
        break;
    }
    return DefWindowProcW(m_window, message, wParam, lParam);
}

} // namespace quorvel::win
