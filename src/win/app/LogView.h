#pragma once
// The message log RichEdit1: a RichEdit control (MSFTEDIT) holding coloured text that the user may
// also edit, appended to at the end. The lines of a burst are drawn together: drawing is held from a
// burst's first line until the window's queue has nothing else to do, at most one draw per 40 ms.
// Files go through the shared RTF and text codecs, so both editions read each other's logs.

#include "ui/logfile/RichText.h"

#include <windows.h>

#include <string>
#include <string_view>

namespace quorvel::win {

class LogView {
public:
    // The timer the log uses on its owner: the owner hands WM_TIMER with this id to timer().
    static constexpr UINT_PTR ReleaseTimer = 1001;

    HWND create(HWND parent, HWND owner, int id, HINSTANCE instance);
    HWND handle() const { return m_edit; }
    // Tahoma at 11 pixels of 96 dpi (the control scales points itself), GB2312: the whole text and
    // what is typed or appended after.
    void setFont();

    // Appends text (UTF-8, CR LF or LF breaks) as a new last line in the end's formatting with the
    // given colour. Appending never fails the handling of a message.
    void AddLogLine(std::string_view text, COLORREF color, bool scrollToEnd);
    void timer();

    void clear();
    bool isEmpty() const;
    logfile::RichText richText() const;
    void setRichText(const logfile::RichText& text);
    // What the WAV export reads: the selection if any, else the whole text, '\n' between lines.
    std::string selectedOrAllText() const;

private:
    void hold();
    void release();
    LONG length() const;

    HWND m_edit = nullptr;
    HWND m_owner = nullptr;
    bool m_held = false;
    bool m_scrollPending = false;
    ULONGLONG m_heldSince = 0;
    ULONGLONG m_lastDraw = 0;
};

} // namespace quorvel::win
