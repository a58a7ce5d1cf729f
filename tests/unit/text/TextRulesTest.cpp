// Sender names, bodies, emoticon wording and removal over payloads as they are captured.

#include "text/TextRules.h"
#include "text/Tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <string_view>
#include <vector>

using namespace std::string_literals;
using namespace quorvel::text;

namespace {

// A friend's message as the server sends it: command line, headers, empty line, body.
std::string FriendPayload(std::string_view nickField, std::string_view body = "hi")
{
    return "MSG alice@example.com "s + std::string(nickField) +
           " 131\r\n"
           "MIME-Version: 1.0\r\n"
           "Content-Type: text/plain; charset=UTF-8\r\n"
           "X-MMS-IM-Format: FN=Arial; EF=; CO=0; CS=0; PF=0\r\n"
           "\r\n" +
           std::string(body);
}

std::string WithBody(std::string_view body)
{
    return "MSG 12 N 80\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n\r\n"s + std::string(body);
}

template <typename Row> std::string RowName(const testing::TestParamInfo<Row>& info)
{
    return info.param.name;
}

// --- field splitting ---------------------------------------------------------------------------

struct SplitRow {
    std::string name;
    std::string text;
    std::size_t maxFields;
    std::vector<std::string> fields;
};

class SplitFieldsTest : public testing::TestWithParam<SplitRow> {};

TEST_P(SplitFieldsTest, Fields)
{
    const auto& row = GetParam();
    EXPECT_EQ(SplitFields(row.text, row.maxFields), row.fields);
}

const std::size_t All = SIZE_MAX;

INSTANTIATE_TEST_SUITE_P(
    Table, SplitFieldsTest,
    testing::Values(
        SplitRow{"CommandLine",
                 "MSG alice@example.com Alice%20Smith 131\r\nMIME-Version: 1.0",
                 All,
                 {"MSG", "alice@example.com", "Alice%20Smith", "131", "MIME-Version:", "1.0"}},
        SplitRow{"LeadingBlanksSkipped", " \t\r\n\x01MSG a", All, {"MSG", "a"}},
        SplitRow{"RunsOfBlanksSeparateOnce", "a \t \r\n b", All, {"a", "b"}},
        SplitRow{"ControlCharactersSeparate",
                 "a\x01"
                 "b\x1f"
                 "c\x7f"
                 "d",
                 All,
                 {"a", "b",
                  "c\x7f"
                  "d"}},
        SplitRow{"Commas", "a,b,c", All, {"a", "b", "c"}},
        SplitRow{"CommaWithBlanksAround", "a , \t b", All, {"a", "b"}},
        SplitRow{"TwoCommasEncloseEmpty", "a,,b", All, {"a", "", "b"}},
        SplitRow{"TwoCommasWithBlankBetween", "a, ,b", All, {"a", "", "b"}},
        SplitRow{"LeadingComma", ",a", All, {"", "a"}}, SplitRow{"TrailingCommaAddsEmptyField", "a,", All, {"a", ""}},
        SplitRow{"TrailingCommaThenBlankAddsNothing", "a, ", All, {"a"}},
        SplitRow{"CommaThenNulIsTheEnd", "a,\0b"s, All, {"a", ""}},
        SplitRow{"QuotedKeepsBlanksAndCommas", "x \"a b, c\" y", All, {"x", "a b, c", "y"}},
        SplitRow{"DoubledQuotesStandForOne", "\"say \"\"hi\"\"\" z", All, {"say \"hi\"", "z"}},
        SplitRow{"EmptyQuoted", "\"\" x", All, {"", "x"}},
        SplitRow{"TextRightBehindClosingQuoteIsNextField", "\"ab\"cd", All, {"ab", "cd"}},
        SplitRow{"QuoteInsideUnquotedFieldIsText", "a\"b c", All, {"a\"b", "c"}},
        // A quoted field whose closing quote is missing runs to the end of the text.
        SplitRow{"UnclosedQuoteRunsToEnd", "x \"ab, cd\r\nef", All, {"x", "ab, cd\r\nef"}},
        SplitRow{"UnclosedQuoteAfterDoubledQuote", "\"ab\"\"", All, {"ab\""}}, SplitRow{"LoneQuote", "\"", All, {""}},
        SplitRow{"UnclosedQuoteEndsAtNul", "\"ab\0cd\" e"s, All, {"ab"}},
        SplitRow{"NulEndsTheText", "a b\0c d"s, All, {"a", "b"}}, SplitRow{"NulFirst", "\0a b"s, All, {}},
        SplitRow{"Empty", "", All, {}}, SplitRow{"OnlyBlanks", " \r\n\t", All, {}},
        SplitRow{"Utf8BytesAreText", "小明 王五，赵六", All, {"小明", "王五，赵六"}},
        SplitRow{"StopsAfterMaxFields", "a b c d", 2, {"a", "b"}}, SplitRow{"MaxFieldsZero", "a b", 0, {}},
        SplitRow{"TrailingCommaBeyondMaxFields", "a,", 1, {"a"}}, SplitRow{"FewerThanMaxFields", "a", 3, {"a"}}),
    RowName<SplitRow>);

TEST(SplitFields, StopsEarlyOnLongPayloadsWithoutChangingLeadingFields)
{
    std::string payload = FriendPayload("Bob", std::string(64 * 1024, 'x') + " \"unclosed");
    const auto all = SplitFields(payload);
    const auto three = SplitFields(payload, 3);
    ASSERT_EQ(three.size(), 3u);
    EXPECT_TRUE(std::equal(three.begin(), three.end(), all.begin()));
    EXPECT_EQ(all.back(), "unclosed");
}

// --- missing fields ----------------------------------------------------------------------------

struct MissingRow {
    std::string name;
    std::string payload;
    int accountMissing; // -1: present
    std::string account;
    int nicknameMissing; // -1: present
    std::string nickname;
};

class MissingFieldTest : public testing::TestWithParam<MissingRow> {};

TEST_P(MissingFieldTest, AccountAndNickname)
{
    const auto& row = GetParam();
    const auto account = ExtractAccount(row.payload);
    const auto nickname = ExtractNickname(row.payload);
    EXPECT_EQ(account.missingIndex(), row.accountMissing);
    EXPECT_EQ(nickname.missingIndex(), row.nicknameMissing);
    if (row.accountMissing < 0) {
        EXPECT_TRUE(account.ok());
        EXPECT_EQ(account.value(), row.account);
        EXPECT_EQ(account.errorMessage(), "");
    } else {
        EXPECT_FALSE(account.ok());
        EXPECT_EQ(account.errorMessage(), "List index out of bounds (" + std::to_string(row.accountMissing) + ")");
    }
    if (row.nicknameMissing < 0) {
        EXPECT_TRUE(nickname.ok());
        EXPECT_EQ(nickname.value(), row.nickname);
    } else {
        EXPECT_FALSE(nickname.ok());
        EXPECT_EQ(nickname.errorMessage(), "List index out of bounds (" + std::to_string(row.nicknameMissing) + ")");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, MissingFieldTest,
    testing::Values(
        MissingRow{"EmptyText", "", 1, "", 2, ""}, MissingRow{"CommandOnly", "MSG\r\n", 1, "", 2, ""},
        MissingRow{"OneFurtherField", "MSG alice@example.com", -1, "alice@example.com", 2, ""},
        MissingRow{"NulBeforeField1", "MSG\0 alice Bob"s, 1, "", 2, ""},
        MissingRow{"TwoCommasGiveEmptyNickname", "MSG alice@example.com,,Bob 131", -1, "alice@example.com", -1, ""},
        MissingRow{"EmptyAccount", "UBM,,x 1", -1, "", -1, "x"},
        MissingRow{"AccountUnchanged", "UBM bob%20smith@example.com 1 UUX", -1, "bob%20smith@example.com", -1, "1"},
        // Line breaks separate fields like spaces: a short command line takes its nickname from the headers.
        MissingRow{"HeaderLinesGiveFields", "MSG alice\r\nMIME-Version: 1.0", -1, "alice", -1, "MIME Version"}),
    RowName<MissingRow>);

// --- nicknames ---------------------------------------------------------------------------------

struct NicknameRow {
    std::string name;
    std::string field;
    std::string nickname;
};

class NicknameTest : public testing::TestWithParam<NicknameRow> {};

TEST_P(NicknameTest, FromField2)
{
    const auto& row = GetParam();
    const auto result = ExtractNickname(FriendPayload(row.field));
    ASSERT_TRUE(result.ok()) << result.errorMessage();
    EXPECT_EQ(result.value(), row.nickname);
}

INSTANTIATE_TEST_SUITE_P(
    Table, NicknameTest,
    testing::Values(
        NicknameRow{"CodedSpace", "Alice%20Smith", "Alice Smith"},
        NicknameRow{"HyphenThenParenthesis", "Tom-Lee(busy)", "Tom Lee"},
        NicknameRow{"SpaceBeforeCutStays", "Alice%20(busy)", "Alice "},
        NicknameRow{"WrappedInCodes", "(L)Alice(L)", "Alice"}, NicknameRow{"DevilCode", "(6)Bob", "Bob"},
        NicknameRow{"NoseCode", "^o)Bob", "Bob"}, NicknameRow{"InnerSpacesNotMerged", "Ann%20:)%20x", "Ann   x"},
        NicknameRow{"DoubleBar", "abc||def", "abc def"}, NicknameRow{"TrailingCodesTrimmed", "Eve:)(L)", "Eve"},
        NicknameRow{"HyphenBreaksCode", ":-OJoe", ""}, NicknameRow{"LowerStepWinsOverlap", ":(H)Max", ""},
        NicknameRow{"StartsWithCutCharacter", "(Alice)", ""}, NicknameRow{"Exclamation", "Joe!!!", "Joe"},
        NicknameRow{"FullStop", "Ann.Lee", "Ann"}, NicknameRow{"AngleBracket", "Bob<away>", "Bob"},
        NicknameRow{"FullWidthColon", "小明：今天很忙", "小明"},
        NicknameRow{"FullWidthParenthesis", "王五（忙）", "王五"},
        NicknameRow{"DoubleAngleBracket", "Amy《在线》", "Amy"},
        // Decoded before the rules: the comma then cuts the name.
        NicknameRow{"PercentCodedCommaCuts", "Bob%2C", "Bob"},
        NicknameRow{"LeadingCodedSpacesTrimmed", "%20%20Bob", "Bob"},
        NicknameRow{"QuotedKeepsSpacesAndCuts", "\"Alice Smith (busy)\"", "Alice Smith "},
        NicknameRow{"QuotedTrimmed", "\" \tBob \"", "Bob"}, NicknameRow{"QuotedCommaCuts", "\"Bob, at home\"", "Bob"},
        NicknameRow{"CaseSensitiveCode", "(s)Bob", ""}, NicknameRow{"LowercasePIsNoCode", ":pBob", ""},
        NicknameRow{"SnailCode", "(sn)Bob", "Bob"}, NicknameRow{"CryingCode", ":'(Bob", "Bob"},
        NicknameRow{"PartyCode", "<:o)Ann", "Ann"}, NicknameRow{"SingleBarCuts", "Bob|x", "Bob"},
        NicknameRow{"Semicolon", "Bob;x", "Bob"}, NicknameRow{"FullWidthComma", "小明，你好", "小明"},
        NicknameRow{"FullWidthExclamation", "Bob！", "Bob"}, NicknameRow{"IdeographicFullStop", "小明。", "小明"},
        NicknameRow{"SquareBracket", "Bob[x]", "Bob"}, NicknameRow{"CodedSpaceInChinese", "王%20五", "王 五"},
        NicknameRow{"EarliestCutWins", "a.b(c", "a"}, NicknameRow{"OnlyCodes", "(L)%20(L)", ""},
        // Percent codes as servers and clients write them.
        NicknameRow{"CodedPercentSign", "Alice%20100%25", "Alice 100%"},
        NicknameRow{"CodedUtf8", "%E5%B0%8F%E6%98%8E", "小明"},
        NicknameRow{"LowerCaseHexDigits", "%e5%b0%8f%e6%98%8e", "小明"},
        NicknameRow{"RawUtf8BesideCodes", "小明%20Lee", "小明 Lee"},
        NicknameRow{"CodedHyphenIsASpace", "Tom%2DLee", "Tom Lee"},
        NicknameRow{"CodedColonCuts", "小明%EF%BC%9A今天很忙", "小明"},
        NicknameRow{"CodedLineBreakTrimmed", "Bob%0D%0A", "Bob"},
        NicknameRow{"PercentWithoutHexStays", "100%zz", "100%zz"}, NicknameRow{"PercentAtEndStays", "Bob%2", "Bob%2"},
        // Bytes that are no UTF-8 once decoded: the whole name as written, its coded spaces still spaces.
        NicknameRow{"TruncatedCharacterStaysWritten", "%E5%B0%20Bob", "%E5%B0 Bob"},
        NicknameRow{"LoneHighByteStaysWritten", "Ann%FF", "Ann%FF"}, NicknameRow{"CodedNulIsNoText", "A%00B", "A%00B"}),
    RowName<NicknameRow>);

TEST(PercentDecodeName, InvalidResultsGiveTheNameAsWritten)
{
    EXPECT_EQ(PercentDecodeName("Alice%20100%25"), "Alice 100%");
    EXPECT_EQ(PercentDecodeName("%E5%B0%8F"), "小");
    EXPECT_EQ(PercentDecodeName("%E5%B0"), "%E5%B0");       // cut inside a character
    EXPECT_EQ(PercentDecodeName("%C0%AF"), "%C0%AF");       // overlong form
    EXPECT_EQ(PercentDecodeName("%ED%A0%80"), "%ED%A0%80"); // a surrogate
    EXPECT_EQ(PercentDecodeName("%%41"), "%A");
}

// --- bodies ------------------------------------------------------------------------------------

struct BodyRow {
    std::string name;
    std::string payload;
    std::string body;
};

class BodyTest : public testing::TestWithParam<BodyRow> {};

TEST_P(BodyTest, LinesAfterTheEmptyLineEndingTheHeaders)
{
    EXPECT_EQ(ExtractBody(GetParam().payload), GetParam().body);
}

INSTANTIATE_TEST_SUITE_P(
    Table, BodyTest,
    testing::Values(BodyRow{"TwoLines", WithBody("line one\r\nline two"), "line one\r\n line two"},
                    BodyRow{"EndsWithEmptyLine", "MSG 12 N 80\r\nMIME-Version: 1.0\r\n\r\n", ""},
                    BodyRow{"BodyHoldsEmptyLine", WithBody("first\r\n\r\nsecond"), "first\r\n \r\n second"},
                    BodyRow{"ParagraphsOfChinese", WithBody("第一段\r\n\r\n第二段"), "第一段\r\n \r\n 第二段"},
                    BodyRow{"SeveralEmptyLinesInside", WithBody("a\r\n\r\n\r\nb\r\n\r\n"), "a\r\n \r\n \r\n b"},
                    BodyRow{"BodyStartsWithEmptyLine", WithBody("\r\nlater"), "later"},
                    BodyRow{"WindowsLiveMessengerHeaders",
                            "MSG 5 N 150\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n"
                            "X-MMS-IM-Format: FN=Segoe%20UI; EF=; CO=0; CS=1; PF=0\r\n\r\nhi\r\n\r\nthere",
                            "hi\r\n \r\n there"},
                    BodyRow{"RelayedFromServer",
                            "MSG ann@example.com Ann%20Lee 133\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; "
                            "charset=UTF-8\r\nX-MMS-IM-Format: FN=MS%20Shell%20Dlg; EF=; CO=0; CS=0; PF=0\r\n\r\n"
                            "first\r\n\r\nsecond",
                            "first\r\n \r\n second"},
                    BodyRow{"NoEmptyLine", "MSG 12 N 80\r\nhello", "MSG 12 N 80\r\n hello"},
                    BodyRow{"OneLineTrimmed", WithBody("  hi  "), "hi"},
                    BodyRow{"InnerEndsNotTrimmed", WithBody(" a \r\n b "), "a \r\n  b"},
                    BodyRow{"LineOfSpacesIsNotEmpty", WithBody("x\r\n   \r\ny"), "x\r\n    \r\n y"},
                    BodyRow{"LfLines", "H\n\nx\ny", "x\r\n y"}, BodyRow{"CrLines", "H\r\rx\ry", "x\r\n y"},
                    BodyRow{"LfCrIsTwoBreaks", "H\n\rx", "x"}, BodyRow{"CrLfIsOneBreak", "H\r\nx", "H\r\n x"},
                    BodyRow{"FinalBreakBeginsNoLine", WithBody("x\r\n"), "x"},
                    BodyRow{"NulEndsTheText", WithBody("ab\0\r\n\r\ncd"s), "ab"},
                    BodyRow{"NulRightAfterEmptyLine", WithBody("\0cd"s), ""}, BodyRow{"Empty", "", ""},
                    BodyRow{"OnlyBreak", "\r\n", ""}, BodyRow{"FirstLineEmpty", "\r\nx", "x"},
                    BodyRow{"TabKeptInsideLine", WithBody("x\r\n\ty"), "x\r\n \ty"},
                    BodyRow{"Chinese", WithBody("你好，世界"), "你好，世界"}),
    RowName<BodyRow>);

// --- emoticon wording --------------------------------------------------------------------------

struct TextRow {
    std::string name;
    std::string body;
    std::string result;
};

class WordingTest : public testing::TestWithParam<TextRow> {};

TEST_P(WordingTest, Body)
{
    EXPECT_EQ(EmoticonsToWords(WithBody(GetParam().body)), GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WordingTest,
    testing::Values(
        TextRow{"TwoLines", "line one\r\nline two", "line one\r\n line two"}, TextRow{"EmptyBody", "", ""},
        TextRow{"Trimmed", "  hi  ", "hi"}, TextRow{"HotBeforeSad", ":(H)", ":[热烈的笑脸]"},
        TextRow{"SadBeforeDevil", ":(6)", "[悲伤]6)"}, TextRow{"GrittedBeforeSleepy", "8o|-)", "[咬牙切齿]-)"},
        TextRow{"ThinkingBeforeSecret", ":-*-)", ":-[正在思考]"}, TextRow{"InsideText", "a:)b", "a[微笑]b"},
        TextRow{"Repeated", ":D:D", "[大笑][大笑]"}, TextRow{"CaseMatters", "(sn)(S)", "[蜗牛][沉睡的弯月]"},
        TextRow{"LowerPUnchanged", ":p", ":p"}, TextRow{"LowerHUnchanged", "(h)", "(h)"},
        TextRow{"LowerDUnchanged", ":d", ":d"}, TextRow{"WordFormsNoCode", "(:))", "([微笑])"},
        TextRow{"EveryLine", "a:)\r\nb;)", "a[微笑]\r\n b[眨眼]"},
        TextRow{"BetweenChinese", "你好:)再见", "你好[微笑]再见"}, TextRow{"NoSpacesAdded", "x (L) y", "x [红心] y"}),
    RowName<TextRow>);

TEST(Wording, EachCodeAloneBecomesItsOwnWord)
{
    for (const auto& entry : EmoticonWordTable)
        EXPECT_EQ(EmoticonsToWords(WithBody(entry.code)), entry.word) << entry.code;
}

// --- emoticon removal --------------------------------------------------------------------------

class RemovalTest : public testing::TestWithParam<TextRow> {};

TEST_P(RemovalTest, Body)
{
    EXPECT_EQ(RemoveEmoticons(WithBody(GetParam().body)), GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RemovalTest,
    testing::Values(TextRow{"InsideText", "a:)b", "ab"}, TextRow{"OnlyCodes", ":):)", ""},
                    TextRow{"NotTrimmedAgain", ":) :)", " "}, TextRow{"LeadingSpaceStays", ":) hi", " hi"},
                    TextRow{"JoinFoundBySecondSweep", ":(H))", ""}, TextRow{"NestedAngel", "((A)A)", ""},
                    TextRow{"ParenthesesLeft", "(:))", "()"}, TextRow{"JoinAfterItsStepStays", "8o(L)|", "8o|"},
                    TextRow{"SadThenDevil", "(:(6))", ")"}, TextRow{"ThinkingBeforeSecret", ":-*-)", ":-"},
                    TextRow{"Dunce", "x:-By", "xy"}, TextRow{"LowerPUnchanged", ":p", ":p"},
                    TextRow{"EmptyBody", "", ""}, TextRow{"TwoLines", "a(L)\r\n(L)b", "a\r\n b"},
                    // A join is not searched again by the step that made it; ":D" has no second-sweep step.
                    TextRow{"SameStepDoesNotRescan", "::DD", ":D"},
                    TextRow{"FirstSweepOnlyCodeFormedLater", ":8-|D", ":D"},
                    TextRow{"FormedInSecondSweepBeforeItsStep", "(:-B6)", "(6)"},
                    TextRow{"FormedInSecondSweepAfterItsStepPassed", "((6)L)", "(L)"},
                    TextRow{"FormedInSecondSweepFoundLater", "(K(6))", ""},
                    TextRow{"DevilOnlyInSecondSweep", "x(6)y", "xy"}, TextRow{"BetweenChinese", "你(L)好", "你好"}),
    RowName<TextRow>);

// --- the tables' stated relations --------------------------------------------------------------

TEST(Tables, FirstRemovalSweepIsTheFirstFortyWordCodes)
{
    for (std::size_t i = 0; i < 40; ++i)
        EXPECT_EQ(EmoticonRemovalSteps[i], EmoticonWordTable[i].code) << "step " << i + 1;
}

TEST(Tables, SecondSweepRepeats22CodesAndAddsDevilAndDunce)
{
    const std::set<std::string_view> first(EmoticonRemovalSteps.begin(), EmoticonRemovalSteps.begin() + 40);
    const std::vector<std::string_view> second(EmoticonRemovalSteps.begin() + 40, EmoticonRemovalSteps.end());
    std::vector<std::string_view> added;
    int repeated = 0;
    for (auto code : second)
        first.count(code) ? ++repeated : (added.push_back(code), 0);
    EXPECT_EQ(repeated, 22);
    EXPECT_EQ(added, (std::vector<std::string_view>{"(6)", ":-B"}));

    const std::set<std::string_view> secondSet(second.begin(), second.end());
    std::set<std::string_view> firstOnly;
    for (auto code : first)
        if (!secondSet.count(code))
            firstOnly.insert(code);
    EXPECT_EQ(firstOnly, (std::set<std::string_view>{":D", "8o|", "8-|", ":-*", "(M)", "(@)", "(&)", "(sn)", "(bah)",
                                                     "(S)", "(*)", "(#)", "(R)", "({)", "(})", "(F)", "(W)", "(O)"}));
}

TEST(Tables, WordsAreBracketedAndCodesHoldNoBracket)
{
    for (const auto& entry : EmoticonWordTable) {
        EXPECT_EQ(entry.word.front(), '[') << entry.code;
        EXPECT_EQ(entry.word.back(), ']') << entry.code;
        EXPECT_EQ(entry.word.substr(1, entry.word.size() - 2).find_first_of("[]"), std::string_view::npos);
        EXPECT_EQ(entry.code.find_first_of("[]"), std::string_view::npos) << entry.code;
    }
}

TEST(Tables, CutCharactersAreSingleCharacters)
{
    for (auto c : NicknameCutCharacters) {
        // One ASCII byte, or one three-byte UTF-8 sequence (the full-width forms).
        const bool ascii = c.size() == 1 && static_cast<unsigned char>(c[0]) < 0x80;
        const bool wide = c.size() == 3 && (static_cast<unsigned char>(c[0]) & 0xF0) == 0xE0;
        EXPECT_TRUE(ascii || wide) << c;
    }
}

} // namespace
