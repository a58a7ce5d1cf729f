#include "win/app/LogView.h"

#include "win/common/Wide.h"
#include "win/app/WindowText.h"

#include <richedit.h>

#include <algorithm>

namespace quorvel::win {

namespace {

constexpr ULONGLONG DrawIntervalMs = 40;
// A flood that never lets the queue run empty is still drawn now and then.
constexpr ULONGLONG LongestHoldMs = 250;

DWORD CALLBACK StreamOut(DWORD_PTR cookie, LPBYTE bytes, LONG count, LONG* written)
{
    reinterpret_cast<std::string*>(cookie)->append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(count));
    *written = count;
    return 0;
}

struct Reading {
    std::string_view bytes;
};

DWORD CALLBACK StreamIn(DWORD_PTR cookie, LPBYTE bytes, LONG count, LONG* read)
{
    auto* reading = reinterpret_cast<Reading*>(cookie);
    const std::size_t n = std::min(reading->bytes.size(), static_cast<std::size_t>(count));
    std::copy_n(reading->bytes.data(), n, bytes);
    reading->bytes.remove_prefix(n);
    *read = static_cast<LONG>(n);
    return 0;
}

// RichEdit ends paragraphs with CR alone.
std::wstring ParagraphText(std::string_view utf8)
{
    std::wstring out;
    const std::wstring wide = Wide(utf8);
    out.reserve(wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i) {
        if (wide[i] == L'\r' && i + 1 < wide.size() && wide[i + 1] == L'\n')
            continue;
        out += wide[i] == L'\n' ? L'\r' : wide[i];
    }
    return out;
}

CHARFORMAT2W Format(DWORD mask)
{
    CHARFORMAT2W format{};
    format.cbSize = sizeof format;
    format.dwMask = mask;
    return format;
}

} // namespace

HWND LogView::create(HWND parent, HWND owner, int id, HINSTANCE instance)
{
    LoadLibraryW(L"Msftedit.dll");
    m_owner = owner;
    // Wrapped to its width, a vertical scroll bar only, always there.
    m_edit = CreateWindowExW(0, MSFTEDIT_CLASS, L"",
                             WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL |
                                 ES_NOHIDESEL | ES_DISABLENOSCROLL,
                             0, 0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    if (!m_edit)
        return nullptr;
    SendMessageW(m_edit, EM_EXLIMITTEXT, 0, 0x7FFFFFFE);
    // An undo stack would keep every appended line twice, and Ctrl+Z would take chat lines away.
    SendMessageW(m_edit, EM_SETUNDOLIMIT, 0, 0);
    // Plain black text to start with, whatever the control's own default.
    CHARFORMAT2W plain = Format(CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_COLOR);
    SendMessageW(m_edit, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&plain));
    SendMessageW(m_edit, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&plain));
    return m_edit;
}

void LogView::setFont()
{
    CHARFORMAT2W format = Format(CFM_FACE | CFM_SIZE | CFM_CHARSET);
    wcscpy_s(format.szFaceName, L"Tahoma");
    format.yHeight = 165; // twips: 11 pixels at 96 dpi; the control scales points itself
    format.bCharSet = GB2312_CHARSET;
    SendMessageW(m_edit, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&format));
    SendMessageW(m_edit, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
}

LONG LogView::length() const
{
    GETTEXTLENGTHEX how{GTL_DEFAULT, 1200};
    return static_cast<LONG>(SendMessageW(m_edit, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&how), 0));
}

bool LogView::isEmpty() const
{
    return length() == 0;
}

void LogView::hold()
{
    const ULONGLONG now = GetTickCount64();
    if (m_held) {
        if (now - m_heldSince < LongestHoldMs)
            return;
        release();
    }
    SendMessageW(m_edit, WM_SETREDRAW, FALSE, 0);
    m_held = true;
    m_heldSince = now;
    const ULONGLONG since = now - m_lastDraw;
    // WM_TIMER comes only once the queue holds nothing else: the rest of the burst is appended first.
    SetTimer(m_owner, ReleaseTimer, since >= DrawIntervalMs ? USER_TIMER_MINIMUM : UINT(DrawIntervalMs - since),
             nullptr);
}

void LogView::timer()
{
    release();
}

void LogView::release()
{
    KillTimer(m_owner, ReleaseTimer);
    if (!m_held)
        return;
    m_held = false;
    SendMessageW(m_edit, WM_SETREDRAW, TRUE, 0);
    if (m_scrollPending) {
        m_scrollPending = false;
        SendMessageW(m_edit, EM_SCROLLCARET, 0, 0);
        SendMessageW(m_edit, WM_VSCROLL, SB_BOTTOM, 0);
    }
    InvalidateRect(m_edit, nullptr, TRUE);
    m_lastDraw = GetTickCount64();
}

void LogView::AddLogLine(std::string_view text, COLORREF color, bool scrollToEnd)
{
    try {
        hold();
        std::wstring line = ParagraphText(text);
        // At the end, in the end's formatting: only the colour is the line's own.
        CHARRANGE end{-1, -1};
        SendMessageW(m_edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&end));
        if (length() > 0)
            line.insert(line.begin(), L'\r');
        CHARFORMAT2W format = Format(CFM_COLOR);
        format.crTextColor = color;
        SendMessageW(m_edit, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
        SendMessageW(m_edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
        m_scrollPending = m_scrollPending || scrollToEnd;
    } catch (...) {
    }
}

void LogView::clear()
{
    SetWindowTextW(m_edit, L"");
}

logfile::RichText LogView::richText() const
{
    std::string rtf;
    EDITSTREAM stream{reinterpret_cast<DWORD_PTR>(&rtf), 0, StreamOut};
    SendMessageW(m_edit, EM_STREAMOUT, SF_RTF, reinterpret_cast<LPARAM>(&stream));
    logfile::RichText text = logfile::ReadRtf(rtf).value_or(logfile::RichText{});
    // Some RichEdits write the paragraph mark that ends every document, which is no line of the log.
    const std::string plain = text.plainText();
    const std::string shown = selectedOrAllText();
    if (plain.size() > shown.size() && plain.ends_with('\n') && !text.runs.empty()) {
        for (auto run = text.runs.rbegin(); run != text.runs.rend(); ++run) {
            if (!run->text.empty()) {
                run->text.pop_back();
                break;
            }
        }
    }
    return text;
}

void LogView::setRichText(const logfile::RichText& text)
{
    const std::string rtf = logfile::WriteRtf(text);
    Reading reading{rtf};
    EDITSTREAM stream{reinterpret_cast<DWORD_PTR>(&reading), 0, StreamIn};
    SendMessageW(m_edit, WM_SETREDRAW, FALSE, 0);
    SendMessageW(m_edit, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
    // The file's colours and styles, in the log's font.
    setFont();
    SendMessageW(m_edit, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(m_edit, nullptr, TRUE);
}

std::string LogView::selectedOrAllText() const
{
    CHARRANGE selection{};
    SendMessageW(m_edit, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
    const bool selected = selection.cpMax != selection.cpMin;
    const LONG chars = selected ? std::abs(selection.cpMax - selection.cpMin) : length();
    std::wstring text(static_cast<std::size_t>(chars) + 1, L'\0');
    GETTEXTEX how{};
    how.cb = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    how.flags = selected ? GT_SELECTION : GT_DEFAULT;
    how.codepage = 1200;
    text.resize(static_cast<std::size_t>(
        SendMessageW(m_edit, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&how), reinterpret_cast<LPARAM>(text.data()))));
    std::replace(text.begin(), text.end(), L'\r', L'\n');
    return Utf8(text);
}

} // namespace quorvel::win
