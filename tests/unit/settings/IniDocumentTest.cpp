// The INI document: lookup rules, in-place replacement, and that every other byte is kept.

#include "app/settings/IniDocument.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

using namespace std::string_literals;
using quorvel::settings::IniDocument;

namespace {

template <typename Row> std::string RowName(const testing::TestParamInfo<Row>& info)
{
    return info.param.name;
}

struct LookupRow {
    std::string name;
    std::string file;
    std::string section;
    std::string key;
    std::optional<std::string> value;
};

class IniLookupTest : public testing::TestWithParam<LookupRow> {};

TEST_P(IniLookupTest, Value)
{
    const auto& row = GetParam();
    EXPECT_EQ(IniDocument::parse(row.file).value(row.section, row.key), row.value);
}

const std::string LongValue = "-" + std::string(2045, '0') + "5" + "x"; // 2048 characters

INSTANTIATE_TEST_SUITE_P(
    Table, IniLookupTest,
    testing::Values(
        LookupRow{"Plain", "[set]\nRate=3\n", "set", "Rate", "3"},
        LookupRow{"SectionCaseIgnored", "[SeT]\nRate=3\n", "set", "Rate", "3"},
        LookupRow{"KeyCaseIgnored", "[set]\nrATE=3\n", "set", "Rate", "3"},
        LookupRow{"BlanksAroundTrimmed", "  [ set ]  \n \t Rate \t= \t3 \t\n", "set", "Rate", "3"},
        LookupRow{"DoubleQuotesStripped", "[set]\nRate=\" 3 \"\n", "set", "Rate", " 3 "},
        LookupRow{"SingleQuotesStripped", "[set]\nRate='3'\n", "set", "Rate", "3"},
        LookupRow{"UnpairedQuoteKept", "[set]\nRate=\"3\n", "set", "Rate", "\"3"},
        LookupRow{"LoneQuoteKept", "[set]\nRate=\"\n", "set", "Rate", "\""},
        LookupRow{"EmptyValue", "[set]\nRate=\n", "set", "Rate", ""},
        LookupRow{"EqualsInValue", "[set]\nRate=a=b\n", "set", "Rate", "a=b"},
        LookupRow{"MissingKey", "[set]\nVolume=3\n", "set", "Rate", std::nullopt},
        LookupRow{"MissingSection", "[other]\nRate=3\n", "set", "Rate", std::nullopt},
        LookupRow{"KeyOfOtherSectionIgnored", "[other]\nRate=3\n[set]\nVolume=1\n", "set", "Rate", std::nullopt},
        LookupRow{"KeyBeforeAnySectionIgnored", "Rate=3\n[set]\n", "set", "Rate", std::nullopt},
        LookupRow{"FirstSectionWins", "[set]\nRate=1\n[SET]\nRate=2\n", "set", "Rate", "1"},
        LookupRow{"FirstKeyWins", "[set]\nRate=1\nRATE=2\n", "set", "Rate", "1"},
        LookupRow{"CommentIsNoKey", "[set]\n;Rate=5\n", "set", "Rate", std::nullopt},
        LookupRow{"LineWithoutEqualsIsNoKey", "[set]\nRate\n", "set", "Rate", std::nullopt},
        LookupRow{"CrLf", "[set]\r\nRate=3\r\nVolume=4\r\n", "set", "Volume", "4"},
        LookupRow{"NoFinalBreak", "[set]\nRate=3", "set", "Rate", "3"},
        LookupRow{"Utf8Bom", "\xEF\xBB\xBF[set]\nRate=3\n", "set", "Rate", "3"},
        LookupRow{"TextBehindHeaderIgnored", "[set] ; ours\nRate=3\n", "set", "Rate", "3"},
        LookupRow{"AtMost2047Characters", "[set]\nRate=" + LongValue + "\n", "set", "Rate", LongValue.substr(0, 2047)}),
    RowName<LookupRow>);

struct SetRow {
    std::string name;
    std::string before;
    std::string key;
    std::string value;
    std::string after;
};

class IniSetTest : public testing::TestWithParam<SetRow> {};

TEST_P(IniSetTest, Serialized)
{
    const auto& row = GetParam();
    auto doc = IniDocument::parse(row.before);
    doc.set("set", row.key, row.value);
    EXPECT_EQ(doc.serialize(), row.after);
    EXPECT_EQ(IniDocument::parse(doc.serialize()).value("set", row.key), row.value);
}

INSTANTIATE_TEST_SUITE_P(
    Table, IniSetTest,
    testing::Values(SetRow{"NewFile", "", "Rate", "0", "[set]\nRate=0\n"},
                    SetRow{"ReplacedInPlace", "[set]\nRate=1\nVolume=2\n", "Rate", "5", "[set]\nRate=5\nVolume=2\n"},
                    SetRow{"KeySpellingKept", "[SET]\n  RATE = 1 \n", "Rate", "5", "[SET]\nRATE=5\n"},
                    SetRow{"NewKeyAtEndOfSection", "[set]\nRate=1\n[other]\nx=1\n", "Volume", "2",
                           "[set]\nRate=1\nVolume=2\n[other]\nx=1\n"},
                    SetRow{"NewKeyBeforeBlankAndComment", "[set]\nRate=1\n\n; next\n[other]\n", "Volume", "2",
                           "[set]\nRate=1\nVolume=2\n\n; next\n[other]\n"},
                    SetRow{"NewKeyInEmptySection", "[set]\n[other]\n", "Rate", "1", "[set]\nRate=1\n[other]\n"},
                    SetRow{"NewKeyAtEndWithoutFinalBreak", "[set]\nRate=1", "Volume", "2", "[set]\nRate=1\nVolume=2\n"},
                    SetRow{"MissingSectionAppended", "; hello\n[other]\nx=1", "Rate", "3",
                           "; hello\n[other]\nx=1\n[set]\nRate=3\n"},
                    SetRow{"CrLfKept", "[set]\r\nRate=1\r\n", "Volume", "2", "[set]\r\nRate=1\r\nVolume=2\r\n"},
                    SetRow{"CrLfKeptForNewSection", "[a]\r\nx=1\r\n", "Rate", "3", "[a]\r\nx=1\r\n[set]\r\nRate=3\r\n"},
                    SetRow{"EachLineKeepsItsEnding", "[set]\nRate=1\r\nVolume=2\n", "Rate", "7",
                           "[set]\nRate=7\r\nVolume=2\n"},
                    SetRow{"BomKept", "\xEF\xBB\xBF[set]\nRate=1\n", "Rate", "2", "\xEF\xBB\xBF[set]\nRate=2\n"},
                    SetRow{"OnlyFirstOfDuplicates", "[set]\nRate=1\nRate=2\n[set]\nRate=3\n", "Rate", "9",
                           "[set]\nRate=9\nRate=2\n[set]\nRate=3\n"},
                    SetRow{"ShorterValueReplacesLongerOne", "[set]\nRate=" + std::string(300, '7') + "\n;end\n", "Rate",
                           "2", "[set]\nRate=2\n;end\n"},
                    SetRow{"LastLineGetsTheFilesBreak", "\r\n[SET]\nho ", "Rate", "1", "\r\n[SET]\nho \r\nRate=1\r\n"},
                    SetRow{"CommentNotTakenForKey", "[set]\n;Rate=1\n", "Rate", "4", "[set]\n;Rate=1\nRate=4\n"}),
    RowName<SetRow>);

TEST(IniDocument, UnchangedDocumentSerializesToTheSameBytes)
{
    const std::string files[] = {
        "",
        "\xEF\xBB\xBF",
        "[set]\r\nRate=1\r\n\r\n; comment\r\n[other]\r\nx = y \r\n",
        "no break at all",
        "a\r\r\n\n\r\nb\r",
        "\0[set]\0\nRate=\0\n"s,
    };
    for (const auto& file : files)
        EXPECT_EQ(IniDocument::parse(file).serialize(), file);
}

} // namespace
