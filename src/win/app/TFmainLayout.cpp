// The controls, menus and tabs of the main window, with their names, captions, defaults and keyboard
// order, placed in pixels of 96 dpi and scaled to the monitor's.

#include "win/app/ContactsPage.h"
#include "win/app/ControlIds.h"
#include "win/app/LogView.h"
#include "win/app/TFmain.h"
#include "win/common/Wide.h"

#include <commctrl.h>
#include <richedit.h>

namespace quorvel::win {

namespace {

constexpr int ClientWidth = 308;
constexpr int ClientHeight = 535;
constexpr int StatusBarHeight = 19;
constexpr int LogPage = 0, OptionsPage = 1, ContactsTab = 2, OnWindow = -1;

struct ControlTemplate {
    int id;
    int page;
    const wchar_t* className;
    const wchar_t* text;
    DWORD style;
    int x, y, width, height;
};

constexpr DWORD Check = BS_AUTOCHECKBOX | WS_TABSTOP;
constexpr DWORD Label = SS_LEFT | SS_NOPREFIX;
constexpr DWORD Track = TBS_HORZ | TBS_NOTICKS | WS_TABSTOP;
constexpr DWORD Combo = CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
constexpr DWORD Edit = ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP;
constexpr DWORD Button = BS_PUSHBUTTON | WS_TABSTOP;
constexpr DWORD Group = BS_GROUPBOX;

// In keyboard order within each page; a group box comes before what it holds.
constexpr ControlTemplate Controls[] = {
    {ids::Panel1, LogPage, L"STATIC", L"", 0, 0, 0, 1, 0},

    {ids::GroupBox1, OptionsPage, L"BUTTON", L"朗读设置", Group, 4, 2, 292, 160},
    {ids::CBMe, OptionsPage, L"BUTTON", L"朗读自己的消息", Check, 12, 20, 136, 18},
    {ids::CBmyname, OptionsPage, L"BUTTON", L"朗读自己的昵称", Check, 12, 40, 136, 18},
    {ids::CBmyex, OptionsPage, L"BUTTON", L"朗读自己的表情", Check, 12, 60, 136, 18},
    {ids::CBFriend, OptionsPage, L"BUTTON", L"朗读好友的消息", Check, 152, 20, 136, 18},
    {ids::CBFriendsname, OptionsPage, L"BUTTON", L"朗读好友的昵称", Check, 152, 40, 136, 18},
    {ids::CBFriendsex, OptionsPage, L"BUTTON", L"朗读好友的表情", Check, 152, 60, 136, 18},
    {ids::CBLinks, OptionsPage, L"BUTTON", L"把链接读作“链接”和网站名", Check, 12, 82, 276, 18},
    {ids::LMaxSpoken, OptionsPage, L"STATIC", L"朗读字数上限(0为不限):", Label, 12, 108, 140, 16},
    {ids::SEMaxSpoken, OptionsPage, L"EDIT", L"300", Edit, 156, 105, 70, 20},
    {ids::SEMaxSpokenSpin, OptionsPage, UPDOWN_CLASSW, L"", UDS_ARROWKEYS | UDS_NOTHOUSANDS, 226, 105, 16, 20},
    {ids::LPorts, OptionsPage, L"STATIC", L"服务器端口:", Label, 12, 134, 140, 16},
    {ids::EPorts, OptionsPage, L"EDIT", L"1863 1864", Edit, 156, 131, 132, 20},

    {ids::GroupBox2, OptionsPage, L"BUTTON", L"我的引擎设置", Group, 4, 166, 292, 96},
    {ids::LVoice, OptionsPage, L"STATIC", L"引擎:", Label, 12, 187, 36, 16},
    {ids::CBVoice, OptionsPage, L"COMBOBOX", L"", Combo, 50, 183, 238, 200},
    {ids::LRateCaption, OptionsPage, L"STATIC", L"语速:", Label, 12, 213, 36, 16},
    {ids::TRate, OptionsPage, TRACKBAR_CLASSW, L"", Track, 46, 209, 170, 24},
    {ids::LRate, OptionsPage, L"STATIC", L"0", Label, 218, 213, 24, 16},
    {ids::LVolumeCaption, OptionsPage, L"STATIC", L"音量:", Label, 12, 239, 36, 16},
    {ids::TVolume, OptionsPage, TRACKBAR_CLASSW, L"", Track, 46, 235, 170, 24},
    {ids::LVolume, OptionsPage, L"STATIC", L"0", Label, 218, 239, 24, 16},
    {ids::BtnDefault1, OptionsPage, L"BUTTON", L"默认", Button, 246, 220, 44, 26},

    {ids::GroupBox3, OptionsPage, L"BUTTON", L"好友的引擎设置", Group, 4, 266, 292, 96},
    {ids::LVoice1, OptionsPage, L"STATIC", L"引擎:", Label, 12, 287, 36, 16},
    {ids::CBVoice1, OptionsPage, L"COMBOBOX", L"", Combo, 50, 283, 238, 200},
    {ids::LRate1Caption, OptionsPage, L"STATIC", L"语速:", Label, 12, 313, 36, 16},
    {ids::TRate1, OptionsPage, TRACKBAR_CLASSW, L"", Track, 46, 309, 170, 24},
    {ids::LRate1, OptionsPage, L"STATIC", L"0", Label, 218, 313, 24, 16},
    {ids::LVolume1Caption, OptionsPage, L"STATIC", L"音量:", Label, 12, 339, 36, 16},
    {ids::TVolume1, OptionsPage, TRACKBAR_CLASSW, L"", Track, 46, 335, 170, 24},
    {ids::LVolume1, OptionsPage, L"STATIC", L"0", Label, 218, 339, 24, 16},
    {ids::BtnDefault2, OptionsPage, L"BUTTON", L"默认", Button, 246, 320, 44, 26},

    {ids::Label7, OptionsPage, L"STATIC", L"如果想让软件有更丰富的中英文发音，请下载语音引擎。", Label, 8, 372, 284,
     30},
    {ids::BDownload, OptionsPage, L"BUTTON", L"开始下载语音引擎", Button, 80, 404, 140, 26},
    {ids::Label8, OptionsPage, L"STATIC", L"下载安装完毕引擎后，重新启动软件即可在此设置引擎。", Label, 8, 436, 284,
     30},

    {ids::ContactsFilter, ContactsTab, L"EDIT", L"", Edit, 4, 4, 292, 20},
    {ids::ContactsView, ContactsTab, WC_LISTVIEWW, L"",
     LVS_REPORT | LVS_OWNERDATA | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_BORDER | WS_TABSTOP, 4, 28, 292, 286},
    {ids::ContactPanel, ContactsTab, L"BUTTON", L"所选联系人", Group, 4, 318, 292, 168},
    {ids::LContactAlias, ContactsTab, L"STATIC", L"朗读名:", Label, 12, 339, 48, 16},
    {ids::ContactAlias, ContactsTab, L"EDIT", L"", Edit, 62, 336, 226, 20},
    {ids::ContactMute, ContactsTab, L"BUTTON", L"不朗读此联系人", Check, 12, 362, 136, 18},
    {ids::ContactOwnVoice, ContactsTab, L"BUTTON", L"使用自己的声音", Check, 152, 362, 136, 18},
    {ids::LContactVoice, ContactsTab, L"STATIC", L"引擎:", Label, 12, 389, 48, 16},
    {ids::ContactVoice, ContactsTab, L"COMBOBOX", L"", Combo, 62, 385, 226, 200},
    {ids::LContactRate, ContactsTab, L"STATIC", L"语速:", Label, 12, 417, 48, 16},
    {ids::ContactRate, ContactsTab, TRACKBAR_CLASSW, L"", Track, 58, 413, 158, 24},
    {ids::ContactRateLabel, ContactsTab, L"STATIC", L"0", Label, 218, 417, 24, 16},
    {ids::LContactVolume, ContactsTab, L"STATIC", L"音量:", Label, 12, 445, 48, 16},
    {ids::ContactVolume, ContactsTab, TRACKBAR_CLASSW, L"", Track, 58, 441, 158, 24},
    {ids::ContactVolumeLabel, ContactsTab, L"STATIC", L"100", Label, 218, 445, 24, 16},
    {ids::ContactDefault, ContactsTab, L"BUTTON", L"默认", Button, 246, 426, 44, 26},
};

HMENU AddPopup(HMENU bar, const wchar_t* title)
{
    HMENU menu = CreatePopupMenu();
    AppendMenuW(bar, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(menu), title);
    return menu;
}

} // namespace

HWND TFmain::control(int id) const
{
    const auto found = m_controls.find(id);
    return found == m_controls.end() ? nullptr : found->second;
}

void TFmain::buildMenus()
{
    // No accelerator letters: no caption holds an '&'.
    m_menu = CreateMenu();
    m_mainItems = AddPopup(m_menu, L"主菜单"); // NMain
    AppendMenuW(m_mainItems, MF_STRING, ids::NOpenMessage, L"打开消息");
    AppendMenuW(m_mainItems, MF_STRING, ids::NClearMessage, L"清空消息");
    AppendMenuW(m_mainItems, MF_STRING, ids::NSaveMessage, L"保存消息");
    AppendMenuW(m_mainItems, MF_STRING, ids::ExportMessageToWav1, L"消息导出为WAV");
    AppendMenuW(m_mainItems, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(m_mainItems, MF_STRING | MF_CHECKED, ids::NShowTime1, L"显示时间");
    AppendMenuW(m_mainItems, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(m_mainItems, MF_STRING, ids::NOpenOnStartup, L"启动时运行");
    AppendMenuW(m_mainItems, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(m_mainItems, MF_STRING, ids::Nexit, L"退出");
    HMENU help = AddPopup(m_menu, L"帮助"); // NHlelp
    AppendMenuW(help, MF_STRING, ids::Help1, L"帮助");
    AppendMenuW(help, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(help, MF_STRING, ids::VisitHomepage1, L"网站");
    AppendMenuW(help, MF_STRING, ids::Email1, L"邮箱");
    AppendMenuW(help, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(help, MF_STRING, ids::About1, L"关于");

    m_trayMenu = CreatePopupMenu(); // PopupMenu1
    AppendMenuW(m_trayMenu, MF_STRING, ids::Open1, L"查看消息");
    AppendMenuW(m_trayMenu, MF_STRING, ids::NItemOption, L"选项设置");
    AppendMenuW(m_trayMenu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(m_trayMenu, MF_STRING, ids::StopSpeak1, L"停止朗读");
    AppendMenuW(m_trayMenu, MF_STRING, ids::NOpenOnStartup2, L"开机时运行");
    AppendMenuW(m_trayMenu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(m_trayMenu, MF_STRING, ids::Exit1, L"退出");
}

void TFmain::buildWindow()
{
    const auto id = [](int value) { return reinterpret_cast<HMENU>(static_cast<INT_PTR>(value)); };
    m_tabs = CreateWindowExW(0, WC_TABCONTROLW, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS, 0, 0, 0, 0,
                             m_window, id(ids::PageControl1), m_instance, nullptr);
    const wchar_t* titles[] = {L"消息", L"选项", L"联系人"};
    for (int i = 0; i < 3; ++i) {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<wchar_t*>(titles[i]);
        SendMessageW(m_tabs, TCM_INSERTITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        m_pages[i] = CreateWindowExW(WS_EX_CONTROLPARENT, PageWindowClass, L"", WS_CHILD | WS_CLIPSIBLINGS, 0, 0, 0, 0,
                                     m_window, id(ids::TabSheet1 + i), m_instance, nullptr);
        m_controls[ids::TabSheet1 + i] = m_pages[i];
    }
    m_controls[ids::PageControl1] = m_tabs;

    RichEdit1 = std::make_unique<LogView>();
    for (const ControlTemplate& entry : Controls) {
        HWND parent = entry.page == OnWindow ? m_window : m_pages[entry.page];
        HWND made = CreateWindowExW(0, entry.className, entry.text, WS_CHILD | WS_VISIBLE | entry.style, 0, 0, 0, 0,
                                    parent, id(entry.id), m_instance, nullptr);
        m_controls[entry.id] = made;
        if (entry.id == ids::Panel1)
            m_controls[ids::RichEdit1] = RichEdit1->create(m_pages[LogPage], m_window, ids::RichEdit1, m_instance);
    }

    m_status = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, m_window,
                               id(ids::StatusBar1), m_instance, nullptr);
    m_controls[ids::StatusBar1] = m_status;
    setStatusText({});

    // All six speaking boxes and the links are ticked at first.
    for (const int box : {ids::CBMe, ids::CBmyname, ids::CBmyex, ids::CBFriend, ids::CBFriendsname,
                          ids::CBFriendsex, ids::CBLinks})
        setChecked(box, true);
    SendMessageW(control(ids::SEMaxSpokenSpin), UDM_SETRANGE32, 0, 100000);
    for (const int bar : {ids::TRate, ids::TRate1}) {
        SendMessageW(control(bar), TBM_SETRANGE, TRUE, MAKELPARAM(-10, 10));
        SendMessageW(control(bar), TBM_SETPAGESIZE, 0, 1);
    }
    for (const int bar : {ids::TVolume, ids::TVolume1}) {
        SendMessageW(control(bar), TBM_SETRANGE, TRUE, MAKELPARAM(0, 100));
        SendMessageW(control(bar), TBM_SETPAGESIZE, 0, 10);
    }
    RichEdit1->setFont();
    showPage(LogPage);
}

void TFmain::layout()
{
    const int dpi = static_cast<int>(m_dpi);
    const auto px = [dpi](int value) { return MulDiv(value, dpi, 96); };
    if (m_font)
        DeleteObject(m_font);
    m_font = CreateFontW(-px(11), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET, OUT_DEFAULT_PRECIS,
                         CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Tahoma");
    const auto font = reinterpret_cast<WPARAM>(m_font);
    SendMessageW(m_window, WM_SETFONT, font, FALSE);
    for (const auto& [id, window] : m_controls)
        if (id != ids::RichEdit1)
            SendMessageW(window, WM_SETFONT, font, FALSE);

    // Client area 308 x 535: the tabs above a status bar of 19.
    MoveWindow(m_tabs, 0, 0, px(ClientWidth), px(ClientHeight - StatusBarHeight), TRUE);
    SendMessageW(m_status, SB_SETMINHEIGHT, static_cast<WPARAM>(px(StatusBarHeight)), 0);
    SendMessageW(m_status, WM_SIZE, 0, 0);
    RECT area{0, 0, px(ClientWidth), px(ClientHeight - StatusBarHeight)};
    SendMessageW(m_tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
    for (HWND page : m_pages)
        SetWindowPos(page, HWND_TOP, area.left, area.top, area.right - area.left, area.bottom - area.top,
                     SWP_NOACTIVATE);
    for (const ControlTemplate& entry : Controls)
        MoveWindow(control(entry.id), px(entry.x), px(entry.y), px(entry.width), px(entry.height), TRUE);
    // The log fills its page beside a blank strip one pixel wide.
    const int pageHeight = area.bottom - area.top;
    MoveWindow(control(ids::Panel1), 0, 0, 1, pageHeight, TRUE);
    MoveWindow(RichEdit1->handle(), 1, 0, area.right - area.left - 1, pageHeight, TRUE);
}

} // namespace quorvel::win
