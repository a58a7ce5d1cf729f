#pragma once
// Sender names and message bodies of captured chat payloads, on UTF-8 text.
// Pure functions: no state, no I/O, no Qt.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorvel::text {

// The value of one command-line field, or the index of the field that the text lacks.
class FieldResult {
public:
    static FieldResult Found(std::string value) { return FieldResult(std::move(value), -1); }
    static FieldResult Missing(int index) { return FieldResult({}, index); }

    bool ok() const { return m_missingIndex < 0; }
    const std::string& value() const { return m_value; }
    int missingIndex() const { return m_missingIndex; }
    // The report the program shows for a missing field: "List index out of bounds (2)".
    std::string errorMessage() const;

private:
    FieldResult(std::string value, int missingIndex) : m_value(std::move(value)), m_missingIndex(missingIndex) {}
    std::string m_value;
    int m_missingIndex;
};

// Splits text into fields (white space / comma separated, double-quoted fields) and stops after
// maxFields fields; a NUL character ends the text.
std::vector<std::string> SplitFields(std::string_view text, std::size_t maxFields = SIZE_MAX);

FieldResult ExtractAccount(std::string_view payload);  // field 1, unchanged
FieldResult ExtractNickname(std::string_view payload); // field 2, cleaned to a speakable name

// A name as the protocol encodes it: every %XX is a byte and the bytes are read as UTF-8. A result
// that is not valid UTF-8 (or holds a NUL) gives the name back as written.
std::string PercentDecodeName(std::string_view name);
// The nickname rules on one name field: decoded, emoticon codes and hyphens as spaces, trimmed, cut.
std::string CleanNickname(std::string_view field);

std::string ExtractBody(std::string_view payload);      // the lines after the empty line that ends the headers
std::string EmoticonsToWords(std::string_view payload); // body, emoticon codes as bracketed words
std::string RemoveEmoticons(std::string_view payload);  // body, emoticon codes deleted

} // namespace quorvel::text
