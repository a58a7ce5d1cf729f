//   SDG 0 <length>\r\n
//   Routing: 1.0\r\nTo: 9:0000...@live.com;path=IM\r\nFrom: 1:ann@example.com;epid={f529...}\r\n\r\n
//   Reliability: 1.0\r\nStream: 0\r\nSegment: 0\r\n\r\n
//   Messaging: 1.0\r\nContent-Length: 5\r\nContent-Type: Text/plain; charset=UTF-8\r\n
//   Content-Transfer-Encoding: 7bit\r\nMessage-Type: Text\r\nMIME-Version: 1.0\r\n\r\nhello

#include "capture/SdgMessage.h"

#include "capture/FriendlyNames.h"

#include <algorithm>
#include <cctype>

namespace quorvel::capture {

namespace {

constexpr int MaxBlocks = 4;

bool SameText(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// The value of "Name: value" when the line holds that header.
std::optional<std::string_view> HeaderValue(std::string_view line, std::string_view name)
{
    if (line.size() <= name.size() || line[name.size()] != ':' || !SameText(line.substr(0, name.size()), name))
        return std::nullopt;
    std::string_view value = line.substr(name.size() + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
        value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
        value.remove_suffix(1);
    return value;
}

} // namespace

std::optional<SdgText> ReadSdgText(std::string_view command)
{
    if (!command.starts_with("SDG"))
        return std::nullopt;
    std::size_t at = command.find('\n');
    if (at == std::string_view::npos)
        return std::nullopt;
    ++at;

    SdgText result;
    for (int block = 0; block < MaxBlocks && at < command.size(); ++block) {
        const std::size_t blockStart = at;
        bool messaging = false;
        std::optional<std::string_view> contentType, messageType;
        for (;;) {
            const std::size_t end = command.find('\n', at);
            std::string_view line =
                command.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
            at = end == std::string_view::npos ? command.size() : end + 1;
            if (line.ends_with('\r'))
                line.remove_suffix(1);
            if (line.empty() || end == std::string_view::npos) {
                if (!line.empty())
                    return std::nullopt; // the headers never end: no body
                break;
            }
            if (const auto from = HeaderValue(line, "From"); from && block == 0)
                result.account = std::string(BareAccount(*from));
            messaging = messaging || HeaderValue(line, "Messaging").has_value();
            if (const auto value = HeaderValue(line, "Content-Type"))
                contentType = value;
            if (const auto value = HeaderValue(line, "Message-Type"))
                messageType = value;
        }
        if (!messaging && !contentType)
            continue; // routing or reliability
        const std::string_view type = contentType.value_or("");
        const bool plain = type.size() >= 10 && SameText(type.substr(0, 10), "text/plain") &&
                           (type.size() == 10 || type[10] == ';' || type[10] == ' ');
        if (!plain || !messageType || !SameText(*messageType, "Text") || result.account.empty())
            return std::nullopt;
        result.messagingStart = blockStart;
        return result;
    }
    return std::nullopt;
}

} // namespace quorvel::capture
