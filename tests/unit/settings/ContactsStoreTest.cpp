// Friends' own settings: what alias, mute and own voice make of an event, and contacts.ini files
// with odd accounts and values.

#include "app/settings/ContactsStore.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using namespace quorvel;
using namespace quorvel::settings;


namespace {

template <typename Row> std::string RowName(const testing::TestParamInfo<Row>& info)
{
    return info.param.name;
}

capture::ChatEvent Event(capture::Direction direction, std::string account, std::string nickname,
                         std::string command = "MSG")
{
    capture::ChatEvent e;
    e.direction = direction;
    e.command = std::move(command);
    e.account = std::move(account);
    e.nickname = std::move(nickname);
    e.wordedText = "Hi[微笑]";
    e.strippedText = "Hi";
    return e;
}

// ---- Alias, mute and own voice in what is spoken ----------------------------------------------

struct ShapeRow {
    const char* name;
    Contact contact; // account empty: the book is empty
    capture::ChatEvent event;
    const char* friendBoxes;
    std::optional<std::string> says;
    std::string contactVoice;
    std::string header; // the log keeps the nickname
};

Contact Choices(std::string account, std::string alias, bool mute, bool ownVoice)
{
    Contact c;
    c.account = std::move(account);
    c.alias = std::move(alias);
    c.mute = mute;
    c.ownVoice = ownVoice;
    return c;
}

const capture::Direction F = capture::Direction::Friend;

class ShapeTest : public testing::TestWithParam<ShapeRow> {};

TEST_P(ShapeTest, SpokenTextAndVoice)
{
    const ShapeRow& row = GetParam();
    ContactBook book;
    if (!row.contact.account.empty())
        book.put(row.contact);
    const char* b = row.friendBoxes;
    const capture::ReadingOptions friends{b[0] == '1', b[1] == '1', b[2] == '1'};
    const auto outcome =
        capture::HandleChatEvent(row.event, {}, friends, false, "09:05:07", ShapeSpeech(book, row.event));
    ASSERT_FALSE(outcome.lines.empty());
    EXPECT_EQ(outcome.lines.front().text, row.header);
    ASSERT_EQ(outcome.speech.has_value(), row.says.has_value());
    if (row.says) {
        EXPECT_EQ(outcome.speech->text, *row.says);
        EXPECT_EQ(outcome.speech->contact, row.contactVoice);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Contacts, ShapeTest,
    testing::Values(ShapeRow{"Unknown", {}, Event(F, "ann@x.org", "Ann"), "111", "Ann 说：Hi[微笑]", "", "Ann 说 :"},
                    ShapeRow{"Alias", Choices("ann@x.org", "安娜", false, false), Event(F, "ann@x.org", "Ann"), "111",
                             "安娜 说：Hi[微笑]", "", "Ann 说 :"},
                    ShapeRow{"AliasWithPrefixOnly", Choices("ann@x.org", "安娜", false, false),
                             Event(F, "ann@x.org", "Ann"), "010", "安娜 说：", "", "Ann 说 :"},
                    ShapeRow{"AliasUnusedWithoutName", Choices("ann@x.org", "安娜", false, false),
                             Event(F, "ann@x.org", "Ann"), "100", "Hi", "", "Ann 说 :"},
                    ShapeRow{"AccountCaseIgnored", Choices("ann@x.org", "安娜", false, false),
                             Event(F, "Ann@X.org", "Ann"), "111", "安娜 说：Hi[微笑]", "", "Ann 说 :"},
                    ShapeRow{"OtherAccount", Choices("bob@x.org", "Bobby", true, true), Event(F, "ann@x.org", "Ann"),
                             "111", "Ann 说：Hi[微笑]", "", "Ann 说 :"},
                    ShapeRow{"Muted", Choices("ann@x.org", "", true, false), Event(F, "ann@x.org", "Ann"), "111",
                             std::nullopt, "", "Ann 说 :"},
                    ShapeRow{"MutedWithOwnVoice", Choices("ann@x.org", "安娜", true, true),
                             Event(F, "ann@x.org", "Ann"), "011", std::nullopt, "", "Ann 说 :"},
                    ShapeRow{"OwnVoice", Choices("ann@x.org", "", false, true), Event(F, "ann@x.org", "Ann"), "101",
                             "Hi[微笑]", "ann@x.org", "Ann 说 :"},
                    ShapeRow{"UbmAlias", Choices("ann@x.org", "安娜", false, true),
                             Event(F, "ann@x.org", "ann@x.org", "UBM"), "110", "安娜 说：Hi", "ann@x.org",
                             "ann@x.org 说 (09:05:07):"},
                    ShapeRow{"OwnMessageIsNoContact", Choices("ann@x.org", "安娜", true, true),
                             Event(capture::Direction::Own, "ann@x.org", ""), "000", "我说：Hi[微笑]", "", "我 说 :"}),
    RowName<ShapeRow>);

// ---- contacts.ini ---------------------------------------------------------------------------

Contact Full(std::string account, std::string alias, std::string nickname)
{
    Contact c;
    c.account = std::move(account);
    c.alias = std::move(alias);
    c.mute = true;
    c.ownVoice = true;
    c.engine = 2;
    c.rate = -7;
    c.volume = 35;
    c.nickname = std::move(nickname);
    c.messages = 12;
    c.lastSeen = "2026-12-08T09:05:07";
    return c;
}

struct RoundTripRow {
    const char* name;
    Contact contact;
    bool stored;            // false: refused, the file stays as it was
    std::string aliasAfter; // what the alias reads back as
};

class RoundTripTest : public testing::TestWithParam<RoundTripRow> {};

TEST_P(RoundTripTest, WrittenAndReadBack)
{
    const RoundTripRow& row = GetParam();
    const std::string before = "; mine\r\n[other]\r\nKey=1\r\n";
    ContactBook book;
    book.put(row.contact);
    const std::string text = WriteContacts(IniDocument::parse(before), book).serialize();
    const ContactBook back = ReadContacts(IniDocument::parse(text));
    if (!row.stored) {
        EXPECT_EQ(text, before);
        return;
    }
    // Every line break the writer added is the file's own.
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1))
        ASSERT_EQ(text[at - 1], '\r') << text;
    const Contact* read = back.find(row.contact.account);
    ASSERT_NE(read, nullptr) << text;
    Contact expected = row.contact;
    expected.alias = row.aliasAfter;
    EXPECT_EQ(*read, expected) << text;
    EXPECT_EQ(ReadContacts(IniDocument::parse(text)).size(), 2u); // "other" is a section like any
}

const std::string LongAccount = std::string(251, 'a') + "@x.org"; // 257 bytes
const std::string LongAlias = std::string(999, 'x') + "好";

INSTANTIATE_TEST_SUITE_P(
    Contacts, RoundTripTest,
    testing::Values(RoundTripRow{"Plain", Full("ann@x.org", "安娜", "Ann"), true, "安娜"},
                    RoundTripRow{"BracketInAccount", Full("a]b@x.org", "x", "n"), true, "x"},
                                RoundTripRow{"LeadingBracket", Full("[ann@x.org", "x", "n"), true, "x"},
                    RoundTripRow{"SemicolonAndEquals", Full(";a=b@x.org", "x", "n"), true, "x"},
                                RoundTripRow{"NonAscii", Full("小明@例子.中国", "小明", "小明"), true, "小明"},
                    RoundTripRow{"LongestAccount", Full(std::string(256, 'b'), "x", "n"), true, "x"},
                    RoundTripRow{"AliasWithQuotesAndBlanks", Full("ann@x.org", " \"Ann\" ", "n"), true, " \"Ann\" "},
                    RoundTripRow{"AliasWithEqualsAndSemicolon", Full("ann@x.org", "a=b;c", "n"), true, "a=b;c"},
                    RoundTripRow{"AliasWithLineBreak", Full("ann@x.org", "a\r\n[evil]\nb", "n"), true, "a  [evil] b"},
                    RoundTripRow{"LongAliasCutOnACharacter", Full("ann@x.org", LongAlias + "好", "n"), true,
                                 std::string(999, 'x')},
                    RoundTripRow{"TooLongAccount", Full(LongAccount, "x", "n"), false, ""},
                    RoundTripRow{"BlankAtEnd", Full("ann@x.org ", "x", "n"), false, ""},
                    RoundTripRow{"LineBreakInAccount", Full("ann@x.org\n[set]", "x", "n"), false, ""},
                    RoundTripRow{"EmptyAccount", Full("", "x", "n"), false, ""}),
    RowName<RoundTripRow>);

struct ReadRow {
    const char* name;
    std::string file;
    Contact expected;
};

Contact Read(std::string account, bool mute, bool ownVoice, int engine, int rate, int volume, int messages,
             std::string lastSeen)
{
    Contact c;
    c.account = std::move(account);
    c.mute = mute;
    c.ownVoice = ownVoice;
    c.engine = engine;
    c.rate = rate;
    c.volume = volume;
    c.messages = messages;
    c.lastSeen = std::move(lastSeen);
    return c;
}

class ReadTest : public testing::TestWithParam<ReadRow> {};

TEST_P(ReadTest, Values)
{
    const ReadRow& row = GetParam();
    const ContactBook book = ReadContacts(IniDocument::parse(row.file));
    ASSERT_EQ(book.size(), 1u);
    EXPECT_EQ(book.at(0), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Contacts, ReadTest,
    testing::Values(
        ReadRow{"EmptySection", "[a@x]\n", Read("a@x", false, false, -1, 0, 100, 0, "")},
        ReadRow{"Unreadable",
                "[a@x]\nMute=yes\nOwnVoice=\nEngine=two\nRate=fast\nVolume=1e2\nMessages=-3\nLastSeen=yesterday\n",
                Read("a@x", false, false, -1, 0, 100, 0, "")},
        ReadRow{"HexAndClamped", "[a@x]\nMute=0x2\nOwnVoice=$1\nEngine=0x1\nRate=25\nVolume=-5\nMessages=$10\n",
                Read("a@x", true, true, 1, 10, 0, 16, "")},
        ReadRow{"KeysAnyCase", "[A@X]\nmute=1\nLASTSEEN=2026-01-02T03:04:05+08:00\n",
                Read("A@X", true, false, -1, 0, 100, 0, "2026-01-02T03:04:05+08:00")},
        ReadRow{"BadDate", "[a@x]\nLastSeen=2026-13-02T03:04:05\n", Read("a@x", false, false, -1, 0, 100, 0, "")},
        ReadRow{"FirstOfTwoSpellingsWins", "[a@x]\nMessages=1\n[A@X]\nMessages=2\n",
                Read("a@x", false, false, -1, 0, 100, 1, "")}),
    RowName<ReadRow>);

struct FileRow {
    const char* name;
    std::string before;
    std::string after; // after one message from a@x at 2026-12-08T09:05:07
};

class FileTest : public testing::TestWithParam<FileRow> {};

TEST_P(FileTest, OtherLinesStay)
{
    const FileRow& row = GetParam();
    ContactBook book = ReadContacts(IniDocument::parse(row.before));
    book.recordMessage("a@x", "Ann", "2026-12-08T09:05:07");
    EXPECT_EQ(WriteContacts(IniDocument::parse(row.before), book).serialize(), row.after);
}

INSTANTIATE_TEST_SUITE_P(
    Contacts, FileTest,
    testing::Values(
        FileRow{"NewFile", "",
                "[a@x]\nAlias=\nMute=0\nOwnVoice=0\nEngine=-1\nRate=0\nVolume=100\nNickname=Ann\nMessages=1\n"
                "LastSeen=2026-12-08T09:05:07\n"},
        FileRow{"UnknownKeysCommentsCrLf",
                "; friends\r\n[A@X]\r\nColour=red\r\nMessages=4\r\nalias=安娜\r\n\r\n; next\r\n[other]\r\nk=v",
                "; friends\r\n[A@X]\r\nColour=red\r\nMessages=5\r\nalias=安娜\r\nMute=0\r\nOwnVoice=0\r\n"
                "Engine=-1\r\nRate=0\r\nVolume=100\r\nNickname=Ann\r\nLastSeen=2026-12-08T09:05:07\r\n\r\n"
                "; next\r\n[other]\r\nk=v"},
        FileRow{"UnchangedSectionsUntouched", "[b@x]\nRate=25\n[a@x]\nMessages=0\nNickname=Ann\n",
                "[b@x]\nRate=25\n[a@x]\nMessages=1\nNickname=Ann\nAlias=\nMute=0\nOwnVoice=0\nEngine=-1\n"
                "Rate=0\nVolume=100\nLastSeen=2026-12-08T09:05:07\n"}),
    RowName<FileRow>);

TEST(ContactsStore, SavedBookLoadsBack)
{
    const auto dir = std::filesystem::temp_directory_path() / ("contacts-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const ContactsStore store(dir / "contacts.ini");
    ContactBook book;
    for (int i = 0; i < 3000; ++i)
        book.recordMessage("user" + std::to_string(i) + "@x.org", "N" + std::to_string(i), "2026-12-08T09:05:07");
    book.setChoices(2999, Full("", "最后", "")); // account and history stay
    store.save(book);
    store.save(book); // the second save finds every section in place
    const ContactBook back = store.load().value();
    ASSERT_EQ(back.size(), book.size());
    for (std::size_t i = 0; i < book.size(); ++i)
        ASSERT_EQ(back.at(i), book.at(i)) << i;
    std::filesystem::remove_all(dir);
}

} // namespace
