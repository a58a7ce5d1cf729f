#pragma once
// The main window of the Windows edition: owns the speech layer, the log, the option controls (the
// only store of the settings while the program runs), the contacts tab, the tray and the dialogs, in
// Win32 with wide calls. The handlers carry the names of the Linux edition's, so that the code of a
// menu item is found from its name in either edition. The decisions (what an event logs and speaks,
// the settings and contacts files, the log's file forms) are the shared core's.

#include "capture/ChatEvent.h"
#include "capture/StreamDecoder.h"
#include "speech/SpeechEngine.h"
#include "ui/autostart/StartupFields.h"
#include "win/capture/WinsockCapture.h"

#include <windows.h>

#include <filesystem>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace quorvel::settings {
struct Contact;
}

namespace quorvel::win {

class ContactsPage;
class LogFileActions;
class LogView;
class SpeechOptions;
class Tray;
class TrayWindow;

// What TFmain is assembled from: the platform's layers and the places it keeps its files.
struct Platform {
    // Makes the capture; notify posts to the window (from the capture's reader thread).
    std::function<std::unique_ptr<WinsockCapture>(std::function<void()> notify)> capture;
    std::unique_ptr<speech::SpeechEngine> speech;
    // Hands the speech layer a call for when speaking turns out impossible after start (any thread).
    std::function<void(std::function<void()> notify)> watchSpeech;
    std::unique_ptr<autostart::RunAtStartup> startup; // the shortcut in the Startup folder
    std::filesystem::path configHome;                 // %APPDATA%
    std::string executablePath;                       // UTF-8
    std::string baseName;                             // the executable's file name without folder and extension
    std::optional<int> windowsMajorVersion;
};

// The real layers, %APPDATA%, the running executable.
Platform DesktopPlatform();

class TFmain {
public:
    static bool RegisterClasses(HINSTANCE instance);

    // Creates the window (hidden) and runs FormCreate.
    TFmain(HINSTANCE instance, Platform platform);
    ~TFmain();
    TFmain(const TFmain&) = delete;
    TFmain& operator=(const TFmain&) = delete;

    HWND handle() const { return m_window; }
    // Keyboard navigation between the controls of the shown page; true when msg was taken.
    bool preTranslateMessage(MSG& msg);
    // Runs once: later calls do nothing.
    void FormDestroy();
    // Ends the program like "退出": the message loop ends after the current message.
    void requestTerminate();

    void NexitClick();
    void Exit1Click();
    void Help1Click();
    void About1Click();
    void VisitHomepage1Click();
    void Email1Click();
    void BDownloadClick();
    void NOpenOnStartupClick();
    void NOpenOnStartup2Click();
    void WMCaptureRead();
    void SpeakMyMessage(const std::string& text);
    void SpeakFriendMessage(const std::string& text);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK PageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    // TFmainLayout.cpp
    void buildWindow();
    void buildMenus();
    void layout();
    HWND control(int id) const;

    void FormCreate();
    void command(int id, int code);
    LRESULT notify(NMHDR* header);
    void trackChanged(HWND bar);
    void showPage(int page);
    void reportInStatusBar(const std::string& text);
    void setStatusText(const std::string& text);
    void reportSpeechUnavailable();
    void applyDecoded();
    void applyEvent(const capture::ChatEvent& event);
    void speakAsContact(const std::string& text, const settings::Contact& contact);
    void showCaptureError(const std::string& text, bool standardError);
    void reopenCapture();
    void saveContacts();
    void EPortsEditingFinished();
    int maxSpoken() const;
    void setMaxSpoken(int value);
    bool checked(int id) const;
    void setChecked(int id, bool on);
    void setRunAtStartup(bool on);
    std::filesystem::path settingsFolder() const;

    HINSTANCE m_instance;
    Platform m_platform;
    HWND m_window = nullptr;
    HWND m_tabs = nullptr;
    HWND m_status = nullptr;
    HWND m_pages[3] = {};
    HMENU m_menu = nullptr;
    HMENU m_mainItems = nullptr;
    HMENU m_trayMenu = nullptr;
    HFONT m_font = nullptr;
    HICON m_icon = nullptr;
    UINT m_dpi = 96;
    std::unordered_map<int, HWND> m_controls;
    std::string m_notice;
    int m_maxSpoken = 300;

    std::unique_ptr<LogView> RichEdit1;
    std::unique_ptr<Tray> TrayIcon1;
    std::unique_ptr<TrayWindow> m_trayWindow;
    std::unique_ptr<LogFileActions> m_logFiles;
    std::unique_ptr<SpeechOptions> m_speechOptions;
    std::unique_ptr<ContactsPage> TabSheet3;
    bool m_contactsLoaded = false;
    bool m_destroyed = false;
    bool m_captureBoxOpen = false;

    // Chat commands from the reassembled connections; results are collected while a datagram is added
    // and applied after, so a box opened for one cannot re-enter the decoder.
    std::unique_ptr<capture::StreamDecoder> m_streams;
    std::vector<capture::DecodeResult> m_decoded;
    std::unique_ptr<WinsockCapture> m_capture;
    // Taken from the capture, not yet decoded: a box opened for one datagram runs a message loop, and
    // the deliveries inside it take from the same queue, so arrival order holds.
    std::deque<std::vector<std::uint8_t>> m_datagrams;
};

} // namespace quorvel::win
