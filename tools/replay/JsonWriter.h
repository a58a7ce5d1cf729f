#pragma once
// Just enough JSON for one line per record: objects, arrays, strings, integers, null.

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvel::replay {

class JsonWriter {
public:
    JsonWriter& beginObject();
    JsonWriter& endObject();
    JsonWriter& beginArray();
    JsonWriter& endArray();
    JsonWriter& key(std::string_view name);
    JsonWriter& value(std::string_view text); // UTF-8
    JsonWriter& value(const char* text) { return value(std::string_view(text)); }
    JsonWriter& value(std::int64_t number);
    JsonWriter& null();

    const std::string& str() const { return m_out; }

private:
    void separate();
    std::string m_out;
    bool m_needComma = false;
};

// A JSON string literal: quotes, backslash and control characters escaped (CR and LF as \r and \n,
// the others as \u00XX). Input that is not valid UTF-8 is repaired with U+FFFD first.
std::string JsonQuote(std::string_view utf8);

} // namespace quorvel::replay
