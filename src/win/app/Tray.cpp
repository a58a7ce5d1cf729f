#include "win/app/Tray.h"

#include "win/app/ControlIds.h"
#include "win/common/Wide.h"
#include "win/app/WindowText.h"

#include <shellapi.h>

#include <algorithm>

namespace quorvel::win {

namespace {

constexpr UINT IconId = 1;

NOTIFYICONDATAW IconData(HWND window)
{
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uID = IconId;
    return data;
}

template <std::size_t N> void CopyText(wchar_t (&field)[N], const std::wstring& text)
{
    const std::size_t n = std::min(text.size(), N - 1);
    std::copy_n(text.data(), n, field);
    field[n] = L'\0';
}

} // namespace

Tray::Tray(HWND window, HICON icon)
    : m_window(window), m_icon(icon), m_taskbarCreated(RegisterWindowMessageW(L"TaskbarCreated"))
{
}

Tray::~Tray()
{
    hide();
}

bool Tray::show()
{
    NOTIFYICONDATAW data = IconData(m_window);
    data.uFlags = NIF_ICON | NIF_TIP | NIF_MESSAGE;
    data.uCallbackMessage = WM_TRAY_ICON;
    data.hIcon = m_icon;
    CopyText(data.szTip, L"Quorvel");
    m_visible = Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
    return m_visible;
}

void Tray::hide()
{
    if (!m_visible)
        return;
    NOTIFYICONDATAW data = IconData(m_window);
    Shell_NotifyIconW(NIM_DELETE, &data);
    m_visible = false;
}

bool Tray::taskbarCreated(UINT message)
{
    if (message != m_taskbarCreated || m_taskbarCreated == 0)
        return false;
    // A new taskbar knows no icons: ours goes back if it was there.
    if (m_visible) {
        m_visible = false;
        show();
    }
    return true;
}

void Tray::showBalloon(std::string_view title, std::string_view text, UINT milliseconds)
{
    if (!m_visible)
        return;
    NOTIFYICONDATAW data = IconData(m_window);
    data.uFlags = NIF_INFO;
    CopyText(data.szInfoTitle, Wide(title));
    CopyText(data.szInfo, WithCrLf(text));
    data.dwInfoFlags = NIIF_INFO;
    data.uTimeout = milliseconds; // the shell may hold it longer
    Shell_NotifyIconW(NIM_MODIFY, &data);
}

} // namespace quorvel::win
