#include "JsonWriter.h"

#include "text/Utf8.h"

#include <cstdio>

namespace quorvel::replay {

std::string JsonQuote(std::string_view utf8)
{
    std::string repaired;
    if (!text::IsValidUtf8(utf8)) {
        repaired = text::DecodeUtf8Lossy(utf8);
        utf8 = repaired;
    }
    std::string out;
    out.reserve(utf8.size() + 2);
    out += '"';
    for (const char c : utf8) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
                out += escape;
            } else {
                out += c;
            }
        }
    }
    out += '"';
    return out;
}

void JsonWriter::separate()
{
    if (m_needComma)
        m_out += ',';
    m_needComma = true;
}

JsonWriter& JsonWriter::beginObject()
{
    separate();
    m_out += '{';
    m_needComma = false;
    return *this;
}

JsonWriter& JsonWriter::endObject()
{
    m_out += '}';
    m_needComma = true;
    return *this;
}

JsonWriter& JsonWriter::beginArray()
{
    separate();
    m_out += '[';
    m_needComma = false;
    return *this;
}

JsonWriter& JsonWriter::endArray()
{
    m_out += ']';
    m_needComma = true;
    return *this;
}

JsonWriter& JsonWriter::key(std::string_view name)
{
    separate();
    m_out += JsonQuote(name);
    m_out += ':';
    m_needComma = false;
    return *this;
}

JsonWriter& JsonWriter::value(std::string_view text)
{
    separate();
    m_out += JsonQuote(text);
    return *this;
}

JsonWriter& JsonWriter::value(std::int64_t number)
{
    separate();
    m_out += std::to_string(number);
    return *this;
}

JsonWriter& JsonWriter::null()
{
    separate();
    m_out += "null";
    return *this;
}

} // namespace quorvel::replay
