// Where the notification server names a contact (fields split at blanks; the network id appears from
// MSNP14 on, and MSNP18 writes it in front of the account instead):
//
//   ILN 8 NLN ann@example.com [1] Ann%20Lee 2788999228:48 [msnobj]     (ILN 8 NLN 1:ann@example.com ...)
//   NLN NLN ann@example.com [1] Ann%20Lee 2788999228:48 [msnobj]
//   IRO 2 1 2 ann@example.com[;{guid}] Ann%20Lee 2788999228:48
//   JOI ann@example.com[;{guid}] Ann%20Lee 2788999228:48
//   UBX 1:ann@example.com 0 213\r\n<Data>...<FriendlyName>Ann Lee</FriendlyName>...</Data>

#include "capture/FriendlyNames.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace quorvel::capture {

namespace {

std::vector<std::string_view> Words(std::string_view line)
{
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && line[at] == ' ')
            ++at;
        const std::size_t begin = at;
        while (at < line.size() && line[at] != ' ')
            ++at;
        if (at > begin)
            words.push_back(line.substr(begin, at - begin));
    }
    return words;
}

bool AllDigits(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool HasNetworkPrefix(std::string_view field)
{
    const std::size_t colon = field.find(':');
    return colon != std::string_view::npos && AllDigits(field.substr(0, colon));
}

std::string Lower(std::string_view text)
{
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

// The few entities an XML writer puts into text.
std::string XmlText(std::string_view text)
{
    static constexpr std::pair<std::string_view, char> Entities[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        bool replaced = false;
        for (const auto& [entity, c] : Entities) {
            if (text.substr(i).starts_with(entity)) {
                out.push_back(c);
                i += entity.size() - 1;
                replaced = true;
                break;
            }
        }
        if (!replaced)
            out.push_back(text[i]);
    }
    return out;
}

} // namespace

std::string_view BareAccount(std::string_view field)
{
    if (HasNetworkPrefix(field))
        field.remove_prefix(field.find(':') + 1);
    return field.substr(0, field.find(';'));
}

void FriendlyNames::note(std::string_view command)
{
    const std::size_t lineEnd = command.find_first_of("\r\n");
    const std::string_view line = command.substr(0, lineEnd);
    const auto words = Words(line);
    if (words.empty())
        return;
    const std::string_view name = words[0];

    // The account's position, then the name behind it (behind the network id where one stands).
    std::size_t accountAt = 0;
    if (name == "ILN")
        accountAt = 3;
    else if (name == "NLN")
        accountAt = 2;
    else if (name == "IRO")
        accountAt = 4;
    else if (name == "JOI")
        accountAt = 1;
    else if (name == "UBX") {
        if (words.size() < 2)
            return;
        const std::string_view payload =
            lineEnd == std::string_view::npos ? std::string_view{} : command.substr(lineEnd);
        const std::size_t open = payload.find("<FriendlyName>");
        const std::size_t close = payload.find("</FriendlyName>");
        if (open != std::string_view::npos && close != std::string_view::npos && close > open)
            keep(words[1], XmlText(payload.substr(open + 14, close - open - 14)));
        return;
    } else {
        return;
    }
    if (words.size() <= accountAt + 1)
        return;
    std::size_t nameAt = accountAt + 1;
    const bool networkIdFollows = (name == "ILN" || name == "NLN") && !HasNetworkPrefix(words[accountAt]) &&
                                  AllDigits(words[nameAt]) && words.size() >= nameAt + 3;
    if (networkIdFollows)
        ++nameAt;
    keep(words[accountAt], words[nameAt]);
}

const std::string* FriendlyNames::find(std::string_view account) const
{
    const auto it = m_names.find(Lower(BareAccount(account)));
    return it == m_names.end() ? nullptr : &it->second;
}

void FriendlyNames::keep(std::string_view accountField, std::string_view name)
{
    std::string account = Lower(BareAccount(accountField));
    if (account.empty() || account.size() + name.size() > MaxBytes)
        return;
    if (const auto it = m_names.find(account); it != m_names.end()) {
        m_bytes -= it->second.size();
        it->second.assign(name);
        m_bytes += name.size();
    } else {
        m_bytes += account.size() + name.size();
        m_order.push_back(account);
        m_names.emplace(std::move(account), std::string(name));
    }
    while (m_bytes > MaxBytes && !m_order.empty()) {
        const auto oldest = m_names.find(m_order.front());
        m_bytes -= oldest->first.size() + oldest->second.size();
        m_names.erase(oldest);
        m_order.pop_front();
    }
}

} // namespace quorvel::capture
