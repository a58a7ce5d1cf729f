#include "win/app/ContactsPage.h"

#include "speech/VoiceChoice.h"
#include "win/app/ControlIds.h"
#include "win/app/SpeechOptions.h"
#include "win/common/Wide.h"
#include "win/app/WindowText.h"

#include <commctrl.h>

namespace quorvel::win {

namespace {

constexpr UINT BatchMs = 200;

// Case does not matter to the filter and the sort, in any script the system knows.
std::string FoldCase(std::string_view utf8)
{
    std::wstring wide = Wide(utf8);
    if (!wide.empty())
        LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_LOWERCASE, wide.data(), static_cast<int>(wide.size()), wide.data(),
                      static_cast<int>(wide.size()), nullptr, nullptr, 0);
    return Utf8(wide);
}

bool Checked(HWND box)
{
    return SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Check(HWND box, bool on)
{
    SendMessageW(box, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

} // namespace

ContactsPage::ContactsPage(HWND window, const ContactsControls& controls, std::function<void()> edited)
    : m_window(window), m_c(controls), m_edited(std::move(edited)), m_list(FoldCase)
{
    const struct {
        const wchar_t* title;
        int width;
    } columns[] = {{L"账号", 96}, {L"昵称", 56}, {L"消息数", 42}, {L"最后消息", 80}};
    for (int i = 0; i < settings::ContactColumnCount; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = const_cast<wchar_t*>(columns[i].title);
        column.cx = columns[i].width;
        column.iSubItem = i;
        SendMessageW(m_c.list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column));
    }
    SendMessageW(m_c.list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_INFOTIP | LVS_EX_LABELTIP);
    SendMessageW(m_c.rate, TBM_SETRANGE, TRUE, MAKELPARAM(-10, 10));
    SendMessageW(m_c.volume, TBM_SETRANGE, TRUE, MAKELPARAM(0, 100));
    SendMessageW(m_c.volume, TBM_SETPAGESIZE, 0, 10);
    SendMessageW(m_c.rate, TBM_SETPAGESIZE, 0, 1);
    SendMessageW(m_c.alias, EM_SETLIMITTEXT, 200, 0);
    SendMessageW(m_c.alias, EM_SETCUEBANNER, TRUE, reinterpret_cast<LPARAM>(L"空：朗读昵称"));
    SendMessageW(m_c.filter, EM_SETCUEBANNER, TRUE, reinterpret_cast<LPARAM>(L"筛选（账号或昵称）"));
    showContact(true);
}

void ContactsPage::reset(settings::ContactBook book)
{
    m_book = std::move(book);
    // The latest first.
    m_list.setSort(settings::ContactColumn::LastSeen, true, m_book);
    m_list.reset(m_book);
    m_selectedRow = -1;
    apply();
    showContact(true);
}

void ContactsPage::recordMessage(const std::string& account, const std::string& nickname, const std::string& isoTime)
{
    const auto [row, added] = m_book.recordMessage(account, nickname, isoTime);
    (void)added;
    m_list.note(row);
    if (m_shown && !m_timerRunning) {
        m_timerRunning = true;
        SetTimer(m_window, BatchTimer, BatchMs, nullptr);
    }
    // What is shown of a visible row changes at once; only its place waits for the batch.
    if (const auto shown = m_list.shownRow(row))
        SendMessageW(m_c.list, LVM_REDRAWITEMS, *shown, *shown);
}

void ContactsPage::timer()
{
    KillTimer(m_window, BatchTimer);
    m_timerRunning = false;
    apply();
}

void ContactsPage::setShown(bool shown)
{
    m_shown = shown;
    // Nobody sees the list: messages only note their rows until it is shown again.
    if (shown)
        apply();
}

void ContactsPage::apply()
{
    m_list.flush(m_book);
    SendMessageW(m_c.list, LVM_SETITEMCOUNT, m_list.size(), LVSICF_NOSCROLL | LVSICF_NOINVALIDATEALL);
    // The selection stays with its contact; one the filter hides leaves the panel.
    const auto shown = m_selectedRow >= 0 ? m_list.shownRow(static_cast<std::size_t>(m_selectedRow)) : std::nullopt;
    LVITEMW none{};
    none.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    m_loading = true;
    SendMessageW(m_c.list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
    if (shown) {
        LVITEMW item{};
        item.state = item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(m_c.list, LVM_SETITEMSTATE, *shown, reinterpret_cast<LPARAM>(&item));
    } else {
        m_selectedRow = -1;
    }
    m_loading = false;
    InvalidateRect(m_c.list, nullptr, FALSE);
    showContact(false);
}

void ContactsPage::setVoiceNames(const std::vector<std::string>& names)
{
    m_voiceNames = names;
    m_loading = true;
    SendMessageW(m_c.voice, CB_RESETCONTENT, 0, 0);
    for (const std::string& name : names)
        SendMessageW(m_c.voice, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(name).c_str()));
    m_loading = false;
    showContact(true);
}

int ContactsPage::currentRow() const
{
    return m_selectedRow;
}

void ContactsPage::selectBookRow(int row)
{
    m_selectedRow = row;
    showContact(false);
}

bool ContactsPage::command(int id, int code)
{
    if (m_loading)
        return id >= ids::ContactsFilter && id <= ids::ContactDefault;
    switch (id) {
    case ids::ContactsFilter:
        if (code == EN_CHANGE) {
            m_list.setFilter(Utf8(WindowText(m_c.filter)), m_book);
            apply();
        }
        return true;
    case ids::ContactAlias:
        if (code == EN_CHANGE)
            applyChoices();
        return true;
    case ids::ContactMute:
    case ids::ContactOwnVoice:
        if (code == BN_CLICKED)
            applyChoices();
        return true;
    case ids::ContactVoice:
        if (code == CBN_SELCHANGE)
            applyChoices();
        return true;
    case ids::ContactDefault:
        if (code == BN_CLICKED) {
            SetTrackValue(m_c.rate, 0);
            SetTrackValue(m_c.volume, 100);
            applyChoices();
        }
        return true;
    default:
        return false;
    }
}

void ContactsPage::trackChanged(HWND bar)
{
    if (!m_loading && (bar == m_c.rate || bar == m_c.volume))
        applyChoices();
}

LRESULT ContactsPage::notify(NMHDR* header)
{
    switch (header->code) {
    case LVN_GETDISPINFOW: {
        auto* info = reinterpret_cast<NMLVDISPINFOW*>(header);
        const auto shown = static_cast<std::size_t>(info->item.iItem);
        if ((info->item.mask & LVIF_TEXT) && shown < m_list.size()) {
            const settings::Contact& c = m_book.at(m_list.bookRow(shown));
            m_cell = Wide(ContactCellText(c, static_cast<settings::ContactColumn>(info->item.iSubItem)));
            info->item.pszText = m_cell.data();
        }
        return 0;
    }
    case LVN_GETINFOTIPW: {
        auto* tip = reinterpret_cast<NMLVGETINFOTIPW*>(header);
        const auto shown = static_cast<std::size_t>(tip->iItem);
        if (shown < m_list.size() && tip->cchTextMax > 0) {
            const std::wstring text = Wide(ContactTipText(m_book.at(m_list.bookRow(shown))));
            wcsncpy_s(tip->pszText, static_cast<std::size_t>(tip->cchTextMax), text.c_str(), _TRUNCATE);
        }
        return 0;
    }
    case NM_CUSTOMDRAW: {
        // A muted contact is grey.
        auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(header);
        if (draw->nmcd.dwDrawStage == CDDS_PREPAINT)
            return CDRF_NOTIFYITEMDRAW;
        if (draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
            const auto shown = static_cast<std::size_t>(draw->nmcd.dwItemSpec);
            if (shown < m_list.size() && m_book.at(m_list.bookRow(shown)).mute)
                draw->clrText = RGB(128, 128, 128);
        }
        return CDRF_DODEFAULT;
    }
    case LVN_ITEMCHANGED: {
        auto* change = reinterpret_cast<NMLISTVIEW*>(header);
        if (m_loading || !(change->uChanged & LVIF_STATE))
            return 0;
        const int selected = static_cast<int>(SendMessageW(m_c.list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                                           LVNI_SELECTED));
        selectBookRow(selected >= 0 && static_cast<std::size_t>(selected) < m_list.size()
                          ? static_cast<int>(m_list.bookRow(static_cast<std::size_t>(selected)))
                          : -1);
        return 0;
    }
    case LVN_COLUMNCLICK: {
        const auto column = static_cast<settings::ContactColumn>(reinterpret_cast<NMLISTVIEW*>(header)->iSubItem);
        const bool descending = column == m_list.sortColumn() ? !m_list.descending() : false;
        m_list.setSort(column, descending, m_book);
        apply();
        return 0;
    }
    default:
        return 0;
    }
}

void ContactsPage::showContact(bool force)
{
    const int row = m_selectedRow;
    if (row == m_shownRow && !force)
        return;
    m_shownRow = row;
    m_loading = true;
    const settings::Contact c = row >= 0 ? m_book.at(static_cast<std::size_t>(row)) : settings::Contact{};
    for (HWND w : {m_c.panel, m_c.alias, m_c.mute, m_c.ownVoice})
        EnableWindow(w, row >= 0);
    SetWindowTextW(m_c.alias, Wide(c.alias).c_str());
    Check(m_c.mute, c.mute);
    Check(m_c.ownVoice, c.ownVoice);
    // The friend profile's rule: a stored engine that names no entry selects the first.
    const int voice = speech::ChooseStoredIndex(static_cast<int>(m_voiceNames.size()), c.engine, [this](int i) {
        return !m_voiceNames[static_cast<std::size_t>(i)].empty();
    });
    SendMessageW(m_c.voice, CB_SETCURSEL, static_cast<WPARAM>(voice), 0);
    SetTrackValue(m_c.rate, c.rate);
    SetTrackValue(m_c.volume, c.volume);
    m_loading = false;
    updateVoiceControls();
}

void ContactsPage::updateVoiceControls()
{
    const bool own = Checked(m_c.ownVoice) && m_selectedRow >= 0;
    for (HWND w : {m_c.voice, m_c.rate, m_c.volume, m_c.defaults})
        EnableWindow(w, own);
    SetNumberText(m_c.rateLabel, TrackValue(m_c.rate));
    SetNumberText(m_c.volumeLabel, TrackValue(m_c.volume));
}

void ContactsPage::applyChoices()
{
    updateVoiceControls();
    const int row = m_selectedRow;
    if (m_loading || row < 0)
        return;
    settings::Contact choices = m_book.at(static_cast<std::size_t>(row));
    choices.alias = Utf8(WindowText(m_c.alias));
    choices.mute = Checked(m_c.mute);
    choices.ownVoice = Checked(m_c.ownVoice);
    if (const int voice = Selected(m_c.voice); voice >= 0)
        choices.engine = voice;
    choices.rate = TrackValue(m_c.rate);
    choices.volume = TrackValue(m_c.volume);
    m_book.setChoices(static_cast<std::size_t>(row), choices);
    if (const auto shown = m_list.shownRow(static_cast<std::size_t>(row)))
        SendMessageW(m_c.list, LVM_REDRAWITEMS, *shown, *shown);
    m_edited();
}

} // namespace quorvel::win
