#include "app/settings/ContactsList.h"

#include <algorithm>

namespace quorvel::settings {

namespace {

std::string AsciiFold(std::string_view text)
{
    std::string folded(text);
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return folded;
}

} // namespace

std::string ContactCellText(const Contact& contact, ContactColumn column)
{
    switch (column) {
    case ContactColumn::Account:
        return contact.account;
    case ContactColumn::Nickname:
        return contact.nickname;
    case ContactColumn::Messages:
        return std::to_string(contact.messages);
    case ContactColumn::LastSeen: {
        std::string shown = contact.lastSeen.size() > 5 ? contact.lastSeen.substr(5, 11) : std::string();
        std::replace(shown.begin(), shown.end(), 'T', ' ');
        return shown;
    }
    }
    return {};
}

std::string ContactTipText(const Contact& contact)
{
    std::string time = contact.lastSeen;
    std::replace(time.begin(), time.end(), 'T', ' ');
    std::string tip = contact.account + "\n" + time;
    if (!contact.alias.empty())
        tip += "\n朗读为：" + contact.alias;
    return tip;
}

ContactsList::ContactsList(Fold fold) : m_fold(fold ? std::move(fold) : Fold(AsciiFold)) {}

ContactsList::Key ContactsList::keyOf(const Contact& contact) const
{
    Key key;
    switch (m_column) {
    case ContactColumn::Messages:
        key.number = contact.messages;
        break;
    case ContactColumn::LastSeen:
        key.text = contact.lastSeen; // ISO 8601 sorts as text
        break;
    default:
        key.text = m_fold(ContactCellText(contact, m_column));
        break;
    }
    return key;
}

bool ContactsList::accepts(const Contact& contact) const
{
    if (m_filter.empty())
        return true;
    return m_fold(contact.account).find(m_filter) != std::string::npos ||
           m_fold(contact.nickname).find(m_filter) != std::string::npos;
}

bool ContactsList::less(std::size_t a, std::size_t b) const
{
    if (m_descending)
        std::swap(a, b);
    const Key& x = m_keys[a];
    const Key& y = m_keys[b];
    if (x.number != y.number)
        return x.number < y.number;
    if (const int c = x.text.compare(y.text); c != 0)
        return c < 0;
    return m_changed[a] < m_changed[b];
}

void ContactsList::grow(std::size_t rows)
{
    if (rows <= m_keys.size())
        return;
    m_keys.resize(rows);
    m_changed.resize(rows, 0);
    m_shownOf.resize(rows, -1);
    m_isPending.resize(rows, 0);
}

void ContactsList::renumber(std::size_t from)
{
    for (std::size_t i = from; i < m_shown.size(); ++i)
        m_shownOf[m_shown[i]] = static_cast<std::ptrdiff_t>(i);
}

void ContactsList::reset(const ContactBook& book)
{
    m_keys.clear();
    m_changed.clear();
    m_shownOf.clear();
    m_isPending.clear();
    m_pending.clear();
    m_shown.clear();
    grow(book.size());
    for (std::size_t row = 0; row < book.size(); ++row) {
        m_changed[row] = row;
        m_keys[row] = keyOf(book.at(row));
        if (accepts(book.at(row)))
            m_shown.push_back(row);
    }
    m_clock = book.size();
    std::sort(m_shown.begin(), m_shown.end(), [this](std::size_t a, std::size_t b) { return less(a, b); });
    renumber(0);
}

void ContactsList::note(std::size_t bookRow)
{
    grow(bookRow + 1);
    m_changed[bookRow] = m_clock++;
    if (!m_isPending[bookRow]) {
        m_isPending[bookRow] = 1;
        m_pending.push_back(bookRow);
    }
}

void ContactsList::flush(const ContactBook& book)
{
    if (m_pending.empty())
        return;
    std::vector<std::size_t> placed;
    for (const std::size_t row : m_pending) {
        m_isPending[row] = 0;
        if (row >= book.size())
            continue;
        m_keys[row] = keyOf(book.at(row));
        if (accepts(book.at(row)))
            placed.push_back(row);
        m_shownOf[row] = m_shownOf[row] >= 0 ? -2 : -1; // -2: leaves its old place below
    }
    m_pending.clear();
    std::vector<std::size_t> rest;
    rest.reserve(m_shown.size());
    for (const std::size_t row : m_shown)
        if (m_shownOf[row] != -2)
            rest.push_back(row);
        else
            m_shownOf[row] = -1;
    const auto byKey = [this](std::size_t a, std::size_t b) { return less(a, b); };
    std::sort(placed.begin(), placed.end(), byKey);
    m_shown.clear();
    auto from = rest.begin();
    for (const std::size_t row : placed) {
        const auto to = std::upper_bound(from, rest.end(), row, byKey);
        m_shown.insert(m_shown.end(), from, to);
        m_shown.push_back(row);
        from = to;
    }
    m_shown.insert(m_shown.end(), from, rest.end());
    renumber(0);
}

void ContactsList::setSort(ContactColumn column, bool descending, const ContactBook& book)
{
    m_column = column;
    m_descending = descending;
    for (std::size_t row = 0; row < book.size() && row < m_keys.size(); ++row)
        m_keys[row] = keyOf(book.at(row));
    flush(book);
    std::stable_sort(m_shown.begin(), m_shown.end(), [this](std::size_t a, std::size_t b) { return less(a, b); });
    renumber(0);
}

void ContactsList::setFilter(std::string_view text, const ContactBook& book)
{
    std::string folded = m_fold(text);
    if (folded == m_filter)
        return;
    m_filter = std::move(folded);
    flush(book);
    m_shown.clear();
    for (std::size_t row = 0; row < book.size() && row < m_keys.size(); ++row) {
        m_shownOf[row] = -1;
        if (accepts(book.at(row)))
            m_shown.push_back(row);
    }
    std::sort(m_shown.begin(), m_shown.end(), [this](std::size_t a, std::size_t b) { return less(a, b); });
    renumber(0);
}

std::optional<std::size_t> ContactsList::shownRow(std::size_t bookRow) const
{
    if (bookRow >= m_shownOf.size() || m_shownOf[bookRow] < 0)
        return std::nullopt;
    return static_cast<std::size_t>(m_shownOf[bookRow]);
}

} // namespace quorvel::settings
