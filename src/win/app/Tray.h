#pragma once
// TrayIcon1: the program's icon in the notification area with the tooltip "Quorvel", its balloons,
// and the icon added again when the shell's taskbar is re-created (Explorer restarted).

#include <windows.h>

#include <string_view>

namespace quorvel::win {

class Tray {
public:
    // Mouse events arrive at window as WM_TRAY_ICON.
    Tray(HWND window, HICON icon);
    ~Tray();
    Tray(const Tray&) = delete;
    Tray& operator=(const Tray&) = delete;

    // False when there is no notification area to put the icon into.
    bool show();
    void hide();
    bool visible() const { return m_visible; }
    // The window's procedure hands every message here first; true when it was the taskbar's.
    bool taskbarCreated(UINT message);
    void showBalloon(std::string_view title, std::string_view text, UINT milliseconds);

private:
    HWND m_window;
    HICON m_icon;
    UINT m_taskbarCreated;
    bool m_visible = false;
};

} // namespace quorvel::win
