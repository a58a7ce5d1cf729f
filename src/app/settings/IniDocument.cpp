#include "app/settings/IniDocument.h"

namespace quorvel::settings {

namespace {

constexpr std::string_view Utf8Bom = "\xEF\xBB\xBF";

constexpr bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

// "[name]" with blanks allowed around the name and the brackets; text behind the last ']' is ignored.
std::optional<std::string_view> SectionName(std::string_view line)
{
    const auto t = Trim(line);
    if (t.empty() || t.front() != '[')
        return std::nullopt;
    const auto close = t.rfind(']');
    if (close == std::string_view::npos || close == 0)
        return std::nullopt;
    return Trim(t.substr(1, close - 1));
}

bool IsComment(std::string_view line)
{
    const auto t = Trim(line);
    return !t.empty() && t.front() == ';';
}

struct Entry {
    std::string_view key;
    std::string_view value;
};

std::optional<Entry> EntryOf(std::string_view line)
{
    if (IsComment(line) || SectionName(line))
        return std::nullopt;
    const auto eq = line.find('=');
    if (eq == std::string_view::npos)
        return std::nullopt;
    return Entry{Trim(line.substr(0, eq)), Trim(line.substr(eq + 1))};
}

} // namespace

IniDocument IniDocument::parse(std::string_view bytes)
{
    IniDocument doc;
    if (bytes.substr(0, Utf8Bom.size()) == Utf8Bom) {
        doc.m_bom = Utf8Bom;
        bytes.remove_prefix(Utf8Bom.size());
    }
    bool newlineSeen = false;
    while (!bytes.empty()) {
        const auto lf = bytes.find('\n');
        Line line;
        if (lf == std::string_view::npos) {
            line.text = bytes;
            bytes = {};
        } else {
            std::string_view text = bytes.substr(0, lf);
            if (!text.empty() && text.back() == '\r') {
                text.remove_suffix(1);
                line.ending = "\r\n";
            } else {
                line.ending = "\n";
            }
            line.text = text;
            bytes.remove_prefix(lf + 1);
            if (!newlineSeen) {
                doc.m_newline = line.ending;
                newlineSeen = true;
            }
        }
        doc.m_lines.push_back(std::move(line));
    }
    return doc;
}

std::string IniDocument::serialize() const
{
    std::string out = m_bom;
    for (const auto& line : m_lines) {
        out += line.text;
        out += line.ending;
    }
    return out;
}

std::optional<std::size_t> IniDocument::findSection(std::string_view section) const
{
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        const auto name = SectionName(m_lines[i].text);
        if (name && EqualsIgnoreCase(*name, section))
            return i;
    }
    return std::nullopt;
}

std::size_t IniDocument::sectionEnd(std::size_t header) const
{
    std::size_t i = header + 1;
    while (i < m_lines.size() && !SectionName(m_lines[i].text))
        ++i;
    return i;
}

std::optional<std::size_t> IniDocument::findKey(std::size_t header, std::string_view key) const
{
    const auto end = sectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
        const auto entry = EntryOf(m_lines[i].text);
        if (entry && EqualsIgnoreCase(entry->key, key))
            return i;
    }
    return std::nullopt;
}

std::optional<std::string> IniDocument::value(std::string_view section, std::string_view key) const
{
    const auto header = findSection(section);
    if (!header)
        return std::nullopt;
    const auto at = findKey(*header, key);
    if (!at)
        return std::nullopt;
    std::string_view v = EntryOf(m_lines[*at].text)->value;
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return std::string(v.substr(0, maxValueLength));
}

void IniDocument::insertLine(std::size_t at, std::string text)
{
    // The line in front needs a break of its own when it used to be the file's last.
    if (at > 0 && m_lines[at - 1].ending.empty())
        m_lines[at - 1].ending = m_newline;
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(at), Line{std::move(text), m_newline});
}

void IniDocument::set(std::string_view section, std::string_view key, std::string_view value)
{
    const auto header = findSection(section);
    if (!header) {
        insertLine(m_lines.size(), "[" + std::string(section) + "]");
        insertLine(m_lines.size(), std::string(key) + "=" + std::string(value));
        return;
    }
    if (const auto at = findKey(*header, key)) {
        // Keep the key as the file spells it; only the value changes.
        auto& line = m_lines[*at];
        line.text = std::string(EntryOf(line.text)->key) + "=" + std::string(value);
        return;
    }
    // Behind the last entry of the section, so that blank lines and comments that lead into the
    // next section stay in front of it; in a section without entries behind its last text.
    std::optional<std::size_t> lastEntry;
    std::size_t lastText = *header;
    const auto end = sectionEnd(*header);
    for (std::size_t i = *header + 1; i < end; ++i) {
        if (Trim(m_lines[i].text).empty())
            continue;
        lastText = i;
        if (!IsComment(m_lines[i].text))
            lastEntry = i;
    }
    insertLine(lastEntry.value_or(lastText) + 1, std::string(key) + "=" + std::string(value));
}

std::vector<IniDocument> IniDocument::splitSections() const
{
    std::vector<IniDocument> parts(1, emptyLike());
    parts.front().m_bom = m_bom;
    for (const auto& line : m_lines) {
        if (SectionName(line.text))
            parts.push_back(emptyLike());
        parts.back().m_lines.push_back(line);
    }
    return parts;
}

IniDocument IniDocument::join(const std::vector<IniDocument>& parts)
{
    IniDocument doc;
    if (parts.empty())
        return doc;
    doc.m_bom = parts.front().m_bom;
    doc.m_newline = parts.front().m_newline;
    for (const auto& part : parts) {
        if (part.m_lines.empty())
            continue;
        // A part that used to end the file needs a break when another one follows it.
        if (!doc.m_lines.empty() && doc.m_lines.back().ending.empty())
            doc.m_lines.back().ending = doc.m_newline;
        doc.m_lines.insert(doc.m_lines.end(), part.m_lines.begin(), part.m_lines.end());
    }
    return doc;
}

std::optional<std::string> IniDocument::leadingSection() const
{
    if (m_lines.empty())
        return std::nullopt;
    if (const auto name = SectionName(m_lines.front().text))
        return std::string(*name);
    return std::nullopt;
}

IniDocument IniDocument::emptyLike() const
{
    IniDocument doc;
    doc.m_newline = m_newline;
    return doc;
}

} // namespace quorvel::settings
