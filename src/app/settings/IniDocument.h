#pragma once
// An INI file held as its lines, read and changed the way the Windows profile functions do it:
// case-insensitive section and key names, the first match wins, values replaced in place, every
// other line kept byte for byte (comments, blank lines, other sections, unknown keys).

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::settings {

class IniDocument {
public:
    // Any bytes are accepted; parse(x).serialize() == x.
    static IniDocument parse(std::string_view bytes);
    std::string serialize() const;

    // The value as the profile functions hand it out: blanks around it trimmed, one pair of
    // enclosing quotes stripped, at most maxValueLength characters. nullopt: no such key.
    std::optional<std::string> value(std::string_view section, std::string_view key) const;

    // Replaces the key's value in place; a new key goes behind the section's last entry (behind its
    // last comment when it has no entry yet), a new section at the end of the file. New lines take the file's line
    // ending (LF for a new file).
    void set(std::string_view section, std::string_view key, std::string_view value);

    static constexpr std::size_t maxValueLength = 2047;

    // Files with thousands of sections: cut before each section header, so that each part is read
    // and changed on its own; the first part holds what stands before the first section.
    // join(splitSections()) == *this.
    std::vector<IniDocument> splitSections() const;
    static IniDocument join(const std::vector<IniDocument>& parts);
    // Name of the section whose header is the first line; nullopt for the part before the first section.
    std::optional<std::string> leadingSection() const;
    // An empty document that writes new lines with this one's line ending.
    IniDocument emptyLike() const;

private:
    struct Line {
        std::string text;
        std::string ending; // "\n", "\r\n", or "" for a last line without a break
    };

    std::optional<std::size_t> findSection(std::string_view section) const;
    std::size_t sectionEnd(std::size_t header) const;
    std::optional<std::size_t> findKey(std::size_t header, std::string_view key) const;
    void insertLine(std::size_t at, std::string text);

    std::string m_bom;
    std::vector<Line> m_lines;
    std::string m_newline = "\n";
};

} // namespace quorvel::settings
