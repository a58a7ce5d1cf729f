#pragma once
// The tab "联系人": a filter box, the contacts as a virtual list view (the control asks for the rows it
// shows, so 10,000 contacts cost what 10 do) and, below it, the selected contact's spoken name, mute
// and own voice. New and changed rows take their places at most every 200 ms while the tab is shown.

#include "app/settings/ContactsList.h"
#include "app/settings/ContactsStore.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace quorvel::win {

struct ContactsControls {
    HWND filter = nullptr, list = nullptr, panel = nullptr, alias = nullptr, mute = nullptr, ownVoice = nullptr,
         voice = nullptr, rate = nullptr, rateLabel = nullptr, volume = nullptr, volumeLabel = nullptr,
         defaults = nullptr;
};

class ContactsPage {
public:
    // The timer the page uses on its window: the window hands WM_TIMER with this id to timer().
    static constexpr UINT_PTR BatchTimer = 1002;

    ContactsPage(HWND window, const ContactsControls& controls, std::function<void()> edited);

    const settings::ContactBook& book() const { return m_book; }
    void reset(settings::ContactBook book);
    // A friend's message: the contact is added or updated.
    void recordMessage(const std::string& account, const std::string& nickname, const std::string& isoTime);
    // The engine list, in the order of the friend voice's list.
    void setVoiceNames(const std::vector<std::string>& names);
    const std::vector<std::string>& voiceNames() const { return m_voiceNames; }
    void setShown(bool shown);
    void timer();

    // The window hands over what its controls report.
    bool command(int id, int code);
    LRESULT notify(NMHDR* header);
    void trackChanged(HWND bar);

    // The book row of the selected contact, or -1.
    int currentRow() const;

private:
    void apply();
    void showContact(bool force);
    void applyChoices();
    void updateVoiceControls();
    void selectBookRow(int row);

    HWND m_window;
    ContactsControls m_c;
    std::function<void()> m_edited;
    settings::ContactBook m_book;
    settings::ContactsList m_list;
    std::vector<std::string> m_voiceNames;
    int m_selectedRow = -1; // book row
    int m_shownRow = -2;
    bool m_loading = false;
    bool m_shown = false;
    bool m_timerRunning = false;
    std::wstring m_cell; // the text handed to the list view last
};

} // namespace quorvel::win
