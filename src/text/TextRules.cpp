#include "text/TextRules.h"

#include "text/Ascii.h"
#include "text/Tables.h"
#include "text/Utf8.h"

namespace quorvel::text {

namespace {

// Bytes 1..32: white space and control characters, which separate fields. NUL ends the text.
constexpr bool IsBlank(char c)
{
    return c != '\0' && static_cast<unsigned char>(c) <= 32;
}
constexpr bool IsTrimmed(char c)
{
    return static_cast<unsigned char>(c) <= 32;
}

std::string_view UpToNul(std::string_view text)
{
    const auto nul = text.find('\0');
    return nul == std::string_view::npos ? text : text.substr(0, nul);
}

std::string_view Trim(std::string_view text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsTrimmed(text[begin]))
        ++begin;
    while (end > begin && IsTrimmed(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

// Replaces every occurrence of `code`, left to right without overlaps; the scan goes on behind each
// replaced place in the original, so what a replacement brings together is not searched again.
void ReplaceAll(std::string& text, std::string_view code, std::string_view with)
{
    auto pos = text.find(code);
    if (pos == std::string::npos)
        return;
    std::string out;
    out.reserve(text.size());
    std::size_t from = 0;
    while (pos != std::string::npos) {
        out.append(text, from, pos - from);
        out.append(with);
        from = pos + code.size();
        pos = text.find(code, from);
    }
    out.append(text, from, std::string::npos);
    text = std::move(out);
}

} // namespace

std::string FieldResult::errorMessage() const
{
    if (ok())
        return {};
    return "List index out of bounds (" + std::to_string(m_missingIndex) + ")";
}

std::vector<std::string> SplitFields(std::string_view text, std::size_t maxFields)
{
    // NUL ends the text; it is found while scanning so that a few leading fields of a long payload
    // cost only what they span.
    std::vector<std::string> fields;
    std::size_t n = text.size();
    std::size_t p = 0;
    const auto atEnd = [&] {
        if (p < n && text[p] == '\0')
            n = p;
        return p >= n;
    };
    const auto skipBlanks = [&] {
        while (!atEnd() && IsBlank(text[p]))
            ++p;
    };

    skipBlanks();
    while (fields.size() < maxFields && !atEnd()) {
        std::string field;
        if (text[p] == '"') {
            // A quoted field without its closing quote runs to the end of the text.
            ++p;
            while (!atEnd()) {
                const auto stop = text.find_first_of(std::string_view("\"\0", 2), p);
                const std::size_t quote = stop == std::string_view::npos ? n : stop;
                field.append(text.substr(p, quote - p));
                p = quote;
                if (atEnd())
                    break;
                ++p; // the quote
                if (!atEnd() && text[p] == '"') {
                    field.push_back('"');
                    ++p;
                } else {
                    break;
                }
            }
        } else {
            const std::size_t begin = p;
            while (!atEnd() && text[p] != ',' && !IsBlank(text[p]))
                ++p;
            field.assign(text.substr(begin, p - begin));
        }
        fields.push_back(std::move(field));

        skipBlanks();
        if (!atEnd() && text[p] == ',') {
            ++p;
            if (atEnd()) {
                // A comma that ends the text ends with an empty field.
                if (fields.size() < maxFields)
                    fields.emplace_back();
                break;
            }
            skipBlanks();
        }
    }
    return fields;
}

FieldResult ExtractAccount(std::string_view payload)
{
    auto fields = SplitFields(payload, 2);
    if (fields.size() < 2)
        return FieldResult::Missing(1);
    return FieldResult::Found(std::move(fields[1]));
}

FieldResult ExtractNickname(std::string_view payload)
{
    auto fields = SplitFields(payload, 3);
    if (fields.size() < 3)
        return FieldResult::Missing(2);
    return FieldResult::Found(CleanNickname(fields[2]));
}

std::string PercentDecodeName(std::string_view name)
{
    if (name.find('%') == std::string_view::npos)
        return std::string(name);
    std::string decoded;
    decoded.reserve(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) {
        const bool escape = name[i] == '%' && i + 2 < name.size();
        const int high = escape ? HexDigitValue(name[i + 1]) : -1;
        const int low = high >= 0 ? HexDigitValue(name[i + 2]) : -1;
        if (low < 0) {
            decoded.push_back(name[i]);
            continue;
        }
        decoded.push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    // A name that does not decode to text was never encoded this way: it stays as the wire has it.
    if (!IsValidUtf8(decoded) || decoded.find('\0') != std::string::npos)
        return std::string(name);
    return decoded;
}

std::string CleanNickname(std::string_view field)
{
    if (field.empty())
        return {};
    std::string name = PercentDecodeName(field);
    for (const auto code : NicknameCodeSteps)
        ReplaceAll(name, code, " ");

    std::string_view trimmed = Trim(name);
    // Cutting at each character in turn equals cutting before the earliest of them.
    std::size_t cut = trimmed.size();
    for (const auto c : NicknameCutCharacters) {
        const auto at = trimmed.substr(0, cut).find(c);
        if (at != std::string_view::npos)
            cut = at;
    }
    return std::string(trimmed.substr(0, cut));
}

std::string ExtractBody(std::string_view payload)
{
    const std::string_view text = UpToNul(payload);

    // The body starts behind the first empty line, which ends the headers; empty lines typed into the
    // message belong to it. A line break at the very end of the text begins no further line.
    std::size_t bodyStart = 0;
    {
        std::size_t p = 0;
        const std::size_t n = text.size();
        while (p < n) {
            std::size_t end = p;
            while (end < n && text[end] != '\r' && text[end] != '\n')
                ++end;
            std::size_t next = end;
            if (next < n) {
                next += (text[next] == '\r' && next + 1 < n && text[next + 1] == '\n') ? 2 : 1;
            }
            if (end == p) {
                bodyStart = next;
                break;
            }
            p = next;
        }
    }

    std::string body;
    body.reserve(text.size() - bodyStart + 16);
    std::size_t p = bodyStart;
    const std::size_t n = text.size();
    while (p < n) {
        std::size_t end = p;
        while (end < n && text[end] != '\r' && text[end] != '\n')
            ++end;
        body.push_back(' ');
        body.append(text.substr(p, end - p));
        body.append("\r\n");
        p = end;
        if (p < n)
            p += (text[p] == '\r' && p + 1 < n && text[p + 1] == '\n') ? 2 : 1;
    }
    return std::string(Trim(body));
}

std::string EmoticonsToWords(std::string_view payload)
{
    std::string text = ExtractBody(payload);
    for (const auto& entry : EmoticonWordTable)
        ReplaceAll(text, entry.code, entry.word);
    return text;
}

std::string RemoveEmoticons(std::string_view payload)
{
    std::string text = ExtractBody(payload);
    for (const auto code : EmoticonRemovalSteps)
        ReplaceAll(text, code, {});
    return text;
}

} // namespace quorvel::text
