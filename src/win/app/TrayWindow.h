#pragma once
// The window's life beside the tray: hiding into it instead of closing or minimising, coming back in the
// state it was left in, the tray menu on a click, the balloons, and where there is no notification area,
// the start balloon's lines in the status bar.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace quorvel::win {

class Tray;

struct TrayWindowParts {
    HWND window = nullptr;
    Tray* tray = nullptr;
    HMENU trayMenu = nullptr;
    std::function<void(int page)> showPage; // 0 "消息", 1 "选项"
    std::function<void(const std::string& text)> statusLine; // empty: the bar's own text again
};

class TrayWindow {
public:
    // Timers on the window: the window hands WM_TIMER with these ids to timer().
    static constexpr UINT_PTR SingleClickTimer = 1003;
    static constexpr UINT_PTR StatusLineTimer = 1004;

    explicit TrayWindow(TrayWindowParts parts);

    bool trayAvailable() const;
    // Start-up: hidden in the tray, remembered as minimised, with the start balloon.
    void startInTray();
    // Start-up where nothing could bring a hidden window back, or after a failed set-up.
    void startVisible();
    // startVisible, and the start balloon in the status bar.
    void startWithoutTray();
    void hideToTray();

    // SC_MINIMIZE and SC_CLOSE hide the window into the tray; true when the command was taken.
    bool WMSysCommand(WPARAM command);
    void trayIconMessage(LPARAM event);
    void sized(WPARAM kind);
    void timer(UINT_PTR id);

    void TrayIcon1Click();
    void TrayIcon1DblClick();
    void Open1Click();
    void NItemOptionClick();

private:
    void showAsked(int page);
    void nextStatusLine();

    TrayWindowParts m_parts;
    bool m_rememberedMinimised = false;
    bool m_showing = false;
    std::vector<std::string> m_statusLines;
    UINT m_statusLineMs = 0;
};

} // namespace quorvel::win
