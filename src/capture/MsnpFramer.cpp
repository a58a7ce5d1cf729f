// Messenger command framing.
//
//   MSG alice@example.com Alice 133\r\n          <- command line: name, parameters, CR LF
//   MIME-Version: 1.0\r\n ... \r\n\r\nHello      <- payload: exactly 133 bytes, no terminator
//   USR 3 OK me@example.com 1 0\r\n              <- a command without payload

#include "capture/MsnpFramer.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

namespace quorvel::capture {

namespace {

constexpr std::uint32_t Packed(std::string_view name)
{
    return (std::uint32_t(static_cast<unsigned char>(name[0])) << 16) |
           (std::uint32_t(static_cast<unsigned char>(name[1])) << 8) | static_cast<unsigned char>(name[2]);
}

// Commands whose last parameter is the byte count of the payload that follows the line.
constexpr std::array<std::uint32_t, 17> PayloadCommands = {
    Packed("ADL"), Packed("DEL"), Packed("FQY"), Packed("GCF"), Packed("MSG"), Packed("NFY"),
    Packed("NOT"), Packed("PUT"), Packed("QRY"), Packed("RML"), Packed("SDG"), Packed("UBM"),
    Packed("UBN"), Packed("UBX"), Packed("UUM"), Packed("UUN"), Packed("UUX"),
};

constexpr std::array<std::uint32_t, 45> LineCommands = {
    Packed("ACK"), Packed("ADC"), Packed("ADD"), Packed("ADG"), Packed("ANS"), Packed("BLP"), Packed("BPR"),
    Packed("BYE"), Packed("CAL"), Packed("CHG"), Packed("CHL"), Packed("CVQ"), Packed("CVR"), Packed("ENV"),
    Packed("FLN"), Packed("FND"), Packed("GTC"), Packed("ILN"), Packed("IMS"), Packed("INF"), Packed("IRO"),
    Packed("JOI"), Packed("LSG"), Packed("LST"), Packed("NAK"), Packed("NLN"), Packed("OUT"), Packed("PNG"),
    Packed("PRP"), Packed("QNG"), Packed("REA"), Packed("REG"), Packed("REM"), Packed("RMG"), Packed("RNG"),
    Packed("SBP"), Packed("SBS"), Packed("SDC"), Packed("SND"), Packed("SYN"), Packed("URL"), Packed("USR"),
    Packed("UUR"), Packed("VER"), Packed("XFR"),
};

template <std::size_t N>
bool Contains(const std::array<std::uint32_t, N>& table, std::string_view name)
{
    return name.size() == 3 && std::find(table.begin(), table.end(), Packed(name)) != table.end();
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The payload length a command line declares, or nothing when its last parameter is no number.
std::optional<std::size_t> DeclaredLength(std::string_view line)
{
    const std::size_t space = line.find_last_of(' ');
    if (space == std::string_view::npos)
        return std::nullopt;
    const std::string_view last = line.substr(space + 1);
    if (last.empty() || last.size() > 9 || !std::all_of(last.begin(), last.end(), IsDigit))
        return std::nullopt;
    std::size_t value = 0;
    for (const char c : last)
        value = value * 10 + static_cast<std::size_t>(c - '0');
    return value;
}

} // namespace

bool IsPayloadCommand(std::string_view name)
{
    return Contains(PayloadCommands, name);
}

bool IsKnownCommand(std::string_view name)
{
    if (name.size() != 3)
        return false;
    if (std::all_of(name.begin(), name.end(), IsDigit))
        return name[0] != '0'; // error replies: "911 3"
    return Contains(PayloadCommands, name) || Contains(LineCommands, name);
}

void MsnpFramer::reset()
{
    m_buffer.clear();
    m_skipLine = false;
}

void MsnpFramer::feed(std::span<const std::uint8_t> bytes, const CommandSink& sink)
{
    const std::string_view data(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (m_buffer.empty()) {
        // Usual case: whole commands straight from the segment, only a tail is kept.
        const std::size_t used = frame(data, sink);
        m_buffer.assign(data.substr(used));
        return;
    }
    m_buffer.append(data);
    const std::size_t used = frame(m_buffer, sink);
    m_buffer.erase(0, used);
}

std::size_t MsnpFramer::frame(std::string_view data, const CommandSink& sink)
{
    std::size_t at = 0;
    while (at < data.size()) {
        const std::size_t lineEnd = data.find('\n', at);
        if (m_skipLine) {
            if (lineEnd == std::string_view::npos)
                return data.size();
            m_skipLine = false;
            at = lineEnd + 1;
            continue;
        }
        if (lineEnd == std::string_view::npos) {
            if (data.size() - at > MaxCommandLine) {
                ++m_skippedLines;
                m_skipLine = true;
                return data.size();
            }
            return at; // wait for the rest of the line
        }
        std::string_view line = data.substr(at, lineEnd - at);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        const std::size_t next = lineEnd + 1;
        const std::string_view name = line.substr(0, 3);
        const bool named = line.size() == 3 || (line.size() > 3 && line[3] == ' ');
        if (line.size() > MaxCommandLine || !named || !IsKnownCommand(name)) {
            ++m_skippedLines;
            at = next;
            continue;
        }
        std::size_t payload = 0;
        if (IsPayloadCommand(name)) {
            if (const auto declared = DeclaredLength(line))
                payload = *declared;
            if (payload > MaxPayload) {
                ++m_skippedLines;
                at = next;
                continue;
            }
        }
        if (data.size() - next < payload)
            return at; // wait for the rest of the payload
        sink(data.substr(at, next - at + payload));
        at = next + payload;
    }
    return at;
}

} // namespace quorvel::capture
