#include "ui/logfile/RtfTokenizer.h"

#include "text/Ascii.h"
#include "text/Utf8.h"

#include <algorithm>
#include <utility>

namespace quorvel::logfile {
namespace {

constexpr std::int64_t MaxParameter = 2147483647;

bool IsLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

RtfToken RtfTokenizer::next()
{
    RtfToken token;
    while (m_pos < m_in.size()) {
        const char c = m_in[m_pos++];
        switch (c) {
        case '{':
        case '}':
            // Braces end the fallback of a \uN.
            m_fallbackLeft = 0;
            m_ignorableNext = false;
            if (c == '{') {
                openGroup();
                token.kind = RtfTokenKind::GroupStart;
            } else {
                closeGroup();
                token.kind = RtfTokenKind::GroupEnd;
            }
            return token;
        case '\\':
            if (escape(token))
                return token;
            break;
        case '\r':
        case '\n':
            break;
        default:
            if (consumeFallback())
                break;
            m_ignorableNext = false;
            token.kind = RtfTokenKind::Byte;
            token.character = c;
            return token;
        }
    }
    return token;
}

bool RtfTokenizer::escape(RtfToken& token)
{
    if (m_pos >= m_in.size())
        return false; // a lone backslash at the end
    const char c = m_in[m_pos];
    if (IsLetter(c))
        return controlWord(token);
    ++m_pos;
    if (c == '\'') {
        int value = 0, digits = 0;
        while (digits < 2 && m_pos < m_in.size() && text::HexDigitValue(m_in[m_pos]) >= 0) {
            value = value * 16 + text::HexDigitValue(m_in[m_pos++]);
            ++digits;
        }
        if (consumeFallback() || digits < 2)
            return false;
        token.kind = RtfTokenKind::Byte;
        token.character = static_cast<char>(value);
        return true;
    }
    if (c == '*') {
        m_ignorableNext = true;
        token.kind = RtfTokenKind::Boundary;
        return true;
    }
    if (consumeFallback())
        return false;
    m_ignorableNext = false;
    token.kind = RtfTokenKind::Symbol;
    token.character = c;
    return true;
}

bool RtfTokenizer::controlWord(RtfToken& token)
{
    const std::size_t start = m_pos;
    while (m_pos < m_in.size() && IsLetter(m_in[m_pos]))
        ++m_pos;
    const std::string_view word = m_in.substr(start, m_pos - start);
    bool negative = false;
    if (m_pos + 1 < m_in.size() && m_in[m_pos] == '-' && IsDigit(m_in[m_pos + 1])) {
        negative = true;
        ++m_pos;
    }
    bool hasParameter = false;
    std::int64_t value = 0;
    while (m_pos < m_in.size() && IsDigit(m_in[m_pos])) {
        hasParameter = true;
        value = std::min(value * 10 + (m_in[m_pos++] - '0'), MaxParameter);
    }
    if (m_pos < m_in.size() && m_in[m_pos] == ' ')
        ++m_pos;
    const int parameter = static_cast<int>(negative ? -value : value);

    token.kind = RtfTokenKind::Boundary;
    if (word == "bin") {
        // Raw bytes follow; they may hold braces and backslashes of any kind.
        if (hasParameter && parameter > 0)
            m_pos += std::min<std::size_t>(static_cast<std::size_t>(parameter), m_in.size() - m_pos);
        consumeFallback();
        return true;
    }
    if (consumeFallback())
        return false;
    const bool ignorable = std::exchange(m_ignorableNext, false);
    if (word == "uc") {
        if (!m_unicodeSkip.empty())
            m_unicodeSkip.back() = std::clamp(parameter, 0, 1 << 20);
        return true;
    }
    if (word == "u") {
        if (!hasParameter)
            return true;
        const std::int64_t code = parameter < 0 ? std::int64_t{parameter} + 65536 : parameter;
        token.kind = RtfTokenKind::Unicode;
        token.codePoint = code < 0 || code > 0x10FFFF ? text::ReplacementCharacter : static_cast<char32_t>(code);
        m_fallbackLeft = m_unicodeSkip.empty() ? 1 : m_unicodeSkip.back();
        return true;
    }
    token.kind = RtfTokenKind::ControlWord;
    token.word = word;
    token.parameter = parameter;
    token.hasParameter = hasParameter;
    token.ignorable = ignorable;
    return true;
}

bool RtfTokenizer::consumeFallback()
{
    if (m_fallbackLeft <= 0)
        return false;
    --m_fallbackLeft;
    return true;
}

void RtfTokenizer::openGroup()
{
    if (m_unicodeSkip.empty())
        m_unicodeSkip.push_back(1);
    else if (m_unicodeSkip.size() < RtfMaxGroupDepth)
        m_unicodeSkip.push_back(m_unicodeSkip.back());
    else
        ++m_overflow;
}

void RtfTokenizer::closeGroup()
{
    if (m_overflow > 0)
        --m_overflow;
    else if (!m_unicodeSkip.empty())
        m_unicodeSkip.pop_back();
}

} // namespace quorvel::logfile
