#pragma once
// The main window's menu commands, controls and messages of the Windows edition, by the names their
// handlers are named after. The GUI tests drive the window through the same numbers.

namespace quorvel::win {

inline constexpr wchar_t MainWindowClass[] = L"TFmain";
inline constexpr wchar_t MainWindowCaption[] = L"Quorvel";
// Each tab's page is a child window of this class.
inline constexpr wchar_t PageWindowClass[] = L"TTabSheet";
// The WAV export's progress window.
inline constexpr wchar_t ProgressWindowClass[] = L"TWavProgress";

namespace ids {

enum : int {
    // Menu "主菜单"
    NOpenMessage = 101,
    NClearMessage,
    NSaveMessage,
    ExportMessageToWav1,
    NShowTime1,
    NOpenOnStartup,
    Nexit,
    // Menu "帮助"
    Help1 = 121,
    VisitHomepage1,
    Email1,
    About1,
    // The tray menu PopupMenu1
    Open1 = 141,
    NItemOption,
    StopSpeak1,
    NOpenOnStartup2,
    Exit1,

    // The window's parts
    PageControl1 = 201,
    StatusBar1,
    TabSheet1,
    TabSheet2,
    TabSheet3,
    RichEdit1,
    Panel1,

    // TabSheet2, "选项", in keyboard order
    GroupBox1 = 301,
    CBMe,
    CBmyname,
    CBmyex,
    CBFriend,
    CBFriendsname,
    CBFriendsex,
    CBLinks,
    LMaxSpoken,
    SEMaxSpoken,
    SEMaxSpokenSpin,
    LPorts,
    EPorts,
    GroupBox2,
    LVoice,
    CBVoice,
    LRateCaption,
    TRate,
    LRate,
    LVolumeCaption,
    TVolume,
    LVolume,
    BtnDefault1,
    GroupBox3,
    LVoice1,
    CBVoice1,
    LRate1Caption,
    TRate1,
    LRate1,
    LVolume1Caption,
    TVolume1,
    LVolume1,
    BtnDefault2,
    Label7,
    BDownload,
    Label8,

    // TabSheet3, "联系人", in keyboard order
    ContactsFilter = 401,
    ContactsView,
    ContactPanel,
    LContactAlias,
    ContactAlias,
    ContactMute,
    ContactOwnVoice,
    LContactVoice,
    ContactVoice,
    LContactRate,
    ContactRate,
    ContactRateLabel,
    LContactVolume,
    ContactVolume,
    ContactVolumeLabel,
    ContactDefault,

    // The WAV export's progress window
    WavProgressText = 501,
    WavProgressBar,
    WavProgressCancel,
};

} // namespace ids

// Window messages of the main window's own.
enum : unsigned {
    WM_CAPTURE_READ = 0x0400 + 1, // WM_USER + 1: captured datagrams are waiting
    WM_TRAY_ICON,                 // the tray icon's mouse events
    WM_LOG_RELEASE,               // the log's held lines are drawn
    WM_SPEECH_EVENT,              // the speech layer reported (voices, export progress, end)
};

} // namespace quorvel::win
