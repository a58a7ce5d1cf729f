#pragma once
// Friends' own settings, "contacts.ini" beside "set.ini": one section per account with a spoken
// name, a mute, an own voice and what was last seen of the friend. Pure C++ (no Qt), so the window
// and the replay tool shape speech alike.

#include "app/settings/IniDocument.h"
#include "capture/ChatEvent.h"
#include "capture/EventHandling.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace quorvel::settings {

struct Contact {
    std::string account;   // as written in the traffic; names the section
    std::string alias;     // spoken instead of the nickname; empty: the nickname
    bool mute = false;     // logged, never spoken
    bool ownVoice = false; // false: the friend voice
    int engine = -1;       // index into the voice list, as "Engine1" in set.ini
    int rate = 0;          // -10..10
    int volume = 100;      // 0..100
    std::string nickname;  // the last one logged
    int messages = 0;
    std::string lastSeen; // ISO 8601 local time of the last message; empty: none yet
    bool operator==(const Contact&) const = default;
};

// Accounts that round-trip as a section name: 1..256 bytes, no control characters, no blank at
// either end. Others are listed while the program runs but never written.
bool IsStorableAccount(std::string_view account);

// "YYYY-MM-DDTHH:MM:SS", optionally followed by a fraction and a zone ("Z", "+08:00").
bool IsIsoTime(std::string_view text);
// "YYYY-MM-DDTHH:MM:SS": the form a message's local time is kept in.
std::string IsoTimeText(int year, int month, int day, int hour, int minute, int second);

class ContactBook {
public:
    std::size_t size() const { return m_contacts.size(); }
    const Contact& at(std::size_t row) const { return m_contacts[row]; }
    // Accounts match without regard to ASCII case, as section names do; the first spelling stays.
    std::optional<std::size_t> indexOf(std::string_view account) const;
    const Contact* find(std::string_view account) const;

    // A message from account: the contact is added at the end when new; nickname, count and time
    // are updated. Returns the row and whether it was added.
    std::pair<std::size_t, bool> recordMessage(std::string_view account, std::string_view nickname,
                                               std::string_view lastSeen);
    // Adds the contact, or replaces the one with its account. Returns the row.
    std::size_t put(Contact contact);
    // Replaces the user's choices (alias, mute, voice) of a row; account and history stay.
    void setChoices(std::size_t row, const Contact& choices);

private:
    std::vector<Contact> m_contacts;
    std::unordered_map<std::string, std::size_t> m_rows; // lower-cased account -> row
};

// What the book makes of one event: a friend's alias, mute and own voice on top of base; other
// events get base unchanged.
capture::SpeechShaping ShapeSpeech(const ContactBook& book, const capture::ChatEvent& event,
                                   capture::SpeechShaping base = {});

// Unreadable values give the defaults of Contact; rate and volume are clamped as the controls do.
ContactBook ReadContacts(const IniDocument& doc);
// Writes the keys of every storable contact that the file does not already hold as it is, in place;
// other sections, keys and lines stay.
IniDocument WriteContacts(const IniDocument& doc, const ContactBook& book);

class ContactsStore {
public:
    explicit ContactsStore(std::filesystem::path iniPath) : m_path(std::move(iniPath)) {}
    const std::filesystem::path& path() const { return m_path; }
    // Missing file: an empty book. Nothing when the file exists but cannot be read: writing the
    // list over it would lose what it holds.
    std::optional<ContactBook> load() const;
    // Written to a temporary file and renamed; throws SettingsError and leaves the old file whole.
    void save(const ContactBook& book) const;

private:
    std::filesystem::path m_path;
};

} // namespace quorvel::settings
