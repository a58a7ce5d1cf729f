#include "text/SpeechText.h"

#include "text/Tables.h"

#include <algorithm>
#include <array>

namespace quorvel::text {

namespace {

constexpr std::string_view LinkWord = "链接";

char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool StartsWithNoCase(std::string_view text, std::size_t at, std::string_view prefix)
{
    if (text.size() - at < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (Lower(text[at + i]) != prefix[i])
            return false;
    return true;
}

bool IsAsciiAlnum(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// A byte that glues to a preceding word: "xhttp://" or "me@www.x" hold no address of their own.
bool JoinsWord(char c)
{
    return IsAsciiAlnum(c) || c == '@' || c == '.' || c == '-' || c == '_' || c == '/' || c == '%' || c == '+';
}

// ASCII graphic characters that may stand in an address; anything else (space, CJK, quotes,
// angle brackets) ends it.
bool InAddress(char c)
{
    const auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u >= 0x7F)
        return false;
    return std::string_view("\"<>\\^`{|}").find(c) == std::string_view::npos;
}

// Length of the scheme or "www." an address opens with at `at`, or 0.
std::size_t AddressOpening(std::string_view text, std::size_t at)
{
    if (at > 0 && JoinsWord(text[at - 1]))
        return 0;
    for (std::string_view scheme : {"http://", "https://", "ftp://"})
        if (StartsWithNoCase(text, at, scheme))
            return scheme.size();
    if (StartsWithNoCase(text, at, "www.") && at + 4 < text.size() && IsAsciiAlnum(text[at + 4]))
        return 4;
    return 0;
}

// Drops what reads as sentence punctuation from the end of an address; a closing bracket stays
// when the address opened it ("…/Foo_(bar)"). Linear: a run of marks may be as long as the message.
std::string_view TrimAddress(std::string_view address)
{
    const auto count = [&](char c) { return std::count(address.begin(), address.end(), c); };
    auto roundOpen = count('('), roundClose = count(')');
    auto squareOpen = count('['), squareClose = count(']');
    while (!address.empty()) {
        const char last = address.back();
        if (last == ')' && roundOpen < roundClose)
            --roundClose;
        else if (last == ']' && squareOpen < squareClose)
            --squareClose;
        else if (std::string_view(".,;:!?'*").find(last) == std::string_view::npos)
            break;
        address.remove_suffix(1);
    }
    return address;
}

// The host of an address that starts after its scheme (or at "www."): no user, password, port.
std::string HostOf(std::string_view rest)
{
    rest = rest.substr(0, rest.find_first_of("/?#"));
    if (const auto at = rest.rfind('@'); at != std::string_view::npos)
        rest.remove_prefix(at + 1);
    if (!rest.empty() && rest.front() == '[') {
        const auto close = rest.find(']');
        rest = close == std::string_view::npos ? std::string_view() : rest.substr(1, close - 1);
    } else if (const auto colon = rest.find(':'); colon != std::string_view::npos) {
        rest = rest.substr(0, colon);
    }
    while (!rest.empty() && rest.back() == '.')
        rest.remove_suffix(1);
    std::string host;
    for (char c : rest)
        host += Lower(c);
    return host;
}

std::size_t CountCodePoints(std::string_view text)
{
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

constexpr std::size_t LongestWord()
{
    std::size_t n = 0;
    for (const auto& e : EmoticonWordTable)
        n = std::max(n, e.word.size());
    return n;
}

} // namespace

std::string SpeakLinks(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t opening = AddressOpening(text, i);
        if (opening == 0) {
            out += text[i++];
            continue;
        }
        std::size_t end = i;
        while (end < text.size() && InAddress(text[end]))
            ++end;
        const std::string_view address = TrimAddress(text.substr(i, end - i));
        const bool www = opening == 4;
        const std::string host = address.size() > opening ? HostOf(address.substr(www ? 0 : opening)) : std::string();
        if (host.empty()) {
            // Nothing to name: said as it is written.
            out.append(text.substr(i, opening));
            i += opening;
            continue;
        }
        out.append(LinkWord);
        out += host;
        i += address.size();
    }
    return out;
}

std::string CutForSpeech(std::string_view text, std::size_t maxCharacters)
{
    if (maxCharacters == 0 || CountCodePoints(text) <= maxCharacters)
        return std::string(text);
    std::size_t cut = 0;
    for (std::size_t seen = 0; cut < text.size(); ++cut) {
        if ((static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
            continue;
        if (seen++ == maxCharacters)
            break;
    }
    // A word that starts before the cut and ends after it is left out whole.
    const std::size_t from = cut >= LongestWord() ? cut - LongestWord() + 1 : 0;
    for (std::size_t s = from; s < cut; ++s) {
        if (text[s] != '[')
            continue;
        const bool split = std::any_of(EmoticonWordTable.begin(), EmoticonWordTable.end(), [&](const EmoticonWord& e) {
            return s + e.word.size() > cut && text.substr(s, e.word.size()) == e.word;
        });
        if (split) {
            cut = s;
            break;
        }
    }
    std::string out(text.substr(0, cut));
    out.append(OmittedMark);
    return out;
}

} // namespace quorvel::text
