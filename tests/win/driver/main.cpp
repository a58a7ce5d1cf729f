// Drives the real quorvel.exe under Wine as a user would, from a program of its own in the same
// prefix: finds the window, posts menu commands, reads the log's text and colours, ticks boxes,
// answers boxes and file dialogs, and sends chat traffic on loopback for the capture to hear.
//
//   quorvel-driver gui EXE [ROW]        the window's behaviours, one row each (or those naming ROW)
//   quorvel-driver e2e EXE RTF LINES    starts the program, says {"ready"}, waits for LINES log lines of
//                                       the peer's chat, prints them as JSON, saves the log as RTF
//   quorvel-driver open EXE FILE        opens FILE through "打开消息" and prints the lines as JSON
//   quorvel-driver start EXE            starts the program and leaves it running
//   quorvel-driver screenshot EXE       the same, with a chat logged and the window shown for a picture
//   quorvel-driver running | quit       whether a Quorvel runs (exit status 0) / ends it through "退出"

#include "Chat.h"
#include "Remote.h"

#include "win/app/ControlIds.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

using namespace quorvel;
using namespace quorvel::driver;
namespace ids = quorvel::win::ids;

namespace {

constexpr COLORREF Green = RGB(0, 128, 0), Blue = RGB(0, 0, 255), Black = RGB(0, 0, 0);

struct Failure {
    std::string what;
};

void Check(bool condition, const std::string& what)
{
    if (!condition)
        throw Failure{what};
}

std::string Describe(const std::vector<Line>& lines)
{
    std::ostringstream out;
    for (const Line& line : lines)
        out << "[" << line.text << " #" << std::hex << line.color << std::dec << "]";
    return out.str();
}

bool Matches(const std::string& text, const char* pattern)
{
    return std::regex_match(text, std::regex(pattern));
}

std::filesystem::path SettingsFolder()
{
    return std::filesystem::path(AppDataFolder()) / L"quorvel";
}

int Setting(const wchar_t* key)
{
    const std::wstring ini = (SettingsFolder() / L"set.ini").wstring();
    return static_cast<int>(GetPrivateProfileIntW(L"set", key, -1000, ini.c_str()));
}

bool Checked(const Program& program, int id)
{
    return SendMessageW(program.control(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// Chat lines land in the log once the capture has taken them.
std::vector<Line> LinesWhen(const Program& program, std::size_t count)
{
    std::vector<Line> lines;
    WaitFor([&] {
        lines = program.logLines();
        return lines.size() >= count;
    });
    return lines;
}

int CountMainWindows()
{
    int count = 0;
    EnumWindows(
        [](HWND window, LPARAM data) {
            wchar_t name[64] = {};
            GetClassNameW(window, name, 64);
            if (std::wstring(name) == win::MainWindowClass)
                ++*reinterpret_cast<int*>(data);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count;
}

HWND Box(const Program& program, const wchar_t* caption)
{
    HWND box = program.modal();
    Check(box != nullptr, "no box came up");
    Check(WindowTextOf(box) == caption, "box caption " + Utf8(WindowTextOf(box)));
    return box;
}

void SaveAs(const Program& program, const std::wstring& path)
{
    program.post(ids::NSaveMessage);
    HWND dialog = program.modal();
    Check(dialog != nullptr, "no save dialog");
    ChooseFile(dialog, path);
    Check(WaitFor([&] { return !IsWindow(dialog) && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }),
          "the log was not saved to " + Utf8(path));
}

void Open(const Program& program, const std::wstring& path)
{
    program.post(ids::NOpenMessage);
    HWND dialog = program.modal();
    Check(dialog != nullptr, "no open dialog");
    ChooseFile(dialog, path);
    Check(WaitFor([&] { return !IsWindow(dialog); }), "the open dialog stayed");
}

void Clear(const Program& program)
{
    program.post(ids::NClearMessage);
    Press(Box(program, L"确认"), IDYES);
    Check(WaitFor([&] { return program.logText().empty(); }), "the log was not cleared");
}

struct Context {
    std::wstring exe;
};

using Row = std::pair<const char*, std::function<void(Context&)>>;

const std::vector<Row> GuiRows = {
    {"starts hidden, in the tray",
     [](Context& c) {
         Program program(c.exe);
         Check(program.started(), "no window");
         Check(!IsWindowVisible(program.window()), "the window is on screen");
         Check(WaitFor([&] { return program.trayIconPresent(); }), "no tray icon");
         Check(program.statusText() == "  Quorvel：朗读MSN上接收和发送的消息内容。" ||
                   program.statusText().find("不朗读") != std::string::npos,
               "status bar: " + program.statusText());
     }},
    {"tabs, and the tray menu's items show them",
     [](Context& c) {
         Program program(c.exe);
         const HWND tabs = program.control(ids::PageControl1);
         Check(program.tabText(0) == L"消息" && program.tabText(1) == L"选项" && program.tabText(2) == L"联系人",
               "tab captions");
         program.post(ids::Open1);
         Check(WaitFor([&] { return IsWindowVisible(program.window()) != FALSE; }), "查看消息 showed nothing");
         Check(SendMessageW(tabs, TCM_GETCURSEL, 0, 0) == 0 && IsWindowVisible(program.page(ids::TabSheet1)),
               "not on 消息");
         program.post(ids::NItemOption);
         Check(WaitFor([&] { return IsWindowVisible(program.page(ids::TabSheet2)) != FALSE; }), "not on 选项");
         Check(SendMessageW(tabs, TCM_GETCURSEL, 0, 0) == 1 && !IsWindowVisible(program.page(ids::TabSheet1)),
               "two pages at once");
         // Every box ticked, "300" and the two ports by default.
         for (const int box : {ids::CBMe, ids::CBmyname, ids::CBmyex, ids::CBFriend, ids::CBFriendsname,
                               ids::CBFriendsex, ids::CBLinks})
             Check(Checked(program, box), "a box is not ticked");
         Check(WindowTextOf(program.control(ids::SEMaxSpoken)) == L"300", "maximum spoken");
         Check(WindowTextOf(program.control(ids::EPorts)) == L"1863 1864", "ports");
         // Keyboard order on the options page: the six boxes, links, length, ports, then the voices.
         std::vector<int> order;
         HWND at = program.control(ids::CBMe);
         for (int i = 0; i < 12 && at; ++i, at = GetNextDlgTabItem(program.window(), at, FALSE))
             order.push_back(GetDlgCtrlID(at));
         const std::vector<int> expected{ids::CBMe,   ids::CBmyname,     ids::CBmyex,  ids::CBFriend,
                                         ids::CBFriendsname, ids::CBFriendsex, ids::CBLinks, ids::SEMaxSpoken,
                                         ids::EPorts, ids::CBVoice,       ids::TRate,   ids::TVolume};
         Check(order == expected, "keyboard order");
     }},
    {"close and minimise hide into the tray; a double click brings the window back",
     [](Context& c) {
         Program program(c.exe);
         program.post(ids::Open1);
         Check(WaitFor([&] { return IsWindowVisible(program.window()) != FALSE; }), "not shown");
         for (const WPARAM command : {SC_CLOSE, SC_MINIMIZE}) {
             SendMessageW(program.window(), WM_SYSCOMMAND, command, 0);
             Check(!IsWindowVisible(program.window()), "still on screen");
             Check(program.trayIconPresent(), "the icon went");
             PostMessageW(program.window(), win::WM_TRAY_ICON, 1, WM_LBUTTONDBLCLK);
             Check(WaitFor([&] { return IsWindowVisible(program.window()) != FALSE; }), "not back");
             Check(!IsIconic(program.window()), "back minimised");
         }
         Check(!program.waitForExit(200), "the program ended");
     }},
    {"the icon comes back when the taskbar is re-created",
     [](Context& c) {
         Program program(c.exe);
         program.removeTrayIcon();
         Check(!program.trayIconPresent(), "the icon stayed");
         SendMessageW(program.window(), RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
         Check(program.trayIconPresent(), "the icon did not come back");
     }},
    {"log lines and colours, with and without the time",
     [](Context& c) {
         Program program(c.exe);
         Chat chat;
         Check(chat.connected(), "no loopback chat");
         chat.friendMsg("ann@example.com", "Ann", "Hi :)");
         auto lines = LinesWhen(program, 2);
         Check(lines.size() == 2 && Matches(lines[0].text, "Ann 说 \\(\\d\\d:\\d\\d:\\d\\d\\):") &&
                   lines[0].color == Green && lines[1].text == "Hi [微笑]" && lines[1].color == Black,
               "friend with time: " + Describe(lines));
         program.post(ids::NShowTime1);
         chat.friendMsg("ann@example.com", "Ann", "no time");
         chat.ubm("bob@example.org", "still the time");
         chat.ownMsg("mine");
         chat.ownMsg("two\r\nlines");
         lines = LinesWhen(program, 11);
         Check(lines.size() == 11, "lines: " + Describe(lines));
         Check(lines[2].text == "Ann 说 :" && lines[2].color == Green && lines[3].color == Black, "friend, no time");
         Check(Matches(lines[4].text, "bob@example.org 说 \\(\\d\\d:\\d\\d:\\d\\d\\):") && lines[4].color == Blue,
               "UBM keeps its time, in blue: " + lines[4].text);
         Check(lines[6].text == "我 说 :" && lines[6].color == Green && lines[7].text == "mine", "own, no time");
         Check(lines[9].text == "two" && lines[10].text == " lines" && lines[10].color == Black,
               "a two-line body is one black block");
         // Already logged lines keep their headers; new ones follow the option again.
         program.post(ids::NShowTime1);
         chat.ownMsg("with time");
         chat.friendMsg("ann@example.com", "Ann", "");
         chat.ownMsg(" ");
         lines = LinesWhen(program, 14);
         Check(lines.size() == 14 && Matches(lines[11].text, "我 说 \\(\\d\\d:\\d\\d:\\d\\d\\):") &&
                   lines[2].text == "Ann 说 :",
               "own with time: " + Describe(lines));
         // A friend's empty message leaves its header; an own blank one leaves nothing.
         Sleep(300);
         lines = program.logLines();
         Check(lines.size() == 14 && Matches(lines[13].text, "Ann 说 \\(.*\\):"), "empty bodies: " + Describe(lines));
     }},
    {"clear asks first",
     [](Context& c) {
         Program program(c.exe);
         program.typeIntoLog(L"keep me", Green);
         program.post(ids::NClearMessage);
         HWND box = Box(program, L"确认");
         Check(BoxText(box) == L"您确定要清空当前消息内容列表吗？", "question: " + Utf8(BoxText(box)));
         Press(box, IDNO);
         Check(WaitFor([&] { return !IsWindow(box); }), "the box stayed");
         Check(program.logText() == "keep me", "No cleared the log: " + program.logText());
         Clear(program);
     }},
    {"saved as RTF and as text, the log opens again with its text and colours",
     [](Context& c) {
         Program program(c.exe);
         program.typeIntoLog(L"Ann 说 (09:05:07):", Green);
         program.typeIntoLog(L"\r你好 😀 {x}\\", Black);
         program.typeIntoLog(L"\rBob 说 (09:05:09):", Blue);
         const auto before = program.logLines();
         const std::wstring rtf = TempFolder() + L"quorvel-log.rtf", text = TempFolder() + L"quorvel-log.TXT";
         DeleteFileW(rtf.c_str());
         DeleteFileW(text.c_str());
         SaveAs(program, rtf);
         Check(ReadFileBytes(rtf).starts_with("{\\rtf"), "not RTF");
         SaveAs(program, text);
         Check(ReadFileBytes(text) == "Ann 说 (09:05:07):\r\n你好 😀 {x}\\\r\nBob 说 (09:05:09):",
               "text file: " + ReadFileBytes(text));
         Clear(program);
         Open(program, rtf);
         auto after = program.logLines();
         Check(after.size() == before.size(), "RTF: " + Describe(after));
         for (std::size_t i = 0; i < after.size(); ++i)
             Check(after[i].text == before[i].text && after[i].color == before[i].color, "RTF: " + Describe(after));
         Clear(program);
         Open(program, text);
         after = program.logLines();
         Check(after.size() == 3 && after[1].text == before[1].text && after[2].color == Black,
               "text: " + Describe(after));
     }},
    {"help box leaves the window usable",
     [](Context& c) {
         Program program(c.exe);
         program.post(ids::Help1);
         HWND box = Box(program, L"帮助");
         std::wstring text = BoxText(box);
         Check(text.starts_with(L"如何使用本软件?\r\n\r\n1. 打开并登陆MSN. \r\n") &&
                   text.find(std::wstring(46, L'-')) != std::wstring::npos,
               "help text");
         Check(IsWindowEnabled(program.window()) != FALSE, "the window is disabled");
         Press(box, IDOK);
     }},
    {"settings are written on 退出",
     [](Context& c) {
         std::filesystem::remove_all(SettingsFolder());
         {
             Program program(c.exe);
             SendMessageW(program.control(ids::CBMe), BM_SETCHECK, BST_UNCHECKED, 0);
             SendMessageW(program.control(ids::TRate), TBM_SETPOS, TRUE, 5);
             program.post(ids::NShowTime1);
             program.post(ids::Nexit);
             DWORD code = 99;
             Check(program.waitForExit(15000, &code) && code == 0, "退出 did not end the program");
         }
         Check(Setting(L"cbme") == 0 && Setting(L"cbfriend") == 1 && Setting(L"Rate") == 5 &&
                   Setting(L"showtime") == 0 && Setting(L"maxspoken") == 300,
               "set.ini after 退出");
         Program again(c.exe);
         Check(!Checked(again, ids::CBMe) && Checked(again, ids::CBFriend), "not read back at start");
     }},
    {"WM_CLOSE from another program and the session's end save the settings",
     [](Context& c) {
         std::filesystem::remove_all(SettingsFolder());
         {
             Program program(c.exe);
             SendMessageW(program.control(ids::CBFriend), BM_SETCHECK, BST_UNCHECKED, 0);
             PostMessageW(program.window(), WM_CLOSE, 0, 0);
             Check(program.waitForExit(), "WM_CLOSE did not end the program");
         }
         Check(Setting(L"cbfriend") == 0, "set.ini after WM_CLOSE");
         Program program(c.exe);
         SendMessageW(program.control(ids::CBmyname), BM_SETCHECK, BST_UNCHECKED, 0);
         Check(SendMessageW(program.window(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF) == TRUE, "logoff refused");
         SendMessageW(program.window(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
         Check(Setting(L"cbmyname") == 0 && Setting(L"cbfriend") == 0, "set.ini at logoff");
     }},
    {"a second start ends at once",
     [](Context& c) {
         Program first(c.exe);
         Check(first.started(), "no first window");
         Program second(c.exe, 3000);
         DWORD code = 99;
         Check(second.waitForExit(10000, &code) && code == 0, "the second start did not end");
         Check(CountMainWindows() == 1 && IsWindow(first.window()), "not exactly one window");
     }},
};

std::string Json(const std::string& text)
{
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

void PrintLines(const std::vector<Line>& lines)
{
    for (const Line& line : lines)
        std::printf("{\"text\":%s,\"color\":\"#%02x%02x%02x\"}\n", Json(line.text).c_str(), GetRValue(line.color),
                    GetGValue(line.color), GetBValue(line.color));
    std::fflush(stdout);
}

// The log once it has at least `count` lines and nothing came for a second.
std::vector<Line> SettledLines(const Program& program, std::size_t count, DWORD timeoutMs)
{
    std::vector<Line> lines;
    std::string last;
    ULONGLONG since = GetTickCount64();
    WaitFor(
        [&] {
            const std::string text = program.logText();
            if (text != last) {
                last = text;
                since = GetTickCount64();
            }
            return std::count(text.begin(), text.end(), '\r') + 1 >= static_cast<long>(count) && !text.empty() &&
                   GetTickCount64() - since > 1000;
        },
        timeoutMs);
    return program.logLines();
}

void Quit(Program& program)
{
    program.post(ids::Nexit);
    program.waitForExit();
}

int EndToEnd(const std::wstring& exe, const std::wstring& rtf, std::size_t lines)
{
    Program program(exe);
    if (!program.started())
        return 1;
    std::printf("{\"ready\":true}\n");
    std::fflush(stdout);
    PrintLines(SettledLines(program, lines, 90000));
    try {
        SaveAs(program, rtf);
    } catch (const Failure& failure) {
        std::fprintf(stderr, "%s\n", failure.what.c_str());
        return 1;
    }
    std::printf("{\"saved\":true}\n");
    std::fflush(stdout);
    Quit(program);
    return 0;
}

int OpenFile(const std::wstring& exe, const std::wstring& file)
{
    Program program(exe);
    try {
        Open(program, file);
    } catch (const Failure& failure) {
        std::fprintf(stderr, "%s\n", failure.what.c_str());
        return 1;
    }
    PrintLines(SettledLines(program, 1, 20000));
    Quit(program);
    return 0;
}

// The window as the README shows it: a short chat logged, on the tab "消息".
int Screenshot(const std::wstring& exe)
{
    Program program(exe);
    if (!program.started())
        return 1;
    {
        Chat chat;
        chat.friendMsg("ann@example.com", "Ann", "你好！今晚一起吃饭吗？ :)");
        chat.ownMsg("好啊，七点见 (Y)");
        chat.ubm("bob@yahoo.example", "Hi from Yahoo (F)");
        chat.friendMsg("ann@example.com", "Ann", "See you at seven!");
        SettledLines(program, 8, 10000);
    }
    program.post(ids::Open1);
    WaitFor([&] { return IsWindowVisible(program.window()) != FALSE; });
    Sleep(500);
    program.detach();
    return 0;
}

int RunRows(const std::vector<Row>& rows, Context& context, const std::string& only)
{
    int failures = 0;
    for (const auto& [name, run] : rows) {
        if (!only.empty() && std::string(name).find(only) == std::string::npos)
            continue;
        try {
            run(context);
            std::printf("ok   %s\n", name);
        } catch (const Failure& failure) {
            ++failures;
            std::printf("FAIL %s: %s\n", name, failure.what.c_str());
        }
        std::fflush(stdout);
        // The next row starts with no program of its own left running.
        WaitFor([] { return CountMainWindows() == 0; }, 5000);
    }
    return failures;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    SetConsoleOutputCP(CP_UTF8);
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"running")
        return CountMainWindows() > 0 ? 0 : 1;
    if (mode == L"quit") {
        HWND window = FindWindowW(win::MainWindowClass, win::MainWindowCaption);
        if (window)
            PostMessageW(window, WM_COMMAND, ids::Nexit, 0);
        return WaitFor([] { return CountMainWindows() == 0; }) ? 0 : 1;
    }
    if (argc < 3) {
        std::fprintf(stderr, "usage: quorvel-driver gui|e2e|open|start|screenshot EXE ...\n");
        return 2;
    }
    Context context{argv[2]};
    if (mode == L"gui")
        return RunRows(GuiRows, context, argc > 3 ? Utf8(argv[3]) : std::string()) == 0 ? 0 : 1;
    if (mode == L"e2e" && argc > 4)
        return EndToEnd(argv[2], argv[3], static_cast<std::size_t>(_wtoi(argv[4])));
    if (mode == L"open" && argc > 3)
        return OpenFile(argv[2], argv[3]);
    if (mode == L"screenshot")
        return Screenshot(argv[2]);
    if (mode == L"start") {
        Program program(argv[2]);
        program.detach();
        return program.started() ? 0 : 1;
    }
    std::fprintf(stderr, "unknown mode\n");
    return 2;
}
