#include "app/settings/ContactsStore.h"

#include "app/settings/SettingsStore.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace quorvel::settings {

namespace {

constexpr std::size_t MaxAccountBytes = 256;
// Well below the 2047 characters a value may have, quotes included.
constexpr std::size_t MaxTextBytes = 1000;

std::string LowerAscii(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

bool IsControl(unsigned char c)
{
    return c < 0x20 || c == 0x7F;
}

bool IsBlankOrQuote(char c)
{
    return c == ' ' || c == '\t' || c == '"' || c == '\'';
}

// A text value that reads back as written: control characters (a line break would end the entry)
// become blanks, the length is cut at a character boundary, and quotes keep blanks and quotes at
// either end from being trimmed or stripped.
std::string EncodeText(std::string_view text)
{
    std::string out(text.substr(0, MaxTextBytes));
    if (text.size() > MaxTextBytes)
        while (!out.empty() && (static_cast<unsigned char>(out.back()) & 0xC0) == 0x80)
            out.pop_back();
    if (!out.empty() && (static_cast<unsigned char>(out.back()) & 0xC0) == 0xC0)
        out.pop_back(); // a lead byte whose continuation was cut off
    for (char& c : out)
        if (IsControl(static_cast<unsigned char>(c)))
            c = ' ';
    if (!out.empty() && (IsBlankOrQuote(out.front()) || IsBlankOrQuote(out.back())))
        out = '"' + out + '"';
    return out;
}

int Clamp(int value, int low, int high)
{
    return std::clamp(value, low, high);
}

bool IsDigits(std::string_view text, std::size_t from, std::size_t count)
{
    if (text.size() < from + count)
        return false;
    return std::all_of(text.begin() + static_cast<std::ptrdiff_t>(from),
                       text.begin() + static_cast<std::ptrdiff_t>(from + count),
                       [](char c) { return c >= '0' && c <= '9'; });
}

Contact ReadContact(const IniDocument& part, const std::string& section)
{
    const Contact defaults;
    Contact c;
    c.account = section;
    const auto text = [&](std::string_view key) { return part.value(section, key).value_or(std::string()); };
    const auto integer = [&](std::string_view key, int fallback) {
        const auto value = part.value(section, key);
        return value ? ParseProfileInt(*value, fallback) : fallback;
    };
    c.alias = text("Alias");
    c.mute = integer("Mute", 0) != 0;
    c.ownVoice = integer("OwnVoice", 0) != 0;
    c.engine = integer("Engine", defaults.engine);
    c.rate = Clamp(integer("Rate", defaults.rate), -10, 10);
    c.volume = Clamp(integer("Volume", defaults.volume), 0, 100);
    c.nickname = text("Nickname");
    c.messages = std::max(0, integer("Messages", 0));
    c.lastSeen = text("LastSeen");
    if (!IsIsoTime(c.lastSeen))
        c.lastSeen.clear();
    return c;
}

void WriteContact(IniDocument& part, const Contact& c)
{
    const std::string& s = c.account;
    part.set(s, "Alias", EncodeText(c.alias));
    part.set(s, "Mute", c.mute ? "1" : "0");
    part.set(s, "OwnVoice", c.ownVoice ? "1" : "0");
    part.set(s, "Engine", std::to_string(c.engine));
    part.set(s, "Rate", std::to_string(c.rate));
    part.set(s, "Volume", std::to_string(c.volume));
    part.set(s, "Nickname", EncodeText(c.nickname));
    part.set(s, "Messages", std::to_string(c.messages));
    part.set(s, "LastSeen", IsIsoTime(c.lastSeen) ? c.lastSeen : std::string());
}

} // namespace

bool IsStorableAccount(std::string_view account)
{
    if (account.empty() || account.size() > MaxAccountBytes)
        return false;
    if (IsBlankOrQuote(account.front()) || IsBlankOrQuote(account.back()))
        return false;
    // At the start of a new file it would be taken for the byte-order mark.
    if (account.starts_with("\xEF\xBB\xBF"))
        return false;
    return std::none_of(account.begin(), account.end(),
                        [](char c) { return IsControl(static_cast<unsigned char>(c)); });
}

bool IsIsoTime(std::string_view t)
{
    if (t.size() < 19 || !IsDigits(t, 0, 4) || t[4] != '-' || !IsDigits(t, 5, 2) || t[7] != '-' || !IsDigits(t, 8, 2) ||
        (t[10] != 'T' && t[10] != ' ') || !IsDigits(t, 11, 2) || t[13] != ':' || !IsDigits(t, 14, 2) || t[16] != ':' ||
        !IsDigits(t, 17, 2))
        return false;
    const auto two = [&](std::size_t at) { return (t[at] - '0') * 10 + (t[at + 1] - '0'); };
    if (two(5) < 1 || two(5) > 12 || two(8) < 1 || two(8) > 31 || two(11) > 23 || two(14) > 59 || two(17) > 60)
        return false;
    std::size_t i = 19;
    if (i < t.size() && t[i] == '.') {
        ++i;
        const std::size_t start = i;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9')
            ++i;
        if (i == start)
            return false;
    }
    if (i == t.size())
        return true;
    if (t[i] == 'Z')
        return i + 1 == t.size();
    return (t[i] == '+' || t[i] == '-') && t.size() == i + 6 && IsDigits(t, i + 1, 2) && t[i + 3] == ':' &&
           IsDigits(t, i + 4, 2);
}

std::string IsoTimeText(int year, int month, int day, int hour, int minute, int second)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", year, month, day, hour, minute, second);
    return text;
}

std::optional<std::size_t> ContactBook::indexOf(std::string_view account) const
{
    const auto it = m_rows.find(LowerAscii(account));
    if (it == m_rows.end())
        return std::nullopt;
    return it->second;
}

const Contact* ContactBook::find(std::string_view account) const
{
    const auto row = indexOf(account);
    return row ? &m_contacts[*row] : nullptr;
}

std::pair<std::size_t, bool> ContactBook::recordMessage(std::string_view account, std::string_view nickname,
                                                        std::string_view lastSeen)
{
    auto [it, added] = m_rows.try_emplace(LowerAscii(account), m_contacts.size());
    if (added) {
        Contact contact;
        contact.account = std::string(account);
        m_contacts.push_back(std::move(contact));
    }
    Contact& c = m_contacts[it->second];
    c.nickname = std::string(nickname);
    if (c.messages < INT32_MAX)
        ++c.messages;
    c.lastSeen = std::string(lastSeen);
    return {it->second, added};
}

std::size_t ContactBook::put(Contact contact)
{
    auto [it, added] = m_rows.try_emplace(LowerAscii(contact.account), m_contacts.size());
    if (added)
        m_contacts.push_back(std::move(contact));
    else
        m_contacts[it->second] = std::move(contact);
    return it->second;
}

void ContactBook::setChoices(std::size_t row, const Contact& choices)
{
    Contact& c = m_contacts[row];
    c.alias = choices.alias;
    c.mute = choices.mute;
    c.ownVoice = choices.ownVoice;
    c.engine = choices.engine;
    c.rate = Clamp(choices.rate, -10, 10);
    c.volume = Clamp(choices.volume, 0, 100);
}

capture::SpeechShaping ShapeSpeech(const ContactBook& book, const capture::ChatEvent& event,
                                   capture::SpeechShaping base)
{
    if (event.direction != capture::Direction::Friend)
        return base;
    const Contact* contact = book.find(event.account);
    if (!contact)
        return base;
    // An alias of blanks alone would leave nothing to hear.
    if (contact->alias.find_first_not_of(" \t") != std::string::npos)
        base.spokenName = contact->alias;
    base.mute = contact->mute;
    if (contact->ownVoice)
        base.contact = contact->account;
    return base;
}

ContactBook ReadContacts(const IniDocument& doc)
{
    ContactBook book;
    for (const IniDocument& part : doc.splitSections()) {
        const auto section = part.leadingSection();
        // The first of two sections that differ only in case wins, as for every lookup.
        if (!section || !IsStorableAccount(*section) || book.indexOf(*section))
            continue;
        book.put(ReadContact(part, *section));
    }
    return book;
}

IniDocument WriteContacts(const IniDocument& doc, const ContactBook& book)
{
    std::vector<IniDocument> parts = doc.splitSections();
    std::unordered_map<std::string, std::size_t> partOf;
    for (std::size_t i = 0; i < parts.size(); ++i)
        if (const auto section = parts[i].leadingSection())
            partOf.try_emplace(LowerAscii(*section), i);
    for (std::size_t row = 0; row < book.size(); ++row) {
        const Contact& contact = book.at(row);
        if (!IsStorableAccount(contact.account))
            continue;
        auto [it, added] = partOf.try_emplace(LowerAscii(contact.account), parts.size());
        if (added)
            parts.push_back(doc.emptyLike());
        // A section that already reads as the contact is left exactly as the user wrote it.
        else if (ReadContact(parts[it->second], *parts[it->second].leadingSection()) == contact)
            continue;
        WriteContact(parts[it->second], contact);
    }
    return IniDocument::join(parts);
}

std::optional<ContactBook> ContactsStore::load() const
{
    std::string bytes;
    switch (ReadWholeFile(m_path, bytes)) {
    case ReadStatus::Missing:
        return ContactBook{};
    case ReadStatus::Failed:
        return std::nullopt;
    case ReadStatus::Ok:
        break;
    }
    return ReadContacts(IniDocument::parse(bytes));
}

void ContactsStore::save(const ContactBook& book) const
{
    UpdateIniFile(m_path, [&book](IniDocument doc) { return WriteContacts(doc, book); });
}

} // namespace quorvel::settings
