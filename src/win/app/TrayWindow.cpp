#include "win/app/TrayWindow.h"

#include "ui/texts/AppTexts.h"
#include "win/app/Tray.h"

#include <sstream>

namespace quorvel::win {

TrayWindow::TrayWindow(TrayWindowParts parts) : m_parts(std::move(parts)) {}

bool TrayWindow::trayAvailable() const
{
    return m_parts.tray->visible();
}

void TrayWindow::startInTray()
{
    m_rememberedMinimised = true;
    m_parts.tray->showBalloon(texts::StartBalloonTitle, texts::StartBalloonText(), 3000);
}

void TrayWindow::startVisible()
{
    m_rememberedMinimised = false;
    ShowWindow(m_parts.window, SW_SHOWNORMAL);
    SetForegroundWindow(m_parts.window);
}

void TrayWindow::startWithoutTray()
{
    startVisible();
    // The bar holds one line: each line of the balloon gets the balloon's whole time, then the bar's
    // own text comes back.
    m_statusLines.clear();
    std::istringstream lines(texts::StartBalloonText());
    for (std::string line; std::getline(lines, line);)
        if (line.find_first_not_of(' ') != std::string::npos)
            m_statusLines.push_back(line);
    m_statusLineMs = 3000;
    nextStatusLine();
}

void TrayWindow::nextStatusLine()
{
    KillTimer(m_parts.window, StatusLineTimer);
    if (m_statusLines.empty()) {
        m_parts.statusLine({});
        return;
    }
    m_parts.statusLine(m_statusLines.front());
    m_statusLines.erase(m_statusLines.begin());
    SetTimer(m_parts.window, StatusLineTimer, m_statusLineMs, nullptr);
}

void TrayWindow::hideToTray()
{
    m_parts.tray->showBalloon(texts::ApplicationTitle, texts::HiddenBalloonText, 500);
    ShowWindow(m_parts.window, SW_HIDE);
}

bool TrayWindow::WMSysCommand(WPARAM command)
{
    // The system keeps the low four bits for itself.
    const WPARAM which = command & 0xFFF0;
    if ((which != SC_MINIMIZE && which != SC_CLOSE) || !trayAvailable())
        return false;
    // Neither minimised nor closed: the remembered state stays as it was.
    hideToTray();
    return true;
}

void TrayWindow::sized(WPARAM kind)
{
    if (m_showing || !IsWindowVisible(m_parts.window))
        return;
    if (kind == SIZE_MINIMIZED)
        m_rememberedMinimised = true;
    else if (kind == SIZE_RESTORED)
        m_rememberedMinimised = false;
}

void TrayWindow::trayIconMessage(LPARAM event)
{
    switch (LOWORD(event)) {
    case WM_LBUTTONUP:
        // The first click of a double click is a click too: the menu waits out the double-click time.
        SetTimer(m_parts.window, SingleClickTimer, GetDoubleClickTime(), nullptr);
        break;
    case WM_LBUTTONDBLCLK:
        KillTimer(m_parts.window, SingleClickTimer);
        TrayIcon1DblClick();
        break;
    case WM_RBUTTONUP:
        // The icon's own behaviour: the same menu at the cursor.
        TrayIcon1Click();
        break;
    default:
        break;
    }
}

void TrayWindow::timer(UINT_PTR id)
{
    if (id == SingleClickTimer) {
        KillTimer(m_parts.window, SingleClickTimer);
        TrayIcon1Click();
    } else if (id == StatusLineTimer) {
        nextStatusLine();
    }
}

void TrayWindow::TrayIcon1Click()
{
    POINT at{};
    GetCursorPos(&at);
    // The menu closes when the user clicks elsewhere only if the window is in front.
    SetForegroundWindow(m_parts.window);
    TrackPopupMenu(m_parts.trayMenu, TPM_RIGHTBUTTON, at.x, at.y, 0, m_parts.window, nullptr);
    PostMessageW(m_parts.window, WM_NULL, 0, 0);
}

void TrayWindow::TrayIcon1DblClick()
{
    m_showing = true;
    if (m_rememberedMinimised) {
        ShowWindow(m_parts.window, SW_SHOWMINIMIZED);
    } else {
        ShowWindow(m_parts.window, SW_SHOWNORMAL);
        SetForegroundWindow(m_parts.window);
    }
    m_showing = false;
}

void TrayWindow::showAsked(int page)
{
    m_showing = true;
    m_rememberedMinimised = false;
    ShowWindow(m_parts.window, IsIconic(m_parts.window) ? SW_RESTORE : SW_SHOWNORMAL);
    m_showing = false;
    m_parts.showPage(page);
    SetForegroundWindow(m_parts.window);
}

void TrayWindow::Open1Click()
{
    showAsked(0);
}

void TrayWindow::NItemOptionClick()
{
    showAsked(1);
}

} // namespace quorvel::win
