// The contacts tab's order and filter, as both editions show the list.

#include "app/settings/ContactsList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorvel::settings {
namespace {

ContactBook Book()
{
    ContactBook book;
    book.recordMessage("bob@example.com", "Bob", "2026-12-08T09:05:07");
    book.recordMessage("Ann@example.com", "小明", "2026-12-08T10:00:00");
    book.recordMessage("carl@example.com", "ann", "2026-12-07T23:59:59");
    for (int i = 0; i < 9; ++i)
        book.recordMessage("bob@example.com", "Bob", "2026-12-08T09:05:07");
    book.recordMessage("dora@example.com", "Dora", "2026-12-08T09:05:07"); // the same time as Bob, later
    return book;
}

std::string Accounts(const ContactsList& list, const ContactBook& book)
{
    std::string out;
    for (std::size_t i = 0; i < list.size(); ++i)
        out += book.at(list.bookRow(i)).account.substr(0, 1);
    return out;
}

TEST(ContactsList, SortsByEachColumnAndFiltersWithoutCase)
{
    const ContactBook book = Book();
    struct Row {
        ContactColumn column;
        bool descending;
        const char* filter;
        const char* order; // first letters of the accounts
    };
    const Row rows[] = {
        {ContactColumn::LastSeen, true, "", "Adbc"},  // equal times: the later change first
        {ContactColumn::LastSeen, false, "", "cbdA"}, // and last when ascending
        {ContactColumn::Account, false, "", "Abcd"},  // "Ann" among the lower case
        {ContactColumn::Nickname, false, "", "cbdA"}, // "ann" "Bob" "Dora" "小明"
        {ContactColumn::Messages, true, "", "bdcA"},  // 10 before 1, as numbers
        {ContactColumn::Account, false, "ANN", "Ac"}, // the account or the nickname
        {ContactColumn::Account, false, "小明", "A"},
        {ContactColumn::Account, false, "nobody", ""},
    };
    for (const Row& row : rows) {
        ContactsList list;
        list.reset(book);
        list.setSort(row.column, row.descending, book);
        list.setFilter(row.filter, book);
        EXPECT_EQ(Accounts(list, book), row.order) << int(row.column) << row.descending << row.filter;
    }
    // A message at the same second makes Bob the later of the two.
    ContactBook later = book;
    ContactsList list;
    list.reset(later);
    list.note(later.recordMessage("bob@example.com", "Bob", "2026-12-08T09:05:07").first);
    list.flush(later);
    EXPECT_EQ(Accounts(list, later), "Abdc");
    EXPECT_EQ(ContactCellText(book.at(0), ContactColumn::LastSeen), "12-08 09:05");
    EXPECT_EQ(ContactCellText(book.at(0), ContactColumn::Messages), "10");
}

TEST(ContactsList, NotedRowsTakeTheirPlacesAtTheFlush)
{
    ContactBook book = Book();
    ContactsList list;
    list.reset(book);
    list.setFilter("R", book); // carl, dora
    ASSERT_EQ(Accounts(list, book), "dc");

    // carl writes again, and a new friend: nothing moves until the batch.
    list.note(book.recordMessage("carl@example.com", "ann", "2026-12-09T08:00:00").first);
    list.note(book.recordMessage("rita@example.com", "Rita", "2026-12-09T07:00:00").first);
    list.note(book.recordMessage("zed@example.com", "Zed", "2026-12-09T09:00:00").first); // filtered out
    EXPECT_EQ(Accounts(list, book), "dc");
    EXPECT_EQ(list.pending(), 3u);
    list.flush(book);
    EXPECT_EQ(Accounts(list, book), "crd");
    EXPECT_FALSE(list.shownRow(*book.indexOf("zed@example.com")));
    EXPECT_EQ(list.shownRow(*book.indexOf("rita@example.com")), 1u);

    list.setFilter("", book);
    EXPECT_EQ(Accounts(list, book), "zcrAdb");
}

} // namespace
} // namespace quorvel::settings
