#pragma once
// The contacts tab's list as both editions show it: the book's rows sorted by a column and filtered by
// account or nickname, without regard to case. A message only notes its row; noted rows take their
// places in a batch, by a binary search each, so the list's cost per message does not grow with it.
// Pure C++.

#include "app/settings/ContactsStore.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::settings {

enum class ContactColumn { Account, Nickname, Messages, LastSeen };
inline constexpr int ContactColumnCount = 4;

// A cell as the list shows it: the time as "12-08 09:05" (the narrow window has no room for the year
// and seconds), the count as a number.
std::string ContactCellText(const Contact& contact, ContactColumn column);
// The tooltip: account, the whole time, and the spoken name when there is one.
std::string ContactTipText(const Contact& contact);

class ContactsList {
public:
    // Case folding of the sort keys and the filter; ASCII letters when none is given.
    using Fold = std::function<std::string(std::string_view)>;
    explicit ContactsList(Fold fold = {});

    // Every row of the book anew, in its order: the later of two equal rows counts as the newer.
    void reset(const ContactBook& book);
    // A row was added or changed; it takes its place at the next flush.
    void note(std::size_t bookRow);
    std::size_t pending() const { return m_pending.size(); }
    // Applies the noted rows.
    void flush(const ContactBook& book);

    // Equal keys put the row changed first first (ascending) or last first (descending).
    void setSort(ContactColumn column, bool descending, const ContactBook& book);
    ContactColumn sortColumn() const { return m_column; }
    bool descending() const { return m_descending; }
    void setFilter(std::string_view text, const ContactBook& book);

    std::size_t size() const { return m_shown.size(); }
    std::size_t bookRow(std::size_t shownRow) const { return m_shown[shownRow]; }
    std::optional<std::size_t> shownRow(std::size_t bookRow) const;

private:
    struct Key {
        std::int64_t number = 0;
        std::string text;
    };
    Key keyOf(const Contact& contact) const;
    bool accepts(const Contact& contact) const;
    bool less(std::size_t a, std::size_t b) const;
    void grow(std::size_t rows);
    void renumber(std::size_t from);

    Fold m_fold;
    ContactColumn m_column = ContactColumn::LastSeen;
    bool m_descending = true;
    std::string m_filter; // folded
    std::vector<std::size_t> m_shown;
    std::vector<std::ptrdiff_t> m_shownOf; // -1: hidden by the filter or not placed yet
    std::vector<Key> m_keys;
    std::vector<std::uint64_t> m_changed;
    std::uint64_t m_clock = 0;
    std::vector<std::size_t> m_pending;
    std::vector<char> m_isPending;
};

} // namespace quorvel::settings
