#include "JsonWriter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorvel::replay {
namespace {

using namespace std::string_literals;

struct QuoteCase {
    const char* name;
    std::string input;
    std::string expected;
};

const std::vector<QuoteCase> QuoteCases = {
    {"Empty", "", R"("")"},
    {"Plain", "Hello", R"("Hello")"},
    {"Quote", "say \"hi\"", R"("say \"hi\"")"},
    {"Backslash", "a\\b", R"("a\\b")"},
    {"CrLf", "one\r\n two", R"("one\r\n two")"},
    {"Tab", "a\tb", R"("a\u0009b")"},
    {"LowControls", "\x01\x1f", R"("\u0001\u001f")"},
    {"Nul", "a\0b"s, R"("a\u0000b")"},
    {"DelKept", "\x7f", "\"\x7f\""},
    {"Slash", "text/plain", R"("text/plain")"},
    {"Chinese", "我 说：你好", R"("我 说：你好")"},
    {"FourByte", "\xF0\x9F\x98\x80", "\"\xF0\x9F\x98\x80\""},
    {"InvalidUtf8Repaired", "a\xFF", "\"a\xEF\xBF\xBD\""},
};

class JsonQuoteTest : public ::testing::TestWithParam<QuoteCase> {};

TEST_P(JsonQuoteTest, Escapes)
{
    EXPECT_EQ(JsonQuote(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Strings, JsonQuoteTest, ::testing::ValuesIn(QuoteCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(JsonWriter, SeparatesMembersAndElements)
{
    JsonWriter json;
    json.beginObject().key("frame").value(std::int64_t{12}).key("log").beginArray();
    json.beginObject().key("text").value("a").endObject();
    json.beginObject().key("text").value("b").endObject();
    json.endArray().key("empty").beginArray().endArray().key("speak").null().endObject();
    EXPECT_EQ(json.str(), R"({"frame":12,"log":[{"text":"a"},{"text":"b"}],"empty":[],"speak":null})");
}

} // namespace
} // namespace quorvel::replay
