// IPv4 datagram -> chat events.
//
//  IPv4:  byte 0 = version | IHL (header length in 32-bit words), byte 9 = protocol (6 = TCP)
//  TCP at IHL*4:  +0 source port, +2 destination port, +12 data offset (top 4 bits, 32-bit words)
//  payload at IHL*4 + data offset*4, read up to the first NUL byte.
//
// The addresses only tell server endpoints apart; nothing else is looked at: no lengths, checksums,
// fragments or connection state.

#include "capture/DatagramDecoder.h"

#include "capture/ByteReader.h"
#include "capture/FriendlyNames.h"
#include "capture/SdgMessage.h"
#include "capture/Utf8.h"
#include "text/TextRules.h"

#include <algorithm>
#include <string_view>

namespace quorvel::capture {

namespace {

constexpr std::uint8_t ProtocolTcp = 6;
constexpr std::string_view PlainTextType = "text/plain";

std::string_view PayloadBytes(const ByteReader& datagram)
{
    const std::size_t tcpStart = std::size_t{*datagram.u8(0) & 0x0Fu} * 4;
    const auto offsetField = datagram.be16(tcpStart + 12);
    if (!offsetField)
        return {};
    const std::size_t payloadStart = tcpStart + std::size_t{static_cast<unsigned>(*offsetField >> 12)} * 4;
    const auto payload = datagram.from(payloadStart);
    const auto* begin = reinterpret_cast<const char*>(payload.data());
    const std::string_view bytes(begin, payload.size());
    return bytes;
}

// The command that makes this payload a chat message of the direction, or nothing.
std::string_view ChatCommand(std::string_view payload, std::string_view otherCommand)
{
    if (payload.find(PlainTextType) == std::string_view::npos)
        return {};
    if (payload.starts_with("MSG"))
        return "MSG";
    if (payload.starts_with(otherCommand))
        return otherCommand;
    return {};
}

// bodyFrom: where the text whose body is taken begins (an SDG's messaging headers).
ChatEvent MakeEvent(Direction direction, std::string_view command, const std::string& payloadText,
                    std::size_t bodyFrom = 0)
{
    ChatEvent event;
    event.direction = direction;
    event.command = std::string(command);
    event.payloadText = payloadText;
    const std::string_view bodyText = std::string_view(payloadText).substr(bodyFrom);
    event.wordedText = text::EmoticonsToWords(bodyText);
    event.strippedText = text::RemoveEmoticons(bodyText);
    return event;
}

} // namespace

DecodeResult DecodePayload(std::string_view payloadBytes, bool fromServer, bool toServer)
{
    DecodeResult result;
    const std::string_view payload = payloadBytes.substr(0, payloadBytes.find('\0'));
    std::string payloadText;
    bool decoded = false;
    const auto text = [&]() -> const std::string& {
        if (!decoded) {
            payloadText = DecodeUtf8Lossy(payload);
            decoded = true;
        }
        return payloadText;
    };

    if (fromServer) {
        const std::string_view command = ChatCommand(payload, "UBM");
        if (!command.empty()) {
            const text::FieldResult name =
                command == "MSG" ? text::ExtractNickname(text()) : text::ExtractAccount(text());
            if (!name.ok()) {
                result.missingFieldIndex = name.missingIndex();
                return result;
            }
            ChatEvent event = MakeEvent(Direction::Friend, command, text());
            event.nickname = name.value();
            event.account = command == "MSG" ? text::ExtractAccount(text()).value() : event.nickname;
            result.events.push_back(std::move(event));
        }
    }

    if (toServer) {
        const std::string_view command = ChatCommand(payload, "UUM");
        if (!command.empty())
            result.events.push_back(MakeEvent(Direction::Own, command, text()));
    }
    return result;
}

DecodeResult DecodeSdg(std::string_view commandBytes, bool fromServer, bool toServer, const FriendlyNames* names)
{
    DecodeResult result;
    const std::string payloadText = DecodeUtf8Lossy(commandBytes.substr(0, commandBytes.find('\0')));
    const auto sdg = ReadSdgText(payloadText);
    if (!sdg)
        return result;
    if (fromServer) {
        ChatEvent event = MakeEvent(Direction::Friend, "SDG", payloadText, sdg->messagingStart);
        event.account = sdg->account;
        const std::string* name = names ? names->find(sdg->account) : nullptr;
        // A name that the rules leave empty would give a header without a speaker: the account says who.
        // The name is noted as the wire has it: text only once decoded, as the message is.
        event.nickname = name ? text::CleanNickname(DecodeUtf8Lossy(*name)) : std::string();
        if (event.nickname.empty())
            event.nickname = sdg->account;
        result.events.push_back(std::move(event));
    }
    if (toServer)
        result.events.push_back(MakeEvent(Direction::Own, "SDG", payloadText, sdg->messagingStart));
    return result;
}

DecodeResult DecodeDatagram(std::span<const std::uint8_t> ipDatagram)
{
    static const ServerEndpoints defaults;
    return DecodeDatagram(ipDatagram, defaults);
}

DecodeResult DecodeDatagram(std::span<const std::uint8_t> ipDatagram, const ServerEndpoints& endpoints)
{
    const ByteReader datagram(ipDatagram);
    const auto protocol = datagram.u8(9);
    if (!protocol || *protocol != ProtocolTcp)
        return {};

    const std::size_t tcpStart = std::size_t{*datagram.u8(0) & 0x0Fu} * 4;
    const auto sourcePort = datagram.be16(tcpStart);
    const auto destinationPort = datagram.be16(tcpStart + 2);
    const auto source = datagram.be32(12), destination = datagram.be32(16);
    if (!sourcePort || !destinationPort || !source || !destination)
        return {};
    const bool fromServer = endpoints.isServer(*source, *sourcePort);
    const bool toServer = endpoints.isServer(*destination, *destinationPort);
    if (!fromServer && !toServer)
        return {};
    return DecodePayload(PayloadBytes(datagram), fromServer, toServer);
}

} // namespace quorvel::capture
